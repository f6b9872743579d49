// The demo's two programs: the stand-in timetabler and the summary of a result document.
#include "import/import_run.h"

#include "import/import_support.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace tdb::test {
namespace {

using catalogue::TableId;
using ::testing::HasSubstr;

std::filesystem::path tool(const char* name) {
    return binaryDir() / "tools" / name;
}

#define REQUIRE_TOOL(name)                                                                         \
    if (!std::filesystem::exists(tool(name))) {                                                    \
        GTEST_SKIP() << "build the target " << name << " first";                                   \
    }

struct SolucRecord {
    std::string asig, prof, grupo, aula, tarea;
    std::int64_t dia, hora;
    bool operator==(const SolucRecord&) const = default;
};

std::vector<SolucRecord> readSoluc(const std::filesystem::path& folder) {
    auto t = catalogue::openTable(folder, TableId::SOLUC);
    std::vector<SolucRecord> records;
    for (t.first(); !t.eof(); t.next()) {
        records.push_back({t.text("ASIG"), t.text("PROF"), t.text("CODGRUPO"), t.text("AULA"),
                           t.text("TAREA"), t.integer("DIA"), t.integer("HORA")});
    }
    return records;
}

// Two groups, one of them given more lessons than the week has slots; a teacher with a code of
// ten characters; a weekend in the grid; one duty.
School demoSchool() {
    School s;
    s[TableId::PROFT] = {{{"ABREV", "ANA"}}, {{"ABREV", "LUIS"}}, {{"ABREV", "LARGUISIMO"}}};
    s[TableId::AULAT] = {{{"ABREV", "A1"}}, {{"ABREV", "AULA 2.01"}}};
    s[TableId::GRUPOST] = {{{"ABREV", "1A"}, {"CLAVE", "U1A"}, {"CLAVECURSO", "C1"}},
                           {{"ABREV", "1B"}, {"CLAVE", "U1B"}, {"CLAVECURSO", "C1"}}};
    s[TableId::ASIGT] = {
        {{"CASIG", "MATE"}, {"CGRUP", "1A"}, {"CLAVE", "M1"}, {"HORAS", "3"}},
        {{"CASIG", "LENGUA"}, {"CGRUP", "1A"}, {"CLAVE", "M2"}, {"HORAS", "4"}},
        {{"CASIG", "MATE"}, {"CGRUP", "1B"}, {"CLAVE", "M1"}, {"HORAS", "2"}},
        {{"CASIG", "MUSI"}, {"CGRUP", "1B"}, {"CLAVE", "M3"}, {"HORAS", "1"}},
    };
    s[TableId::ASIGNOMT] = {{{"COD", "GUAR"}, {"CODLARGO", "GUARDIA"}, {"CODTAREA", "281"}}};
    s[TableId::ASIGNOMT2] = {
        {{"COD", "GUAR"}, {"CODLARGO", "GUARDIA"}, {"MATERIA", "281"}, {"ALECTIVA", "S"}},
        {{"COD", "REUN"}, {"CODLARGO", "REUNION"}, {"MATERIA", "103"}, {"ALECTIVA", ""}},
    };
    for (int day : {1, 2, 6}) {
        for (int period : {1, 2, 3}) {
            const std::string d = std::to_string(day), p = std::to_string(period);
            s[TableId::DIASHORAST].push_back(
                {{"DIHO", d + p}, {"DIA", d}, {"HORA", p}, {"CODDIHO", "T" + p}});
        }
    }
    return s;
}

TEST(DemoTimetabler, PlacesEveryLessonItsHoursWithoutClashes) {
    REQUIRE_TOOL("demo-timetabler");
    TempDir dir;
    writeSchool(dir.path(), demoSchool());
    std::filesystem::remove(dir / "SOLUC.DBF");

    auto run = runProcess({tool("demo-timetabler").string(), dir.path().string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto records = readSoluc(dir.path());

    std::map<std::pair<std::string, std::string>, int> sessions;
    std::set<std::string> groupSlots, teacherSlots, roomSlots;
    std::map<std::string, int> duties;
    int unplaced = 0;
    for (const auto& r : records) {
        EXPECT_TRUE(r.prof == "ANA" || r.prof == "LUIS" || r.prof == "LARGUISIMO") << r.prof;
        if (r.grupo.empty()) {
            ++duties[r.prof];
            EXPECT_EQ(r.asig, "GUAR");
            EXPECT_EQ(r.tarea, "GUAR");
        } else {
            ++sessions[{r.asig, r.grupo}];
        }
        if (r.dia == 0) {
            ++unplaced;
            continue;
        }
        const std::string slot = std::to_string(r.dia) + "/" + std::to_string(r.hora);
        EXPECT_TRUE(r.dia == 1 || r.dia == 2) << "day " << r.dia;
        EXPECT_TRUE(r.hora >= 1 && r.hora <= 3) << "period " << r.hora;
        if (!r.grupo.empty()) {
            EXPECT_TRUE(groupSlots.insert(r.grupo + "@" + slot).second) << r.grupo << " " << slot;
        }
        EXPECT_TRUE(teacherSlots.insert(r.prof + "@" + slot).second) << r.prof << " " << slot;
        if (!r.aula.empty()) {
            EXPECT_TRUE(roomSlots.insert(r.aula + "@" + slot).second) << r.aula << " " << slot;
        }
    }
    // Codes are stored whole.
    const std::map<std::pair<std::string, std::string>, int> expected = {
        {{"MATE", "1A"}, 3}, {{"LENGUA", "1A"}, 4}, {{"MATE", "1B"}, 2}, {{"MUSI", "1B"}, 1}};
    EXPECT_EQ(sessions, expected);
    EXPECT_EQ(duties, (std::map<std::string, int>{{"ANA", 2}, {"LUIS", 2}, {"LARGUISIMO", 2}}));
    // Group 1A has seven sessions for a week of six slots.
    EXPECT_GE(unplaced, 1);

    // Run again: the same solution.
    auto again = runProcess({tool("demo-timetabler").string(), dir.path().string()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(readSoluc(dir.path()) == records);
}

TEST(DemoTools, ReportUsageAndFailures) {
    const struct {
        const char* program;
        std::vector<std::string> args;
        int exitCode;
        const char* stderrPart;
    } cases[] = {
        {"demo-timetabler", {}, 64, "Uso: demo-timetabler"},
        {"demo-timetabler", {"/nonexistent/folder"}, 2, "ASIGT"},
        {"result-summary", {}, 64, "Uso: result-summary"},
        {"result-summary", {"/nonexistent/r.xml"}, 2, "/nonexistent/r.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        REQUIRE_TOOL(c.program);
        std::vector<std::string> argv{tool(c.program).string()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto run = runProcess(argv);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_THAT(run.err, HasSubstr(c.stderrPart));
    }
}

TEST(ResultSummary, OneLinePerTeacherWithItsFirstSlot) {
    REQUIRE_TOOL("result-summary");
    TempDir dir;
    std::filesystem::create_directory(dir / "VTEMP");
    School school = smallSchool();
    school[TableId::PROFT].push_back({{"ABREV", "NADIE"}, {"X_EMPLEADO", "E300"}});
    writeSchool(dir / "VTEMP", school);
    writeFile(dir / "datos.xml", exchangeDocument());
    Session session;
    session.dataDir = dir / "VTEMP";
    FakeFrontEnd frontEnd({(dir / "datos.xml").string()});
    importer::BImportarClick(session, frontEnd);

    auto run =
        runProcess({tool("result-summary").string(), (dir / "ResultadoDorimodatos.xml").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Profesor  Tramos  Día  Tramo  Aula   Materia  Unidad\n"
                       "E100      2       1    P-08   R-01   M-MAT    U1A\n"
                       "E200      1       1    P-08   R-LAB  M-MAT    U1B\n"
                       "E300      0\n"
                       "3 profesores, 3 tramos\n");
}

} // namespace
} // namespace tdb::test
