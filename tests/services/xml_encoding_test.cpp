#include "services/xml_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tdb::xml::encoding {
namespace {

struct StringWriter final : pugi::xml_writer {
    std::string bytes;
    void write(const void* data, std::size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
    }
};

// The bytes a transcoder gives for `utf8` handed over in pieces of the given sizes (the last
// piece takes the rest).
std::string inPieces(std::string_view utf8, Encoding encoding, bool bom,
                     const std::vector<std::size_t>& sizes) {
    StringWriter out;
    Utf8Transcoder transcoder(encoding, bom, out);
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        size = std::min(size, utf8.size() - at);
        transcoder.write(utf8.substr(at, size));
        at += size;
    }
    transcoder.write(utf8.substr(at));
    transcoder.finish();
    return out.bytes;
}

struct Output {
    const char* label;
    Encoding encoding;
    bool bom;
};

const Output kOutputs[] = {
    {"UTF-8", Encoding::Utf8, false},         {"UTF-8 with BOM", Encoding::Utf8, true},
    {"ISO-8859-1", Encoding::Latin1, false},  {"windows-1252", Encoding::Windows1252, false},
    {"ISO-8859-15", Encoding::Latin9, false}, {"UTF-16LE", Encoding::Utf16LE, false},
    {"UTF-16BE", Encoding::Utf16BE, false},
};

// Every kind of sequence: ASCII, two to four bytes, characters some outputs lack, and the
// malformed ones (a stray continuation byte, a lead byte followed by ASCII, an overlong form,
// an encoded surrogate, a lead byte beyond U+10FFFF, and a sequence cut off at the very end).
const std::string kMixed = "a\xC3\xB1"
                           "b\xE2\x82\xAC"
                           "c\xF0\x9F\x98\x80"
                           "d\xC5\x92\xE2\x98\x83"
                           "\x80"
                           "e\xC3("
                           "\xC0\xAF"
                           "\xED\xA0\x80"
                           "\xF5\x80\x80\x80"
                           "f\xE2\x82";

TEST(XmlTranscoder, PiecesCutAnywhereGiveTheBytesOfTheWholeText) {
    for (const auto& output : kOutputs) {
        SCOPED_TRACE(output.label);
        const std::string whole = fromUtf8(kMixed, output.encoding, output.bom);
        for (std::size_t cut = 0; cut <= kMixed.size(); ++cut) {
            EXPECT_EQ(inPieces(kMixed, output.encoding, output.bom, {cut}), whole)
                << "cut at " << cut;
        }
        EXPECT_EQ(inPieces(kMixed, output.encoding, output.bom,
                           std::vector<std::size_t>(kMixed.size(), 1)),
                  whole)
            << "byte by byte";

        // Far more than the transcoder holds before it hands on, in pieces of odd sizes.
        std::string large;
        for (std::size_t round = 0; large.size() < 300000; ++round) {
            large += kMixed.substr(0, kMixed.size() - 3) + "0123456789";
            if (round % 10 == 0) {
                large += std::string(400 + round % 700, 'q'); // long ASCII runs too
            }
        }
        large += kMixed;
        const std::string wholeLarge = fromUtf8(large, output.encoding, output.bom);
        EXPECT_EQ(inPieces(large, output.encoding, output.bom, {1, 7, 4093, 65536, 3, 100000}),
                  wholeLarge);
        EXPECT_GT(wholeLarge.size(), large.size() / 2);
    }
}

TEST(XmlTranscoder, CharactersTheOutputLacksAndMalformedSequences) {
    struct Case {
        const char* what;
        Encoding encoding;
        std::string utf8;
        std::string expected;
    };
    const Case cases[] = {
        {"Latin-1 keeps its own characters", Encoding::Latin1, "\xC3\xB1\xC2\xA4", "\xF1\xA4"},
        {"Latin-1 lacks the euro", Encoding::Latin1,
         "a\xE2\x82\xAC"
         "b",
         "a&#8364;b"},
        {"windows-1252 has the euro and the OE ligature", Encoding::Windows1252,
         "\xE2\x82\xAC\xC5\x92", "\x80\x8C"},
        {"windows-1252 lacks a snowman", Encoding::Windows1252, "\xE2\x98\x83", "&#9731;"},
        {"ISO-8859-15 has the euro where Latin-1 has the currency sign", Encoding::Latin9,
         "\xE2\x82\xAC\xC2\xA4", "\xA4&#164;"},
        {"beyond the BMP", Encoding::Latin1, "\xF0\x9F\x98\x80", "&#128512;"},
        {"a stray continuation byte", Encoding::Latin1, "x\x80y", "x&#65533;y"},
        {"a lead byte followed by ASCII keeps the ASCII", Encoding::Latin1, "\xC3(", "&#65533;("},
        {"a sequence cut off at the end", Encoding::Latin1, "x\xE2\x82", "x&#65533;"},
        {"an overlong form", Encoding::Latin1, "\xC0\xAF", "&#65533;"},
        {"UTF-16LE with its mark and a surrogate pair", Encoding::Utf16LE, "A\xF0\x9F\x98\x80",
         std::string("\xFF\xFE"
                     "A\0\x3D\xD8\x00\xDE",
                     8)},
        {"UTF-16BE", Encoding::Utf16BE, "\xC3\xB1", std::string("\xFE\xFF\x00\xF1", 4)},
        {"UTF-8 passes malformed bytes through untouched", Encoding::Utf8, "a\x80\xC3(",
         "a\x80\xC3("},
        {"long ASCII runs around a character", Encoding::Latin1,
         std::string(700, 'q') + "\xC3\xA9" + std::string(70000, 'r') + "\xE2\x82\xAC",
         std::string(700, 'q') + "\xE9" + std::string(70000, 'r') + "&#8364;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fromUtf8(c.utf8, c.encoding, false), c.expected);
    }
    EXPECT_EQ(fromUtf8("x", Encoding::Utf8, true), "\xEF\xBB\xBFx");
    EXPECT_EQ(fromUtf8("", Encoding::Utf8, true), "\xEF\xBB\xBF");
    EXPECT_EQ(fromUtf8("", Encoding::Utf16LE, false), "\xFF\xFE");
    EXPECT_EQ(fromUtf8("", Encoding::Latin1, false), "");
}

} // namespace
} // namespace tdb::xml::encoding
