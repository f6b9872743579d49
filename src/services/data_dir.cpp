#include "services/data_dir.h"

#include "services/error.h"

#include <cstdlib>

namespace tdb {
namespace {

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace

std::filesystem::path resolveDataDir(const std::optional<std::filesystem::path>& explicitDir) {
    if (explicitDir && !explicitDir->empty()) {
        return *explicitDir;
    }
#ifdef _WIN32
    return "C:\\VTEMP";
#else
    if (auto vtemp = env("VTEMP")) {
        return *vtemp;
    }
    if (auto prefix = env("WINEPREFIX")) {
        return std::filesystem::path(*prefix) / "drive_c" / "VTEMP";
    }
    return std::filesystem::path(env("HOME").value_or("")) / ".wine" / "drive_c" / "VTEMP";
#endif
}

void requireDataDir(const std::filesystem::path& dataDir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dataDir, ec)) {
        throw Error("No existe la carpeta de datos " + dataDir.string());
    }
}

std::filesystem::path dialogStartFolder(const std::filesystem::path& dataDir) {
    return dataDir / "brelo";
}

} // namespace tdb
