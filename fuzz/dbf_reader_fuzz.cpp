// Any bytes as a table file: opening, walking, filtering and reading every value, and appending
// to what opens as appendable, must end in a value or in tdb::Error, never in a crash or a read
// out of bounds.
#include "services/dbf_table.h"
#include "services/error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "dbf-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return std::filesystem::path(pattern);
    }();
    return path;
}

void readEverything(tdb::dbf::Table& table) {
    const int columns = static_cast<int>(table.columns().size());
    std::size_t seen = 0;
    for (table.first(); !table.eof(); table.next()) {
        ++seen;
        for (int c = 0; c < columns; ++c) {
            (void)table.text(c);
            (void)table.isBlank(c);
            try {
                (void)table.integer(c);
                (void)table.number(c);
            } catch (const tdb::Error&) {
                // not a number
            }
        }
    }
    if (seen > table.recordCount()) {
        std::abort(); // the cursor showed more records than the table counts
    }
    if (columns > 0 && table.recordCount() > 0) {
        table.first();
        const std::string name = table.columns()[0].name;
        std::string value = table.text(0);
        table.setFilter(name, value);
        if (table.eof() || table.text(0) != value) {
            std::abort(); // the record the value came from passes its own filter
        }
        table.clearFilter();
        table.goTo(table.recordNumber());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = folder() / "FUZZ.DBF";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        auto table = tdb::dbf::Table::open(folder(), "FUZZ");
        readEverything(table);
        const std::size_t before = table.recordCount();
        bool appended = false;
        try {
            table.append();
            table.setText(table.columns()[0].name, "fuzz");
            table.post();
            appended = true;
        } catch (const tdb::Error&) {
            // read-only flavour, or a value the column does not take
        }
        table.close();
        if (appended) {
            auto again = tdb::dbf::Table::open(folder(), "FUZZ");
            if (again.recordCount() != before + 1) {
                std::abort(); // an appended record was lost or others appeared
            }
            readEverything(again);
        }
    } catch (const tdb::Error&) {
        // a damaged table, reported
    }
    return 0;
}
