#include "services/cp1252.h"
#include "services/error.h"
#include "services/xml_document.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>

namespace tdb::xml {
namespace {

using ::testing::HasSubstr;

std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string out;
    for (char16_t u : text) {
        char hi = static_cast<char>(u >> 8);
        char lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

const std::u16string kUtf16Body =
    u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r a=\"\u00E9\">\u00D1 \u20AC \U0001F600</r>\n";

struct RoundTrip {
    const char* label;
    std::string input;
    Encoding encoding;
    const char* declared;
    const char* text;   // root text, UTF-8
    std::string output; // empty: the input itself
};

TEST(XmlSave, EveryEncodingIsWrittenBackAsRead) {
    const RoundTrip cases[] = {
        {"UTF-8 without declaration",
         "<r>\n\t<a>\xC3\x91"
         "and\xC3\xBA \xE2\x82\xAC</a>\n</r>\n",
         Encoding::Utf8, "",
         "\xC3\x91"
         "and\xC3\xBA \xE2\x82\xAC",
         ""},
        {"UTF-8 with BOM",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\xC3\xB1</r>\n",
         Encoding::Utf8, "UTF-8", "\xC3\xB1", ""},
        {"UTF-8 lower-case name and standalone",
         "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n<r>x</r>\n",
         Encoding::Utf8, "utf-8", "x", ""},
        {"declaration without encoding", "<?xml version=\"1.0\"?>\n<r>x</r>\n", Encoding::Utf8, "",
         "x", ""},
        {"UTF-16 LE", "\xFF\xFE" + utf16(kUtf16Body, false), Encoding::Utf16LE, "UTF-16",
         "\xC3\x91 \xE2\x82\xAC \xF0\x9F\x98\x80", ""},
        {"UTF-16 BE", "\xFE\xFF" + utf16(kUtf16Body, true), Encoding::Utf16BE, "UTF-16",
         "\xC3\x91 \xE2\x82\xAC \xF0\x9F\x98\x80", ""},
        {"UTF-16 LE without its mark gets one", utf16(kUtf16Body, false), Encoding::Utf16LE,
         "UTF-16", "\xC3\x91 \xE2\x82\xAC \xF0\x9F\x98\x80", "\xFF\xFE" + utf16(kUtf16Body, false)},
        {"ISO-8859-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xD1"
         "and\xFA \x80</r>\n",
         Encoding::Latin1, "ISO-8859-1",
         "\xC3\x91"
         "and\xC3\xBA \xC2\x80",
         ""},
        {"latin1 alias", "<?xml version='1.0' encoding='latin1'?>\n<r>\xE9</r>\n", Encoding::Latin1,
         "latin1", "\xC3\xA9", "<?xml version=\"1.0\" encoding=\"latin1\"?>\n<r>\xE9</r>\n"},
        {"windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<r>\x80\x8C\xD1</r>\n",
         Encoding::Windows1252, "windows-1252", "\xE2\x82\xAC\xC5\x92\xC3\x91", ""},
        {"cp1252 alias in capitals", "<?xml version=\"1.0\" encoding=\"CP1252\"?>\n<r>\x80</r>\n",
         Encoding::Windows1252, "CP1252", "\xE2\x82\xAC", ""},
        {"ISO-8859-15", "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>\n<r>\xA4\xBC</r>\n",
         Encoding::Latin9, "ISO-8859-15", "\xE2\x82\xAC\xC5\x92", ""},
        {"latin-9 alias", "<?xml version=\"1.0\" encoding=\"Latin-9\"?>\n<r>\xA4</r>\n",
         Encoding::Latin9, "Latin-9", "\xE2\x82\xAC", ""},
        {"ASCII name is rewritten", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<r>x</r>\n",
         Encoding::Utf8, "US-ASCII", "x", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>x</r>\n"},
        {"UTF-8 mark beats a Latin-1 declaration",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xC3\xB1</r>\n",
         Encoding::Utf8, "ISO-8859-1", "\xC3\xB1",
         "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\xC3\xB1</r>\n"},
        {"UTF-16 name over 8-bit bytes",
         "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>\xC3\xB1</r>\n", Encoding::Utf8, "UTF-16",
         "\xC3\xB1", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\xC3\xB1</r>\n"},
        {"doctype, comment and processing instruction kept",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<!-- nota -->\n<r>\n\t<?pi "
         "datos?>\n\t<a><![CDATA[x<y]]></a>\n</r>\n",
         Encoding::Utf8, "", "x<y", ""},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto in = dir / "entrada.xml";
        auto out = dir / "salida.xml";
        test::writeFile(in, c.input);
        Document doc = Document::load(in);
        EXPECT_EQ(doc.encoding(), c.encoding);
        EXPECT_EQ(doc.declaredEncoding(), c.declared);
        EXPECT_EQ(doc.sourceFile(), in);
        EXPECT_EQ(textContent(doc.root()), c.text);
        doc.save(out);
        std::string expected = c.output.empty() ? c.input : c.output;
        EXPECT_EQ(test::readFile(out), expected);
        EXPECT_EQ(doc.serialize(), expected);
        // And what was written reads back to the same text.
        EXPECT_EQ(textContent(Document::load(out).root()), c.text);
    }
}

struct Unrepresentable {
    const char* declaration;
    const char* expectedText;
    const char* expectedAttribute;
};

TEST(XmlSave, CharactersTheEncodingLacksBecomeReferences) {
    // Text and attribute: "€ Œ ñ ☃".
    const char* kText = "\xE2\x82\xAC \xC5\x92 \xC3\xB1 \xE2\x98\x83";
    const Unrepresentable cases[] = {
        {"ISO-8859-1", ">&#8364; &#338; \xF1 &#9731;</r>", "a=\"&#8364;\""},
        {"windows-1252", ">\x80 \x8C \xF1 &#9731;</r>", "a=\"\x80\""},
        {"ISO-8859-15", ">\xA4 \xBC \xF1 &#9731;</r>", "a=\"\xA4\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.declaration);
        std::string input =
            std::string("<?xml version=\"1.0\" encoding=\"") + c.declaration + "\"?>\n<r/>\n";
        Document doc = Document::parse(input, "t.xml");
        setText(doc.root(), kText);
        setAttribute(doc.root(), "a", "\xE2\x82\xAC");
        std::string bytes = doc.serialize();
        EXPECT_THAT(bytes, HasSubstr(std::string("encoding=\"") + c.declaration + "\""));
        EXPECT_THAT(bytes, HasSubstr(c.expectedText));
        EXPECT_THAT(bytes, HasSubstr(c.expectedAttribute));
        EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '?'), 2) << "only the declaration's";
        Document again = Document::parse(bytes, "again.xml");
        EXPECT_EQ(textContent(again.root()), kText);
        EXPECT_STREQ(again.root().attribute("a").value(), "\xE2\x82\xAC");
    }
}

TEST(XmlSave, MarkupTheEncodingLacksTurnsTheDocumentToUtf8) {
    const char* kLatin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xF1</r>\n";
    const char* kEuro = "\xE2\x82\xAC";
    struct Edit {
        const char* label;
        void (*apply)(pugi::xml_node root, const char* euro);
    };
    const Edit edits[] = {{"element name",
                           [](pugi::xml_node root, const char* euro) {
                               root.append_child((std::string("a") + euro).c_str());
                           }},
                          {"attribute name",
                           [](pugi::xml_node root, const char* euro) {
                               root.append_attribute((std::string("a") + euro).c_str()) = "1";
                           }},
                          {"comment",
                           [](pugi::xml_node root, const char* euro) {
                               root.append_child(pugi::node_comment).set_value(euro);
                           }},
                          {"CDATA", [](pugi::xml_node root, const char* euro) {
                               root.append_child(pugi::node_cdata).set_value(euro);
                           }}};
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.label);
        Document doc = Document::parse(kLatin1, "t.xml");
        edit.apply(doc.root(), kEuro);
        std::string bytes = doc.serialize();
        EXPECT_THAT(bytes, HasSubstr("encoding=\"UTF-8\""));
        EXPECT_THAT(bytes, HasSubstr(kEuro));
        EXPECT_THAT(bytes, HasSubstr("\xC3\xB1")); // the Latin-1 text is now UTF-8 too
        Document again = Document::parse(bytes, "again.xml");
        EXPECT_EQ(again.encoding(), Encoding::Utf8);
    }
}

TEST(XmlSave, FailedSaveLeavesTheEarlierFileUntouched) {
    test::TempDir dir;
    Document doc = Document::parse("<r>nuevo</r>", "t.xml");

    // A folder of that name, with a file in it.
    auto folder = dir / "resultado.xml";
    std::filesystem::create_directory(folder);
    test::writeFile(folder / "dentro.txt", "antes");
    EXPECT_THROW(doc.save(folder), Error);
    EXPECT_EQ(test::readFile(folder / "dentro.txt"), "antes");

    // A missing folder.
    try {
        doc.save(dir / "falta" / "resultado.xml");
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr((dir / "falta" / "resultado.xml").string()));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "falta"));

