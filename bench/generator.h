#pragma once

#include <cstddef>
#include <string>

// Synthetic schools for the benchmarks. Scale 1 is a large school; scale k has k times its
// teachers, rooms, courses, groups, subjects and tasks (the day keeps its periods).
namespace tdb::bench {

struct SchoolSize {
    std::size_t teachers;
    std::size_t rooms;
    std::size_t courses;
    std::size_t groupsPerCourse;
    std::size_t subjectsPerCourse;
    std::size_t tasks;
    std::size_t periods;
};

SchoolSize schoolAtScale(int scale);

// An exchange document (UTF-8, no declaration) for the school of that scale. Deterministic:
// the same scale always gives the same bytes. Codes clash now and then, as real ones do.
std::string exchangeDocument(int scale);

} // namespace tdb::bench
