// SOLUC as other dBASE writers leave it: written here with python3-dbf, an independent library,
// instead of the engine.
#include "import/import_run.h"

#include "import/import_support.h"
#include "services/xml_document.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tdb::test {
namespace {

using catalogue::TableId;

struct Variant {
    const char* what;
    const char* fileName; // without extension; python3-dbf adds ".dbf"
    const char* fieldSpec;
    // Python tuples in the order of fieldSpec.
    std::vector<std::string> records;
    std::vector<int> deleted;
    // X_EMPLEADO of the teacher the records belong to, and the values of its slots.
    const char* owner;
    std::vector<std::string> slots;
};

void writeSolucWithPython(const std::filesystem::path& folder, const Variant& v) {
    std::string script = "import dbf, sys\n"
                         "t = dbf.Table(sys.argv[1], '" +
                         std::string(v.fieldSpec) +
                         "', dbf_type='db3', codepage='cp1252')\n"
                         "t.open(dbf.READ_WRITE)\n";
    for (const auto& record : v.records) {
        script += "t.append(" + record + ")\n";
    }
    for (int index : v.deleted) {
        script += "dbf.delete(t[" + std::to_string(index) + "])\n";
    }
    script += "t.close()\n";
    writeFile(folder / "make_soluc.py", script);
    auto run = runProcess({systemPython(), (folder / "make_soluc.py").string(),
                           (folder / "VTEMP" / v.fileName).string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::filesystem::remove(folder / "make_soluc.py");
}

TEST(SolucVariants, OnlyTheNamesOfTheColumnsReadMatter) {
    const Variant variants[] = {
        {"lower-case file, 10-wide codes, DIA and HORA with two decimals, a deleted record",
         "soluc",
         "ASIG C(10); PROF C(10); CODGRUPO C(10); TURNO C(1); NIVEL C(5); CURSO C(3); "
         "GRUPO C(1); AULA C(10); TAREA C(10); DIA N(5,2); HORA N(5,2); SESIONES N(5,2)",
         {"('MATEMATIC1', 'LONGTEACH1', 'GRUPOLARGO', '', '', '', '', 'AULALARGA1', "
          "'TAREALARG1', 3, 2, 1)",
          "('MATEMATIC1', 'LONGTEACH1', 'GRUPOLARGO', '', '', '', '', 'AULALARGA1', "
          "'TAREALARG1', 1, 1, 1)",
          "('MATEMATIC1', 'LONGTEACH1', 'GRUPOLARGO', '', '', '', '', '', '', 0, 2, 1)",
          "('MATEMATIC1', 'LONGTEACH1', 'GRUPOLARGO', '', '', '', '', '', '', 1, 2, 1)"},
         {1},
         "E1",
         {"T-156|3|P32|R-LARGA|K-MATE|U-LARGO", "||P12||K-MATE|U-LARGO"}},
        {"other column order, extra columns, 4-wide codes, whole-number columns",
         "SOLUC",
         "HORA N(2,0); EXTRA C(8); DIA N(1,0); TAREA C(4); AULA C(4); CODGRUPO C(4); "
         "PROF C(4); ASIG C(4)",
         {"(2, 'x', 3, 'TARE', 'AULA', 'GRUP', 'LONG', 'MATE')"},
         {},
         "E2",
         {"T-4|3|P32|R-CORTA|K-CORTA|U-CORTO"}},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.what);
        TempDir dir;
        std::filesystem::create_directories(dir / "VTEMP");
        School school;
        school[TableId::PROFT] = {
            {{"ABREV", "LONGTEACH1"}, {"X_EMPLEADO", "E1"}},
            {{"ABREV", "LONG"}, {"X_EMPLEADO", "E2"}},
        };
        school[TableId::ASIGT] = {
            {{"CASIG", "MATEMATIC1"}, {"CGRUP", "GRUPOLARGO"}, {"CLAVE", "K-MATE"}},
            {{"CASIG", "MATE"}, {"CGRUP", "GRUP"}, {"CLAVE", "K-CORTA"}},
        };
        school[TableId::GRUPOST] = {
            {{"ABREV", "GRUPOLARGO"}, {"CLAVE", "U-LARGO"}},
            {{"ABREV", "GRUP"}, {"CLAVE", "U-CORTO"}},
        };
        school[TableId::ASIGNOMT] = {
            {{"COD", "TAREALARG1"}, {"CODTAREA", "T-156"}},
            {{"COD", "TARE"}, {"CODTAREA", "T-4"}},
        };
        school[TableId::AULAT] = {
            {{"ABREV", "AULALARGA1"}, {"DEPCENTRO", "R-LARGA"}},
            {{"ABREV", "AULA"}, {"DEPCENTRO", "R-CORTA"}},
        };
        school[TableId::DIASHORAST] = {
            {{"DIHO", "32"}, {"DIA", "3"}, {"CODDIHO", "P32"}},
            {{"DIHO", "12"}, {"CODDIHO", "P12"}},
        };
        writeSchool(dir / "VTEMP", school);
        std::filesystem::remove(dir / "VTEMP" / "SOLUC.DBF");
        writeSolucWithPython(dir.path(), v);
        writeFile(dir / "datos.xml", exchangeDocument());

        Session session;
        session.dataDir = dir / "VTEMP";
        FakeFrontEnd frontEnd({(dir / "datos.xml").string()});
        importer::BImportarClick(session, frontEnd);

        auto doc = xml::Document::load(dir / "ResultadoDorimodatos.xml");
        std::vector<std::string> slots;
        for (pugi::xml_node teacher : doc.root().child("SALIDAS").children("listasal")) {
            for (pugi::xml_node slot : teacher.children("listasal")) {
                slots.push_back(std::string(teacher.child("salida").text().get()) + " " +
                                slotValues(slot));
            }
        }
        std::vector<std::string> expected;
        for (const auto& slot : v.slots) {
            expected.push_back(std::string(v.owner) + " " + slot);
        }
        EXPECT_EQ(slots, expected);
    }
}

} // namespace
} // namespace tdb::test
