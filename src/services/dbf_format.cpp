#include "services/dbf_format.h"

#include "services/error.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace tdb::dbf::format {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kLevel7HeaderSize = 68; // 32 + language driver name (32) + reserved (4)
constexpr std::size_t kLevel7DescriptorSize = 48;
constexpr std::size_t kLevel7NameSize = 32;
constexpr std::size_t kNameSize = 11;
constexpr int kNameMax = 10;

std::uint32_t le32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

std::uint16_t le16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                      (static_cast<unsigned char>(p[1]) << 8));
}

std::uint64_t le64(const char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

std::uint64_t be64(const char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

std::uint32_t be32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    }
    return v;
}

void putLe32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void putLe16(char* p, std::uint16_t v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

bool allZero(std::string_view field) {
    return std::all_of(field.begin(), field.end(), [](char c) { return c == '\0'; });
}

bool isPad(char c) {
    return c == ' ' || c == '\0';
}

std::string_view trimBoth(std::string_view s) {
    while (!s.empty() && (isPad(s.front()) || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (isPad(s.back()) || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// Version bytes of the dBASE family, level 7 and FoxPro that the engine reads.
bool knownVersion(unsigned char v) {
    static constexpr std::array<unsigned char, 17> known = {0x03, 0x04, 0x05, 0x30, 0x31, 0x32,
                                                            0x43, 0x63, 0x7B, 0x83, 0x8B, 0x8C,
                                                            0x8E, 0xB3, 0xCB, 0xF5, 0xFB};
    return std::find(known.begin(), known.end(), v) != known.end();
}

Flavour flavourOf(unsigned char v) {
    if ((v & 0x07) == 0x04) {
        return Flavour::Level7;
    }
    if (v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB) {
        return Flavour::FoxPro;
    }
    return Flavour::DBase;
}

Codec codecOf(char type, int length, Flavour flavour) {
    switch (type) {
    case 'N':
    case 'F':
        return Codec::Number;
    case 'L':
        return Codec::Logical;
    case 'D':
        return length == 8 ? Codec::Date : Codec::Text;
    case 'I':
        if (length != 4) {
            return Codec::Text;
        }
        return flavour == Flavour::Level7 ? Codec::IntBE : Codec::IntLE;
    case '+':
        return length == 4 ? Codec::IntBE : Codec::Text;
    case 'O':
        return length == 8 ? Codec::DoubleBE : Codec::Text;
    case 'B':
        // dBASE keeps a memo block number in B columns; FoxPro a double.
        return flavour == Flavour::FoxPro && length == 8 ? Codec::DoubleLE : Codec::Text;
    case 'Y':
        return flavour == Flavour::FoxPro && length == 8 ? Codec::CurrencyLE : Codec::Text;
    default:
        return Codec::Text;
    }
}

std::string columnName(const char* p, std::size_t size) {
    std::size_t n = 0;
    while (n < size && p[n] != '\0') {
        ++n;
    }
    std::string name(p, n);
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return name;
}

// A plain decimal "[+-]digits[.digits]" split into its parts; nothing for anything else.
struct Decimal {
    bool negative = false;
    std::string_view whole;
    std::string_view fraction;
};

std::optional<Decimal> splitDecimal(std::string_view s) {
    Decimal d;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        d.negative = s.front() == '-';
        s.remove_prefix(1);
    }
    auto point = s.find('.');
    d.whole = s.substr(0, point);
    d.fraction = point == std::string_view::npos ? std::string_view{} : s.substr(point + 1);
    auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((d.whole.empty() && d.fraction.empty()) || !digits(d.whole) || !digits(d.fraction)) {
        return std::nullopt;
    }
    return d;
}

// Exact shortest text of a plain decimal: no leading zeros, no trailing fraction zeros, no "-0".
std::string normalDecimal(const Decimal& d) {
    auto whole = d.whole;
    while (!whole.empty() && whole.front() == '0') {
        whole.remove_prefix(1);
    }
    auto fraction = d.fraction;
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.remove_suffix(1);
    }
    std::string out;
    if (d.negative && !(whole.empty() && fraction.empty())) {
        out += '-';
    }
    out += whole.empty() ? std::string_view("0") : whole;
    if (!fraction.empty()) {
        out += '.';
        out += fraction;
    }
    return out;
}

std::string currencyText(std::int64_t units) {
    bool negative = units < 0;
    // Magnitude as unsigned so that the most negative value does not overflow.
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    std::string digits = std::to_string(magnitude);
    if (digits.size() < 5) {
        digits.insert(0, 5 - digits.size(), '0');
    }
    Decimal d;
    d.negative = negative;
    d.whole = std::string_view(digits).substr(0, digits.size() - 4);
    d.fraction = std::string_view(digits).substr(digits.size() - 4);
    return normalDecimal(d);
}

double level7Double(std::string_view field) {
    std::uint64_t bits = be64(field.data());
    constexpr std::uint64_t sign = std::uint64_t{1} << 63;
    bits = (bits & sign) != 0 ? bits ^ sign : ~bits;
    return std::bit_cast<double>(bits);
}

std::int32_t level7Int(std::string_view field) {
    return static_cast<std::int32_t>(be32(field.data()) ^ 0x80000000U);
}

} // namespace

Layout parseLayout(std::span<const char> file, const std::string& table) {
    auto damaged = [&](const std::string& cause) {
        return Error("La tabla " + table + " está dañada: " + cause);
    };
    if (file.size() < kHeaderSize) {
        throw damaged("el archivo tiene " + std::to_string(file.size()) +
                      " bytes, menos que la cabecera de una tabla");
    }
    const char* p = file.data();
    Layout layout;
    layout.version = static_cast<unsigned char>(p[0]);
    if (!knownVersion(layout.version)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", layout.version);
        throw Error("La tabla " + table + " no es una tabla dBASE reconocida (byte de versión " +
                    hex + ")");
    }
    layout.flavour = flavourOf(layout.version);
    const std::size_t declaredCount = le32(p + 4);
    layout.headerLength = le16(p + 8);
    layout.recordLength = le16(p + 10);

    const bool level7 = layout.flavour == Flavour::Level7;
    const std::size_t descriptorsStart = level7 ? kLevel7HeaderSize : kHeaderSize;
    const std::size_t descriptorSize = level7 ? kLevel7DescriptorSize : kDescriptorSize;
    if (layout.headerLength < descriptorsStart + 1) {
        throw damaged("la cabecera dice medir " + std::to_string(layout.headerLength) +
                      " bytes, menos de lo que ocupa");
    }
    if (layout.headerLength > file.size()) {
        throw damaged("la cabecera dice medir " + std::to_string(layout.headerLength) +
                      " bytes, pero el archivo solo tiene " + std::to_string(file.size()));
    }
    if (layout.recordLength == 0) {
        throw damaged("la cabecera indica registros de 0 bytes");
    }

    // Descriptors run up to their terminator; the first record starts at the header length,
    // whatever lies between (the FoxPro backlink area, level 7 field properties).
    std::size_t pos = descriptorsStart;
    std::size_t width = 0;
    std::vector<int> textHighBytes;
    while (pos < layout.headerLength && static_cast<unsigned char>(p[pos]) != kDescriptorEnd) {
        if (pos + descriptorSize > layout.headerLength) {
            throw damaged("la descripción de la columna " +
                          std::to_string(layout.columns.size() + 1) + " está cortada");
        }
        const char* d = p + pos;
        Column column;
        const std::size_t typeAt = level7 ? kLevel7NameSize : kNameSize;
        column.name = columnName(d, typeAt);
        column.type = d[typeAt];
        column.length = static_cast<unsigned char>(d[level7 ? 33 : 16]);
        column.decimals = static_cast<unsigned char>(d[level7 ? 34 : 17]);
        textHighBytes.push_back(column.type == 'C' && !level7 ? column.decimals : 0);
        width += static_cast<std::size_t>(column.length);
        layout.columns.push_back(std::move(column));
        pos += descriptorSize;
    }
    if (layout.columns.empty()) {
        throw damaged("no tiene columnas");
    }
    // Clipper and FoxPro store text columns longer than 255 with the high byte of the length
    // in the decimals; use that reading only when it is the one that matches the record length.
    if (width + 1 != layout.recordLength) {
        std::size_t wide = width;
        for (int high : textHighBytes) {
            wide += static_cast<std::size_t>(high) * 256;
        }
        if (wide != width && wide + 1 == layout.recordLength) {
            for (std::size_t i = 0; i < layout.columns.size(); ++i) {
                if (textHighBytes[i] != 0) {
                    layout.columns[i].length += textHighBytes[i] * 256;
                    layout.columns[i].decimals = 0;
                }
            }
            width = wide;
        }
    }
    if (width + 1 > layout.recordLength) {
        throw damaged("sus columnas ocupan " + std::to_string(width + 1) +
                      " bytes por registro, pero la cabecera indica registros de " +
                      std::to_string(layout.recordLength));
    }
    std::size_t offset = 0;
    for (auto& column : layout.columns) {
        column.offset = offset;
        offset += static_cast<std::size_t>(column.length);
        layout.codecs.push_back(codecOf(column.type, column.length, layout.flavour));
    }

    // The records present: the declared count, cut at an end mark where a record should start;
    // a count that runs past the end of the file is a lie.
    const std::size_t available = file.size() - layout.headerLength;
    const std::size_t complete = available / layout.recordLength;
    const std::size_t scan = std::min(declaredCount, complete + 1);
    std::size_t count = declaredCount;
    for (std::size_t i = 0; i < scan; ++i) {
        std::size_t start = layout.headerLength + i * layout.recordLength;
        if (start < file.size() && static_cast<unsigned char>(p[start]) == kFileEnd) {
            count = i;
            break;
        }
    }
    if (count > complete) {
        throw damaged("la cabecera indica " + std::to_string(declaredCount) +
                      " registros, pero el archivo solo contiene " + std::to_string(complete));
    }
    layout.recordCount = count;
    return layout;
}

bool canAppend(const Layout& layout) {
    if ((layout.version & 0x07) != 0x03 || layout.flavour != Flavour::DBase) {
        return false;
    }
    return std::all_of(layout.codecs.begin(), layout.codecs.end(), [](Codec c) {
        return c == Codec::Text || c == Codec::Number || c == Codec::Logical || c == Codec::Date;
    });
}

std::string newHeader(std::span<const ColumnSpec> columns, const std::string& table) {
    auto refuse = [&](const std::string& cause) {
        return Error("No se puede crear la tabla " + table + ": " + cause);
    };
    if (columns.empty()) {
        throw refuse("no tiene columnas");
    }
    const std::size_t headerLength = kHeaderSize + kDescriptorSize * columns.size() + 1;
    if (headerLength > 0xFFFF) {
        throw refuse("tiene demasiadas columnas (" + std::to_string(columns.size()) + ")");
    }
    std::string header(headerLength, '\0');
    std::size_t recordLength = 1;
    std::set<std::string> names;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto& wanted = columns[i];
        const bool printable = std::all_of(wanted.name.begin(), wanted.name.end(),
                                           [](char c) { return c > ' ' && c < 0x7F; });
        if (wanted.name.empty() || wanted.name.size() > kNameMax || !printable) {
            throw refuse("el nombre de columna «" + wanted.name +
                         "» no tiene de 1 a 10 caracteres ASCII sin espacios");
        }
        std::string name = columnName(wanted.name.data(), wanted.name.size());
        if (!names.insert(name).second) {
            throw refuse("la columna " + name + " está repetida");
        }
        char type = 'C';
        int length = 0;
        int decimals = 0;
        switch (wanted.kind) {
        case ColumnKind::Text:
            if (wanted.width < 1 || wanted.width > kTextWidthMax) {
                throw refuse("la columna " + name + " tiene un ancho de " +
                             std::to_string(wanted.width) + " caracteres (de 1 a 254)");
            }
            length = wanted.width;
            break;
        case ColumnKind::Integer:
            type = 'N';
            length = kIntegerWidth;
            break;
        case ColumnKind::Float:
            type = 'N';
            length = kFloatWidth;
            decimals = kFloatDecimals;
            break;
        case ColumnKind::Logical:
            type = 'L';
            length = 1;
            break;
        }
        recordLength += static_cast<std::size_t>(length);
        char* d = header.data() + kHeaderSize + i * kDescriptorSize;
        std::memcpy(d, name.data(), name.size());
        d[11] = type;
        d[16] = static_cast<char>(length);
        d[17] = static_cast<char>(decimals);
    }
    if (recordLength > 0xFFFF) {
        throw refuse("sus registros medirían " + std::to_string(recordLength) + " bytes");
    }
    header[0] = 0x03;
    putLe16(header.data() + 8, static_cast<std::uint16_t>(headerLength));
    putLe16(header.data() + 10, static_cast<std::uint16_t>(recordLength));
    header[29] = static_cast<char>(kLanguageDriverWindows1252);
    header[headerLength - 1] = static_cast<char>(kDescriptorEnd);
    return header;
}

void setRecordCount(char* header, std::uint32_t count) {
    putLe32(header + 4, count);
}

std::uint32_t recordCountOf(const char* header) {
    return le32(header + 4);
}

void setUpdateDate(char* header, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    header[1] = static_cast<char>(std::clamp(local.tm_year, 0, 255));
    header[2] = static_cast<char>(local.tm_mon + 1);
    header[3] = static_cast<char>(local.tm_mday);
}

std::string blankRecord(const Layout& layout) {
    std::string record(layout.recordLength, ' ');
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        switch (layout.codecs[i]) {
        case Codec::Text:
        case Codec::Number:
        case Codec::Logical:
        case Codec::Date:
            break;
        default:
            // Binary columns: zero bytes, which level 7 reads as no value.
            std::memset(record.data() + 1 + layout.columns[i].offset, 0,
                        static_cast<std::size_t>(layout.columns[i].length));
        }
    }
    return record;
}

