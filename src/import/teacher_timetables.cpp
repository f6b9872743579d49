#include "import/teacher_timetables.h"

#include "formats/exchange_document.h"
#include "import/lookup_index.h"
#include "import/slot_lists.h"
#include "services/error.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tdb::importer {
namespace {

using exchange::appendField;
using exchange::appendList;

// Reads the visible records of `table` in file order, a few at a time: `read` fills a Row from
// the record under the cursor, and each of `steps` then runs over all rows of the batch before
// the next step does. The indexes are far larger than the processor's caches; a step that only
// begins reading what the next step needs (TextIds::prefetch) lets the reads of a whole batch
// overlap instead of each waiting for the one before. The rows reach the last step in file
// order.
template <class Row, class Read, class... Steps>
void readInBatches(dbf::Table& table, Read read, Steps... steps) {
    std::array<Row, 16> rows;
    std::size_t size = 0;
    const auto settle = [&] {
        (
            [&] {
                for (std::size_t i = 0; i < size; ++i) {
                    steps(rows[i]);
                }
            }(),
            ...);
        size = 0;
    };
    for (table.first(); !table.eof(); table.next()) {
        read(rows[size]);
        if (++size == rows.size()) {
            settle();
        }
    }
    settle();
}

bool isNumberColumn(const dbf::Table& t, int column) {
    const char type = t.columns()[static_cast<std::size_t>(column)].type;
    return type == 'N' || type == 'F';
}

// Columns of SOLUC read for every record, resolved once.
struct SolucColumns {
    int prof, asig, codgrupo, tarea, aula, dia, hora;
    bool diaIsNumber, horaIsNumber; // dBASE number columns
    explicit SolucColumns(const dbf::Table& t)
        : prof(t.columnIndex("PROF")), asig(t.columnIndex("ASIG")),
          codgrupo(t.columnIndex("CODGRUPO")), tarea(t.columnIndex("TAREA")),
          aula(t.columnIndex("AULA")), dia(t.columnIndex("DIA")), hora(t.columnIndex("HORA")),
          diaIsNumber(isNumberColumn(t, dia)), horaIsNumber(isNumberColumn(t, hora)) {}
};

// The nearest whole number of a column of the record under the cursor, whose text is `text`.
// The engine gives a whole number of a number column as its digits alone; such a text is read
// here, the rest (decimals, no value, a text column, a value that is no number) is left to the
// engine, which rounds it or fails naming the record.
std::int64_t wholeNumber(const dbf::Table& t, int column, bool isNumber, std::string_view text) {
    if (isNumber && !text.empty() && text.size() <= 18) {
        std::int64_t value = 0;
        for (char c : text) {
            if (c < '0' || c > '9') {
                return t.integer(column);
            }
            value = 10 * value + (c - '0');
        }
        return value;
    }
    return t.integer(column);
}

// The codes of a placed SOLUC record its lookups start from, as read.
struct SlotCodes {
    std::string subject; // ASIG
    std::string group;   // CODGRUPO
    std::string task;    // TAREA
    std::string gridKey; // DIA then HORA
    std::string room;    // AULA
};

// Reads the record under the cursor: false when the timetabler did not place it (DIA 0), else
// true with its codes. Throws as the engine does for a value that is no number.
bool readPlacedCodes(const dbf::Table& soluc, const SolucColumns& col, SlotCodes& codes) {
    // Day digits then period digits, no separator: day 3, period 12 is "312".
    codes.gridKey = soluc.text(col.dia);
    if (wholeNumber(soluc, col.dia, col.diaIsNumber, codes.gridKey) == 0) {
        return false;
    }
    codes.subject = soluc.text(col.asig);
    codes.group = soluc.text(col.codgrupo);
    codes.task = soluc.text(col.tarea);
    const std::string period = soluc.text(col.hora);
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits,
                                         wholeNumber(soluc, col.hora, col.horaIsNumber, period));
    (void)ec; // 24 characters hold any 64-bit number
    codes.gridKey.append(digits, end);
    codes.room = soluc.text(col.aula);
    return true;
}

// A slot's lookups under way: the probes of its codes, then the numbers of its subject and
// group codes.
struct SlotLookup {
    TextIds::Probe subject, group, task, grid, room;
    std::uint32_t subjectId = kNoId;
    std::uint32_t groupId = kNoId;
};

