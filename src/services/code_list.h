#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tdb {

// An unsorted list of Windows-1252 texts whose membership test ignores letter case
// (cp1252::foldCase). Only membership matters, so the list keeps the folded texts in a hash set:
// constant time per lookup, whatever the number of entries.
class CodeList {
public:
    bool contains(std::string_view text) const;
    void append(std::string_view text);
    void clear();
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

private:
    std::unordered_set<std::string> folded_;
    std::size_t count_ = 0;
};

// The codes one table has given out, for the short-code allocation. `entries` is the list the
// allocation consults (case ignored); `given` holds the final codes actually handed out, so that
// no code is handed out twice even where the 8+2 cut would repeat one.
struct ShortCodeList {
    CodeList entries;
    CodeList given;
    // Per folded base: the counter the last clash on it ended with. Entries are only ever added,
    // so every counter below it is still taken and the next search may start there.
    std::unordered_map<std::string, unsigned> nextCounter;

    void clear() {
        entries.clear();
        given.clear();
        nextCounter.clear();
    }
};

} // namespace tdb
