#pragma once

#include "services/dbf_table.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Indexes over the timetable tables, built once per import. Each one answers exactly what a scan
// from the table's first record would answer: the first record in file order with the key wins
// (a later record with the same key is never inserted). Keys are the texts as the table engine
// returns them, compared exactly and with letter case.
namespace tdb::importer {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};

// Two texts as one key; the length prefix keeps ("ab", "c") apart from ("a", "bc").
std::string compositeKey(std::string_view first, std::string_view second);

// Key to the values of the first record that carries it.
template <class Value> class FirstMatchIndex {
public:
    // Room for `records` keys, so that building the index never rehashes.
    explicit FirstMatchIndex(std::size_t records = 0) { map_.reserve(records); }
    // Keeps the first value per key: later records with the same key lose.
    void insert(std::string key, Value value) {
        map_.try_emplace(std::move(key), std::move(value));
    }
    const Value* find(std::string_view key) const {
        auto it = map_.find(key);
        return it == map_.end() ? nullptr : &it->second;
    }
    std::size_t size() const { return map_.size(); }

private:
    std::unordered_map<std::string, Value, StringHash, std::equal_to<>> map_;
};

// Column value to the numbers of the records carrying it, in file order: what a table filtered
// on "COLUMN = value" shows, without scanning the table once per value.
class RecordsByValue {
public:
    // Walks every visible record of `table` once.
    RecordsByValue(dbf::Table& table, int column);
    // The records whose column equals `value`; empty when none does.
    const std::vector<std::uint32_t>& records(std::string_view value) const;

private:
    std::unordered_map<std::string, std::vector<std::uint32_t>, StringHash, std::equal_to<>> map_;
    std::vector<std::uint32_t> none_;
};

} // namespace tdb::importer
