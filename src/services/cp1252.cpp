#include "services/cp1252.h"

#include "services/utf8.h"

#include <algorithm>
#include <array>

namespace tdb::cp1252 {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct Tables {
    std::array<char32_t, 256> toUnicode{};
    std::array<unsigned char, 256> lower{};
};

constexpr Tables makeTables() {
    Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        t.toUnicode[i] = (i >= 0x80 && i < 0xA0) ? kHighControls[i - 0x80] : char32_t(i);
        t.lower[i] = static_cast<unsigned char>(i);
    }
    for (unsigned c = 'A'; c <= 'Z'; ++c) {
        t.lower[c] = static_cast<unsigned char>(c + 32);
    }
    // À-Þ without × (0xD7).
    for (unsigned c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7) {
            t.lower[c] = static_cast<unsigned char>(c + 32);
        }
    }
    t.lower[0x8A] = 0x9A; // Š š
    t.lower[0x8C] = 0x9C; // Œ œ
    t.lower[0x8E] = 0x9E; // Ž ž
    t.lower[0x9F] = 0xFF; // Ÿ ÿ
    return t;
}

constexpr Tables kTables = makeTables();

// Byte of a code point, or '?' when the code page lacks it.
unsigned char byteOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<unsigned char>(cp);
    }
    for (unsigned i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return '?';
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

char32_t codePoint(unsigned char byte) {
    return kTables.toUnicode[byte];
}

std::string fromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            // ASCII runs, the bulk of any text, go across in one piece.
            std::size_t end = i + 1;
            while (end < n && static_cast<unsigned char>(text[end]) < 0x80) {
                ++end;
            }
            out.append(text.data() + i, end - i);
            i = end;
            continue;
        }
        out.push_back(static_cast<char>(byteOf(utf8::nextCodePoint(text, i))));
    }
    return out;
}

std::string toUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 4);
    for (char c : ansi) {
        appendUtf8(out, kTables.toUnicode[static_cast<unsigned char>(c)]);
    }
    return out;
}

std::u16string toUtf16(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        out.push_back(static_cast<char16_t>(kTables.toUnicode[static_cast<unsigned char>(c)]));
    }
    return out;
}

std::string fromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            ++i; // a pair is one code point beyond the code page
            out.push_back('?');
        } else {
            out.push_back(static_cast<char>(byteOf(u)));
        }
    }
    return out;
}

unsigned char foldCase(unsigned char byte) {
    return kTables.lower[byte];
}

std::string folded(std::string_view ansi) {
    std::string out(ansi);
    for (auto& c : out) {
        c = static_cast<char>(kTables.lower[static_cast<unsigned char>(c)]);
    }
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (kTables.lower[static_cast<unsigned char>(a[i])] !=
            kTables.lower[static_cast<unsigned char>(b[i])]) {
            return false;
        }
    }
    return true;
}

} // namespace tdb::cp1252
