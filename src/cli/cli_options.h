#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tdb::cli {

enum class Command { Exportar, Importar };

struct Options {
    Command command = Command::Exportar;
    std::string file;
    std::optional<std::filesystem::path> dataDir;
};

// What the command line asks for: a run, the usage text, or a usage error (with its reason).
struct Parsed {
    enum class Kind { Run, Help, UsageError } kind = Kind::UsageError;
    Options options;
    std::string error;
};

// transdorimobrelo-cli [--data-dir DIR] exportar|importar FILE
// The command word is compared after lowering the ASCII letters A-Z only: "EXPORTAR" is
// "exportar", "exportar " is no command.
Parsed parseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

} // namespace tdb::cli