std::string_view trimmedBothEnds(std::string_view text) {
    return trimBoth(text);
}

bool isBlank(Codec codec, std::string_view field) {
    switch (codec) {
    case Codec::Text:
    case Codec::Number:
    case Codec::Date:
        return trimmedText(field).empty();
    case Codec::Logical: {
        char c = field.empty() ? ' ' : field[0];
        return std::string_view("TtYyFfNn").find(c) == std::string_view::npos;
    }
    case Codec::IntBE:
    case Codec::DoubleBE:
        return allZero(field);
    case Codec::IntLE:
    case Codec::DoubleLE:
    case Codec::CurrencyLE:
        return false;
    }
    return false;
}

std::string text(Codec codec, std::string_view field) {
    if (codec == Codec::Text) {
        return std::string(trimmedText(field));
    }
    if (isBlank(codec, field)) {
        return {};
    }
    switch (codec) {
    case Codec::Text:
        return std::string(trimmedText(field));
    case Codec::Date:
        return std::string(trimBoth(field));
    case Codec::Number: {
        auto trimmed = trimBoth(field);
        if (auto d = splitDecimal(trimmed)) {
            return normalDecimal(*d);
        }
        if (auto v = parseNumber(trimmed)) {
            return shortestText(*v);
        }
        return std::string(trimmed);
    }
    case Codec::Logical:
        return std::string_view("TtYy").find(field[0]) != std::string_view::npos ? "T" : "F";
    case Codec::IntLE:
        return std::to_string(static_cast<std::int32_t>(le32(field.data())));
    case Codec::IntBE:
        return std::to_string(level7Int(field));
    case Codec::DoubleLE: {
        double v = std::bit_cast<double>(le64(field.data()));
        return std::isfinite(v) ? shortestText(v) : std::string{};
    }
    case Codec::DoubleBE: {
        double v = level7Double(field);
        return std::isfinite(v) ? shortestText(v) : std::string{};
    }
    case Codec::CurrencyLE:
        return currencyText(static_cast<std::int64_t>(le64(field.data())));
    }
    return {};
}

