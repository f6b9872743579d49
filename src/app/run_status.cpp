#include "app/run_status.h"

#include "app/ascii.h"
#include "app/ini_file.h"

#include <string>

namespace tdb::app {
namespace {

constexpr const char* kStatusFileName = "Vestrano.ini";

} // namespace

std::filesystem::path statusFilePath(const std::filesystem::path& programDir) {
    auto exact = programDir / kStatusFileName;
    std::error_code ec;
    if (std::filesystem::exists(exact, ec)) {
        return exact;
    }
    std::filesystem::directory_iterator it(programDir, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        auto name = it->path().filename().string();
        if (equalsIgnoringAsciiCase(name, kStatusFileName)) {
            return it->path();
        }
    }
    return exact;
}

void writeRunStatus(const std::filesystem::path& statusFile, std::int32_t status) {
    writeIniValue(statusFile, "Transformadores", "Transformado", std::to_string(status));
}

} // namespace tdb::app