// Every lookup of a slot, each table read once in file order into an index that keeps the
// first record per key. Codes that meet in a lookup (a subject code of ASIGT and of ASIGNOMT2,
// a group code of ASIGT and of GRUPOST, a course key of GRUPOST and of ASIGNOMT2) share one
// numbering, so that a pair of codes is a pair of numbers and never a text built per slot. The
// texts the fields are written with are numbered in FieldTexts. Every column is resolved
// before anything is read, so a table without one of them fails the run before any list is
// written.
class Lookups {
public:
    Lookups(const TimetableTables& t, FieldTexts& out) : out_(out) {
        readAssignments(t.ASIGT);
        {
            dbf::Table& a = t.ASIGNOMT;
            const int cod = a.columnIndex("COD");
            const int codtarea = a.columnIndex("CODTAREA");
            for (a.first(); !a.eof(); a.next()) {
                if (tasks_.add(a.text(cod)) == taskText_.size()) {
                    taskText_.push_back(out.text(a.text(codtarea)));
                }
            }
        }
        {
            dbf::Table& g = t.GRUPOST;
            const int abrev = g.columnIndex("ABREV");
            const int clave = g.columnIndex("CLAVE");
            const int clavecurso = g.columnIndex("CLAVECURSO");
            for (g.first(); !g.eof(); g.next()) {
                const std::uint32_t group = groups_.add(g.text(abrev));
                if (group >= groupKeys_.size()) {
                    groupKeys_.resize(groups_.size());
                }
                if (groupKeys_[group].unit == kNoId) {
                    groupKeys_[group] = {out.text(g.text(clave)), courses_.add(g.text(clavecurso))};
                }
            }
        }
        readOfferings(t.ASIGNOMT2);
        {
            dbf::Table& d = t.DIASHORAST;
            const int diho = d.columnIndex("DIHO");
            const int dia = d.columnIndex("DIA");
            const int coddiho = d.columnIndex("CODDIHO");
            for (d.first(); !d.eof(); d.next()) {
                if (grid_.add(d.text(diho)) == gridTexts_.size()) {
                    gridTexts_.push_back({out.text(d.text(dia)), out.text(d.text(coddiho))});
                }
            }
        }
        {
            dbf::Table& a = t.AULAT;
            const int abrev = a.columnIndex("ABREV");
            const int depcentro = a.columnIndex("DEPCENTRO");
            for (a.first(); !a.eof(); a.next()) {
                if (rooms_.add(a.text(abrev)) == roomText_.size()) {
                    roomText_.push_back(out.text(a.text(depcentro)));
                }
            }
        }
        // A slot whose group has no GRUPOST record looks for its subject under the empty
        // course key.
        noGroupCourse_ = courses_.find({});
    }

    // The lookups of a slot in three steps, for readInBatches. start() works out where each
    // code's lookup reads and begins reading.
    void start(const SlotCodes& codes, SlotLookup& l) const {
        l.subject = TextIds::probe(codes.subject);
        l.group = TextIds::probe(codes.group);
        l.task = TextIds::probe(codes.task);
        l.grid = TextIds::probe(codes.gridKey);
        l.room = TextIds::probe(codes.room);
        subjects_.prefetch(l.subject);
        groups_.prefetch(l.group);
        tasks_.prefetch(l.task);
        grid_.prefetch(l.grid);
        rooms_.prefetch(l.room);
    }
    // Finds the subject and group codes, and begins reading what depends on them.
    void resolveCodes(const SlotCodes& codes, SlotLookup& l) const {
        l.subjectId = subjects_.find(codes.subject, l.subject);
        l.groupId = groups_.find(codes.group, l.group);
        subjectByAssignment_.prefetch(l.subjectId, l.groupId);
        if (l.groupId < groupKeys_.size()) {
            __builtin_prefetch(&groupKeys_[l.groupId]);
        }
    }
    // The field texts of the slot. Every working value starts from its own starting value
    // here, so nothing carries over from the previous slot.
    SlotTexts finish(const SlotCodes& codes, const SlotLookup& l) {
        std::uint32_t subjectText = subjectByAssignment_.find(l.subjectId, l.groupId);
        if (subjectText == kNoId) {
            subjectText = 0;
        }

        const std::uint32_t task = tasks_.find(codes.task, l.task);
        const std::uint32_t taskText = task != kNoId ? taskText_[task] : out_.text(codes.task);

        std::uint32_t unitText = 0;
        std::uint32_t course = noGroupCourse_;
        if (l.groupId < groupKeys_.size() && groupKeys_[l.groupId].unit != kNoId) {
            unitText = groupKeys_[l.groupId].unit;
            course = groupKeys_[l.groupId].course;
        }

        if (out_.blank(subjectText)) {
            if (const std::uint32_t offered = subjectByOffering_.find(l.subjectId, course);
                offered != kNoId) {
                subjectText = offered;
            }
        }

        std::array<std::uint32_t, 2> dayAndPeriod{0, 0};
        if (const std::uint32_t entry = grid_.find(codes.gridKey, l.grid); entry != kNoId) {
            dayAndPeriod = gridTexts_[entry];
        }

        std::uint32_t roomText = 0;
        if (const std::uint32_t room = rooms_.find(codes.room, l.room); room != kNoId) {
            roomText = roomText_[room];
        }
        return {taskText, dayAndPeriod[0], dayAndPeriod[1], roomText, subjectText, unitText};
    }

private:
    // A record of ASIGT or ASIGNOMT2 on its way into a pair index.
    struct PairRow {
        std::string first, second, value, flag;
        TextIds::Probe firstProbe, secondProbe, valueProbe;
        std::uint32_t firstId, secondId;
    };

