#include "generator_tables.h"

#include "formats/table_catalogue.h"
#include "generator.h"

#include <string>
#include <vector>

namespace tdb::bench {
namespace {

using catalogue::TableId;

// Four-character codes: a letter and three base-36 digits (46,656 per letter) for teachers,
// rooms, groups and tasks; four base-36 digits for subjects, which number courses x 30.
std::string base36(std::size_t n, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = kDigits[n % 36];
        n /= 36;
    }
    return out;
}
std::string code(char letter, std::size_t n) {
    return letter + base36(n, 3);
}
std::string subjectCode(std::size_t n) {
    return base36(n, 4);
}

// The subject a solution record names only through ASIGNOMT2 (no ASIGT record has it).
constexpr const char* kGuardCode = "GUAR";

} // namespace

TimetableSize timetableAtScale(int scale) {
    const SchoolSize school = schoolAtScale(scale);
    const std::size_t k = static_cast<std::size_t>(scale < 1 ? 1 : scale);
    const std::size_t groups = school.courses * school.groupsPerCourse;
    return TimetableSize{school.teachers,
                         school.rooms,
                         school.courses,
                         groups,
                         school.courses * school.subjectsPerCourse,
                         school.tasks,
                         groups * school.subjectsPerCourse,
                         school.periods,
                         5000 * k};
}

