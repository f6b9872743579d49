#include "services/cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace tdb::cp1252 {
namespace {

TEST(Cp1252, EveryByteSurvivesTheWayThroughUnicode) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        std::string ansi(1, static_cast<char>(b));
        std::string utf8 = toUtf8(ansi);
        EXPECT_EQ(fromUtf8(utf8), ansi);
        std::u16string utf16 = toUtf16(ansi);
        ASSERT_EQ(utf16.size(), 1u);
        EXPECT_EQ(char32_t(utf16[0]), codePoint(static_cast<unsigned char>(b)));
        EXPECT_EQ(fromUtf16(utf16), ansi);
        // A byte and its UTF-8 agree on the code point.
        char32_t cp = codePoint(static_cast<unsigned char>(b));
        EXPECT_EQ(utf8.size(), cp < 0x80 ? 1u : cp < 0x800 ? 2u : 3u);
    }
    // All bytes at once, in one text.
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

struct Known {
    unsigned char byte;
    const char* utf8;
};

TEST(Cp1252, KnownCharacters) {
    const Known cases[] = {
        {0x80, "\xE2\x82\xAC"}, // €
        {0x8C, "\xC5\x92"},     // Œ
        {0x9C, "\xC5\x93"},     // œ
        {0xD1, "\xC3\x91"},     // Ñ
        {0xF1, "\xC3\xB1"},     // ñ
        {0x9F, "\xC5\xB8"},     // Ÿ
        {0x92, "\xE2\x80\x99"}, // ’
        {0x81, "\xC2\x81"},     // undefined in the code page: U+0081
        {0xA0, "\xC2\xA0"},     // no-break space
        {0x41, "A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.byte));
        EXPECT_EQ(toUtf8(std::string(1, static_cast<char>(c.byte))), c.utf8);
        EXPECT_EQ(fromUtf8(c.utf8), std::string(1, static_cast<char>(c.byte)));
    }
}

struct Conversion {
    const char* label;
    std::string utf8;
    std::string ansi;
};

TEST(Cp1252, CharactersOutsideTheCodePageAndMalformedInputBecomeQuestionMarks) {
    const Conversion cases[] = {
        {"snowman", "a\xE2\x98\x83z", "a?z"},
        {"four-byte character is one mark", "a\xF0\x9F\x98\x80z", "a?z"},
        {"U+0080 is not in the code page", "\xC2\x80", "?"},
        {"stray continuation byte", "a\x80z", "a?z"},
        {"invalid lead byte", "\xFF", "?"},
        {"truncated at the end", "a\xC3", "a?"},
        {"truncated before ASCII",
         "\xC3"
         "A",
         "?A"},
        {"truncated three-byte sequence", "\xE2\x82x", "?x"},
        {"overlong slash", "\xC0\xAF", "?"},
        {"encoded surrogate", "\xED\xA0\x80", "?"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "?"},
        {"mixed", "\xC3\x91o\xC3\xB1o \xE2\x82\xAC", "\xD1o\xF1o \x80"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(fromUtf8(c.utf8), c.ansi);
    }
    EXPECT_EQ(fromUtf16(u"\U0001F600x"), "?x");
    EXPECT_EQ(fromUtf16(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");
    EXPECT_EQ(fromUtf16(u"\u20AC\u0152"), "\x80\x8C");
}

struct CaseFold {
    const char* a;
    const char* b;
    bool equal;
};

TEST(Cp1252, LetterCaseFoldsButAccentsDoNot) {
    const CaseFold cases[] = {
        {"\xD1", "\xF1", true}, // Ñ ñ
        {"\xC1", "\xE1", true}, // Á á
        {"\x8C", "\x9C", true}, // Œ œ
        {"\x8A", "\x9A", true}, // Š š
        {"\x8E", "\x9E", true}, // Ž ž
        {"\x9F", "\xFF", true}, // Ÿ ÿ
        {"\xDE", "\xFE", true}, // Þ þ
        {"MATEM\xC1TICAS", "matem\xE1ticas", true},
        {"A", "\xC1", false},    // A Á
        {"a", "\xE1", false},    // a á
        {"\xD7", "\xF7", false}, // × ÷
        {"\xDF", "\xFF", false}, // ß ÿ
        {"\xB5", "\xB5", true},  // µ
        {"ab", "abc", false},
        {"[", "{", false}, // 0x5B and 0x7B are no letters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(equalsIgnoreCase(c.a, c.b), c.equal);
        EXPECT_EQ(equalsIgnoreCase(c.b, c.a), c.equal);
    }
    EXPECT_EQ(folded("\xC0\xC9\xCE\xD5\xDC\xD1 ABC \x8C"), "\xE0\xE9\xEE\xF5\xFC\xF1 abc \x9C");
    for (int b = 0; b < 256; ++b) {
        auto byte = static_cast<unsigned char>(b);
        EXPECT_EQ(foldCase(foldCase(byte)), foldCase(byte)) << b;
    }
}

} // namespace
} // namespace tdb::cp1252
