#include "services/xml_encoding.h"

#include "services/utf8.h"

#include "services/cp1252.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

namespace tdb::xml::encoding {
namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return out;
}

template <std::size_t N> bool oneOf(const std::string& lower, const std::string_view (&names)[N]) {
    return std::find(std::begin(names), std::end(names), lower) != std::end(names);
}

constexpr std::string_view kUtf8Names[] = {"utf-8", "utf8"};
// ASCII is read as the UTF-8 it is a part of; the declaration is rewritten on save.
constexpr std::string_view kAsciiNames[] = {"us-ascii", "ascii"};
constexpr std::string_view kUtf16Names[] = {"utf-16", "utf16"};
constexpr std::string_view kLatin1Names[] = {
    "iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1",     "latin-1",
    "l1",         "cp819",     "ibm819",     "iso-ir-100",      "csisolatin1"};
constexpr std::string_view kWindows1252Names[] = {
    "windows-1252", "windows1252", "cp1252", "cp-1252", "win-1252", "x-cp1252", "ms-ansi"};
constexpr std::string_view kLatin9Names[] = {
    "iso-8859-15", "iso8859-15", "iso_8859-15", "iso_8859-15:1998", "latin9",    "latin-9",
    "l9",          "latin0",     "latin-0",     "csisolatin9",      "iso-ir-203"};

// An 8-bit code page: the code point of every byte, and the way back.
struct CodePage {
    std::array<char32_t, 256> toUnicode{};
    std::array<int, 256> fromLow{}; // byte of code points below 256, or -1
    std::vector<std::pair<char32_t, unsigned char>> fromHigh;

    int byteOf(char32_t cp) const {
        if (cp < 256) {
            return fromLow[cp];
        }
        for (const auto& [point, byte] : fromHigh) {
            if (point == cp) {
                return byte;
            }
        }
        return -1;
    }
};

CodePage makeCodePage(Encoding encoding) {
    CodePage page;
    for (unsigned b = 0; b < 256; ++b) {
        page.toUnicode[b] = encoding == Encoding::Windows1252
                                ? cp1252::codePoint(static_cast<unsigned char>(b))
                                : char32_t(b);
    }
    if (encoding == Encoding::Latin9) {
        // The eight places where ISO-8859-15 departs from ISO-8859-1.
        constexpr std::pair<unsigned char, char32_t> kLatin9[] = {
            {0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
            {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}};
        for (const auto& [byte, cp] : kLatin9) {
            page.toUnicode[byte] = cp;
        }
    }
    page.fromLow.fill(-1);
    for (unsigned b = 0; b < 256; ++b) {
        char32_t cp = page.toUnicode[b];
        if (cp < 256) {
            page.fromLow[cp] = static_cast<int>(b);
        } else {
            page.fromHigh.emplace_back(cp, static_cast<unsigned char>(b));
        }
    }
    return page;
}

const CodePage& codePage(Encoding encoding) {
    static const CodePage latin1 = makeCodePage(Encoding::Latin1);
    static const CodePage windows1252 = makeCodePage(Encoding::Windows1252);
    static const CodePage latin9 = makeCodePage(Encoding::Latin9);
    switch (encoding) {
    case Encoding::Windows1252:
        return windows1252;
    case Encoding::Latin9:
        return latin9;
    default:
        return latin1;
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool asciiWithoutNul(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    return (w & kHigh) == 0 && ((w - kOnes) & ~w & kHigh) == 0;
}

std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr const char* kNul = "carácter nulo";
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
// ASCII runs at least this long are handed on without being copied into the buffer.
constexpr std::size_t kPassThrough = 512;

// Bytes of the sequence a byte starts, as nextCodePoint reads it: 1 for ASCII and for a byte
// that starts none.
std::size_t sequenceLength(unsigned char b) {
    if ((b & 0xE0) == 0xC0) {
        return 2;
    }
    if ((b & 0xF0) == 0xE0) {
        return 3;
    }
    if ((b & 0xF8) == 0xF0) {
        return 4;
    }
    return 1;
}

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

struct StringWriter final : pugi::xml_writer {
    std::string& out;
    explicit StringWriter(std::string& target) : out(target) {}
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

} // namespace

std::optional<Encoding> byName(std::string_view name) {
    auto lower = lowerAscii(name);
    if (oneOf(lower, kUtf8Names) || oneOf(lower, kAsciiNames)) {
        return Encoding::Utf8;
    }
    if (oneOf(lower, kUtf16Names) || lower == "utf-16le") {
        return Encoding::Utf16LE;
    }
    if (lower == "utf-16be") {
        return Encoding::Utf16BE;
    }
    if (oneOf(lower, kLatin1Names)) {
        return Encoding::Latin1;
    }
    if (oneOf(lower, kWindows1252Names)) {
        return Encoding::Windows1252;
    }
    if (oneOf(lower, kLatin9Names)) {
        return Encoding::Latin9;
    }
    return std::nullopt;
}

std::string_view canonicalName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf8:
        return "UTF-8";
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        return "UTF-16";
    case Encoding::Latin1:
        return "ISO-8859-1";
    case Encoding::Windows1252:
        return "windows-1252";
    case Encoding::Latin9:
        return "ISO-8859-15";
    }
    return "UTF-8";
}

bool nameFits(std::string_view name, Encoding encoding) {
    auto lower = lowerAscii(name);
    switch (encoding) {
    case Encoding::Utf8:
        return oneOf(lower, kUtf8Names);
    case Encoding::Utf16LE:
        return oneOf(lower, kUtf16Names) || lower == "utf-16le";
    case Encoding::Utf16BE:
        return oneOf(lower, kUtf16Names) || lower == "utf-16be";
    default:
        return byName(name) == encoding;
    }
}

bool isEightBit(Encoding encoding) {
    return encoding == Encoding::Latin1 || encoding == Encoding::Windows1252 ||
           encoding == Encoding::Latin9;
}

std::optional<std::string_view> declaredName(std::string_view bytes) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    if (bytes.size() < 6 || bytes.substr(0, 5) != "<?xml" || !isSpace(bytes[5])) {
        return std::nullopt;
    }
    auto end = bytes.find("?>");
    if (end == std::string_view::npos) {
        return std::nullopt; // the parser reports the broken declaration
    }
    std::string_view decl = bytes.substr(5, end - 5);
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < decl.size() && isSpace(decl[i])) {
            ++i;
        }
    };
    while (true) {
        skipSpace();
        std::size_t nameStart = i;
        while (i < decl.size() && decl[i] != '=' && !isSpace(decl[i])) {
            ++i;
        }
        std::string_view name = decl.substr(nameStart, i - nameStart);
        skipSpace();
        if (name.empty() || i >= decl.size() || decl[i] != '=') {
            return std::nullopt;
        }
        ++i;
        skipSpace();
        if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) {
            return std::nullopt;
        }
        char quote = decl[i++];
        auto close = decl.find(quote, i);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view value = decl.substr(i, close - i);
        i = close + 1;
        if (name == "encoding") {
            return value;
        }
    }
}

