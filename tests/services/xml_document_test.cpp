#include "services/error.h"
#include "services/xml_document.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace tdb::xml {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The message of the tdb::Error `action` throws; fails the test when it throws none.
template <class Action> std::string errorOf(Action action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no tdb::Error thrown";
    return {};
}

std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string out;
    for (char16_t u : text) {
        char hi = static_cast<char>(u >> 8);
        char lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

struct Malformed {
    const char* label;
    std::string bytes;
    int line;
    int column;
    const char* what;
};

TEST(XmlDocumentLoad, MalformedDocumentsNameFileLineAndColumn) {
    const Malformed cases[] = {
        {"unclosed at end", "<SERVICIO>\n  <SALIDAS>\n    <listasal seq=\"A\">\n", 4, 1,
         "etiqueta sin cerrar"},
        {"mismatched end tag", "<a>\n<b></c>\n</a>", 2, 6, "</c> no corresponde"},
        {"CR LF ends a line", "<a>\r\n<b>\r\n</a>", 3, 3, "</a> no corresponde"},
        {"unquoted attribute", "<a x=1/>", 1, 6, "atributo mal formado"},
        {"empty file", "", 1, 1, "no tiene elemento raíz"},
        {"comment only", "<!-- nada -->\n", 2, 1, "no tiene elemento raíz"},
        {"two root elements", "<a/>\n  <b/>", 2, 3, "más de un elemento raíz"},
        {"bad UTF-8 byte",
         "<a>\nab\xFF"
         "c</a>",
         2, 3, "UTF-8"},
        {"truncated UTF-8", "<a>\xC3</a>", 1, 4, "UTF-8"},
        {"NUL byte", std::string("<a>x\0</a>", 9), 1, 5, "carácter nulo"},
        {"columns count Latin-1 characters",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>\xF1\xF1</x>", 2, 8,
         "</x> no corresponde"},
        {"columns count UTF-8 characters", "<r>\xC3\xB1\xC3\xB1</x>", 1, 8, "</x> no corresponde"},
        {"UTF-16 document", "\xFF\xFE" + utf16(u"<r>\n \u00E9</x>", false), 2, 5,
         "</x> no corresponde"},
        {"odd UTF-16 length", "\xFF\xFE" + utf16(u"<r/>", false) + "x", 1, 5, "impar"},
        {"lone surrogate", "\xFE\xFF" + utf16(u"<r>\xD800</r>", true), 1, 4, "sustituto"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto file = dir / "datos.xml";
        test::writeFile(file, c.bytes);
        std::string message = errorOf([&] { Document::load(file); });
        EXPECT_THAT(message,
                    HasSubstr("El archivo " + file.string() +
                              " no es un documento XML válido: línea " + std::to_string(c.line) +
                              ", columna " + std::to_string(c.column) + ": "));
        EXPECT_THAT(message, HasSubstr(c.what));
        // Bytes handed over in memory are reported the same way.
        EXPECT_EQ(errorOf([&] { Document::parse(c.bytes, file); }), message);
    }
}

TEST(XmlDocumentLoad, MissingUnreadableAndUnknownEncodingsAreNamed) {
    test::TempDir dir;
    auto missing = dir / "no_esta.xml";
    EXPECT_EQ(errorOf([&] { Document::load(missing); }),
              "No existe el archivo " + missing.string());
    EXPECT_EQ(errorOf([&] { Document::load(missing / "dentro.xml"); }),
              "No existe el archivo " + (missing / "dentro.xml").string());

    std::filesystem::create_directory(dir / "carpeta.xml");
    EXPECT_THAT(errorOf([&] { Document::load(dir / "carpeta.xml"); }),
                HasSubstr("No se puede leer el archivo " + (dir / "carpeta.xml").string()));

    test::writeFile(dir / "sjis.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r/>");
    EXPECT_THAT(errorOf([&] { Document::load(dir / "sjis.xml"); }),
                HasSubstr((dir / "sjis.xml").string() + " declara la codificación «Shift_JIS»"));

    test::writeFile(dir / "utf32.xml", std::string("\xFF\xFE\0\0<\0\0\0", 8));
    EXPECT_THAT(errorOf([&] { Document::load(dir / "utf32.xml"); }), HasSubstr("UTF-32"));
}

TEST(XmlDocumentLoad, EntityExpansionIsNeverPerformed) {
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
    for (int i = 2; i <= 9; ++i) {
        std::string prev = "&lol" + std::to_string(i - 1) + ";";
        std::string body;
        for (int k = 0; k < 10; ++k) {
            body += prev;
        }
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + body + "\">\n";
    }
    laughs += "]>\n<lolz>&lol9;</lolz>\n";

    test::TempDir dir;
    test::writeFile(dir / "laughs.xml", laughs);
    Document doc = Document::load(dir / "laughs.xml");
    EXPECT_EQ(textContent(doc.root()), "&lol9;");
    std::string written = doc.serialize();
    EXPECT_LT(written.size(), 2 * laughs.size());
    EXPECT_THAT(written, HasSubstr("<!DOCTYPE lolz")); // kept as a node

    // External entities and an external DTD, beside the document and absolute: none is read.
    test::writeFile(dir / "secreto.txt", "SECRETO-4711");
    test::writeFile(dir / "malo.dtd",
                    "<!ENTITY fuera \"SECRETO-DTD\"><!ATTLIST r extra CDATA \"SECRETO-ATR\">");
    const std::string external[] = {
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"secreto.txt\">\n"
        "<!ENTITY p SYSTEM \"file:///etc/passwd\">]>\n<r>&x;&p;</r>",
        "<!DOCTYPE r SYSTEM \"malo.dtd\">\n<r>&fuera;</r>",
        "<!DOCTYPE r [<!ENTITY % dtd SYSTEM \"malo.dtd\"> %dtd;]>\n<r>&fuera;</r>",
    };
    for (const auto& bytes : external) {
        SCOPED_TRACE(bytes);
        test::writeFile(dir / "externo.xml", bytes);
        Document ext = Document::load(dir / "externo.xml");
        std::string text = textContent(ext.root());
        EXPECT_THAT(text, HasSubstr("&"));
        std::string all = ext.serialize();
        for (const char* leaked : {"SECRETO", "root:"}) {
            EXPECT_THAT(text, Not(HasSubstr(leaked)));
            EXPECT_THAT(all, Not(HasSubstr(leaked)));
        }
        EXPECT_FALSE(ext.root().attribute("extra"));
    }
}

TEST(XmlDocumentLoad, ReferencesDecodeAndUnknownOnesStayLiteral) {
    Document doc = Document::parse("<r a=\"&quot;&#233;\">&lt;&amp;&gt;&apos;&#233;&#x20AC; "
                                   "&nbsp;&amp;nbsp;</r>",
                                   "refs.xml");
    EXPECT_EQ(textContent(doc.root()), "<&>'\xC3\xA9\xE2\x82\xAC &nbsp;&nbsp;");
    EXPECT_STREQ(doc.root().attribute("a").value(), "\"\xC3\xA9");
    // Written back, the literal reference is text, so it reads the same again.
    Document again = Document::parse(doc.serialize(), "again.xml");
    EXPECT_EQ(textContent(again.root()), textContent(doc.root()));
}

struct TextCase {
    const char* xml;
    const char* expected;
};

TEST(XmlTextContent, IsAllDescendantTextAndCdataInOrder) {
    const TextCase cases[] = {
        {"<f>  Juan  </f>", "  Juan  "},
        {"<f>a<![CDATA[<b> & ]]>c</f>", "a<b> & c"},
        {"<f>a<!-- nota -->b<?pi z?></f>", "ab"},
        {"<f>a<x>b<y>c</y><z/></x>d</f>", "abcd"},
        {"<f/>", ""},
        {"<f><![CDATA[  ]]></f>", "  "},
        {"<f>\n  <x>v</x>\n  <y>w</y>\n</f>", "vw"},
        {"<f>a\r\nb\rc</f>", "a\nb\nc"},
        {"<f><x> a </x> <y> b </y></f>", " a  b "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        Document doc = Document::parse(c.xml, "t.xml");
        EXPECT_EQ(textContent(doc.root()), c.expected);
        EXPECT_EQ(textContent(doc.dom()), c.expected);
    }
    EXPECT_EQ(textContent(pugi::xml_node()), "");
}

TEST(XmlTextContent, DeeplyNestedDocumentsNeedNoRecursion) {
    constexpr int kDepth = 200000;
    std::string bytes;
    for (int i = 0; i < kDepth; ++i) {
        bytes += "<e>";
    }
    bytes += "fondo";
    for (int i = 0; i < kDepth; ++i) {
        bytes += "</e>";
    }
    Document doc = Document::parse(bytes, "hondo.xml");
    EXPECT_EQ(textContent(doc.root()), "fondo");
    EXPECT_THAT(doc.serialize(), HasSubstr("fondo"));
}

TEST(XmlEditing, SetTextReplacesAllContent) {
    Document doc =
        Document::parse("<r><f a=\"1\">x<g>y</g><!-- c --><![CDATA[z]]></f></r>", "t.xml");
    pugi::xml_node f = doc.root().child("f");
    setText(f, "Servicio finalizado Correctamente");
    EXPECT_EQ(textContent(f), "Servicio finalizado Correctamente");
    EXPECT_FALSE(f.first_child().next_sibling());
    EXPECT_STREQ(f.attribute("a").value(), "1");
    setText(f, "");
    EXPECT_FALSE(f.first_child());
    EXPECT_THAT(doc.serialize(), HasSubstr("<f a=\"1\" />"));
    EXPECT_THAT(errorOf([] { setText(pugi::xml_node(), "x"); }), HasSubstr("falta el elemento"));
}

TEST(XmlEditing, AppendSetAttributeAndRemove) {
    Document doc = Document::parse("<SERVICIO><SALIDAS><x/></SALIDAS><otro/></SERVICIO>", "t.xml");
    pugi::xml_node root = doc.root();
    pugi::xml_node salidas = root.child("SALIDAS");
    removeChild(root, salidas);
    EXPECT_FALSE(root.child("SALIDAS"));
    pugi::xml_node fresh = appendElement(root, "SALIDAS");
    EXPECT_EQ(root.last_child(), fresh);
    pugi::xml_node list = appendElement(fresh, "listasal");
    setAttribute(list, "seq", "EMP_1");
    setAttribute(list, "seq", "EMP_2"); // replaces, never duplicates
    EXPECT_STREQ(list.attribute("seq").value(), "EMP_2");
    EXPECT_FALSE(list.attribute("seq").next_attribute());
    EXPECT_EQ(doc.serialize(), "<SERVICIO>\n\t<otro />\n\t<SALIDAS>\n\t\t<listasal seq=\"EMP_2\" "
                               "/>\n\t</SALIDAS>\n</SERVICIO>\n");

    EXPECT_THAT(errorOf([&] { removeChild(root, pugi::xml_node()); }),
                HasSubstr("no es uno de sus hijos"));
    EXPECT_THAT(errorOf([&] { removeChild(root, list); }), HasSubstr("<listasal>"));
    EXPECT_THAT(errorOf([] { appendElement(pugi::xml_node(), "salida"); }), HasSubstr("<salida>"));
    pugi::xml_node text = doc.dom().append_child(pugi::node_comment);
    EXPECT_THAT(errorOf([&] { appendElement(text, "salida"); }), HasSubstr("<salida>"));
    EXPECT_THAT(errorOf([] { setAttribute(pugi::xml_node(), "dato", "x"); }), HasSubstr("dato"));
}

TEST(XmlSelect, NodesInDocumentOrderAndBadPathsReported) {
    Document doc =
        Document::parse("<r><a id=\"1\"><b id=\"2\"/></a><b id=\"3\"/><a id=\"4\"/></r>", "t.xml");
    std::string ids;
    for (const auto& n : selectNodes(doc.dom(), "//*[@id]")) {
        ids += n.node().attribute("id").value();
    }
    EXPECT_EQ(ids, "1234");
    EXPECT_EQ(selectNodes(doc.root(), "b").size(), 1u);
    EXPECT_EQ(selectNodes(doc.dom(), "/nada/b").size(), 0u);
    EXPECT_THAT(errorOf([&] { selectNodes(doc.dom(), "/r/[@"); }),
                HasSubstr("La ruta XPath «/r/[@» no es válida"));
    EXPECT_THAT(errorOf([&] { selectNodes(doc.dom(), "count(//a)"); }), HasSubstr("count(//a)"));
}

} // namespace
} // namespace tdb::xml
