#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tdb {

// The folder of the timetable tables: the explicit choice (--data-dir), else $VTEMP, else
// $WINEPREFIX/drive_c/VTEMP, else ~/.wine/drive_c/VTEMP; C:\VTEMP on Windows.
std::filesystem::path resolveDataDir(const std::optional<std::filesystem::path>& explicitDir);

// Throws tdb::Error naming the folder when it does not exist or is not a folder.
void requireDataDir(const std::filesystem::path& dataDir);

// Start folder of the file dialog: the data folder's subfolder "brelo".
std::filesystem::path dialogStartFolder(const std::filesystem::path& dataDir);

} // namespace tdb
