#pragma once

#include <string>
#include <string_view>

// Windows-1252 is the 8-bit code page of the tables and of every text the conversions handle
// ("ANSI text"). Texts of the XML side are UTF-8 (pugixml) and cross into ANSI text here.
namespace tdb::cp1252 {

// UTF-8 to Windows-1252. A code point without a Windows-1252 character, and every malformed
// UTF-8 sequence, becomes one '?'.
std::string fromUtf8(std::string_view utf8);
// Windows-1252 to UTF-8. The five bytes Windows-1252 leaves undefined map to U+0081, U+008D,
// U+008F, U+0090 and U+009D, as the platform's own conversion does.
std::string toUtf8(std::string_view ansi);
std::u16string toUtf16(std::string_view ansi);
std::string fromUtf16(std::u16string_view utf16);

// Unicode code point of a Windows-1252 byte.
char32_t codePoint(unsigned char byte);

// Lower-case partner of a Windows-1252 byte (A-Z, the accented capitals, Š, Œ, Ž, Ÿ), or the
// byte itself: letter case is folded, accents are not (A is not Á).
unsigned char foldCase(unsigned char byte);
std::string folded(std::string_view ansi);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace tdb::cp1252
