// result-summary RESULT.xml: one line per teacher list of a result document — the teacher, the
// number of slots and the first slot's day, period, room, subject and unit — to see at a glance
// what an import produced.
#include "services/error.h"
#include "services/xml_document.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tdb;

// The text of the field of `list` whose `dato` is `name`; empty when there is none.
std::string field(pugi::xml_node list, std::string_view name) {
    for (pugi::xml_node f : list.children("salida")) {
        if (name == f.attribute("dato").value()) {
            return xml::textContent(f);
        }
    }
    return {};
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Display width of UTF-8 text: one column per code point.
std::size_t width(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        n += (c & 0xC0) != 0x80;
    }
    return n;
}

int run(const std::filesystem::path& file) {
    const auto document = xml::Document::load(file);
    pugi::xml_node salidas;
    for (pugi::xml_node child : document.root().children("SALIDAS")) {
        if (child.child("ERROR")) {
            salidas = child;
            break;
        }
    }
    if (!salidas) {
        throw Error("El documento " + file.string() + " no es un resultado de importación");
    }

    std::vector<std::vector<std::string>> rows = {
        {"Profesor", "Tramos", "Día", "Tramo", "Aula", "Materia", "Unidad"}};
    std::size_t slotTotal = 0;
    for (pugi::xml_node teacher : salidas.children("listasal")) {
        if (!startsWith(teacher.attribute("seq").value(), "EMP_")) {
            continue;
        }
        std::size_t slots = 0;
        pugi::xml_node first;
        for (pugi::xml_node slot : teacher.children("listasal")) {
            if (startsWith(slot.attribute("seq").value(), "TRAMO_") && slots++ == 0) {
                first = slot;
            }
        }
        slotTotal += slots;
        rows.push_back({field(teacher, "X_EMPLEADO"), std::to_string(slots),
                        field(first, "N_DIASEMANA"), field(first, "X_TRAMO"),
                        field(first, "X_DEPCENTRO"), field(first, "X_MATERIAOMC"),
                        field(first, "X_UNIDAD")});
    }

    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], width(row[c]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line.append(widths[c] - width(row[c]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << "\n";
    }
    std::cout << rows.size() - 1 << " profesores, " << slotTotal << " tramos\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::cerr << "Uso: result-summary RESULTADO.xml\n"
                     "Resume por profesor los tramos de un documento de resultado.\n";
        return 64;
    }
    try {
        return run(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "result-summary: " << e.what() << "\n";
        return 2;
    }
}
