#pragma once

#include "services/dbf_table.h"

#include <pugixml.hpp>

#include <memory>

namespace tdb::importer {

// The open tables the teacher lists are read from.
struct TimetableTables {
    dbf::Table& PROFT;
    dbf::Table& SOLUC;
    dbf::Table& ASIGT;
    dbf::Table& ASIGNOMT;
    dbf::Table& GRUPOST;
    dbf::Table& ASIGNOMT2;
    dbf::Table& DIASHORAST;
    dbf::Table& AULAT;
};

// Appends to `salidas` one list EMP_n per PROFT record (n = 1, 2, ... over every teacher), each
// holding X_EMPLEADO, F_TOMAPOS and one list TRAMO_m per placed SOLUC record of that teacher (DIA
// not 0), m = 1, 2, ... without gaps. The short codes of each placed record are translated back
// into the exchange system's keys through ASIGT, ASIGNOMT, GRUPOST, ASIGNOMT2, DIASHORAST and
// AULAT: the first record in file order with an exactly equal text wins. The tables stay open.
void ImportarHorarios(pugi::xml_node salidas, const TimetableTables& tables);

// ImportarHorarios in its two halves, so that the tables can be let go before the lists are
// built and their memory and the document's are never needed at once.
class TeacherTimetables {
public:
    // Reads everything the lists need. Throws tdb::Error, before anything is written, for a
    // table without a column it reads and for a value that is no number where the lists read
    // one (the first such value the lists would reach, in their order).
    explicit TeacherTimetables(const TimetableTables& tables);
    TeacherTimetables(TeacherTimetables&&) noexcept;
    TeacherTimetables& operator=(TeacherTimetables&&) noexcept;
    ~TeacherTimetables();

    // Appends the lists to `salidas`; the tables are no longer needed. Throws tdb::Error.
    void write(pugi::xml_node salidas) const;

private:
    struct Data;
    std::unique_ptr<Data> data_;
};

} // namespace tdb::importer