void writeTimetableTables(const std::filesystem::path& folder, int scale) {
    const TimetableSize n = timetableAtScale(scale);
    const std::size_t subjectsPerCourse = n.subjects / n.courses;
    const std::size_t groupsPerCourse = n.groups / n.courses;

    {
        auto t = catalogue::createTable(folder, TableId::PROFT);
        for (std::size_t p = 0; p < n.teachers; ++p) {
            t.append();
            t.setText("ABREV", code('P', p));
            t.setText("NOMBRE", "Profesor " + std::to_string(p));
            t.setText("X_EMPLEADO", std::to_string(100000 + p));
            t.setText("F_TOMAPOS", "2019-09-01");
            t.post();
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::AULAT);
        for (std::size_t r = 0; r < n.rooms; ++r) {
            t.append();
            t.setText("ABREV", code('A', r));
            t.setText("NOMBRE", "Aula " + std::to_string(r));
            t.setText("DEPCENTRO", "R" + std::to_string(r));
            t.post();
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::CURSOST);
        for (std::size_t c = 0; c < n.courses; ++c) {
            t.append();
            t.setText("NIVEL", "ESO");
            t.setText("CURSO", std::to_string(c % 4 + 1));
            t.setText("CLAVE", "C" + std::to_string(c));
            t.setText("DESCRICUR", "Curso " + std::to_string(c));
            t.post();
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::GRUPOST);
        for (std::size_t g = 0; g < n.groups; ++g) {
            const std::size_t c = g / groupsPerCourse;
            t.append();
            t.setText("ABREV", code('G', g));
            t.setText("NIVEL", "ESO");
            t.setText("CURSO", std::to_string(c % 4 + 1));
            t.setText("GRUPO", std::string(1, static_cast<char>('A' + g % groupsPerCourse)));
            t.setText("CLAVE", "U" + std::to_string(g));
            t.setText("CLAVECURSO", "C" + std::to_string(c));
            t.post();
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::ASIGNOMT);
        for (std::size_t s = 0; s < n.subjects; ++s) {
            t.append();
            t.setText("COD", subjectCode(s));
            t.setText("CODLARGO", subjectCode(s));
            t.setText("NOMBRE", "Materia " + std::to_string(s));
            t.setLogical("ESTAREA", false);
            t.post();
        }
        for (std::size_t k = 0; k < n.tasks; ++k) {
            t.append();
            t.setText("COD", code('T', k));
            t.setText("CODLARGO", "TAREA" + std::to_string(k));
            t.setText("NOMBRE", "Tarea " + std::to_string(k));
            t.setText("CODTAREA", std::to_string(100 + k));
            t.setLogical("ESTAREA", true);
            t.post();
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::ASIGNOMT2);
        for (std::size_t s = 0; s < n.subjects; ++s) {
            t.append();
            t.setText("COD", subjectCode(s));
            t.setText("CODLARGO", subjectCode(s));
            t.setText("MATERIA", "M" + std::to_string(s));
            t.setText("CLAVECURSO", "C" + std::to_string(s / subjectsPerCourse));
            t.post();
        }
        for (std::size_t c = 0; c < n.courses; ++c) {
            t.append();
            t.setText("COD", kGuardCode);
            t.setText("CODLARGO", "GUARDIA");
            t.setText("MATERIA", "G" + std::to_string(c));
            t.setText("CLAVECURSO", "C" + std::to_string(c));
            t.setText("ALECTIVA", "S");
            t.post();
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::ASIGT);
        for (std::size_t g = 0; g < n.groups; ++g) {
            const std::size_t c = g / groupsPerCourse;
            for (std::size_t s = 0; s < subjectsPerCourse; ++s) {
                const std::size_t subject = c * subjectsPerCourse + s;
                t.append();
                t.setText("CASIG", subjectCode(subject));
                t.setText("CGRUP", code('G', g));
                t.setText("NIVEL", "ESO");
                t.setFloat("HORAS", 3);
                t.setText("SESIONES", "111");
                t.setText("CLAVE", "M" + std::to_string(subject));
                t.setText("CLAVECURSO", "C" + std::to_string(c));
                t.post();
            }
        }
        t.close();
    }
    {
        auto t = catalogue::createTable(folder, TableId::DIASHORAST);
        for (std::size_t p = 1; p <= n.periods; ++p) {
            for (std::size_t d = 1; d <= 7; ++d) {
                t.append();
                t.setText("DIHO", std::to_string(d) + std::to_string(p));
                t.setText("CODDIHO", "T" + std::to_string(p));
                t.setText("DIA", std::to_string(d));
                t.setText("HORA", std::to_string(p));
                t.setText("TEXTOHOR", "H" + std::to_string(p));
                t.post();
            }
        }
        t.close();
    }
    {
        const std::vector<dbf::ColumnSpec> columns = {
            {"ASIG", dbf::ColumnKind::Text, 4},     {"PROF", dbf::ColumnKind::Text, 4},
            {"CODGRUPO", dbf::ColumnKind::Text, 4}, {"TURNO", dbf::ColumnKind::Text, 1},
            {"NIVEL", dbf::ColumnKind::Text, 5},    {"CURSO", dbf::ColumnKind::Text, 3},
            {"GRUPO", dbf::ColumnKind::Text, 1},    {"AULA", dbf::ColumnKind::Text, 4},
            {"TAREA", dbf::ColumnKind::Text, 4},    {"DIA", dbf::ColumnKind::Float, 0},
            {"HORA", dbf::ColumnKind::Float, 0},    {"SESIONES", dbf::ColumnKind::Float, 0},
        };
        dbf::deleteTable(folder, "SOLUC");
        auto t = dbf::Table::create(folder, "SOLUC", columns);
        for (std::size_t r = 0; r < n.solution; ++r) {
            // Records go round the teachers, so each teacher's lie spread over the file.
            const std::size_t teacher = r % n.teachers;
            const std::size_t round = r / n.teachers;
            const std::size_t group = (teacher * 13 + round * 7) % n.groups;
            const std::size_t course = group / groupsPerCourse;
            const std::size_t subject = course * subjectsPerCourse + round % subjectsPerCourse;
            t.append();
            t.setText("ASIG", r % 20 == 19 ? std::string(kGuardCode) : subjectCode(subject));
            t.setText("PROF", code('P', teacher));
            t.setText("CODGRUPO", code('G', group));
            t.setText("NIVEL", "ESO");
            t.setText("AULA", code('A', (teacher + round) % n.rooms));
            t.setText("TAREA", code('T', r % n.tasks));
            t.setFloat("DIA", r % 50 == 49 ? 0.0 : static_cast<double>(1 + round % 5));
            t.setFloat("HORA", static_cast<double>(1 + (round / 5) % n.periods));
            t.setFloat("SESIONES", 1);
            t.post();
        }
        t.close();
    }
}

} // namespace tdb::bench
