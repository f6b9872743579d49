#include "formats/exchange_document.h"
#include "services/error.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tdb::exchange {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

// Items carry an `id` so that a test can say which ones a list query found.
const char* kLists = R"(<?xml version="1.0" encoding="UTF-8"?>
<SERVICIO>
  <SALIDAS>
    <listasal seq="MATERIAS">
      <listasal id="m1"><salida>a</salida><salida>b</salida></listasal>
      <listasal id="m2"><salida>solo</salida></listasal>
      <otro><listasal id="no-grandchild"/></otro>
      <!-- comentario -->
      <listasal id="m3"/>
    </listasal>
    <listasal seq="materias"><listasal id="no-lower-case"/></listasal>
    <listasal seq="MATERIAS "><listasal id="no-trailing-space"/></listasal>
    <listasal seq="PROFESORES"><listasal id="p1"/></listasal>
    <otro><listasal seq="MATERIAS"><listasal id="no-nested"/></listasal></otro>
    <listasal seq="MATERIAS"><listasal id="m4"/></listasal>
    <listasal><listasal id="no-seq"/></listasal>
  </SALIDAS>
  <listasal seq="MATERIAS"><listasal id="no-outside-salidas"/></listasal>
  <SALIDAS><listasal seq="MATERIAS"><listasal id="m5"/></listasal></SALIDAS>
</SERVICIO>
)";

std::vector<std::string> ids(const std::vector<Item>& items) {
    std::vector<std::string> out;
    for (const auto& item : items) {
        out.push_back(item.node().attribute("id").value() + std::string("@") +
                      std::to_string(item.position()));
    }
    return out;
}

xml::Document parse(const std::string& bytes) {
    return xml::Document::parse(bytes, "t.xml");
}

TEST(ExchangeList, ItemsAreTheDirectChildrenOfEveryListOfThatName) {
    xml::Document doc = parse(kLists);
    EXPECT_THAT(ids(listItems(doc, "MATERIAS")),
                ElementsAre("m1@1", "m2@2", "m3@3", "m4@4", "m5@5"));
    EXPECT_THAT(ids(listItems(doc, "PROFESORES")), ElementsAre("p1@1"));
    EXPECT_THAT(ids(listItems(doc, "materias")), ElementsAre("no-lower-case@1"));
    EXPECT_TRUE(listItems(doc, "AULAS").empty());
    EXPECT_TRUE(listItems(doc, "").empty());
}

TEST(ExchangeList, WalkSelectsWhatThePathSelects) {
    const std::string documents[] = {
        kLists,
        "<OTRO><SALIDAS><listasal seq=\"MATERIAS\"><listasal "
        "id=\"x\"/></listasal></SALIDAS></OTRO>",
        "<SERVICIO/>",
        "<SERVICIO><SALIDAS/></SERVICIO>",
        "<x:SERVICIO xmlns:x=\"urn:x\"><SALIDAS><listasal seq=\"MATERIAS\"><listasal/></listasal>"
        "</SALIDAS></x:SERVICIO>",
        "<SERVICIO><SALIDAS><listasal seq=\"MATERIAS\" seq=\"TAREAS\"><listasal id=\"d\"/>"
        "</listasal></SALIDAS></SERVICIO>",
    };
    const char* names[] = {"MATERIAS", "TAREAS", "PROFESORES", "AULAS", "materias", "MATERIAS "};
    for (const auto& bytes : documents) {
        xml::Document doc = parse(bytes);
        for (const char* name : names) {
            SCOPED_TRACE(bytes + " / " + name);
            std::string path =
                std::string("/SERVICIO/SALIDAS/listasal[@seq=\"") + name + "\"]/listasal";
            std::vector<pugi::xml_node> expected;
            for (const auto& n : xml::selectNodes(doc.dom(), path.c_str())) {
                expected.push_back(n.node());
            }
            std::vector<pugi::xml_node> walked;
            for (const auto& item : listItems(doc, name)) {
                walked.push_back(item.node());
            }
            EXPECT_EQ(walked, expected);
        }
    }
    // The root decides: a document that is not a SERVICIO has no lists at all.
    EXPECT_TRUE(listItems(parse(documents[1]), "MATERIAS").empty());
}