std::size_t firstInvalidUtf8(std::string_view s, const char** fault) {
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        if (i + 8 <= n && asciiWithoutNul(load8(s.data() + i))) {
            i += 8;
            continue;
        }
        auto b = static_cast<unsigned char>(s[i]);
        if (b == 0) {
            *fault = kNul;
            return i;
        }
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b == 0xE0) {
            len = 3;
            lo = 0xA0;
        } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
            len = 3;
        } else if (b == 0xED) {
            len = 3;
            hi = 0x9F;
        } else if (b == 0xF0) {
            len = 4;
            lo = 0x90;
        } else if (b >= 0xF1 && b <= 0xF3) {
            len = 4;
        } else if (b == 0xF4) {
            len = 4;
            hi = 0x8F;
        }
        bool ok = len != 0 && i + len <= n;
        if (ok) {
            auto b1 = static_cast<unsigned char>(s[i + 1]);
            ok = b1 >= lo && b1 <= hi;
            for (std::size_t k = 2; ok && k < len; ++k) {
                ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
            }
        }
        if (!ok) {
            *fault = "secuencia de bytes que no es UTF-8 válido";
            return i;
        }
        i += len;
    }
    return std::string_view::npos;
}

Decoded eightBitToUtf8(std::string_view bytes, Encoding encoding) {
    const CodePage& page = codePage(encoding);
    Decoded result;
    result.text.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b == 0) {
            result.badAt = result.text.size();
            result.fault = kNul;
            return result;
        }
        if (b < 0x80) {
            result.text.push_back(c);
        } else {
            appendUtf8(result.text, page.toUnicode[b]);
        }
    }
    return result;
}

