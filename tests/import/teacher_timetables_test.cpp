#include "import/teacher_timetables.h"

#include "import/import_support.h"
#include "services/error.h"
#include "support/test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace tdb::test {
namespace {

using catalogue::TableId;
using ::testing::AllOf;
using ::testing::HasSubstr;

// Runs the step on the tables of `folder` into a fresh document and returns the document.
std::unique_ptr<pugi::xml_document> runStep(const std::filesystem::path& folder) {
    auto open = [&](TableId id) { return catalogue::openTable(folder, id); };
    dbf::Table proft = open(TableId::PROFT), soluc = open(TableId::SOLUC),
               asigt = open(TableId::ASIGT), asignomt = open(TableId::ASIGNOMT),
               grupost = open(TableId::GRUPOST), asignomt2 = open(TableId::ASIGNOMT2),
               diashorast = open(TableId::DIASHORAST), aulat = open(TableId::AULAT);
    auto doc = std::make_unique<pugi::xml_document>();
    pugi::xml_node salidas = doc->append_child("SALIDAS");
    importer::ImportarHorarios(salidas,
                               importer::TimetableTables{proft, soluc, asigt, asignomt, grupost,
                                                         asignomt2, diashorast, aulat});
    return doc;
}

// Lookup tables with first-match traps: every key that matters has a later duplicate whose value
// must never show, and keys differing only in letter case.
School lookupSchool() {
    School s;
    s[TableId::PROFT] = {{{"ABREV", "T1"}, {"X_EMPLEADO", "E1"}, {"F_TOMAPOS", "F1"}}};
    s[TableId::ASIGT] = {
        // Joined without care, ("MA", "TG1") would read as ("MAT", "G1").
        {{"CASIG", "MA"}, {"CGRUP", "TG1"}, {"CLAVE", "K-SPLIT"}},
        {{"CASIG", "MAT"}, {"CGRUP", "G1"}, {"CLAVE", "K-MAT"}},
        {{"CASIG", "MAT"}, {"CGRUP", "G1"}, {"CLAVE", "K-MAT-LATER"}},
        {{"CASIG", "mat"}, {"CGRUP", "G1"}, {"CLAVE", "K-mat"}},
        {{"CASIG", "LEN"}, {"CGRUP", "G1"}, {"CLAVE", "\t"}},
    };
    s[TableId::ASIGNOMT] = {
        {{"COD", "TA1"}, {"CODTAREA", "156"}},
        {{"COD", "TA1"}, {"CODTAREA", "999"}},
        {{"COD", "TA2"}, {"CODTAREA", ""}},
    };
    s[TableId::GRUPOST] = {
        {{"ABREV", "G1"}, {"CLAVE", "U1"}, {"CLAVECURSO", "C1"}},
        {{"ABREV", "G2"}, {"CLAVE", "U2"}, {"CLAVECURSO", "C2"}},
        {{"ABREV", "G1"}, {"CLAVE", "U-LATER"}, {"CLAVECURSO", "C-LATER"}},
    };
    s[TableId::ASIGNOMT2] = {
        {{"COD", "MAT"}, {"CLAVECURSO", "C1"}, {"ALECTIVA", "S"}, {"MATERIA", "M-NEVER"}},
        {{"COD", "FIS"}, {"CLAVECURSO", "C2"}, {"ALECTIVA", "S"}, {"MATERIA", "M-FIS"}},
        {{"COD", "FIS"}, {"CLAVECURSO", "C2"}, {"ALECTIVA", "S"}, {"MATERIA", "M-FIS-LATER"}},
        {{"COD", "QUI"}, {"CLAVECURSO", "C2"}, {"ALECTIVA", ""}, {"MATERIA", "M-QUI"}},
        {{"COD", "QUI"}, {"CLAVECURSO", "C2"}, {"ALECTIVA", "S"}, {"MATERIA", "M-QUI-LATER"}},
        {{"COD", "FIS"}, {"CLAVECURSO", ""}, {"ALECTIVA", "S"}, {"MATERIA", "M-ANY"}},
        {{"COD", "LEN"}, {"CLAVECURSO", "C1"}, {"ALECTIVA", "\t"}, {"MATERIA", "M-LEN-TAB"}},
        {{"COD", "BIO"}, {"CLAVECURSO", "C1"}, {"ALECTIVA", "X"}, {"MATERIA", "M-BIO"}},
    };
    s[TableId::DIASHORAST] = {
        {{"DIHO", "11"}, {"DIA", "1"}, {"CODDIHO", "P11"}},
        {{"DIHO", "112"}, {"DIA", "1"}, {"CODDIHO", "P112"}},
        {{"DIHO", "31"}, {"DIA", "3"}, {"CODDIHO", "P31"}},
        {{"DIHO", "11"}, {"DIA", "9"}, {"CODDIHO", "P-LATER"}},
    };
    s[TableId::AULAT] = {
        {{"ABREV", "A1"}, {"DEPCENTRO", "R1"}},
        {{"ABREV", "A1"}, {"DEPCENTRO", "R-LATER"}},
        {{"ABREV", "a1"}, {"DEPCENTRO", "R-lower"}},
    };
    return s;
}

struct SlotCase {
    const char* what;
    Row soluc;
    // X_ACTIVIDAD|N_DIASEMANA|X_TRAMO|X_DEPCENTRO|X_MATERIAOMC|X_UNIDAD; nullptr: no slot.
    const char* expected;
};

Row solucRow(std::string asig, std::string grupo, std::string tarea, std::string aula,
             std::string dia, std::string hora) {
    Row row{{"PROF", "T1"}, {"ASIG", asig}, {"CODGRUPO", grupo}, {"TAREA", tarea}, {"AULA", aula}};
    if (!dia.empty()) {
        row["DIA"] = dia;
    }
    if (!hora.empty()) {
        row["HORA"] = hora;
    }
    return row;
}

TEST(ImportarHorarios, TranslatesEachPlacedRecordThroughTheFirstMatchingRecords) {
    const SlotCase cases[] = {
        {"every lookup matches; later duplicates never win",
         solucRow("MAT", "G1", "TA1", "A1", "1", "1"), "156|1|P11|R1|K-MAT|U1"},
        {"codes are compared with letter case", solucRow("mat", "G1", "TA1", "a1", "1", "1"),
         "156|1|P11|R-lower|K-mat|U1"},
        {"nothing matches: raw task code, the rest empty (nothing left from before)",
         solucRow("XX", "GX", "ZZ", "ZZ", "2", "1"), "ZZ|||||"},
        {"DIA 0 is not placed", solucRow("MAT", "G1", "TA1", "A1", "0", "1"), nullptr},
        {"an empty DIA is not placed", solucRow("MAT", "G1", "TA1", "A1", "", "1"), nullptr},
        {"DIA below one half rounds to 0", solucRow("MAT", "G1", "TA1", "A1", "0.4", "1"), nullptr},
        {"a task record without CODTAREA empties the task code",
         solucRow("MAT", "G1", "TA2", "A1", "1", "1"), "|1|P11|R1|K-MAT|U1"},
        {"no assignment: subject through the group's course",
         solucRow("FIS", "G2", "", "", "3", "1"), "|3|P31||M-FIS|U2"},
        {"no assignment, offering without ALECTIVA: empty subject",
         solucRow("QUI", "G2", "", "", "3", "1"), "|3|P31|||U2"},
        {"no group: only an offering without course key fits",
         solucRow("FIS", "GX", "", "", "1", "1"), "|1|P11||M-ANY|"},
        {"an assignment whose key is blank once trimmed falls back; a tab-only ALECTIVA is empty",
         solucRow("LEN", "G1", "", "", "1", "1"), "|1|P11|||U1"},
        {"no assignment and no offering: the subject stays empty",
         solucRow("BIO", "G2", "", "", "1", "1"), "|1|P11|||U2"},
        {"grid key is day then period: 1 and 12 give 112", solucRow("", "", "", "", "1", "12"),
         "|1|P112|||"},
        {"no grid entry for the key", solucRow("", "", "", "", "2", "2"), "|||||"},
        {"stored with decimals: the nearest whole period", solucRow("", "", "", "", "3", "0.6"),
         "|3|P31|||"},
    };
    School school = lookupSchool();
    for (const auto& c : cases) {
        school[TableId::SOLUC].push_back(c.soluc);
    }
    TempDir dir;
    writeSchool(dir.path(), school);

    auto doc = runStep(dir.path());
    pugi::xml_node teacher = doc->child("SALIDAS").child("listasal");
    ASSERT_STREQ(teacher.attribute("seq").value(), "EMP_1");

    std::vector<pugi::xml_node> slots;
    for (pugi::xml_node slot : teacher.children("listasal")) {
        slots.push_back(slot);
    }
    int ordinal = 0;
    for (const auto& c : cases) {
        if (c.expected == nullptr) {
            continue;
        }
        SCOPED_TRACE(c.what);
        ASSERT_LT(static_cast<std::size_t>(ordinal), slots.size());
        pugi::xml_node slot = slots[static_cast<std::size_t>(ordinal++)];
        EXPECT_EQ(slot.attribute("seq").value(), "TRAMO_" + std::to_string(ordinal));
        EXPECT_EQ(slotValues(slot), c.expected);
    }
    EXPECT_EQ(slots.size(), static_cast<std::size_t>(ordinal)) << "more slots than placed records";
}

TEST(ImportarHorarios, OneListPerTeacherWithItsOwnRecordsInFileOrder) {
    School s;
    s[TableId::PROFT] = {
        {{"ABREV", "T1"}, {"X_EMPLEADO", "E1"}, {"F_TOMAPOS", "2020"}},
        {{"ABREV", "T2"}, {"X_EMPLEADO", "E2"}, {"F_TOMAPOS", ""}},
        {{"ABREV", "O'N"}, {"X_EMPLEADO", "E3"}, {"F_TOMAPOS", "2021"}},
        {{"ABREV", "T1"}, {"X_EMPLEADO", "E4"}, {"F_TOMAPOS", "2022"}},
        {{"ABREV", "t1"}, {"X_EMPLEADO", "E5"}, {"F_TOMAPOS", "2023"}},
        {{"ABREV", ""}, {"X_EMPLEADO", "E6"}, {"F_TOMAPOS", "2024"}},
    };
    auto rec = [](const char* prof, const char* tarea, const char* dia) {
        return Row{{"PROF", prof}, {"TAREA", tarea}, {"DIA", dia}, {"HORA", "1"}};
    };
    s[TableId::SOLUC] = {
        rec("T1", "a1", "1"), rec("O'N", "q1", "2"), rec("T1", "a2", "0"),
        rec("T9", "x1", "1"), rec("T1", "a3", "3"),  rec("O'N", "q2", "0"),
        rec("", "b1", "4"),   rec("T1 ", "a4", "5"), rec("O'N", "q3", "1"),
    };
    TempDir dir;
    writeSchool(dir.path(), s);

    auto doc = runStep(dir.path());
    EXPECT_EQ(describe(doc->child("SALIDAS")), R"(SALIDAS
  listasal seq=EMP_1
    salida dato=X_EMPLEADO "E1"
    salida dato=F_TOMAPOS "2020"
    listasal seq=TRAMO_1
      salida dato=X_ACTIVIDAD "a1"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
    listasal seq=TRAMO_2
      salida dato=X_ACTIVIDAD "a3"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
    listasal seq=TRAMO_3
      salida dato=X_ACTIVIDAD "a4"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
  listasal seq=EMP_2
    salida dato=X_EMPLEADO "E2"
    salida dato=F_TOMAPOS
  listasal seq=EMP_3
    salida dato=X_EMPLEADO "E3"
    salida dato=F_TOMAPOS "2021"
    listasal seq=TRAMO_1
      salida dato=X_ACTIVIDAD "q1"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
    listasal seq=TRAMO_2
      salida dato=X_ACTIVIDAD "q3"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
  listasal seq=EMP_4
    salida dato=X_EMPLEADO "E4"
    salida dato=F_TOMAPOS "2022"
    listasal seq=TRAMO_1
      salida dato=X_ACTIVIDAD "a1"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
    listasal seq=TRAMO_2
      salida dato=X_ACTIVIDAD "a3"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
    listasal seq=TRAMO_3
      salida dato=X_ACTIVIDAD "a4"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
  listasal seq=EMP_5
    salida dato=X_EMPLEADO "E5"
    salida dato=F_TOMAPOS "2023"
  listasal seq=EMP_6
    salida dato=X_EMPLEADO "E6"
    salida dato=F_TOMAPOS "2024"
    listasal seq=TRAMO_1
      salida dato=X_ACTIVIDAD "b1"
      salida dato=N_DIASEMANA
      salida dato=X_TRAMO
      salida dato=X_DEPCENTRO
      salida dato=X_MATERIAOMC
      salida dato=X_UNIDAD
)");
}

TEST(ImportarHorarios, RecordsMarkedDeletedAreNeverSeen) {
    School s;
    s[TableId::PROFT] = {
        {{"ABREV", "GONE"}, {"X_EMPLEADO", "E0"}},
        {{"ABREV", "T1"}, {"X_EMPLEADO", "E1"}},
    };
    s[TableId::SOLUC] = {
        {{"PROF", "T1"}, {"AULA", "A1"}, {"TAREA", "deleted"}, {"DIA", "1"}, {"HORA", "1"}},
        {{"PROF", "T1"}, {"AULA", "A1"}, {"TAREA", "kept"}, {"DIA", "1"}, {"HORA", "1"}},
    };
    s[TableId::AULAT] = {
        {{"ABREV", "A1"}, {"DEPCENTRO", "R-DELETED"}},
        {{"ABREV", "A1"}, {"DEPCENTRO", "R-KEPT"}},
    };
    TempDir dir;
    writeSchool(dir.path(), s);
    markDeleted(dir / "PROFT.DBF", 0);
    markDeleted(dir / "SOLUC.DBF", 0);
    markDeleted(dir / "AULAT.DBF", 0);

    auto doc = runStep(dir.path());
    pugi::xml_node salidas = doc->child("SALIDAS");
    ASSERT_EQ(std::distance(salidas.children().begin(), salidas.children().end()), 1);
    pugi::xml_node teacher = salidas.child("listasal");
    EXPECT_STREQ(teacher.child("salida").text().get(), "E1");
    std::vector<std::string> slots;
    for (pugi::xml_node slot : teacher.children("listasal")) {
        slots.push_back(slotValues(slot));
    }
    EXPECT_EQ(slots, std::vector<std::string>{"kept|||R-KEPT||"});
}

TEST(ImportarHorarios, ATableWithoutAColumnItReadsFailsNamingTableAndColumn) {
    const std::pair<TableId, const char*> cases[] = {
        {TableId::PROFT, "X_EMPLEADO"},   {TableId::PROFT, "ABREV"},
        {TableId::SOLUC, "HORA"},         {TableId::SOLUC, "PROF"},
        {TableId::ASIGT, "CLAVE"},        {TableId::ASIGNOMT, "CODTAREA"},
        {TableId::GRUPOST, "CLAVECURSO"}, {TableId::ASIGNOMT2, "ALECTIVA"},
        {TableId::DIASHORAST, "CODDIHO"}, {TableId::AULAT, "DEPCENTRO"},
    };
    for (const auto& [id, column] : cases) {
        const std::string table(catalogue::schema(id).name);
        SCOPED_TRACE(table + "." + column);
        TempDir dir;
        writeSchool(dir.path(), smallSchool());
        auto columns = id == TableId::SOLUC ? solucColumns() : catalogue::schema(id).columns;
        std::erase_if(columns, [&](const dbf::ColumnSpec& c) { return c.name == column; });
        writeTable(dir.path(), table, columns, {});
        try {
            runStep(dir.path());
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), AllOf(HasSubstr(table), HasSubstr(column)));
        }
    }
}

