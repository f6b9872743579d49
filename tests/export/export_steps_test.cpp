#include "export/export_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tdb::test {
namespace {

class ExportSteps : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path data = dir / "VTEMP";
    void SetUp() override { std::filesystem::create_directory(data); }
    void run(std::initializer_list<std::string> lists) {
        exportDocument(dir / "doc.xml", exchangeDocument(lists), data);
    }
    Rows rows(const std::string& table, std::initializer_list<std::string> columns) {
        return readRows(data, table, columns);
    }
};

TEST_F(ExportSteps, SubjectsAndTasksShareOneCodePool) {
    run({list("MATERIAS",
              {item({"M1", "Matemáticas", "MATEMATICAS", "1ESO", "240"}),
               item({"M2", "Matemáticas 2º", "matematicas", "2ESO", "240"}), // repeat, other case
               item({"M3", "Mat. Aplicadas", "MATEMATICAS APLICADAS", "1BCH", "180"}),
               item({"solo un campo"}), item({"M4", "Sin código", "", "1ESO"}),
               item({"M5", "Sin código tampoco", "", "2ESO"}),
               item({"M6", "Lengua", "LENGUA", "1ESO", "60"})}),
         list("TAREAS", {item({"281", "Guardia", "GUARDIA", "S"}),
                         item({"900", "Lengua repetida", "Lengua", "S"}), // a subject's code
                         item({"286", "Matemáticas bis", "MATEMATICAS1", ""})})}); // clashes by cut

    EXPECT_EQ(rows("ASIGNOMT", {"COD", "CODLARGO", "NOMBRE", "MATERIA", "CODTAREA", "ESTAREA"}),
              (Rows{{"MATEMATICA", "MATEMATICA", "Matemáticas", "", "", "F"},
                    {"MATEMATIC1", "MATEMATICA", "Mat. Aplicadas", "", "", "F"},
                    {"", "", "Sin código", "", "", "F"},
                    {"LENGUA", "LENGUA", "Lengua", "", "", "F"},
                    {"GUARDIA", "GUARDIA", "Guardia", "", "281", "T"},
                    {"MATEMATIC2", "MATEMATICA", "Matemáticas bis", "", "286", "T"}}));
}

TEST_F(ExportSteps, SubjectOfferingsKeepEveryItem) {
    run({list("MATERIAS", {item({"M1", std::string(50, 'N'), "MAT", "CURSO-DE-13CH", "240"}),
                           item({"M1", std::string(50, 'N'), "MAT", "CURSO-DE-13CH", "240"}),
                           item({"M2", "Física", "FISICAYQUIMICA", "2ESO"})}),
         list("TAREAS", {item({"281", "Guardia", "GUARDIA", "Sí"}), item({"x"})})});
    EXPECT_EQ(rows("ASIGNOMT2", {"COD", "CODLARGO", "NOMBRE", "MATERIA", "CLAVECURSO", "ALECTIVA"}),
              (Rows{{"MAT", "MAT", std::string(40, 'N'), "M1", "CURSO-DE-13C", ""},
                    {"MAT", "MAT", std::string(40, 'N'), "M1", "CURSO-DE-13C", ""},
                    {"FISI", "FISICAYQUI", "Física", "M2", "2ESO", ""},
                    {"GUAR", "GUARDIA", "Guardia", "281", "", "S"}}));
}

TEST_F(ExportSteps, TeachersGetCodesUniqueWithinTheTable) {
    run({list("PROFESORES",
              {item({"E1", "2019-09-01", "Juan García Pérez", "JGP"}),
               item({"E2", "2020-09-01", "Julia Gil Peña", "jgp"}),
               item({"E3", "2021-09-01", "Sin abreviatura"}),
               item({"E4", "2021-09-01", "Tampoco", ""}),
               item({"E5-MUY-LARGO-DE-CLAVE", "2021-09-01-X", "Largo", "ABREVIATURA LARGA"})})});
    EXPECT_EQ(rows("PROFT", {"ABREV", "NOMBRE", "DEPART", "DNI", "X_EMPLEADO", "F_TOMAPOS"}),
              (Rows{{"JGP", "Juan García Pérez", "", "", "E1", "2019-09-01"},
                    {"jgp1", "Julia Gil Peña", "", "", "E2", "2020-09-01"},
                    {"", "Sin abreviatura", "", "", "E3", "2021-09-01"},
                    {"1", "Tampoco", "", "", "E4", "2021-09-01"},
                    {"ABREVIATUR", "Largo", "", "", "E5-MUY-LAR", "2021-09-01"}}));
}