Decoded utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    Decoded result;
    result.text.reserve(bytes.size() / 2 + bytes.size() / 8);
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t k) -> char16_t {
        auto a = static_cast<unsigned char>(bytes[2 * k]);
        auto b = static_cast<unsigned char>(bytes[2 * k + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    auto fail = [&](const char* fault) {
        result.badAt = result.text.size();
        result.fault = fault;
        return result;
    };
    for (std::size_t k = 0; k < units; ++k) {
        char16_t u = unit(k);
        if (u == 0) {
            return fail(kNul);
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            return fail("sustituto UTF-16 sin pareja");
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            char16_t low = k + 1 < units ? unit(k + 1) : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                return fail("sustituto UTF-16 sin pareja");
            }
            appendUtf8(result.text, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
            ++k;
            continue;
        }
        appendUtf8(result.text, u);
    }
    if (bytes.size() % 2 != 0) {
        return fail("número impar de bytes en UTF-16");
    }
    return result;
}

bool representable(std::string_view utf8, Encoding encoding) {
    if (!isEightBit(encoding)) {
        return true;
    }
    const CodePage& page = codePage(encoding);
    std::size_t i = 0;
    while (i < utf8.size()) {
        if (page.byteOf(utf8::nextCodePoint(utf8, i)) < 0) {
            return false;
        }
    }
    return true;
}

std::string fromUtf8(std::string_view utf8, Encoding encoding, bool utf8Bom) {
    std::string out;
    const bool wide = encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE;
    out.reserve(wide ? 2 * utf8.size() + 2 : utf8.size() + 3);
    StringWriter writer(out);
    Utf8Transcoder transcoder(encoding, utf8Bom, writer);
    transcoder.write(utf8);
    transcoder.finish();
    return out;
}

Utf8Transcoder::Utf8Transcoder(Encoding encoding, bool utf8Bom, pugi::xml_writer& out)
    : encoding_(encoding), out_(out), buffer_(std::make_unique<char[]>(kCapacity)) {
    if (encoding == Encoding::Utf8) {
        if (utf8Bom) {
            put("\xEF\xBB\xBF", 3);
        }
    } else if (!isEightBit(encoding)) {
        encode(0xFEFF);
    }
}

Utf8Transcoder::~Utf8Transcoder() = default;

void Utf8Transcoder::write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    if (encoding_ == Encoding::Utf8) {
        flush();
        if (size > 0) {
            out_.write(p, size);
        }
        return;
    }
    if (heldSize_ > 0) {
        // Complete the character the previous piece ended in, or find it broken.
        const std::size_t need = sequenceLength(static_cast<unsigned char>(held_[0]));
        while (heldSize_ < need && size > 0 && isContinuation(static_cast<unsigned char>(*p))) {
            held_[heldSize_++] = *p++;
            --size;
        }
        if (heldSize_ < need && size == 0) {
            return;
        }
        std::size_t i = 0;
        encode(utf8::nextCodePoint(std::string_view(held_, heldSize_), i));
        heldSize_ = 0;
    }
    convert(p, size);
}

void Utf8Transcoder::convert(const char* p, std::size_t n) {
    const bool eightBit = isEightBit(encoding_);
    std::size_t i = 0;
    while (i < n) {
        // ASCII is the same in every output but UTF-16: 8-bit output copies a run at once.
        std::size_t j = i;
        while (j + 8 <= n && (load8(p + j) & kHighBits) == 0) {
            j += 8;
        }
        while (j < n && static_cast<unsigned char>(p[j]) < 0x80) {
            ++j;
        }
        if (j > i) {
            if (eightBit && j - i >= kPassThrough) {
                // A long run goes on as it came, without a copy into the buffer.
                flush();
                out_.write(p + i, j - i);
            } else if (eightBit) {
                put(p + i, j - i);
            } else {
                for (std::size_t k = i; k < j; ++k) {
                    encode(static_cast<unsigned char>(p[k]));
                }
            }
            i = j;
            if (i == n) {
                break;
            }
        }
        const std::size_t need = sequenceLength(static_cast<unsigned char>(p[i]));
        if (n - i < need) {
            bool cut = true; // the piece ends inside the character: keep its start for the next
            for (std::size_t k = i + 1; k < n; ++k) {
                cut = cut && isContinuation(static_cast<unsigned char>(p[k]));
            }
            if (cut) {
                std::memcpy(held_, p + i, n - i);
                heldSize_ = n - i;
                return;
            }
        }
        encode(utf8::nextCodePoint(std::string_view(p, n), i));
    }
}

void Utf8Transcoder::encode(char32_t cp) {
    if (isEightBit(encoding_)) {
        const int byte = codePage(encoding_).byteOf(cp);
        if (byte >= 0) {
            putByte(static_cast<char>(byte));
            return;
        }
        char reference[16] = "&#";
        auto [end, ec] = std::to_chars(reference + 2, reference + sizeof reference - 1,
                                       static_cast<unsigned long>(cp));
        (void)ec; // a code point has at most seven digits
        *end++ = ';';
        put(reference, static_cast<std::size_t>(end - reference));
        return;
    }
    const bool big = encoding_ == Encoding::Utf16BE;
    auto unit = [&](char32_t u) {
        const auto hi = static_cast<char>((u >> 8) & 0xFF);
        const auto lo = static_cast<char>(u & 0xFF);
        putByte(big ? hi : lo);
        putByte(big ? lo : hi);
    };
    if (cp >= 0x10000) {
        cp -= 0x10000;
        unit(0xD800 + (cp >> 10));
        unit(0xDC00 + (cp & 0x3FF));
    } else {
        unit(cp);
    }
}

void Utf8Transcoder::put(const char* data, std::size_t size) {
    if (size > kCapacity - used_) {
        flush();
        if (size >= kCapacity) {
            out_.write(data, size);
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
}

void Utf8Transcoder::flush() {
    if (used_ > 0) {
        out_.write(buffer_.get(), used_);
        used_ = 0;
    }
}

void Utf8Transcoder::finish() {
    if (heldSize_ > 0) {
        std::size_t i = 0;
        encode(utf8::nextCodePoint(std::string_view(held_, heldSize_), i));
        heldSize_ = 0;
    }
    flush();
}

} // namespace tdb::xml::encoding
