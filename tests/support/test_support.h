#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tdb::test {

// A fresh, empty folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, std::string_view bytes);

// Folder of the project's sources and of the build, as configured.
std::filesystem::path sourceDir();
std::filesystem::path binaryDir();

// Result of running a program to its end.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs argv[0] with the arguments (no shell), with extra environment entries "NAME=value".
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnv = {});

// The Debian python with the packages the set-up script installs (dbfread, dbf).
std::string systemPython();

} // namespace tdb::test
