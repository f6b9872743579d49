#pragma once

#include <filesystem>
#include <span>
#include <string_view>

namespace tdb::exporter {

// A hidden folder inside the data folder where a run builds its tables aside; removed with
// everything in it when the object goes.
class StagingFolder {
public:
    explicit StagingFolder(const std::filesystem::path& dataDir);
    ~StagingFolder();
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Puts the tables built in `staging` in place of those of the data folder. Every table file
// another program holds stops it before anything moves; each replaced table leaves no other
// letter-case variant of T.DBF and no T.MDX behind. Should a move fail, the moves made so far
// are undone, so the data folder holds either the old set or the new one.
void installTables(const std::filesystem::path& dataDir, const std::filesystem::path& staging,
                   std::span<const std::string_view> tableNames);

} // namespace tdb::exporter
