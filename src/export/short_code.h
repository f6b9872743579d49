#pragma once

#include "services/code_list.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tdb::exporter {

enum class Trim { No, AfterCut };
enum class ListEntry { FinalCode, CodeBeforeCut };

// A code of at most 10 characters for `source` that the list has not handed out yet: the first
// 10 characters of the source, numbered 1, 2, ... on a clash (letter case and trailing blanks
// ignored). Appends one entry to the list and returns the code.
std::string AllocateShortCode(std::string_view source, ShortCodeList& list, Trim trim,
                              ListEntry entry);

} // namespace tdb::exporter