TEST(ExchangeItem, FieldsAreTheSalidaChildrenOnly) {
    xml::Document doc = parse(R"(<SERVICIO><SALIDAS><listasal seq="L">
      <listasal/>
      <listasal><salida>uno</salida></listasal>
      <listasal>texto<otro>x</otro><!-- c --><salida>uno</salida><sub><salida>no</salida></sub>
        <salida dato="D"> dos </salida></listasal>
    </listasal></SALIDAS></SERVICIO>)");
    auto items = listItems(doc, "L");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].fieldCount(), 0u);
    EXPECT_TRUE(items[0].isShort());
    EXPECT_EQ(items[1].fieldCount(), 1u);
    EXPECT_TRUE(items[1].isShort());
    EXPECT_EQ(items[2].fieldCount(), 2u);
    EXPECT_FALSE(items[2].isShort());
    EXPECT_EQ(items[2].fieldText(0), "uno");
    EXPECT_EQ(items[2].fieldText(1), "dos");
    // A field the item lacks reads as empty text.
    EXPECT_EQ(items[2].fieldText(2), "");
    EXPECT_EQ(items[0].fieldText(0), "");
}

TEST(ExchangeItem, EveryFieldOfALongItemIsReachable) {
    // Fields past the first few are found again by walking the item.
    std::string item = "<listasal>";
    for (int k = 0; k < 12; ++k) {
        item += "<salida dato=\"F" + std::to_string(k) + "\"> v" + std::to_string(k) +
                " </salida><otro>x</otro><!-- " + std::to_string(k) + " -->";
    }
    item += "</listasal>";
    xml::Document doc = parse("<SERVICIO><SALIDAS><listasal seq=\"L\">" + item +
                              "</listasal></SALIDAS></SERVICIO>");
    auto items = listItems(doc, "L");
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(items[0].fieldCount(), 12u);
    for (std::size_t k = 0; k < 12; ++k) {
        EXPECT_EQ(items[0].fieldText(k), "v" + std::to_string(k));
    }
    EXPECT_EQ(items[0].fieldText(12), "");
    auto named = items[0].namedFields();
    ASSERT_EQ(named.size(), 12u);
    EXPECT_EQ(named[11], std::make_pair(std::string("F11"), std::string("v11")));
}

struct FieldCase {
    const char* label;
    const char* field;
    std::string ansi;
};