    // An earlier file whose name leaves no room for the temporary one beside it.
    auto longName = dir / std::string(250, 'x');
    test::writeFile(longName, "anterior");
    EXPECT_THROW(doc.save(longName), Error);
    EXPECT_EQ(test::readFile(longName), "anterior");

    // Nothing left behind; and a save that can succeed replaces the earlier file.
    auto target = dir / "bueno.xml";
    test::writeFile(target, "anterior");
    doc.save(target);
    EXPECT_EQ(test::readFile(target), "<r>nuevo</r>\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 3); // resultado.xml/, the long name and bueno.xml
}

// UTF-8 of characters of the Basic Multilingual Plane.
std::string utf8(std::u16string_view text) {
    std::string out;
    for (char16_t u : text) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::u16string digits(std::size_t n) {
    std::u16string out;
    for (char c : std::to_string(n)) {
        out += static_cast<char16_t>(c);
    }
    return out;
}

// Documents of a few megabytes, far beyond what any buffer on the way to the file holds, come
// back byte for byte, in every encoding; so does text the encoding lacks, as references.
TEST(XmlSave, LargeDocumentsAreWrittenBackAsRead) {
    struct Case {
        const char* label;
        std::u16string declaration;
        std::u16string special; // characters of the encoding beyond ASCII
        std::function<std::string(std::u16string_view)> encode;
    };
    const Case cases[] = {
        {"ISO-8859-1", u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", u"\u00D1and\u00FA",
         [](std::u16string_view t) { return cp1252::fromUtf16(t); }},
        {"windows-1252", u"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n",
         u"\u20AC\u0152\u00F1", [](std::u16string_view t) { return cp1252::fromUtf16(t); }},
        {"UTF-8 with BOM", u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
         u"\u20AC\u4E2D\u00F1", [](std::u16string_view t) { return utf8(t); }},
        {"UTF-16", u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n", u"\u20AC\u4E2D\u00F1",
         [](std::u16string_view t) { return utf16(t, false); }},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::u16string text = c.declaration + u"<r>\n";
        for (std::size_t i = 0; i < 40000; ++i) {
            text += u"\t<a n=\"" + digits(i) + u"\" x=\"" + c.special + u"\">" +
                    c.special.substr(0, i % 4) + u" " + digits(i * 7) + u" &amp; &lt;" + c.special +
                    u"</a>\n";
        }
        text += u"</r>\n";
        const std::string bytes = c.encode(text);
        const auto in = dir / "grande.xml";
        const auto out = dir / "grande-salida.xml";
        test::writeFile(in, bytes);
        Document doc = Document::load(in);
        doc.save(out);
        EXPECT_TRUE(test::readFile(out) == bytes) << "the saved file differs from the input";
        EXPECT_TRUE(doc.serialize() == bytes) << "serialize() differs from the input";
    }

    // Every fifth element given a text ISO-8859-1 lacks.
    std::string input = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\n";
    std::string expected = input;
    for (std::size_t i = 0; i < 40000; ++i) {
        input += "\t<a>\xF1" + std::to_string(i) + "</a>\n";
        expected +=
            "\t<a>" +
            (i % 5 == 0 ? "&#8364;&#9731;" + std::to_string(i) : "\xF1" + std::to_string(i)) +
            "</a>\n";
    }
    input += "</r>\n";
    expected += "</r>\n";
    Document doc = Document::parse(input, "grande.xml");
    std::size_t i = 0;
    for (pugi::xml_node a : doc.root().children("a")) {
        if (i++ % 5 == 0) {
            setText(a, "\xE2\x82\xAC\xE2\x98\x83" + std::string(a.text().get()).substr(2));
        }
    }
    doc.save(dir / "referencias.xml");
    EXPECT_TRUE(test::readFile(dir / "referencias.xml") == expected);
}

// Indentation costs a line its depth: a document deeper than a hundred levels is written
// without any, so that its size stays proportional to its content.
TEST(XmlSave, BeyondAHundredLevelsTheDocumentIsWrittenWithoutIndentation) {
    for (int depth : {100, 101}) {
        SCOPED_TRACE(depth);
        std::string bytes;
        for (int i = 0; i < depth; ++i) {
            bytes += "<e>";
        }
        for (int i = 0; i < depth; ++i) {
            bytes += "</e>";
        }
        const std::string written = Document::parse(bytes, "hondo.xml").serialize();
        if (depth == 100) {
            EXPECT_THAT(written, HasSubstr("\n" + std::string(99, '\t') + "<e />\n"));
        } else {
            EXPECT_EQ(written.find('\t'), std::string::npos);
            EXPECT_THAT(written, HasSubstr("<e><e><e/></e></e>"));
        }
    }
    // Text is a level of its own.
    std::string bytes;
    for (int i = 0; i < 100; ++i) {
        bytes += "<e>";
    }
    bytes += "x";
    for (int i = 0; i < 100; ++i) {
        bytes += "</e>";
    }
    EXPECT_EQ(Document::parse(bytes, "hondo.xml").serialize().find('\t'), std::string::npos);
}

// A disk that fills up while the document is being written: the error names the file, the
// earlier file is untouched, and the temporary file is gone.
TEST(XmlSave, AWriteThatFailsHalfwayLeavesTheEarlierFile) {
    test::TempDir dir;
    std::string bytes = "<r>\n";
    for (int i = 0; i < 100000; ++i) {
        bytes += "\t<a>" + std::to_string(i) + "</a>\n";
    }
    bytes += "</r>\n";
    Document doc = Document::parse(bytes, "t.xml");
    const auto target = dir / "resultado.xml";
    test::writeFile(target, "anterior");

    // Past this size every write fails (EFBIG, the signal ignored), as on a full disk.
    struct FileSizeLimit {
        rlimit before{};
        void (*handler)(int) = nullptr;
        explicit FileSizeLimit(rlim_t bytes) {
            getrlimit(RLIMIT_FSIZE, &before);
            handler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit limited = before;
            limited.rlim_cur = bytes;
            setrlimit(RLIMIT_FSIZE, &limited);
        }
        ~FileSizeLimit() {
            setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, handler);
        }
    };
    {
        FileSizeLimit limit(300000);
        try {
            doc.save(target);
            ADD_FAILURE() << "saved beyond the limit";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(target.string()));
        }
    }
    EXPECT_EQ(test::readFile(target), "anterior");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    doc.save(target);
    EXPECT_TRUE(test::readFile(target) == bytes);
}

} // namespace
} // namespace tdb::xml
