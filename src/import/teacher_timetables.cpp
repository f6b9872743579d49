#include "import/teacher_timetables.h"

#include "formats/exchange_document.h"
#include "import/lookup_index.h"

#include <string>
#include <string_view>

namespace tdb::importer {
namespace {

using exchange::appendField;
using exchange::appendList;

// Empty once every character of code 32 or less is removed from both ends.
bool blankAfterTrim(std::string_view text) {
    for (unsigned char c : text) {
        if (c > 32) {
            return false;
        }
    }
    return true;
}

struct GroupKeys {
    std::string unit;   // GRUPOST.CLAVE
    std::string course; // GRUPOST.CLAVECURSO
};

struct GridEntry {
    std::string day;    // DIASHORAST.DIA
    std::string period; // DIASHORAST.CODDIHO
};

// Columns of SOLUC read for every placed record, resolved once.
struct SolucColumns {
    int prof, asig, codgrupo, tarea, aula, dia, hora;
    explicit SolucColumns(const dbf::Table& t)
        : prof(t.columnIndex("PROF")), asig(t.columnIndex("ASIG")),
          codgrupo(t.columnIndex("CODGRUPO")), tarea(t.columnIndex("TAREA")),
          aula(t.columnIndex("AULA")), dia(t.columnIndex("DIA")), hora(t.columnIndex("HORA")) {}
};

// Every lookup of a slot, each answered by a map built in one pass over its table. Every
// column is resolved before anything is read, so a table without one of them fails the run
// before any list is written.
class Lookups {
public:
    explicit Lookups(const TimetableTables& t)
        : subjectByAssignment(t.ASIGT.recordCount()), taskByCode(t.ASIGNOMT.recordCount()),
          groupByCode(t.GRUPOST.recordCount()), subjectByOffering(t.ASIGNOMT2.recordCount()),
          gridByKey(t.DIASHORAST.recordCount()), roomByCode(t.AULAT.recordCount()) {
        {
            dbf::Table& a = t.ASIGT;
            const int casig = a.columnIndex("CASIG");
            const int cgrup = a.columnIndex("CGRUP");
            const int clave = a.columnIndex("CLAVE");
            for (a.first(); !a.eof(); a.next()) {
                subjectByAssignment.insert(compositeKey(a.text(casig), a.text(cgrup)),
                                           a.text(clave));
            }
        }
        {
            dbf::Table& a = t.ASIGNOMT;
            const int cod = a.columnIndex("COD");
            const int codtarea = a.columnIndex("CODTAREA");
            for (a.first(); !a.eof(); a.next()) {
                taskByCode.insert(a.text(cod), a.text(codtarea));
            }
        }
        {
            dbf::Table& g = t.GRUPOST;
            const int abrev = g.columnIndex("ABREV");
            const int clave = g.columnIndex("CLAVE");
            const int clavecurso = g.columnIndex("CLAVECURSO");
            for (g.first(); !g.eof(); g.next()) {
                groupByCode.insert(g.text(abrev), GroupKeys{g.text(clave), g.text(clavecurso)});
            }
        }
        {
            // The fallback looks at the records of one subject code (the filter on COD) and
            // takes the first of them with the course key: one map on both texts says the same.
            dbf::Table& a = t.ASIGNOMT2;
            const int cod = a.columnIndex("COD");
            const int clavecurso = a.columnIndex("CLAVECURSO");
            const int alectiva = a.columnIndex("ALECTIVA");
            const int materia = a.columnIndex("MATERIA");
            for (a.first(); !a.eof(); a.next()) {
                auto key = compositeKey(a.text(cod), a.text(clavecurso));
                if (subjectByOffering.find(key) == nullptr) {
                    subjectByOffering.insert(std::move(key), blankAfterTrim(a.text(alectiva))
                                                                 ? std::string()
                                                                 : a.text(materia));
                }
            }
        }
        {
            dbf::Table& d = t.DIASHORAST;
            const int diho = d.columnIndex("DIHO");
            const int dia = d.columnIndex("DIA");
            const int coddiho = d.columnIndex("CODDIHO");
            for (d.first(); !d.eof(); d.next()) {
                gridByKey.insert(d.text(diho), GridEntry{d.text(dia), d.text(coddiho)});
            }
        }
        {
            dbf::Table& a = t.AULAT;
            const int abrev = a.columnIndex("ABREV");
            const int depcentro = a.columnIndex("DEPCENTRO");
            for (a.first(); !a.eof(); a.next()) {
                roomByCode.insert(a.text(abrev), a.text(depcentro));
            }
        }
    }