TEST(ExchangeField, TextIsTrimmedAndConvertedToTheCodePage) {
    const FieldCase cases[] = {
        {"spaces and tabs around", "<salida> \t Juan  P\xC3\xA9rez \r\n</salida>",
         "Juan  P\xE9rez"},
        {"leading tab", "<salida>\tMatem\xC3\xA1ticas</salida>", "Matem\xE1ticas"},
        {"inner spaces kept", "<salida>Lengua   y  Literatura</salida>", "Lengua   y  Literatura"},
        {"only spaces", "<salida>     </salida>", ""},
        {"only tabs and line breaks", "<salida>\t\n\r\n\t</salida>", ""},
        {"control characters", "<salida>&#1;\x01x y\x1F&#31;</salida>", "x y"},
        {"no-break space is not trimmed", "<salida>&#160;x&#xA0;</salida>", "\xA0x\xA0"},
        {"CDATA", "<salida>  <![CDATA[  cd  ]]>  </salida>", "cd"},
        {"comments skipped", "<salida>a<!-- c --> b </salida>", "a b"},
        {"nested elements", "<salida> a<b> c </b><b>d</b> </salida>", "a c d"},
        {"outside the code page",
         "<salida>\xE2\x82\xAC"
         "uro \xE2\x98\x83</salida>",
         "\x80uro ?"},
        {"empty element", "<salida/>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        xml::Document doc = parse(c.field);
        EXPECT_EQ(fieldText(doc.root()), c.ansi);
    }
    EXPECT_EQ(fieldText(pugi::xml_node()), "");
}

TEST(ExchangeItem, NamedFieldsKeepTheirNameUntrimmed) {
    xml::Document doc = parse(R"(<SERVICIO><SALIDAS><listasal seq="INTERVALOS"><listasal>
        <salida dato="N_DIASEMANA"> 1 </salida>
        <salida>sin nombre</salida>
        <salida dato=" X_TRAMO ">	T1</salida>
        <salida dato="A&#209;O">2024</salida>
        <salida dato="">vac&#237;o</salida>
        <salida dato="N_DIASEMANA">2</salida>
    </listasal></listasal></SALIDAS></SERVICIO>)");
    auto items = listItems(doc, "INTERVALOS");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_THAT(items[0].namedFields(),
                ElementsAre(Pair("N_DIASEMANA", "1"), Pair(" X_TRAMO ", "T1"),
                            Pair("A\xD1O", "2024"), Pair("", "vac\xEDo"),
                            Pair("N_DIASEMANA", "2")));
    EXPECT_EQ(items[0].fieldCount(), 6u);
}

TEST(ExchangeWrite, FieldsAndListsOfTheResultDocument) {
    xml::Document doc = parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<SERVICIO/>\n");
    pugi::xml_node salidas = xml::appendElement(doc.root(), "SALIDAS");
    pugi::xml_node error = xml::appendElement(salidas, "ERROR");
    appendField(error, "CN_ERROR", "0");
    appendField(error, "TE_ERROR", "Servicio finalizado Correctamente");
    pugi::xml_node teacher = appendList(salidas, "EMP_1");
    pugi::xml_node name = appendField(teacher, "X_EMPLEADO",
                                      "  Nu\xF1"
                                      "ez \x80 ");
    pugi::xml_node empty = appendField(teacher, "F_TOMAPOS", "");
    appendList(teacher, "TRAMO_1");

    EXPECT_STREQ(name.name(), "salida");
    EXPECT_EQ(xml::textContent(name), "  Nu\xC3\xB1"
                                      "ez \xE2\x82\xAC "); // untrimmed, UTF-8
    EXPECT_FALSE(empty.first_child());
    EXPECT_EQ(doc.serialize(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                               "<SERVICIO>\n"
                               "\t<SALIDAS>\n"
                               "\t\t<ERROR>\n"
                               "\t\t\t<salida dato=\"CN_ERROR\">0</salida>\n"
                               "\t\t\t<salida dato=\"TE_ERROR\">Servicio finalizado "
                               "Correctamente</salida>\n"
                               "\t\t</ERROR>\n"
                               "\t\t<listasal seq=\"EMP_1\">\n"
                               "\t\t\t<salida dato=\"X_EMPLEADO\">  Nu\xF1"
                               "ez &#8364; </salida>\n"
                               "\t\t\t<salida dato=\"F_TOMAPOS\" />\n"
                               "\t\t\t<listasal seq=\"TRAMO_1\" />\n"
                               "\t\t</listasal>\n"
                               "\t</SALIDAS>\n"
                               "</SERVICIO>\n");
    // Read back by the reading rules, the value comes out trimmed in the code page.
    xml::Document again = xml::Document::parse(doc.serialize(), "again.xml");
    auto field = again.root().child("SALIDAS").child("listasal").child("salida");
    EXPECT_EQ(fieldText(field), "Nu\xF1"
                                "ez \x80");

    EXPECT_THROW(appendField(pugi::xml_node(), "X", "1"), Error);
    EXPECT_THROW(appendList(pugi::xml_node(), "EMP_1"), Error);
}

TEST(ExchangeWrite, ResultFileNameSitsBesideTheChosenFile) {
    const std::pair<const char*, const char*> cases[] = {
        {"/vtemp/brelo/datos.xml", "/vtemp/brelo/ResultadoDorimodatos.xml"},
        {"datos.xml", "ResultadoDorimodatos.xml"},
        {"/x/a.b.XML", "/x/ResultadoDorimoa.b.XML"},
        {"/datos", "/ResultadoDorimodatos"},
        {"rel/dir/d\xC3\xB1.xml", "rel/dir/ResultadoDorimod\xC3\xB1.xml"},
    };
    for (const auto& [chosen, result] : cases) {
        EXPECT_EQ(resultFileName(chosen), std::filesystem::path(result)) << chosen;
    }
}

TEST(ExchangeList, LoadedFromDiskInAnyEncoding) {
    // The same list in a windows-1252 file: field texts come out in the code page unchanged.
    test::TempDir dir;
    test::writeFile(dir / "datos.xml",
                    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<SERVICIO><SALIDAS>"
                    "<listasal seq=\"PROFESORES\"><listasal><salida>\x8C\x80\xD1</salida>"
                    "<salida> Mu\xF1oz </salida></listasal></listasal></SALIDAS></SERVICIO>");
    xml::Document doc = xml::Document::load(dir / "datos.xml");
    auto items = listItems(doc, "PROFESORES");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].fieldText(0), "\x8C\x80\xD1");
    EXPECT_EQ(items[0].fieldText(1), "Mu\xF1oz");
}

} // namespace
} // namespace tdb::exchange
