#pragma once

#include <cstddef>
#include <filesystem>

// The nine tables an import reads, for the synthetic school of a scale (sized as
// schoolAtScale()): the eight an export writes and a solution SOLUC of about 5,000 records per
// scale unit, with codes four characters wide as the timetabler stores them.
namespace tdb::bench {

struct TimetableSize {
    std::size_t teachers;
    std::size_t rooms;
    std::size_t courses;
    std::size_t groups;
    std::size_t subjects;    // subject records of ASIGNOMT (one per course and subject)
    std::size_t tasks;       // task records of ASIGNOMT
    std::size_t assignments; // ASIGT: every subject of a course for every group of it
    std::size_t periods;     // DIASHORAST holds seven days of them
    std::size_t solution;    // SOLUC records
};

TimetableSize timetableAtScale(int scale);

// Writes the nine tables into `folder`, replacing them. Deterministic. Most solution records
// find their subject through ASIGT, one in twenty only through ASIGNOMT2, one in fifty is not
// placed (DIA 0), and a teacher's records lie spread over the table as a timetabler writes them.
void writeTimetableTables(const std::filesystem::path& folder, int scale);

} // namespace tdb::bench