    // ASIGT (CASIG, CGRUP) -> CLAVE.
    void readAssignments(dbf::Table& a) {
        const int casig = a.columnIndex("CASIG");
        const int cgrup = a.columnIndex("CGRUP");
        const int clave = a.columnIndex("CLAVE");
        readInBatches<PairRow>(
            a,
            [&](PairRow& r) {
                r.first = a.text(casig);
                r.second = a.text(cgrup);
                r.value = a.text(clave);
            },
            [&](PairRow& r) { startPair(r, subjects_, groups_); },
            [&](PairRow& r) {
                r.firstId = subjects_.add(r.first, r.firstProbe);
                r.secondId = groups_.add(r.second, r.secondProbe);
                subjectByAssignment_.prefetch(r.firstId, r.secondId);
            },
            [&](PairRow& r) {
                if (subjectByAssignment_.find(r.firstId, r.secondId) == kNoId) {
                    subjectByAssignment_.insert(r.firstId, r.secondId,
                                                out_.text(r.value, r.valueProbe));
                }
            });
    }

    // ASIGNOMT2 (COD, CLAVECURSO) -> subject. The fallback looks at the records of one subject
    // code (the filter on COD) and takes the first of them with the course key: one index on
    // both says the same.
    void readOfferings(dbf::Table& a) {
        const int cod = a.columnIndex("COD");
        const int clavecurso = a.columnIndex("CLAVECURSO");
        const int alectiva = a.columnIndex("ALECTIVA");
        const int materia = a.columnIndex("MATERIA");
        readInBatches<PairRow>(
            a,
            [&](PairRow& r) {
                r.first = a.text(cod);
                r.second = a.text(clavecurso);
                r.flag = a.text(alectiva);
                r.value = a.text(materia);
            },
            [&](PairRow& r) { startPair(r, subjects_, courses_); },
            [&](PairRow& r) {
                r.firstId = subjects_.add(r.first, r.firstProbe);
                r.secondId = courses_.add(r.second, r.secondProbe);
                subjectByOffering_.prefetch(r.firstId, r.secondId);
            },
            [&](PairRow& r) {
                if (subjectByOffering_.find(r.firstId, r.secondId) == kNoId) {
                    subjectByOffering_.insert(
                        r.firstId, r.secondId,
                        blankAfterTrim(r.flag) ? 0 : out_.text(r.value, r.valueProbe));
                }
            });
    }

    void startPair(PairRow& r, const TextIds& firsts, const TextIds& seconds) const {
        r.firstProbe = TextIds::probe(r.first);
        r.secondProbe = TextIds::probe(r.second);
        r.valueProbe = TextIds::probe(r.value);
        firsts.prefetch(r.firstProbe);
        seconds.prefetch(r.secondProbe);
        out_.prefetch(r.valueProbe);
    }

    struct GroupKeys {
        std::uint32_t unit = kNoId; // GRUPOST.CLAVE; kNoId: no GRUPOST record for the group
        std::uint32_t course = kNoId;
    };

    FieldTexts& out_;
    TextIds subjects_;              // ASIGT.CASIG, ASIGNOMT2.COD
    TextIds groups_;                // ASIGT.CGRUP, GRUPOST.ABREV
    TextIds courses_;               // GRUPOST.CLAVECURSO, ASIGNOMT2.CLAVECURSO
    PairIndex subjectByAssignment_; // ASIGT (CASIG, CGRUP) -> CLAVE
    TextIds tasks_;                 // ASIGNOMT COD -> CODTAREA
    std::vector<std::uint32_t> taskText_;
    std::vector<GroupKeys> groupKeys_; // GRUPOST ABREV -> CLAVE, CLAVECURSO
    PairIndex subjectByOffering_;      // ASIGNOMT2 (COD, CLAVECURSO) -> subject
    TextIds grid_;                     // DIASHORAST DIHO -> DIA, CODDIHO
    std::vector<std::array<std::uint32_t, 2>> gridTexts_;
    TextIds rooms_; // AULAT ABREV -> DEPCENTRO
    std::vector<std::uint32_t> roomText_;
    std::uint32_t noGroupCourse_ = kNoId;
};

