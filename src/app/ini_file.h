#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A line-preserving INI writer: the status file belongs to the timetabling program, so only the
// one key line may change and every other byte stays where it was.
namespace tdb::app {

// `text` with `key` of `section` set to `value`. Section and key names are matched ignoring
// ASCII letter case (the first matching section and key win). The key's line keeps its spelling
// and the blanks around "=", only the value changes; a missing key is added after the last
// non-blank line of its section; a missing section is added at the end. New lines use the
// file's first line ending (CR LF for a file without one).
std::string setIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value);

// Reads `file` (missing means empty), sets the value and replaces the file atomically. Throws
// tdb::Error naming the file when it cannot be read or written.
void writeIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value);

} // namespace tdb::app