TEST_F(ExportSteps, RoomsTrimTheCutAndFallBackToTheirKey) {
    run({list("AULAS", {item({"R1", "Aula 1 B", "AULA DE 1 B"}),
                        item({"R2", "Aula 1 C", "aula de 1 c"}), item({"GIM", "Gimnasio", ""}),
                        item({"R3", "Sin abreviatura"}), item({"R4", "Otra", "GIM"})})});
    EXPECT_EQ(rows("AULAT", {"ABREV", "NOMBRE", "EDIFICIO", "MAXALUM", "DEPCENTRO"}),
              (Rows{{"AULA DE 1", "Aula 1 B", "", "", "R1"},
                    {"aula de 11", "Aula 1 C", "", "", "R2"},
                    {"GIM", "Gimnasio", "", "", "GIM"},
                    {"R3", "Sin abreviatura", "", "", "R3"},
                    {"GIM1", "Otra", "", "", "R4"}}));
}

TEST_F(ExportSteps, GroupsAreCompletedFromTheirCourse) {
    run({list("CURSOS", {item({"1ESO", "Primero de ESO", "x", "", "1"}),
                         item({"1ESO", "Duplicado", "x", "OTRO", "9"}),
                         item({"CURSO-DE-13CH", "Largo", "x", "BACH", "2"}), item({"solo"})}),
         list("GRUPOS",
              {item({"G1", "1A", "1ESO"}), item({"G2", "1a", "1ESO"}),
               item({"G3", "GRUPO-LARGOB", "CURSO-DE-13CH"}), item({"G4", "", "NINGUNO"})})});
    EXPECT_EQ(rows("CURSOST", {"ABREV", "TURNO", "NIVEL", "CURSO", "CLAVE", "DESCRICUR"}),
              (Rows{{"", "", "NIV", "1", "1ESO", "Primero de ESO"},
                    {"", "", "OTRO", "9", "1ESO", "Duplicado"},
                    {"", "", "BACH", "2", "CURSO-DE-13C", "Largo"}}));
    EXPECT_EQ(rows("GRUPOST",
                   {"ABREV", "TURNO", "NIVEL", "CURSO", "GRUPO", "CLAVE", "CLAVECURSO", "DESCRIP"}),
              (Rows{{"1A", "", "NIV", "1", "A", "G1", "1ESO", "(G1) Primero de ESO"},
                    {"1a1", "", "NIV", "1", "a", "G2", "1ESO", "(G2) Primero de ESO"},
                    {"GRUPO-LARG", "", "", "", "B", "G3", "CURSO-DE-13C", "(G3)"},
                    {"", "", "", "", "", "G4", "NINGUNO", "(G4)"}}));
}

TEST_F(ExportSteps, TwelveGroupsSharingTenCharactersKeepNumbering) {
    std::string groups;
    for (int i = 0; i < 12; ++i) {
        groups += item({"G" + std::to_string(i), "GRUPOSLARGO" + std::to_string(i), "C"});
    }
    run({"<listasal seq=\"GRUPOS\">" + groups + "</listasal>"});
    auto abrev = rows("GRUPOST", {"ABREV"});
    ASSERT_EQ(abrev.size(), 12u);
    EXPECT_EQ(abrev[0][0], "GRUPOSLARG");
    EXPECT_EQ(abrev[1][0], "GRUPOSLAR1");
    EXPECT_EQ(abrev[10][0], "GRUPOSLA10");
    EXPECT_EQ(abrev[11][0], "GRUPOSLA11");
}

TEST_F(ExportSteps, AssignmentsPairSubjectsWithTheGroupsOfTheirCourse) {
    run({list("CURSOS", {item({"1ESO", "Primero", "", "ESO", "1"})}),
         list("GRUPOS",
              {item({"G1", "1A", "1ESO"}), item({"G2", "1B", "1ESO"}), item({"G3", "2A", "2ESO"})}),
         list("MATERIAS",
              {item({"M1", "Matemáticas", "MATEMATICAS", "1ESO", "90"}),
               item({"M2", "Guardia de recreo", "GUARDIAREC", "1ESO", ""}),
               item({"M3", "Biblioteca y guardia", "BIBLIO", "1ESO", "1500"}),
               item({"M4", "Sin grupos", "NADA", "9ESO", "noventa"}), item({"M5", "Dos campos"})}),
         list("TAREAS", {item({"286", "Biblioteca", "BIBLIOTECA-TAREA", ""}),
                         item({"156", "Complementaria", "COMPLEMENTARIA", ""})})});
    EXPECT_EQ(
        rows("ASIGT", {"CASIG", "CPROF", "CGRUP", "CAULA", "TURNO", "NIVEL", "CURSO", "GRUPO",
                       "HORAS", "SESIONES", "CLAVE", "CLAVECURSO", "CTAREA"}),
        (Rows{{"MATEMATICA", "", "1A", "", "", "ESO", "1", "A", "2", "11", "M1", "1ESO", "COMP"},
              {"MATEMATICA", "", "1B", "", "", "ESO", "1", "B", "2", "11", "M1", "1ESO", "COMP"},
              {"GUARDIAREC", "", "1A", "", "", "ESO", "1", "A", "1", "1", "M2", "1ESO", ""},
              {"GUARDIAREC", "", "1B", "", "", "ESO", "1", "B", "1", "1", "M2", "1ESO", ""},
              {"BIBLIO", "", "1A", "", "", "ESO", "1", "A", "25", "121111111111111", "M3", "1ESO",
               "BIBL"},
              {"BIBLIO", "", "1B", "", "", "ESO", "1", "B", "25", "121111111111111", "M3", "1ESO",
               "BIBL"}}));
}

