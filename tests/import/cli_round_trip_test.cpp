// The sample school through the command-line front end: export, the demo timetabler, import.
#include "import/import_support.h"
#include "services/xml_document.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tdb::test {
namespace {

using catalogue::TableId;
using ::testing::HasSubstr;

std::filesystem::path cli() {
    return binaryDir() / "src" / "cli" / "transdorimobrelo-cli";
}
std::filesystem::path demo() {
    return binaryDir() / "tools" / "demo-timetabler";
}
std::string value(pugi::xml_node list, const char* dato) {
    return xml::textContent(list.find_child_by_attribute("salida", "dato", dato));
}

std::filesystem::path sample() {
    return sourceDir() / "samples" / "colegio.xml";
}

class CliRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& needed : {cli(), demo(), sample()}) {
            if (!std::filesystem::exists(needed)) {
                GTEST_SKIP() << needed << " is not there yet";
            }
        }
        std::filesystem::create_directories(data / "brelo");
        std::filesystem::copy_file(sample(), input);
    }

    ProcessResult cliRun(const std::string& command, const std::filesystem::path& file) {
        return runProcess({cli().string(), "--data-dir", data.string(), command, file.string()});
    }

    TempDir dir;
    std::filesystem::path data = dir / "VTEMP";
    std::filesystem::path input = data / "brelo" / "colegio.xml";
    std::filesystem::path result = data / "brelo" / "ResultadoDorimocolegio.xml";
};

TEST_F(CliRoundTrip, ExportTimetableImport) {
    auto exported = cliRun("exportar", input);
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    auto timetabled = runProcess({demo().string(), data.string()});
    ASSERT_EQ(timetabled.exitCode, 0) << timetabled.err;
    const auto inputBytes = readFile(input);

    auto imported = cliRun("importar", input);
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(imported.out, "Proceso finalizado\n");
    EXPECT_EQ(imported.err, "");
    EXPECT_EQ(readFile(input), inputBytes);

    // What the result must hold, worked out from the tables themselves.
    std::vector<std::string> teachers;
    std::map<std::string, int> placedPerTeacher;
    {
        auto proft = catalogue::openTable(data, TableId::PROFT);
        for (proft.first(); !proft.eof(); proft.next()) {
            teachers.push_back(proft.text("ABREV"));
        }
        auto soluc = catalogue::openTable(data, TableId::SOLUC);
        for (soluc.first(); !soluc.eof(); soluc.next()) {
            placedPerTeacher[soluc.text("PROF")] += soluc.integer("DIA") != 0;
        }
    }
    auto doc = xml::Document::load(result);
    EXPECT_EQ(doc.encoding(), xml::Encoding::Latin1);
    pugi::xml_node salidas = doc.root().child("SALIDAS");
    EXPECT_EQ(value(salidas.child("ERROR"), "REGISTROS RECUPERADOS"),
              std::to_string(teachers.size()));
    std::size_t n = 0;
    int slotsWithSubject = 0;
    for (pugi::xml_node list : salidas.children("listasal")) {
        ASSERT_LT(n, teachers.size());
        EXPECT_EQ(std::string(list.attribute("seq").value()), "EMP_" + std::to_string(n + 1));
        const auto slots =
            std::distance(list.children("listasal").begin(), list.children("listasal").end());
        EXPECT_EQ(slots, placedPerTeacher[teachers[n]]) << teachers[n];
        for (pugi::xml_node slot : list.children("listasal")) {
            // Every placed slot lies in the grid the export wrote.
            EXPECT_FALSE(value(slot, "N_DIASEMANA").empty());
            EXPECT_FALSE(value(slot, "X_TRAMO").empty());
            slotsWithSubject += !value(slot, "X_MATERIAOMC").empty();
        }
        ++n;
    }
    EXPECT_EQ(n, teachers.size());
    // The duties find their subject key through ASIGNOMT2.
    EXPECT_GT(slotsWithSubject, 0);
}

TEST_F(CliRoundTrip, ImportFailuresExitWithTheirStatus) {
    auto missing = cliRun("importar", data / "brelo" / "no.xml");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, HasSubstr("No existe archivo"));

    // Exported tables but no solution yet.
    ASSERT_EQ(cliRun("exportar", input).exitCode, 0);
    auto noSolution = cliRun("importar", input);
    EXPECT_EQ(noSolution.exitCode, 2);
    EXPECT_THAT(noSolution.err, HasSubstr("SOLUC"));
    EXPECT_EQ(noSolution.out, "");
    EXPECT_FALSE(std::filesystem::exists(result));
}

} // namespace
} // namespace tdb::test
