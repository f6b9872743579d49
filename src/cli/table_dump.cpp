// tdb-tabla CARPETA TABLA [N]: the record count, the columns and the first N records (3 when
// not given) of a timetable table, as UTF-8 text. Used by the demo to show what the export wrote.
#include "services/cp1252.h"
#include "services/dbf_table.h"
#include "services/error.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "Uso: tdb-tabla CARPETA TABLA [N]\n";
        return 64;
    }
    std::size_t limit = 3;
    if (argc == 4) {
        limit = static_cast<std::size_t>(std::max(0, std::atoi(argv[3])));
    }
    try {
        auto table = tdb::dbf::Table::open(argv[1], argv[2]);
        std::cout << table.name() << ": " << table.recordCount() << " registros\n";
        const auto& columns = table.columns();
        std::size_t shown = 0;
        for (table.first(); !table.eof() && shown < limit; table.next(), ++shown) {
            std::cout << "  ";
            for (std::size_t c = 0; c < columns.size(); ++c) {
                std::cout << (c == 0 ? "" : " | ") << columns[c].name << "="
                          << tdb::cp1252::toUtf8(table.text(static_cast<int>(c)));
            }
            std::cout << "\n";
        }
        table.close();
    } catch (const tdb::Error& e) {
        std::cerr << e.what() << "\n";
        return 2;
    }
    return 0;
}
