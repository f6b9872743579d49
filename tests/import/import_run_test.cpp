#include "import/import_run.h"

#include "import/import_support.h"
#include "services/cp1252.h"
#include "services/error.h"
#include "services/file_lock.h"
#include "services/xml_document.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace tdb::test {
namespace {

using catalogue::TableId;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A data folder with the tables of `school` and, beside it, the folder of the exchange files
// with datos.xml.
struct Fixture {
    TempDir dir;
    std::filesystem::path data = dir / "VTEMP";
    std::filesystem::path brelo = dir / "brelo";
    std::filesystem::path input = brelo / "datos.xml";
    std::filesystem::path result = brelo / "ResultadoDorimodatos.xml";
    Session session;

    explicit Fixture(const School& school = smallSchool(),
                     const std::string& document = exchangeDocument()) {
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(brelo);
        writeSchool(data, school);
        writeFile(input, document);
        session.dataDir = data;
    }

    void run(FakeFrontEnd& frontEnd) { importer::BImportarClick(session, frontEnd); }
    void runChoosingInput(FakeFrontEnd& frontEnd) {
        frontEnd.answer(input.string());
        run(frontEnd);
    }
    std::string resultDescription() const {
        auto doc = xml::Document::load(result);
        return describe(doc.root());
    }
};

constexpr const char* kSmallSchoolResult = R"(SERVICIO version=2 origen=Secretaría
  CABECERA
    centro "IES Río Tajo"
  #comment  fin 
  PIE "x"
  SALIDAS
    ERROR
      salida dato=CN_ERROR "0"
      salida dato=TE_ERROR "Servicio finalizado Correctamente"
      salida dato=REGISTROS RECUPERADOS "2"
    listasal seq=EMP_1
      salida dato=X_EMPLEADO "E100"
      salida dato=F_TOMAPOS "01/09/2020"
      listasal seq=TRAMO_1
        salida dato=X_ACTIVIDAD "156"
        salida dato=N_DIASEMANA "1"
        salida dato=X_TRAMO "P-08"
        salida dato=X_DEPCENTRO "R-01"
        salida dato=X_MATERIAOMC "M-MAT"
        salida dato=X_UNIDAD "U1A"
      listasal seq=TRAMO_2
        salida dato=X_ACTIVIDAD "GUAR"
        salida dato=N_DIASEMANA "2"
        salida dato=X_TRAMO "P-09"
        salida dato=X_DEPCENTRO "R-01"
        salida dato=X_MATERIAOMC "M-LEN"
        salida dato=X_UNIDAD "U1B"
    listasal seq=EMP_2
      salida dato=X_EMPLEADO "E200"
      salida dato=F_TOMAPOS "15/09/2021"
      listasal seq=TRAMO_1
        salida dato=X_ACTIVIDAD "156"
        salida dato=N_DIASEMANA "1"
        salida dato=X_TRAMO "P-08"
        salida dato=X_DEPCENTRO "R-LAB"
        salida dato=X_MATERIAOMC "M-MAT"
        salida dato=X_UNIDAD "U1B"
)";

TEST(ImportRun, CompletedRunWritesTheResultBesideTheChosenFileAndChangesNothingElse) {
    struct Mode {
        int launchParamCount;
        std::vector<std::string> events;
    };
    const Mode modes[] = {
        {0, {"choose", "busy", "idle", "message:Proceso finalizado", "disable"}},
        {2, {"choose", "busy", "idle", "message:Proceso finalizado", "disable", "close"}},
    };
    for (const auto& mode : modes) {
        SCOPED_TRACE("LaunchParamCount " + std::to_string(mode.launchParamCount));
        Fixture f;
        f.session.LaunchParamCount = mode.launchParamCount;
        const auto inputBytes = readFile(f.input);
        const auto tablesBefore = snapshot(f.data);

        FakeFrontEnd frontEnd;
        f.runChoosingInput(frontEnd);

        EXPECT_EQ(frontEnd.events, mode.events);
        EXPECT_EQ(f.session.RunStatus, 1);
        EXPECT_EQ(f.session.XMLFileName, f.input.string());
        EXPECT_EQ(f.resultDescription(), kSmallSchoolResult);
        EXPECT_EQ(readFile(f.input), inputBytes);
        EXPECT_EQ(snapshot(f.data), tablesBefore);
        std::vector<std::string> breloFiles;
        for (const auto& entry : std::filesystem::directory_iterator(f.brelo)) {
            breloFiles.push_back(entry.path().filename().string());
        }
        std::sort(breloFiles.begin(), breloFiles.end());
        EXPECT_THAT(breloFiles, ElementsAre("ResultadoDorimodatos.xml", "datos.xml"));
    }
}