    FirstMatchIndex<std::string> subjectByAssignment; // ASIGT (CASIG, CGRUP) -> CLAVE
    FirstMatchIndex<std::string> taskByCode;          // ASIGNOMT COD -> CODTAREA
    FirstMatchIndex<GroupKeys> groupByCode;           // GRUPOST ABREV -> CLAVE, CLAVECURSO
    FirstMatchIndex<std::string> subjectByOffering;   // ASIGNOMT2 (COD, CLAVECURSO) -> subject
    FirstMatchIndex<GridEntry> gridByKey;             // DIASHORAST DIHO -> DIA, CODDIHO
    FirstMatchIndex<std::string> roomByCode;          // AULAT ABREV -> DEPCENTRO
};

// One slot list for the SOLUC record under the cursor; every working value starts from its
// own starting value here, so nothing carries over from the previous slot.
void writeSlot(pugi::xml_node teacherList, int ordinal, const dbf::Table& soluc,
               const SolucColumns& col, const Lookups& lookups) {
    pugi::xml_node slot = appendList(teacherList, "TRAMO_" + std::to_string(ordinal));

    const std::string subjectCode = soluc.text(col.asig);
    const std::string groupCode = soluc.text(col.codgrupo);

    std::string subjectKey;
    if (const auto* clave =
            lookups.subjectByAssignment.find(compositeKey(subjectCode, groupCode))) {
        subjectKey = *clave;
    }

    std::string taskCode = soluc.text(col.tarea);
    if (const auto* codtarea = lookups.taskByCode.find(taskCode)) {
        taskCode = *codtarea;
    }

    std::string unitKey;
    std::string courseKey;
    if (const auto* group = lookups.groupByCode.find(groupCode)) {
        unitKey = group->unit;
        courseKey = group->course;
    }

    if (blankAfterTrim(subjectKey)) {
        if (const auto* subject =
                lookups.subjectByOffering.find(compositeKey(subjectCode, courseKey))) {
            subjectKey = *subject;
        }
    }

    appendField(slot, "X_ACTIVIDAD", taskCode);

    // Day digits then period digits, no separator: day 3, period 12 is "312".
    const std::string gridKey = soluc.text(col.dia) + std::to_string(soluc.integer(col.hora));
    std::string day;
    std::string period;
    if (const auto* entry = lookups.gridByKey.find(gridKey)) {
        day = entry->day;
        period = entry->period;
    }
    appendField(slot, "N_DIASEMANA", day);
    appendField(slot, "X_TRAMO", period);

    std::string roomKey;
    if (const auto* room = lookups.roomByCode.find(soluc.text(col.aula))) {
        roomKey = *room;
    }
    appendField(slot, "X_DEPCENTRO", roomKey);
    appendField(slot, "X_MATERIAOMC", subjectKey);
    appendField(slot, "X_UNIDAD", unitKey);
}

} // namespace

void ImportarHorarios(pugi::xml_node salidas, const TimetableTables& tables) {
    dbf::Table& proft = tables.PROFT;
    dbf::Table& soluc = tables.SOLUC;

    const int abrev = proft.columnIndex("ABREV");
    const int xEmpleado = proft.columnIndex("X_EMPLEADO");
    const int fTomapos = proft.columnIndex("F_TOMAPOS");
    const SolucColumns solucColumns(soluc);

    const Lookups lookups(tables);
    // What SOLUC filtered on one teacher's code shows, for every teacher at once.
    const RecordsByValue solucByTeacher(soluc, solucColumns.prof);

    int teacherOrdinal = 1;
    for (proft.first(); !proft.eof(); proft.next()) {
        pugi::xml_node teacherList = appendList(salidas, "EMP_" + std::to_string(teacherOrdinal++));
        appendField(teacherList, "X_EMPLEADO", proft.text(xEmpleado));
        appendField(teacherList, "F_TOMAPOS", proft.text(fTomapos));

        // The records of this teacher, in file order; a code repeated in PROFT sees them again.
        const auto& records = solucByTeacher.records(proft.text(abrev));
        int slotOrdinal = 1;
        for (std::uint32_t record : records) {
            soluc.goTo(record);
            // Not placed by the timetabler: no list, and no ordinal used up.
            if (soluc.integer(solucColumns.dia) == 0) {
                continue;
            }
            writeSlot(teacherList, slotOrdinal++, soluc, solucColumns, lookups);
        }
    }
}

} // namespace tdb::importer
