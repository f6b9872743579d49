// Bytes from outside -> a file -> the exchange document's reading rules and a serialisation.
// Only tdb::Error may come out; anything else, a crash or a sanitizer report is a fault.
#include "formats/exchange_document.h"
#include "services/error.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("tdb-exchange-fuzz-" + std::to_string(::getpid()) + ".xml");
    return file;
}

constexpr const char* kLists[] = {"MATERIAS", "TAREAS", "PROFESORES", "AULAS",
                                  "CURSOS",   "GRUPOS", "INTERVALOS"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        auto doc = tdb::xml::Document::load(scratchFile());
        std::size_t total = 0;
        for (const char* list : kLists) {
            for (const auto& item : tdb::exchange::listItems(doc, list)) {
                for (std::size_t k = 0; k <= item.fieldCount(); ++k) {
                    total += item.fieldText(k).size();
                }
                for (const auto& [dato, value] : item.namedFields()) {
                    total += dato.size() + value.size();
                }
            }
        }
        total += tdb::exchange::fieldText(doc.root()).size();
        // What is written must read back.
        std::string written = doc.serialize();
        auto again = tdb::xml::Document::parse(written, scratchFile());
        total += again.serialize().size();
        if (total == 0xFFFFFFFFu) {
            return 1; // keeps the work observable
        }
    } catch (const tdb::Error&) {
    }
    return 0;
}
