#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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

} // namespace tdb
