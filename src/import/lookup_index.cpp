#include "import/lookup_index.h"

#include "services/error.h"

#include <limits>

namespace tdb::importer {

std::string compositeKey(std::string_view first, std::string_view second) {
    std::string key = std::to_string(first.size());
    key += ':';
    key += first;
    key += second;
    return key;
}

RecordsByValue::RecordsByValue(dbf::Table& table, int column) {
    for (table.first(); !table.eof(); table.next()) {
        const std::size_t number = table.recordNumber();
        if (number > std::numeric_limits<std::uint32_t>::max()) {
            throw Error("La tabla " + table.name() + " tiene demasiados registros (" +
                        std::to_string(number) + ")");
        }
        map_[table.text(column)].push_back(static_cast<std::uint32_t>(number));
    }
}

const std::vector<std::uint32_t>& RecordsByValue::records(std::string_view value) const {
    auto it = map_.find(value);
    return it == map_.end() ? none_ : it->second;
}

} // namespace tdb::importer
