#include "generator.h"

#include <array>
#include <string_view>

namespace tdb::bench {
namespace {

constexpr std::array<std::string_view, 12> kSubjects = {"Lengua Castellana y Literatura",
                                                        "Matemáticas",
                                                        "Inglés",
                                                        "Geografía e Historia",
                                                        "Biología y Geología",
                                                        "Física y Química",
                                                        "Educación Física",
                                                        "Música",
                                                        "Tecnología",
                                                        "Guardia de recreo",
                                                        "Biblioteca",
                                                        "Tutoría"};
constexpr std::array<std::string_view, 8> kNames = {"María", "José",   "Íñigo", "Lucía",
                                                    "Ángel", "Begoña", "Óscar", "Nuria"};
constexpr std::array<std::string_view, 8> kSurnames = {"García",  "Núñez",  "Peña",   "Muñoz",
                                                       "Álvarez", "Ibáñez", "Martín", "Gómez"};

void field(std::string& out, std::string_view dato, std::string_view value) {
    out += "        <salida dato=\"";
    out += dato;
    out += "\">";
    out += value;
    out += "</salida>\n";
}

void openList(std::string& out, std::string_view name) {
    out += "    <listasal seq=\"";
    out += name;
    out += "\">\n";
}

} // namespace

SchoolSize schoolAtScale(int scale) {
    const auto k = static_cast<std::size_t>(scale < 1 ? 1 : scale);
    return SchoolSize{150 * k, 80 * k, 40 * k, 3, 30, 40 * k, 10};
}

std::string exchangeDocument(int scale) {
    const SchoolSize size = schoolAtScale(scale);
    std::string out;
    out.reserve(size.courses * size.subjectsPerCourse * 330 + size.teachers * 300 + 4096);
    out += "<SERVICIO>\n  <SALIDAS>\n";

    openList(out, "CURSOS");
    for (std::size_t c = 0; c < size.courses; ++c) {
        const std::string key = "C" + std::to_string(c);
        out += "      <listasal>\n";
        field(out, "X_OFERTAMATRIG", key);
        field(out, "D_OFERTAMATRIG",
              "Curso " + std::to_string(c % 4 + 1) + "º grupo de oferta " + key);
        field(out, "C_TURNO", "");
        field(out, "NIVEL", c % 5 == 0 ? "" : "ESO");
        field(out, "CURSO", std::to_string(c % 4 + 1));
        out += "      </listasal>\n";
    }
    out += "    </listasal>\n";

    openList(out, "GRUPOS");
    for (std::size_t c = 0; c < size.courses; ++c) {
        for (std::size_t g = 0; g < size.groupsPerCourse; ++g) {
            const std::string code =
                std::to_string(c % 4 + 1) + "ESO" + char('A' + g) + std::to_string(c / 4);
            out += "      <listasal>\n";
            field(out, "X_UNIDAD", "U" + std::to_string(c * size.groupsPerCourse + g));
            field(out, "T_NOMBRE", code);
            field(out, "X_OFERTAMATRIG", "C" + std::to_string(c));
            out += "      </listasal>\n";
        }
    }
    out += "    </listasal>\n";

    openList(out, "MATERIAS");
    std::size_t item = 0;
    for (std::size_t c = 0; c < size.courses; ++c) {
        for (std::size_t s = 0; s < size.subjectsPerCourse; ++s, ++item) {
            const auto& name = kSubjects[s % kSubjects.size()];
            out += "      <listasal>\n";
            field(out, "X_MATERIAOMC", "M" + std::to_string(item));
            field(out, "D_MATERIAC", name);
            // Subjects repeat over the courses; long codes share their first ten characters.
            field(out, "C_MATERIA",
                  "ASIGNATURA" + std::to_string(s + (c % 7) * size.subjectsPerCourse));
            field(out, "X_OFERTAMATRIG", "C" + std::to_string(c));
            field(out, "N_MINUTOS", std::to_string(60 + 30 * (item % 9)));
            out += "      </listasal>\n";
        }
    }
    out += "    </listasal>\n";

    openList(out, "TAREAS");
    for (std::size_t t = 0; t < size.tasks; ++t) {
        const std::array<std::string_view, 3> fixed = {"156", "281", "286"};
        out += "      <listasal>\n";
        field(out, "X_ACTIVIDAD",
              t < fixed.size() ? std::string(fixed[t]) : std::to_string(300 + t));
        field(out, "D_ACTIVIDAD", "Actividad no lectiva " + std::to_string(t));
        field(out, "C_ACTIVIDAD", "TAREA" + std::to_string(t));
        field(out, "L_LECTIVA", t % 2 == 0 ? "S" : "");
        out += "      </listasal>\n";
    }
    out += "    </listasal>\n";

    openList(out, "PROFESORES");
    for (std::size_t p = 0; p < size.teachers; ++p) {
        const auto& name = kNames[p % kNames.size()];
        const auto& surname = kSurnames[(p / kNames.size()) % kSurnames.size()];
        out += "      <listasal>\n";
        field(out, "X_EMPLEADO", std::to_string(100000 + p));
        field(out, "F_TOMAPOS", "2019-09-01");
        field(out, "NOMBRE",
              std::string(name) + " " + std::string(surname) + " " + std::to_string(p));
        // Abbreviations clash in threes, as initials do.
        field(out, "ABREVIATURA", "P" + std::to_string(p / 3));
        out += "      </listasal>\n";
    }
    out += "    </listasal>\n";

    openList(out, "AULAS");
    for (std::size_t r = 0; r < size.rooms; ++r) {
        out += "      <listasal>\n";
        field(out, "X_DEPENDENCIA", "R" + std::to_string(r));
        field(out, "D_DEPENDENCIA", "Aula " + std::to_string(r));
        field(out, "ABREVIATURA", "AULA " + std::to_string(r % 500));
        out += "      </listasal>\n";
    }
    out += "    </listasal>\n";

    openList(out, "INTERVALOS");
    for (std::size_t i = 0; i < size.periods; ++i) {
        const std::size_t start = 8 * 60 + 30 + i * 55;
        auto hhmm = [](std::size_t minutes) {
            std::string h = std::to_string(minutes / 60);
            std::string m = std::to_string(minutes % 60);
            return h + ":" + (m.size() < 2 ? "0" + m : m);
        };
        out += "      <listasal>\n";
        field(out, "CODIGO_BRELO", "T" + std::to_string(i + 1));
        field(out, "NOMBRE", std::to_string(i + 1) + "ª hora");
        field(out, "INICIO", hhmm(start));
        field(out, "FIN", hhmm(start + 55));
        field(out, "ORDEN", std::to_string(size.periods - i));
        out += "      </listasal>\n";
    }
    out += "    </listasal>\n";
    out += "  </SALIDAS>\n</SERVICIO>\n";
    return out;
}

} // namespace tdb::bench
