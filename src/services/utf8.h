#pragma once

#include <cstddef>
#include <string_view>

namespace tdb::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// The code point at `i` of UTF-8 text, advancing past it. A malformed sequence gives U+FFFD: a
// byte that cannot start a sequence counts as one, a sequence cut short ends before the byte
// that cuts it, and an overlong form, a surrogate or a value past U+10FFFF is consumed whole.
inline char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k <= extra; ++k) {
        const std::size_t at = i + static_cast<std::size_t>(k);
        if (at >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) {
            i = at;
            return kReplacement;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(s[at]) & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return kReplacement;
    }
    return cp;
}

} // namespace tdb::utf8
