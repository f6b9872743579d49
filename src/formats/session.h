#pragma once

#include "services/code_list.h"
#include "services/xml_document.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tdb {

// Process-wide state shared by the runs, owned by the front end.
struct Session {
    // Folder of the timetable tables.
    std::filesystem::path dataDir;
    // Path of the exchange file last chosen; kept when a later dialog is cancelled.
    std::string XMLFileName;
    // Document of the current run; replaced by every run that finds its file.
    std::unique_ptr<xml::Document> XMLDoc;
    // 0 no conversion completed, 1 a conversion ran to its end, -1 missing file (automated).
    std::int32_t RunStatus = 0;
    // 2 in automated mode (two parameters, the second a window handle), else 0.
    std::int32_t LaunchParamCount = 0;
    // Code lists of the subject and task steps: empty at the start of every export run.
    ShortCodeList UsedShortCodes;
    CodeList SeenLongCodes;

    bool automated() const { return LaunchParamCount == 2; }
};

} // namespace tdb