TEST_F(ExportSteps, HoursAndLessonPatterns) {
    const std::vector<std::pair<std::string, std::pair<std::string, std::string>>> cases = {
        {"", {"1", "1"}},
        {"0", {"1", "1"}},
        {"-90", {"1", "1"}},
        {"60", {"1", "1"}},
        {"61", {"2", "11"}},
        {"780", {"13", std::string(13, '1')}},
        {"840", {"14", "1" + std::string(13, '1')}},
        {"900", {"15", "2" + std::string(13, '1')}},
        {"1380", {"23", "10" + std::string(13, '1')}},
        {"+120", {"2", "11"}}};
    std::string subjects;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        subjects +=
            item({"M" + std::to_string(i), "X", "S" + std::to_string(i), "C", cases[i].first});
    }
    run({list("CURSOS", {item({"C", "Curso", "", "N", "1"})}),
         list("GRUPOS", {item({"G", "1A", "C"})}),
         "<listasal seq=\"MATERIAS\">" + subjects + "</listasal>"});
    auto got = rows("ASIGT", {"HORAS", "SESIONES"});
    ASSERT_EQ(got.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(got[i], (std::vector<std::string>{cases[i].second.first, cases[i].second.second}))
            << "minutes \"" << cases[i].first << "\"";
    }
}

TEST_F(ExportSteps, PeriodsFollowTheirOrdenValues) {
    auto interval = [](const char* code, const char* orden, const char* start, const char* end) {
        return namedItem({{"CODIGO_BRELO", code},
                          {"NOMBRE", std::string(code) + " hora larga"},
                          {"INICIO", start},
                          {"FIN", end},
                          {"ORDEN", orden},
                          {"OTRO", "x"}});
    };
    run({list("INTERVALOS",
              {interval("B", "2", "9:25", "10:20"), interval("A", "1", "8:30", "9:25"),
               interval("C", "5", "10:20", "11:15"), interval("A2", "1", "8.15", "08:45"),
               interval("X", "01", "bad", "bad"), interval("Y", "41", "bad", "bad"),
               interval("Z", "uno", "bad", "bad"),
               namedItem({{"CODIGO_BRELO", "SIN"}, {"INICIO", "bad"}, {"FIN", "bad"}}),
               "<listasal><salida>1</salida></listasal>"})});
    auto got = rows("DIASHORAST", {"DIHO", "CODDIHO", "DIA", "TEXTODIA", "HORA", "TEXTOHOR",
                                   "HORADESDE", "HORAHASTA", "MINUTOS"});
    ASSERT_EQ(got.size(), 28u);
    EXPECT_EQ(got[0], (std::vector<std::string>{"11", "A", "1", "", "1", "A hora l", "08:30",
                                                "09:25", "55"}));
    EXPECT_EQ(got[7], (std::vector<std::string>{"12", "A2", "1", "", "2", "A2 hora", "08.15",
                                                "08:45", "30"}));
    EXPECT_EQ(got[14][1], "B");
    EXPECT_EQ(got[14][4], "3");
    EXPECT_EQ(got[27], (std::vector<std::string>{"74", "C", "7", "", "4", "C hora l", "10:20",
                                                 "11:15", "55"}));
    for (int day = 0; day < 7; ++day) {
        EXPECT_EQ(got[static_cast<std::size_t>(day)][2], std::to_string(day + 1));
    }
}

// The padding makes a time text five characters long and then stays as it is on every day.
TEST_F(ExportSteps, TimesArePaddedOnEveryDayAlike) {
    run({list("INTERVALOS",
              {namedItem(
                  {{"CODIGO_BRELO", "T"}, {"INICIO", "8:30"}, {"FIN", "9:05"}, {"ORDEN", "1"}})})});
    auto got = rows("DIASHORAST", {"HORADESDE", "HORAHASTA", "MINUTOS"});
    ASSERT_EQ(got.size(), 7u);
    for (const auto& row : got) {
        EXPECT_EQ(row, (std::vector<std::string>{"08:30", "09:05", "35"}));
    }
}

} // namespace
} // namespace tdb::test
