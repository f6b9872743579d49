#pragma once

#include <cstdint>
#include <filesystem>

// How the window hands its outcome back to the timetabling program that started it.
namespace tdb::app {

// "Vestrano.ini" in the program's folder. The caller runs under a case-insensitive file
// system emulation, so an existing file whose name differs only in letter case is that file.
std::filesystem::path statusFilePath(const std::filesystem::path& programDir);

// Writes `status` under [Transformadores] Transformado= of the status file; throws tdb::Error
// naming the file when it cannot be written.
void writeRunStatus(const std::filesystem::path& statusFile, std::int32_t status);

} // namespace tdb::app