// A SOLUC record of a teacher PROFT names, as read in the one pass over SOLUC.
struct SolucRecord {
    enum State : std::uint8_t { Unplaced, Placed, Faulty };
    std::uint32_t teacherCode; // number of its PROF among PROFT's codes
    std::uint32_t record;
    SlotTexts texts;
    State state;
};

// SOLUC read once, in file order: the records of each teacher code, in file order, with the
// field texts of the placed ones.
class SolucByTeacher {
public:
    SolucByTeacher(dbf::Table& soluc, const SolucColumns& col, const TextIds& teacherCodes,
                   Lookups& lookups, FieldTexts& out)
        : start_(teacherCodes.size() + 1, 0) {
        records_.reserve(soluc.recordCount());
        struct Reading {
            std::string teacher; // PROF
            TextIds::Probe teacherProbe;
            std::uint32_t record;
            SolucRecord::State state;
            SlotCodes codes;
            SlotLookup lookup;
        };
        readInBatches<Reading>(
            soluc,
            [&](Reading& r) {
                const std::size_t number = soluc.recordNumber();
                if (number > std::numeric_limits<std::uint32_t>::max()) {
                    throw Error("La tabla " + soluc.name() + " tiene demasiados registros (" +
                                std::to_string(number) + ")");
                }
                r.record = static_cast<std::uint32_t>(number);
                r.teacher = soluc.text(col.prof);
                try {
                    // Not placed by the timetabler (DIA 0): no list, and no ordinal used up.
                    r.state = readPlacedCodes(soluc, col, r.codes) ? SolucRecord::Placed
                                                                   : SolucRecord::Unplaced;
                } catch (const Error&) {
                    // Reported by failFirstFault(), should the lists reach this record.
                    r.state = SolucRecord::Faulty;
                }
            },
            [&](Reading& r) {
                r.teacherProbe = TextIds::probe(r.teacher);
                teacherCodes.prefetch(r.teacherProbe);
                if (r.state == SolucRecord::Placed) {
                    lookups.start(r.codes, r.lookup);
                }
            },
            [&](Reading& r) {
                if (r.state == SolucRecord::Placed) {
                    lookups.resolveCodes(r.codes, r.lookup);
                }
            },
            [&](Reading& r) {
                const std::uint32_t code = teacherCodes.find(r.teacher, r.teacherProbe);
                if (code == kNoId) {
                    return; // no teacher of that code: never listed
                }
                SolucRecord entry{code, r.record, {}, r.state};
                if (r.state == SolucRecord::Placed) {
                    entry.texts = lookups.finish(r.codes, r.lookup);
                    out.use(entry.texts);
                } else if (r.state == SolucRecord::Faulty) {
                    ++faults_;
                }
                records_.push_back(entry);
                ++start_[code + 1];
            });

        // Grouped by teacher code, file order kept within each group.
        for (std::size_t c = 1; c < start_.size(); ++c) {
            start_[c] += start_[c - 1];
        }
        order_.resize(records_.size());
        std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
        std::vector<std::uint32_t> placed(teacherCodes.size(), 0);
        for (std::uint32_t i = 0; i < records_.size(); ++i) {
            const std::uint32_t code = records_[i].teacherCode;
            order_[next[code]++] = i;
            if (records_[i].state == SolucRecord::Placed) {
                longest_ = std::max<std::size_t>(longest_, ++placed[code]);
            }
        }
    }

    // A value that is no number is reported where the lists, teacher after teacher, reach its
    // record: the same record, with the same message, as reading SOLUC filtered on each
    // teacher's code would fail on. `teacherCodes` are the codes of PROFT's records in order.
    void failFirstFault(dbf::Table& soluc, const SolucColumns& col,
                        const std::vector<std::uint32_t>& teacherCodes) const {
        if (faults_ == 0) {
            return;
        }
        for (std::uint32_t code : teacherCodes) {
            for (std::uint32_t k = start_[code]; k < start_[code + 1]; ++k) {
                const SolucRecord& record = records_[order_[k]];
                if (record.state != SolucRecord::Faulty) {
                    continue;
                }
                // Read again: its error is the run's error.
                soluc.goTo(record.record);
                SlotCodes codes;
                readPlacedCodes(soluc, col, codes);
                throw Error("No se puede leer el registro " + std::to_string(record.record + 1) +
                            " de la tabla " + soluc.name());
            }
        }
    }