std::optional<double> number(Codec codec, std::string_view field, bool& valid) {
    valid = true;
    if (isBlank(codec, field)) {
        return std::nullopt;
    }
    switch (codec) {
    case Codec::Text:
    case Codec::Number:
    case Codec::Date: {
        auto v = parseNumber(field);
        valid = v.has_value();
        return v;
    }
    case Codec::Logical:
        return std::string_view("TtYy").find(field[0]) != std::string_view::npos ? 1.0 : 0.0;
    case Codec::IntLE:
        return static_cast<double>(static_cast<std::int32_t>(le32(field.data())));
    case Codec::IntBE:
        return static_cast<double>(level7Int(field));
    case Codec::DoubleLE:
    case Codec::DoubleBE: {
        double v = codec == Codec::DoubleLE ? std::bit_cast<double>(le64(field.data()))
                                            : level7Double(field);
        valid = std::isfinite(v);
        return v;
    }
    case Codec::CurrencyLE:
        return static_cast<double>(static_cast<std::int64_t>(le64(field.data()))) / 10000.0;
    }
    return std::nullopt;
}

std::optional<double> parseNumber(std::string_view text) {
    auto s = trimBoth(text);
    if (s.empty()) {
        return std::nullopt;
    }
    // The grammar is checked here; from_chars alone would also take "inf", "nan" and hex.
    auto exponentAt = s.find_first_of("eE");
    auto mantissa = s.substr(0, exponentAt);
    if (!splitDecimal(mantissa)) {
        return std::nullopt;
    }
    if (exponentAt != std::string_view::npos) {
        auto exponent = s.substr(exponentAt + 1);
        if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
            exponent.remove_prefix(1);
        }
        if (exponent.empty() || !std::all_of(exponent.begin(), exponent.end(),
                                             [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
    }
    if (s.front() == '+') {
        s.remove_prefix(1);
    }
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    if (ec != std::errc{} || end != s.data() + s.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string shortestText(double value) {
    if (value == 0) {
        return "0"; // also for -0
    }
    char buffer[400];
    const double magnitude = std::fabs(value);
    auto format = magnitude >= 1e-6 && magnitude < 1e21 ? std::chars_format::fixed
                                                        : std::chars_format::general;
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    if (ec != std::errc{}) {
        return {};
    }
    return std::string(buffer, end);
}

bool formatNumber(double value, int width, int decimals, char* out) {
    if (!std::isfinite(value) || width <= 0 || decimals < 0) {
        return false;
    }
    if (decimals == 0) {
        value = std::round(value);
    }
    // Whole numbers, what the tables mostly hold, are written without the general formatter.
    if (value == std::trunc(value) && std::fabs(value) < 1e15 && decimals <= 15) {
        char digits[40];
        char* p = digits + sizeof digits;
        for (int i = 0; i < decimals; ++i) {
            *--p = '0';
        }
        if (decimals > 0) {
            *--p = '.';
        }
        auto whole = static_cast<std::uint64_t>(std::fabs(value));
        do {
            *--p = static_cast<char>('0' + whole % 10);
            whole /= 10;
        } while (whole != 0);
        if (value < 0) {
            *--p = '-';
        }
        const auto size = static_cast<std::size_t>(digits + sizeof digits - p);
        if (size > static_cast<std::size_t>(width)) {
            return false;
        }
        const std::size_t pad = static_cast<std::size_t>(width) - size;
        std::memset(out, ' ', pad);
        std::memcpy(out + pad, p, size);
        return true;
    }
    char buffer[1100];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc{}) {
        return false;
    }
    std::string_view digits(buffer, static_cast<std::size_t>(end - buffer));
    if (digits.front() == '-' && digits.find_first_not_of("-0.") == std::string_view::npos) {
        digits.remove_prefix(1); // no "-0.0000"
    }
    if (digits.size() > static_cast<std::size_t>(width)) {
        return false;
    }
    const std::size_t pad = static_cast<std::size_t>(width) - digits.size();
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, digits.data(), digits.size());
    return true;
}

} // namespace tdb::dbf::format
