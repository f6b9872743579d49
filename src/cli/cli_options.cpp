#include "cli/cli_options.h"

namespace tdb::cli {

const char* const kUsage =
    "Uso: transdorimobrelo-cli [--data-dir CARPETA] exportar|importar ARCHIVO\n"
    "\n"
    "  exportar ARCHIVO   convierte el documento de intercambio ARCHIVO en las tablas de la\n"
    "                     carpeta de datos\n"
    "  importar ARCHIVO   escribe ResultadoDorimo<ARCHIVO> con los horarios de la solución SOLUC\n"
    "  --data-dir CARPETA carpeta de las tablas (por omisión: $VTEMP, si no\n"
    "                     $WINEPREFIX/drive_c/VTEMP, si no ~/.wine/drive_c/VTEMP)\n"
    "  --help             muestra esta ayuda\n"
    "\n"
    "Salida: 0 \"Proceso finalizado\"; 1 \"No existe archivo\"; 2 error de la conversión;\n"
    "64 uso incorrecto.\n";

namespace {

std::string lowerAscii(std::string word) {
    for (auto& c : word) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return word;
}

Parsed usageError(std::string reason) {
    Parsed parsed;
    parsed.kind = Parsed::Kind::UsageError;
    parsed.error = std::move(reason);
    return parsed;
}

} // namespace

Parsed parseCommandLine(const std::vector<std::string>& args) {
    Parsed parsed;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.kind = Parsed::Kind::Help;
            return parsed;
        }
        if (arg == "--data-dir") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return usageError("--data-dir necesita una carpeta");
            }
            parsed.options.dataDir = args[++i];
        } else if (arg.rfind("--data-dir=", 0) == 0) {
            if (arg.size() == 11) {
                return usageError("--data-dir necesita una carpeta");
            }
            parsed.options.dataDir = arg.substr(11);
        } else if (arg == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1,
                              args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-' && positional.empty()) {
            return usageError("opción desconocida: " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        return usageError("se esperan una orden (exportar o importar) y un archivo");
    }
    const std::string word = lowerAscii(positional[0]);
    if (word == "exportar") {
        parsed.options.command = Command::Exportar;
    } else if (word == "importar") {
        parsed.options.command = Command::Importar;
    } else {
        return usageError("orden desconocida: \"" + positional[0] + "\"");
    }
    parsed.options.file = positional[1];
    parsed.kind = Parsed::Kind::Run;
    return parsed;
}

} // namespace tdb::cli