    // Calls `visit` with each record of teacher code `code`, in file order, and `ahead` with
    // the record a few places further on: the records lie spread over memory, and what `visit`
    // will read can be read ahead.
    template <class Ahead, class Visit>
    void forEach(std::uint32_t code, Ahead ahead, Visit visit) const {
        constexpr std::uint32_t kAhead = 4;
        const std::uint32_t end = start_[code + 1];
        for (std::uint32_t k = start_[code]; k < end; ++k) {
            if (k + 2 * kAhead < end) {
                __builtin_prefetch(&records_[order_[k + 2 * kAhead]]);
            }
            if (k + kAhead < end) {
                ahead(records_[order_[k + kAhead]]);
            }
            visit(records_[order_[k]]);
        }
    }
    // The most slots one teacher code gets.
    std::size_t longest() const { return longest_; }

private:
    std::vector<SolucRecord> records_;
    std::vector<std::uint32_t> start_; // code c owns order_[start_[c], start_[c + 1])
    std::vector<std::uint32_t> order_;
    std::size_t longest_ = 0;
    std::size_t faults_ = 0;
};

// A PROFT record: the code its SOLUC records carry and the two fields of its list.
struct Teacher {
    std::uint32_t code;
    std::string employee; // X_EMPLEADO
    std::string start;    // F_TOMAPOS
};

} // namespace

struct TeacherTimetables::Data {
    FieldTexts texts;
    std::vector<Teacher> teachers;
    std::unique_ptr<SolucByTeacher> soluc;
};

TeacherTimetables::TeacherTimetables(const TimetableTables& tables)
    : data_(std::make_unique<Data>()) {
    dbf::Table& proft = tables.PROFT;
    dbf::Table& soluc = tables.SOLUC;

    const int abrev = proft.columnIndex("ABREV");
    const int xEmpleado = proft.columnIndex("X_EMPLEADO");
    const int fTomapos = proft.columnIndex("F_TOMAPOS");
    const SolucColumns solucColumns(soluc);

    Lookups lookups(tables, data_->texts);

    // What SOLUC filtered on one teacher's code shows, for every teacher at once.
    TextIds teacherCodes(proft.recordCount());
    std::vector<std::uint32_t> codeOfTeacher;
    data_->teachers.reserve(proft.recordCount());
    for (proft.first(); !proft.eof(); proft.next()) {
        const std::uint32_t code = teacherCodes.add(proft.text(abrev));
        data_->teachers.push_back({code, proft.text(xEmpleado), proft.text(fTomapos)});
        codeOfTeacher.push_back(code);
    }
    data_->soluc =
        std::make_unique<SolucByTeacher>(soluc, solucColumns, teacherCodes, lookups, data_->texts);
    data_->soluc->failFirstFault(soluc, solucColumns, codeOfTeacher);
}

TeacherTimetables::TeacherTimetables(TeacherTimetables&&) noexcept = default;
TeacherTimetables& TeacherTimetables::operator=(TeacherTimetables&&) noexcept = default;
TeacherTimetables::~TeacherTimetables() = default;

void TeacherTimetables::write(pugi::xml_node salidas) const {
    const SolucByTeacher& soluc = *data_->soluc;
    SlotListWriter slots(data_->texts, salidas, soluc.longest());
    std::size_t ordinal = 1;
    for (const Teacher& teacher : data_->teachers) {
        pugi::xml_node list = appendList(salidas, "EMP_" + std::to_string(ordinal++));
        appendField(list, "X_EMPLEADO", teacher.employee);
        appendField(list, "F_TOMAPOS", teacher.start);
        // The records of this teacher, in file order; a code repeated in PROFT sees them again.
        std::size_t slot = 1;
        soluc.forEach(
            teacher.code, [&](const SolucRecord& record) { slots.prefetch(record.texts); },
            [&](const SolucRecord& record) {
                if (record.state == SolucRecord::Placed) {
                    slots.append(list, slot++, record.texts);
                }
            });
    }
}

void ImportarHorarios(pugi::xml_node salidas, const TimetableTables& tables) {
    TeacherTimetables(tables).write(salidas);
}

} // namespace tdb::importer
