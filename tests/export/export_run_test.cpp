#include "export/export_run.h"
#include "export/export_support.h"
#include "support/test_support.h"

#include "services/error.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tdb::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kTables = {"ASIGNOMT", "ASIGNOMT2", "PROFT", "AULAT",
                                          "CURSOST",  "GRUPOST",   "ASIGT", "DIASHORAST"};

std::string smallSchool(const std::string& minutes = "120", const std::string& start = "8:30") {
    return exchangeDocument({list("MATERIAS", {item({"M1", "Lengua", "LENGUA", "1ESO", minutes})}),
                             list("TAREAS", {item({"156", "Complementaria", "COMPL", ""})}),
                             list("PROFESORES", {item({"E1", "2020-09-01", "Ana Ruiz", "AR"})}),
                             list("AULAS", {item({"R1", "Aula 1", "A1"})}),
                             list("CURSOS", {item({"1ESO", "Primero", "", "ESO", "1"})}),
                             list("GRUPOS", {item({"G1", "1A", "1ESO"})}),
                             list("INTERVALOS", {namedItem({{"CODIGO_BRELO", "T1"},
                                                            {"NOMBRE", "1ª"},
                                                            {"INICIO", start},
                                                            {"FIN", "9:25"},
                                                            {"ORDEN", "1"}})})});
}

class ExportRun : public ::testing::Test {
protected:
    TempDir dir;
    fs::path data = dir / "VTEMP";
    fs::path document = dir / "datos.xml";
    Session session;
    FakeFrontEnd frontEnd;

    void SetUp() override {
        fs::create_directory(data);
        session.dataDir = data;
    }
    void choose(const std::string& xml) {
        writeFile(document, xml);
        frontEnd.nextFile = document.string();
    }
    void run() { exporter::BExportarClick(session, frontEnd); }
    std::string failureOf() {
        try {
            run();
        } catch (const Error& e) {
            return e.what();
        }
        return "(no failure)";
    }
};

TEST_F(ExportRun, CompletedRunWritesTheEightTables) {
    choose(smallSchool());
    run();
    EXPECT_EQ(session.RunStatus, 1);
    EXPECT_EQ(frontEnd.messages, std::vector<std::string>{"Proceso finalizado"});
    EXPECT_TRUE(frontEnd.actionsDisabled);
    EXPECT_FALSE(frontEnd.closed);
    EXPECT_EQ(frontEnd.busyDepth, 0);
    std::vector<std::string> files;
    for (const auto& [name, bytes] : snapshot(data)) {
        files.push_back(name);
    }
    EXPECT_EQ(files, (std::vector<std::string>{"ASIGNOMT.DBF", "ASIGNOMT2.DBF", "ASIGT.DBF",
                                               "AULAT.DBF", "CURSOST.DBF", "DIASHORAST.DBF",
                                               "GRUPOST.DBF", "PROFT.DBF"}));
    EXPECT_EQ(readRows(data, "ASIGT", {"CASIG", "CGRUP", "HORAS"}), (Rows{{"LENGUA", "1A", "2"}}));
}

TEST_F(ExportRun, AutomatedRunClosesTheWindow) {
    session.LaunchParamCount = 2;
    choose(smallSchool());
    run();
    EXPECT_EQ(session.RunStatus, 1);
    EXPECT_TRUE(frontEnd.closed);
}

TEST_F(ExportRun, MissingFile) {
    struct Case {
        int launchParamCount;
        std::optional<std::string> chosen;
        int status;
        bool closed;
    };
    for (const auto& c : {Case{0, std::nullopt, 0, false}, Case{2, std::nullopt, -1, true},
                          Case{0, (dir / "no-existe.xml").string(), 0, false},
                          Case{2, dir.path().string(), -1, true}}) {
        Session s;
        s.dataDir = data;
        s.LaunchParamCount = c.launchParamCount;
        FakeFrontEnd fe;
        fe.nextFile = c.chosen;
        exporter::BExportarClick(s, fe);
        EXPECT_EQ(fe.messages, std::vector<std::string>{"No existe archivo"});
        EXPECT_EQ(s.RunStatus, c.status);
        EXPECT_EQ(fe.closed, c.closed);
        EXPECT_FALSE(fe.actionsDisabled);
    }
    EXPECT_TRUE(snapshot(data).empty());
}

// A cancelled dialog after a failed run converts the same file again without asking.
TEST_F(ExportRun, CancelledDialogReusesTheLastFile) {
    choose(smallSchool("noventa"));
    EXPECT_NE(failureOf(), "(no failure)");
    writeFile(document, smallSchool());
    frontEnd.nextFile.reset();
    run();
    EXPECT_EQ(session.RunStatus, 1);
}