// SOLUC with DIA and HORA stored as text, so that a record can hold a value that is no number.
void writeSolucWithTextNumbers(const std::filesystem::path& folder, const std::vector<Row>& rows) {
    auto columns = solucColumns();
    for (auto& column : columns) {
        if (column.name == "DIA" || column.name == "HORA") {
            column = {column.name, dbf::ColumnKind::Text, 4};
        }
    }
    writeTable(folder, "SOLUC", columns, rows);
}

TEST(ImportarHorarios, AValueThatIsNoNumberFailsWhereTheListsReachIt) {
    struct Case {
        const char* what;
        std::vector<Row> soluc;
        std::vector<std::string> messageParts; // empty: no failure
    };
    auto rec = [](const char* prof, const char* dia, const char* hora) {
        return Row{{"PROF", prof}, {"DIA", dia}, {"HORA", hora}, {"TAREA", "ok"}};
    };
    const Case cases[] = {
        {"T1 is listed first: its bad period is reported, not T2's bad day earlier in the file",
         {rec("T2", "x", "1"), rec("T1", "1", "y"), rec("T1", "z", "1")},
         {"HORA", "(registro 2)", "«y»", "SOLUC"}},
        {"within a teacher, the first record in the file",
         {rec("T1", "1", "1"), rec("T1", "q", "1"), rec("T1", "1", "y")},
         {"DIA", "(registro 2)", "«q»"}},
        {"records of no listed teacher, and the period of an unplaced record, are never read",
         {rec("T9", "x", "1"), rec("T1", "0", "y"), rec("", "x", "x"), rec("T1", "2", "1")},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        School school;
        school[TableId::PROFT] = {{{"ABREV", "T1"}, {"X_EMPLEADO", "E1"}},
                                  {{"ABREV", "T2"}, {"X_EMPLEADO", "E2"}}};
        TempDir dir;
        writeSchool(dir.path(), school);
        writeSolucWithTextNumbers(dir.path(), c.soluc);

        if (c.messageParts.empty()) {
            auto doc = runStep(dir.path());
            pugi::xml_node teacher = doc->child("SALIDAS").child("listasal");
            EXPECT_EQ(slotValues(teacher.child("listasal")), "ok|||||");
            EXPECT_FALSE(teacher.child("listasal").next_sibling("listasal"));
            continue;
        }
        auto open = [&](TableId id) { return catalogue::openTable(dir.path(), id); };
        dbf::Table proft = open(TableId::PROFT), soluc = open(TableId::SOLUC),
                   asigt = open(TableId::ASIGT), asignomt = open(TableId::ASIGNOMT),
                   grupost = open(TableId::GRUPOST), asignomt2 = open(TableId::ASIGNOMT2),
                   diashorast = open(TableId::DIASHORAST), aulat = open(TableId::AULAT);
        pugi::xml_document doc;
        pugi::xml_node salidas = doc.append_child("SALIDAS");
        try {
            importer::ImportarHorarios(
                salidas, importer::TimetableTables{proft, soluc, asigt, asignomt, grupost,
                                                   asignomt2, diashorast, aulat});
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            for (const auto& part : c.messageParts) {
                EXPECT_THAT(e.what(), HasSubstr(part));
            }
        }
        EXPECT_FALSE(salidas.first_child()) << "nothing is written before the failure";
    }
}

} // namespace
} // namespace tdb::test