TEST(ImportRun, WithoutAnExistingFileOnlyTheMessageAppears) {
    struct Case {
        const char* what;
        std::function<std::optional<std::string>(const Fixture&)> answer;
        int launchParamCount;
        int runStatus;
        std::vector<std::string> events;
    };
    const auto cancelled = [](const Fixture&) { return std::optional<std::string>(); };
    const auto typed = [](const Fixture& f) {
        return std::optional<std::string>((f.brelo / "nada.xml").string());
    };
    const auto folder = [](const Fixture& f) {
        return std::optional<std::string>(f.brelo.string());
    };
    const std::vector<std::string> interactive{"choose", "message:No existe archivo"};
    const std::vector<std::string> automated{"choose", "message:No existe archivo", "close"};
    const Case cases[] = {
        {"first dialog cancelled", cancelled, 0, 0, interactive},
        {"first dialog cancelled, automated", cancelled, 2, -1, automated},
        {"a typed name that does not exist", typed, 0, 0, interactive},
        {"a typed name that does not exist, automated", typed, 2, -1, automated},
        {"a folder is no file", folder, 0, 0, interactive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.session.LaunchParamCount = c.launchParamCount;
        const auto breloBefore = snapshot(f.brelo);
        const auto tablesBefore = snapshot(f.data);
        FakeFrontEnd frontEnd({c.answer(f)});
        f.run(frontEnd);
        EXPECT_EQ(frontEnd.events, c.events);
        EXPECT_EQ(f.session.RunStatus, c.runStatus);
        EXPECT_EQ(snapshot(f.brelo), breloBefore);
        EXPECT_EQ(snapshot(f.data), tablesBefore);
    }
}

TEST(ImportRun, AFailureLeavesEverythingAsItWasAndALaterRunWorks) {
    struct Case {
        const char* what;
        std::function<void(Fixture&)> breakIt;
        std::function<void(Fixture&)> repair;
        std::vector<std::string> messageParts;
    };
    std::optional<FileLock> held;
    const auto rewriteTables = [](Fixture& f) { writeSchool(f.data, smallSchool()); };
    const auto rewriteInput = [](Fixture& f) { writeFile(f.input, exchangeDocument()); };
    const Case cases[] = {
        {"CURSOST is missing although nothing is read from it",
         [](Fixture& f) { std::filesystem::remove(f.data / "CURSOST.DBF"); },
         rewriteTables,
         {"CURSOST"}},
        {"another program holds AULAT",
         [&](Fixture& f) { held = FileLock::tryAcquire(f.data / "AULAT.DBF"); },
         [&](Fixture&) { held.reset(); },
         {"AULAT"}},
        {"a damaged ASIGT",
         [](Fixture& f) { writeFile(f.data / "ASIGT.DBF", "\x03xyz"); },
         rewriteTables,
         {"ASIGT"}},
        {"PROFT without F_TOMAPOS",
         [](Fixture& f) {
             auto columns = catalogue::schema(TableId::PROFT).columns;
             std::erase_if(columns, [](const auto& c) { return c.name == "F_TOMAPOS"; });
             writeTable(f.data, "PROFT", columns, {{{"ABREV", "ANA"}}});
         },
         rewriteTables,
         {"PROFT", "F_TOMAPOS"}},
        {"the data folder does not exist",
         [](Fixture& f) { f.session.dataDir = f.dir / "NOHAY"; },
         [](Fixture& f) { f.session.dataDir = f.data; },
         {"NOHAY"}},
        {"a document that is not well-formed",
         [](Fixture& f) { writeFile(f.input, "<SERVICIO><SALIDAS></SERVICIO>"); },
         rewriteInput,
         {"datos.xml"}},
        {"a root without SALIDAS",
         [](Fixture& f) { writeFile(f.input, "<SERVICIO><?SALIDAS no?><ENTRADAS/></SERVICIO>"); },
         rewriteInput,
         {"datos.xml", "SALIDAS"}},
        {"the result cannot be written",
         [](Fixture& f) {
             std::filesystem::remove(f.result);
             std::filesystem::create_directory(f.result);
             writeFile(f.result / "dentro", "x");
         },
         [](Fixture& f) { std::filesystem::remove_all(f.result); },
         {"ResultadoDorimodatos.xml"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.session.LaunchParamCount = 2;
        writeFile(f.result, "resultado anterior");
        c.breakIt(f);
        const auto breloBefore = snapshot(f.brelo);
        const auto tablesBefore = snapshot(f.data);

        FakeFrontEnd frontEnd;
        try {
            f.runChoosingInput(frontEnd);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            for (const auto& part : c.messageParts) {
                EXPECT_THAT(e.what(), HasSubstr(part));
            }
        }
        EXPECT_EQ(frontEnd.events, (std::vector<std::string>{"choose", "busy", "idle"}));
        EXPECT_EQ(f.session.RunStatus, 0);
        EXPECT_EQ(snapshot(f.brelo), breloBefore);
        EXPECT_EQ(snapshot(f.data), tablesBefore);
        held.reset();
        for (const auto& entry : std::filesystem::directory_iterator(f.data)) {
            EXPECT_TRUE(FileLock::tryAcquire(entry.path()).has_value())
                << entry.path() << " is still locked";
        }

        // The same session, the dialog cancelled: the file chosen before is used again.
        c.repair(f);
        FakeFrontEnd again;
        f.run(again);
        EXPECT_EQ(again.events.back(), "close");
        EXPECT_EQ(f.session.RunStatus, 1);
        EXPECT_EQ(f.resultDescription(), kSmallSchoolResult);
    }
}

TEST(ImportRun, TheStatusBlockCountsTheTeacherRecordsThatAreNotDeleted) {
    struct Case {
        const char* what;
        std::vector<Row> teachers;
        std::vector<std::size_t> deleted;
        std::string salidas;
    };
    const Case cases[] = {
        {"no teachers", {}, {}, R"(SALIDAS
  ERROR
    salida dato=CN_ERROR "0"
    salida dato=TE_ERROR "Servicio finalizado Correctamente"
    salida dato=REGISTROS RECUPERADOS "0"
)"},
        {"one of two teachers deleted",
         {{{"ABREV", "X"}, {"X_EMPLEADO", "E1"}}, {{"ABREV", "Y"}, {"X_EMPLEADO", "E2"}}},
         {0},
         R"(SALIDAS
  ERROR
    salida dato=CN_ERROR "0"
    salida dato=TE_ERROR "Servicio finalizado Correctamente"
    salida dato=REGISTROS RECUPERADOS "1"
  listasal seq=EMP_1
    salida dato=X_EMPLEADO "E2"
    salida dato=F_TOMAPOS
)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        School school = smallSchool();
        school[TableId::PROFT] = c.teachers;
        Fixture f(school);
        for (std::size_t record : c.deleted) {
            markDeleted(f.data / "PROFT.DBF", record);
        }
        FakeFrontEnd frontEnd;
        f.runChoosingInput(frontEnd);
        auto doc = xml::Document::load(f.result);
        EXPECT_EQ(describe(doc.root().child("SALIDAS")), c.salidas);
    }
}

TEST(ImportRun, OnlyTheFirstSalidasIsReplacedWhateverTheRootsName) {
    School school = smallSchool();
    school[TableId::PROFT].resize(1);
    Fixture f(school, "<HORARIOS><SALIDAS><listasal seq=\"MATERIAS\"/></SALIDAS>"
                      "<SALIDAS><viejo>1</viejo></SALIDAS><FIN/></HORARIOS>");
    FakeFrontEnd frontEnd;
    f.runChoosingInput(frontEnd);
    EXPECT_EQ(f.resultDescription(), R"(HORARIOS
  SALIDAS
    viejo "1"
    ERROR
      salida dato=CN_ERROR "0"
      salida dato=TE_ERROR "Servicio finalizado Correctamente"
      salida dato=REGISTROS RECUPERADOS "1"
    listasal seq=EMP_1
      salida dato=X_EMPLEADO "E100"
      salida dato=F_TOMAPOS "01/09/2020"
      listasal seq=TRAMO_1
        salida dato=X_ACTIVIDAD "156"
        salida dato=N_DIASEMANA "1"
        salida dato=X_TRAMO "P-08"
        salida dato=X_DEPCENTRO "R-01"
        salida dato=X_MATERIAOMC "M-MAT"
        salida dato=X_UNIDAD "U1A"
      listasal seq=TRAMO_2
        salida dato=X_ACTIVIDAD "GUAR"
        salida dato=N_DIASEMANA "2"
        salida dato=X_TRAMO "P-09"
        salida dato=X_DEPCENTRO "R-01"
        salida dato=X_MATERIAOMC "M-LEN"
        salida dato=X_UNIDAD "U1B"
  FIN
  SALIDAS
)");
}

TEST(ImportRun, ALaterImportReplacesTheEarlierResult) {
    Fixture f;
    FakeFrontEnd first;
    f.runChoosingInput(first);
    ASSERT_EQ(f.session.RunStatus, 1);

    School changed = smallSchool();
    changed[TableId::PROFT].resize(1);
    changed[TableId::PROFT][0]["X_EMPLEADO"] = "E999";
    writeSchool(f.data, changed);
    Session later;
    later.dataDir = f.data;
    FakeFrontEnd second({f.input.string()});
    importer::BImportarClick(later, second);

    auto doc = xml::Document::load(f.result);
    pugi::xml_node salidas = doc.root().child("SALIDAS");
    EXPECT_STREQ(salidas.child("listasal").child("salida").text().get(), "E999");
    EXPECT_FALSE(salidas.child("listasal").next_sibling("listasal"));
}

// The document's own encoding and declaration come back; the tables' Windows-1252 text is
// converted into it, and a character the encoding lacks becomes a character reference.
TEST(ImportRun, TheResultKeepsTheInputsEncoding) {
    struct Case {
        const char* what;
        std::string declaration;
        std::function<std::string(const std::string& utf8)> encode;
        std::string resultStart;
        std::vector<std::string> present; // byte strings the result holds
        std::vector<std::string> absent;
    };
    const auto toAnsi = [](const std::string& utf8) { return cp1252::fromUtf8(utf8); };
    const auto asIs = [](const std::string& utf8) { return utf8; };
    const auto toUtf16LE = [](const std::string& utf8) {
        std::string bytes = "\xFF\xFE";
        for (char16_t unit : cp1252::toUtf16(cp1252::fromUtf8(utf8))) {
            bytes += static_cast<char>(unit & 0xFF);
            bytes += static_cast<char>(unit >> 8);
        }
        return bytes;
    };
    const Case cases[] = {
        {"ISO-8859-1",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n",
         toAnsi,
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
         {"N\xFA\xF1"
          "ez",
          "M\xFAsica",
          "Secretar\xED"
          "a",
          "&#"},
         {"\xC3", "\x80"}},
        {"windows-1252",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n",
         toAnsi,
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
         {"N\xFA\xF1"
          "ez",
          "M\xFAsica\x80",
          "Secretar\xED"
          "a"},
         {"\xC3", "&#"}},
        {"UTF-8 without a declaration",
         "",
         asIs,
         "<SERVICIO",
         {"N\xC3\xBA\xC3\xB1"
          "ez",
          "M\xC3\xBAsica\xE2\x82\xAC"},
         {"<?xml"}},
        {"UTF-16 with its mark",
         "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n",
         toUtf16LE,
         "\xFF\xFE",
         {std::string("N\0\xFA\0\xF1\0", 6)},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        School school = smallSchool();
        school[TableId::PROFT][0]["X_EMPLEADO"] = "Núñez";
        school[TableId::AULAT][0]["DEPCENTRO"] = "Música€";
        std::string document = exchangeDocument();
        document.erase(0, document.find('\n') + 1); // the UTF-8 declaration
        Fixture f(school, c.encode(c.declaration + document));

        FakeFrontEnd frontEnd;
        f.runChoosingInput(frontEnd);

        const std::string bytes = readFile(f.result);
        EXPECT_EQ(bytes.substr(0, c.resultStart.size()), c.resultStart);
        for (const auto& part : c.present) {
            EXPECT_NE(bytes.find(part), std::string::npos) << "missing: " << part;
        }
        for (const auto& part : c.absent) {
            EXPECT_EQ(bytes.find(part), std::string::npos) << "present: " << part;
        }
        auto doc = xml::Document::load(f.result);
        EXPECT_STREQ(doc.root().attribute("origen").value(), "Secretaría");
        pugi::xml_node teacher = doc.root().child("SALIDAS").child("listasal");
        EXPECT_STREQ(teacher.child("salida").text().get(), "Núñez");
        EXPECT_EQ(slotValues(teacher.child("listasal")), "156|1|P-08|Música€|M-MAT|U1A");
    }
}

} // namespace
} // namespace tdb::test
