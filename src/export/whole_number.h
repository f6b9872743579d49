#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tdb::exporter {

// A 32-bit whole number written as an optional sign and decimal digits, nothing else; nothing
// when the text is anything else or out of range.
std::optional<std::int32_t> parseWholeNumber(std::string_view text);

} // namespace tdb::exporter
