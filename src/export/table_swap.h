#pragma once

#include <filesystem>
#include <span>
#include <string_view>

namespace tdb::exporter {

// A hidden folder inside the data folder where a run builds its tables aside; removed with
// everything in it when the object goes. The run holds it locked (flock) while it exists, so
// that recovery never touches the folder of a run still under way.
class StagingFolder {
public:
    explicit StagingFolder(const std::filesystem::path& dataDir);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int lockFd_ = -1;
};

// Puts the tables built in `staging` in place of those of the data folder. Every table file
// another program holds stops it before anything moves; each replaced table leaves no other
// letter-case variant of T.DBF and no T.MDX behind. Should a move fail, the moves made so far
// are undone, so the data folder holds either the old set or the new one. The moves are written
// to a journal in `staging` first, so that recoverInterruptedExports() can undo them should the
// process die half-way.
void installTables(const std::filesystem::path& dataDir, const std::filesystem::path& staging,
                   std::span<const std::string_view> tableNames);

// Puts back the old tables of every export that died while swapping its tables in (a staging
// folder with a journal), and removes staging folders left behind, skipping any a running
// export holds. Failures are left for the next run; nothing is reported.
void recoverInterruptedExports(const std::filesystem::path& dataDir);

} // namespace tdb::exporter
