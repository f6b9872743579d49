// demo-timetabler DATA_DIR: a small, deterministic stand-in for the timetabling program. It reads
// the tables an export wrote and writes the solution table SOLUC.DBF the way the timetabler
// would: every lesson of ASIGT placed HORAS times in the day/period grid, a few duties per
// teacher beside them, no group, teacher or room twice in one slot; what finds no free slot is
// written unplaced (DIA 0). Its code columns are as wide as the short codes the export hands out
// (ten characters), so every code comes back whole.
#include "formats/table_catalogue.h"
#include "services/error.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace tdb;
using catalogue::TableId;

constexpr std::size_t kCodeWidth = 10;
// Non-teaching duties placed per teacher besides the lessons.
constexpr int kDutiesPerTeacher = 2;

// One record of SOLUC to place: a lesson of ASIGT or a teacher's duty.
struct Lesson {
    std::string subject, group, shift, level, course, groupLetter, task;
    int hours = 1;
    std::size_t teacher = 0;
};

struct Slot {
    int day = 0;
    int period = 0;
    bool operator<(const Slot& o) const {
        return std::pair(day, period) < std::pair(o.day, o.period);
    }
};

int wholeNumber(const std::string& text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The short codes of a table, in table order.
std::vector<std::string> codesOf(dbf::Table table) {
    std::vector<std::string> codes;
    for (table.first(); !table.eof(); table.next()) {
        std::string code = table.text("ABREV");
        if (!code.empty()) {
            codes.push_back(std::move(code));
        }
    }
    table.close();
    return codes;
}

// The school week of the grid: days 1 to 5 (every day when the grid has none of them).
std::vector<Slot> schoolWeek(dbf::Table grid) {
    std::set<Slot> all, weekdays;
    for (grid.first(); !grid.eof(); grid.next()) {
        Slot slot{wholeNumber(grid.text("DIA")), wholeNumber(grid.text("HORA"))};
        if (slot.day <= 0 || slot.period <= 0) {
            continue;
        }
        all.insert(slot);
        if (slot.day <= 5) {
            weekdays.insert(slot);
        }
    }
    grid.close();
    const auto& chosen = weekdays.empty() ? all : weekdays;
    return {chosen.begin(), chosen.end()};
}

std::vector<Lesson> lessonsOf(dbf::Table asigt) {
    std::vector<Lesson> lessons;
    for (asigt.first(); !asigt.eof(); asigt.next()) {
        Lesson l;
        l.subject = asigt.text("CASIG");
        l.group = asigt.text("CGRUP");
        l.shift = asigt.text("TURNO");
        l.level = asigt.text("NIVEL");
        l.course = asigt.text("CURSO");
        l.groupLetter = asigt.text("GRUPO");
        l.task = asigt.text("CTAREA");
        l.hours = static_cast<int>(std::max<std::int64_t>(1, asigt.integer("HORAS")));
        lessons.push_back(std::move(l));
    }
    asigt.close();
    return lessons;
}

// The duties a teacher can be given: tasks of ASIGNOMT2 that belong to no course and count
// (ALECTIVA set), with the code of the task in ASIGNOMT. The import finds their subject key
// through ASIGNOMT2 alone, as they have no group.
std::vector<Lesson> dutiesOf(dbf::Table offerings, dbf::Table subjects) {
    std::map<std::string, std::string> taskCodeByLongCode;
    for (subjects.first(); !subjects.eof(); subjects.next()) {
        taskCodeByLongCode.try_emplace(subjects.text("CODLARGO"), subjects.text("COD"));
    }
    subjects.close();
    std::vector<Lesson> duties;
    for (offerings.first(); !offerings.eof(); offerings.next()) {
        if (!offerings.text("CLAVECURSO").empty() || offerings.text("ALECTIVA").empty()) {
            continue;
        }
        Lesson duty;
        duty.subject = offerings.text("COD");
        auto task = taskCodeByLongCode.find(offerings.text("CODLARGO"));
        duty.task = task == taskCodeByLongCode.end() ? std::string() : task->second;
        duties.push_back(std::move(duty));
    }
    offerings.close();
    return duties;
}

// Who is busy in which slot.
class Occupancy {
public:
    bool busy(const std::string& who, std::size_t slot) const {
        return taken_.count({who, slot}) != 0;
    }
    void take(const std::string& who, std::size_t slot) { taken_.insert({who, slot}); }

private:
    std::set<std::pair<std::string, std::size_t>> taken_;
};

int run(const std::filesystem::path& dataDir) {
    auto lessons = lessonsOf(catalogue::openTable(dataDir, TableId::ASIGT));
    const auto duties = dutiesOf(catalogue::openTable(dataDir, TableId::ASIGNOMT2),
                                 catalogue::openTable(dataDir, TableId::ASIGNOMT));
    const auto slots = schoolWeek(catalogue::openTable(dataDir, TableId::DIASHORAST));
    const auto teachers = codesOf(catalogue::openTable(dataDir, TableId::PROFT));
    const auto rooms = codesOf(catalogue::openTable(dataDir, TableId::AULAT));
    if (teachers.empty()) {
        throw Error("La tabla PROFT de " + dataDir.string() + " no tiene profesores");
    }

    // Each lesson goes to the teacher with the fewest hours so far; then each teacher gets a
    // few duties.
    std::vector<int> load(teachers.size(), 0);
    for (Lesson& lesson : lessons) {
        lesson.teacher =
            static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        load[lesson.teacher] += lesson.hours;
    }
    for (std::size_t t = 0; t < teachers.size() && !duties.empty(); ++t) {
        for (int d = 0; d < kDutiesPerTeacher; ++d) {
            Lesson duty =
                duties[(t * kDutiesPerTeacher + static_cast<std::size_t>(d)) % duties.size()];
            duty.teacher = t;
            lessons.push_back(std::move(duty));
        }
    }

    const std::vector<dbf::ColumnSpec> columns = {
        {"ASIG", dbf::ColumnKind::Text, kCodeWidth},
        {"PROF", dbf::ColumnKind::Text, kCodeWidth},
        {"CODGRUPO", dbf::ColumnKind::Text, kCodeWidth},
        {"TURNO", dbf::ColumnKind::Text, 1},
        {"NIVEL", dbf::ColumnKind::Text, 5},
        {"CURSO", dbf::ColumnKind::Text, 3},
        {"GRUPO", dbf::ColumnKind::Text, 1},
        {"AULA", dbf::ColumnKind::Text, kCodeWidth},
        {"TAREA", dbf::ColumnKind::Text, kCodeWidth},
        {"DIA", dbf::ColumnKind::Float, 0},
        {"HORA", dbf::ColumnKind::Float, 0},
        {"SESIONES", dbf::ColumnKind::Float, 0},
    };
    dbf::deleteTable(dataDir, "SOLUC");
    auto soluc = dbf::Table::create(dataDir, "SOLUC", columns);

    Occupancy groups, people, places;
    std::size_t placed = 0, unplaced = 0;
    for (std::size_t i = 0; i < lessons.size(); ++i) {
        const Lesson& lesson = lessons[i];
        const std::string& teacher = teachers[lesson.teacher];
        for (int session = 0; session < lesson.hours; ++session) {
            // Sessions of one lesson start on different days where the grid allows.
            const std::size_t start =
                slots.empty() ? 0 : (i * 3 + static_cast<std::size_t>(session) * 7) % slots.size();
            std::optional<std::size_t> found;
            for (std::size_t k = 0; k < slots.size() && !found; ++k) {
                const std::size_t s = (start + k) % slots.size();
                if ((lesson.group.empty() || !groups.busy(lesson.group, s)) &&
                    !people.busy(teacher, s)) {
                    found = s;
                }
            }
            std::string room;
            if (found) {
                if (!lesson.group.empty()) {
                    groups.take(lesson.group, *found);
                }
                people.take(teacher, *found);
                for (std::size_t r = 0; r < rooms.size() && room.empty(); ++r) {
                    if (!places.busy(rooms[r], *found)) {
                        room = rooms[r];
                        places.take(room, *found);
                    }
                }
            }
            soluc.append();
            soluc.setText("ASIG", lesson.subject);
            soluc.setText("PROF", teacher);
            soluc.setText("CODGRUPO", lesson.group);
            soluc.setText("TURNO", lesson.shift);
            soluc.setText("NIVEL", lesson.level);
            soluc.setText("CURSO", lesson.course);
            soluc.setText("GRUPO", lesson.groupLetter);
            soluc.setText("AULA", room);
            soluc.setText("TAREA", lesson.task);
            soluc.setFloat("DIA", found ? slots[*found].day : 0);
            soluc.setFloat("HORA", found ? slots[*found].period : 0);
            soluc.setFloat("SESIONES", 1);
            soluc.post();
            ++(found ? placed : unplaced);
        }
    }
    soluc.close();
    std::cout << "SOLUC.DBF: " << placed << " sesiones colocadas, " << unplaced << " sin colocar ("
              << lessons.size() << " clases y tareas, " << teachers.size() << " profesores, "
              << slots.size() << " tramos)\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::cerr << "Uso: demo-timetabler CARPETA_DE_DATOS\n"
                     "Escribe SOLUC.DBF en la carpeta a partir de las tablas exportadas.\n";
        return 64;
    }
    try {
        return run(argv[1]);
    } catch (const std::exception& e) {
        std::cerr << "demo-timetabler: " << e.what() << "\n";
        return 2;
    }
}
