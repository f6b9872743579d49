#pragma once

#include "services/dbf_table.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The bytes of a dBASE table: header and column descriptors of the flavours the engine reads,
// the header it writes, and the decoding and encoding of single values. No file access here.
namespace tdb::dbf::format {

inline constexpr unsigned char kDescriptorEnd = 0x0D;
inline constexpr unsigned char kFileEnd = 0x1A;
inline constexpr char kDeleted = '*';
inline constexpr char kActive = ' ';
// Windows-1252 ("ANSI") language driver mark of the header.
inline constexpr unsigned char kLanguageDriverWindows1252 = 0x57;
inline constexpr int kTextWidthMax = 254;
inline constexpr int kIntegerWidth = 11;
inline constexpr int kFloatWidth = 20;
inline constexpr int kFloatDecimals = 4;

enum class Flavour { DBase, Level7, FoxPro };

// How the bytes of a column turn into a value. Chosen once per column from its type letter, its
// length and the file's flavour; a type the engine does not know, or a binary type of an
// unexpected length, is read as text.
enum class Codec : unsigned char {
    Text,       // C and unknown types: the bytes without trailing blanks
    Number,     // N, F: decimal digits in ASCII
    Logical,    // L: T/t/Y/y, F/f/N/n, anything else blank
    Date,       // D: YYYYMMDD in ASCII
    IntLE,      // FoxPro I: 4-byte little-endian two's complement
    IntBE,      // level 7 I and +: 4-byte big-endian with the sign bit flipped; all zero is blank
    DoubleLE,   // FoxPro B: 8-byte little-endian double
    DoubleBE,   // level 7 O: big-endian, positives with the sign bit set, negatives inverted
    CurrencyLE, // FoxPro Y: 8-byte little-endian integer in ten-thousandths
};

struct Layout {
    unsigned char version = 0x03;
    Flavour flavour = Flavour::DBase;
    std::size_t headerLength = 0;
    std::size_t recordLength = 0;
    // Records present in the file: the header's count, checked against the file size and cut
    // at an end-of-file mark standing where a record should start.
    std::size_t recordCount = 0;
    std::vector<Column> columns;
    std::vector<Codec> codecs;
};

// Reads header and descriptors of a whole file. `table` names the table in messages, e.g.
// "SOLUC (/datos/SOLUC.DBF)". Throws tdb::Error when the bytes are not a table the engine can
// read or when the header contradicts the file.
Layout parseLayout(std::span<const char> file, const std::string& table);

// Whether records can be added to a table of this layout: the dBASE III/IV family with columns
// the engine knows how to fill.
bool canAppend(const Layout& layout);

// Header, descriptors and terminator of a new, empty dBASE III table. Throws tdb::Error (naming
// `table`) for a column that cannot be stored: name not 1 to 10 printable ASCII characters,
// repeated name, text width outside 1 to 254, no columns.
std::string newHeader(std::span<const ColumnSpec> columns, const std::string& table);
// Sets the record count and the date of last update in a header.
void setRecordCount(char* header, std::uint32_t count);
std::uint32_t recordCountOf(const char* header);
void setUpdateDate(char* header, std::time_t when);

// A blank record (deletion flag included) for appending to a table of this layout.
std::string blankRecord(const Layout& layout);

// Decoding of one stored value. `field` is exactly the column's bytes of one record.
bool isBlank(Codec codec, std::string_view field);
// The value as text: stored text without trailing blanks; numbers in their shortest decimal
// form ("3", "-12", "2.5"); blank as empty text. A number column holding something else gives
// its characters without blanks.
std::string text(Codec codec, std::string_view field);
// Text without trailing blanks or NULs (the Text codec without copying).
inline std::string_view trimmedText(std::string_view field) {
    while (!field.empty() && (field.back() == ' ' || field.back() == '\0')) {
        field.remove_suffix(1);
    }
    return field;
}
// Text without blanks, tabs or NULs at either end.
std::string_view trimmedBothEnds(std::string_view text);
// The value as a number: nothing when blank; `valid` false when the bytes are not a number.
std::optional<double> number(Codec codec, std::string_view field, bool& valid);

// A decimal number as written by a person or a program: optional blanks around, optional sign,
// digits with an optional point, optional exponent. Nothing when `text` is anything else.
std::optional<double> parseNumber(std::string_view text);
// Shortest decimal text of a number: whole numbers as their digits only.
std::string shortestText(double value);

// Right-aligned fixed-point text of `value` in exactly `width` characters with `decimals`
// decimals; false when it does not fit or is not finite. Whole-number columns round halves
// away from zero.
bool formatNumber(double value, int width, int decimals, char* out);

} // namespace tdb::dbf::format