// Failures of every kind leave the tables of the data folder byte for byte as they were, and
// nothing new behind; the message says what failed.
TEST_F(ExportRun, FailureLeavesThePreviousTablesUntouched) {
    choose(exchangeDocument({list("PROFESORES", {item({"E9", "2020", "Previo", "PREV"})})}));
    run();
    // Files of other programs: a lower-case variant, a stale index, a file of its own.
    writeFile(data / "soluc.dbf", "solution");
    writeFile(data / "PROFT.MDX", "index");
    const auto before = snapshot(data);

    struct Case {
        std::string xml;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {smallSchool("90m"), "\"90m\""},
        {smallSchool("120", "8:00:00"), "\"8:00:00\""},
        {"<SERVICIO><SALIDAS>", "datos.xml"},
        {"", "datos.xml"},
    };
    for (const auto& c : cases) {
        Session s;
        s.dataDir = data;
        FakeFrontEnd fe;
        writeFile(document, c.xml);
        fe.nextFile = document.string();
        try {
            exporter::BExportarClick(s, fe);
            ADD_FAILURE() << "no failure for " << c.xml;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
        EXPECT_EQ(s.RunStatus, 0);
        EXPECT_TRUE(fe.messages.empty());
        EXPECT_FALSE(fe.actionsDisabled);
        EXPECT_EQ(fe.busyDepth, 0);
        EXPECT_EQ(snapshot(data), before);
    }
}

TEST_F(ExportRun, MessagesNameListItemAndValue) {
    choose(smallSchool("90m"));
    EXPECT_EQ(failureOf(), "Lista MATERIAS, elemento 1 (asignatura \"LENGUA\"): el campo 4 "
                           "(minutos) \"90m\" no es un número entero");
    choose(smallSchool("120", "8:00:00"));
    EXPECT_EQ(failureOf(), "Lista INTERVALOS, elemento 1 (tramo \"T1\"): la hora de inicio "
                           "\"8:00:00\" no es una hora válida (hh:mm)");
}

TEST_F(ExportRun, TableHeldByAnotherProgramStopsTheRunBeforeAnythingMoves) {
    choose(smallSchool());
    run();
    const auto before = snapshot(data);
    LockHolder holder(data / "GRUPOST.DBF");
    Session s;
    s.dataDir = data;
    FakeFrontEnd fe;
    fe.nextFile = document.string();
    writeFile(document, exchangeDocument({}));
    try {
        exporter::BExportarClick(s, fe);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("GRUPOST"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("en uso"), std::string::npos) << e.what();
    }
    EXPECT_EQ(snapshot(data), before);
}

TEST_F(ExportRun, MissingDataFolder) {
    choose(smallSchool());
    session.dataDir = dir / "no-existe";
    EXPECT_EQ(failureOf(), "No existe la carpeta de datos " + (dir / "no-existe").string());
    EXPECT_FALSE(fs::exists(dir / "no-existe"));
}

// Running twice gives the same tables; other programs' variants of a table and its index go,
// every other file stays.
TEST_F(ExportRun, ReplacesTablesAndTheirVariants) {
    writeFile(data / "proft.dbf", "old lower-case table");
    writeFile(data / "Proft.Mdx", "old index");
    writeFile(data / "ASIGT.MDX", "old index");
    writeFile(data / "SOLUC.DBF", "solution");
    choose(smallSchool());
    run();
    auto first = snapshot(data);
    Session again;
    again.dataDir = data;
    FakeFrontEnd fe;
    fe.nextFile = document.string();
    exporter::BExportarClick(again, fe);
    EXPECT_EQ(snapshot(data), first);
    std::vector<std::string> files;
    for (const auto& [name, bytes] : first) {
        files.push_back(name);
    }
    EXPECT_EQ(files, (std::vector<std::string>{"ASIGNOMT.DBF", "ASIGNOMT2.DBF", "ASIGT.DBF",
                                               "AULAT.DBF", "CURSOST.DBF", "DIASHORAST.DBF",
                                               "GRUPOST.DBF", "PROFT.DBF", "SOLUC.DBF"}));
}

TEST_F(ExportRun, DocumentWithoutListsGivesEmptyTables) {
    choose("<?xml version=\"1.0\"?><OTRO><SALIDAS/></OTRO>");
    run();
    EXPECT_EQ(session.RunStatus, 1);
    for (const auto& table : kTables) {
        EXPECT_TRUE(readRows(data, table, {}).empty()) << table;
    }
}

// Code lists start empty on every run, also after a run that failed half-way.
TEST_F(ExportRun, CodeListsStartEmptyOnEveryRun) {
    choose(smallSchool("90m"));
    EXPECT_NE(failureOf(), "(no failure)");
    choose(smallSchool());
    run();
    EXPECT_EQ(readRows(data, "ASIGNOMT", {"COD"}), (Rows{{"LENGUA"}, {"COMPL"}}));
}

} // namespace
} // namespace tdb::test
