#include "services/code_list.h"

#include "services/cp1252.h"

namespace tdb {

bool CodeList::contains(std::string_view text) const {
    return folded_.find(cp1252::folded(text)) != folded_.end();
}

void CodeList::append(std::string_view text) {
    folded_.insert(cp1252::folded(text));
    ++count_;
}

void CodeList::clear() {
    folded_.clear();
    count_ = 0;
}

} // namespace tdb
