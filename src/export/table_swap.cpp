#include "export/table_swap.h"

#include "services/dbf_table.h"
#include "services/error.h"
#include "services/file_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tdb::exporter {
namespace {

namespace fs = std::filesystem;

void syncFolder(const fs::path& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void syncFile(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        int err = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        throw Error("No se puede escribir la tabla " + file.filename().string() + ": " +
                    std::strerror(err));
    }
    ::close(fd);
}

// Renames made so far, undone in reverse order should a later one fail.
class Moves {
public:
    void move(const fs::path& from, const fs::path& to) {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            throw Error("No se puede colocar " + to.string() + ": " + std::strerror(errno));
        }
        done_.emplace_back(from, to);
    }
    void undo() noexcept {
        for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
            ::rename(it->second.c_str(), it->first.c_str());
        }
        done_.clear();
    }

private:
    std::vector<std::pair<fs::path, fs::path>> done_;
};

} // namespace

StagingFolder::StagingFolder(const fs::path& dataDir) {
    std::string pattern = (dataDir / ".transdorimobrelo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw Error("No se puede escribir en la carpeta de datos " + dataDir.string() + ": " +
                    std::strerror(errno));
    }
    path_ = pattern;
}

StagingFolder::~StagingFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void installTables(const fs::path& dataDir, const fs::path& staging,
                   std::span<const std::string_view> tableNames) {
    struct Replaced {
        std::string name;
        std::vector<fs::path> oldFiles;
    };
    std::vector<Replaced> tables;
    std::vector<FileLock> locks;
    for (auto name : tableNames) {
        Replaced table{std::string(name), {}};
        for (const auto& file : dbf::findFilesIgnoringCase(dataDir, table.name + ".DBF")) {
            auto lock = FileLock::tryAcquire(file);
            if (!lock) {
                throw Error("La tabla " + table.name + " (" + file.string() +
                            ") está en uso por otro programa");
            }
            locks.push_back(std::move(*lock));
            table.oldFiles.push_back(file);
        }
        for (const auto& file : dbf::findFilesIgnoringCase(dataDir, table.name + ".MDX")) {
            table.oldFiles.push_back(file);
        }
        tables.push_back(std::move(table));
    }

    // The new tables reach the disk before they take the old ones' names.
    for (const auto& table : tables) {
        syncFile(staging / (table.name + ".DBF"));
    }

    const fs::path backup = staging / "anterior";
    std::error_code ec;
    fs::create_directory(backup, ec);
    if (ec) {
        throw Error("No se puede escribir en la carpeta " + staging.string() + ": " + ec.message());
    }
    Moves moves;
    try {
        std::size_t n = 0;
        for (const auto& table : tables) {
            for (const auto& file : table.oldFiles) {
                moves.move(file, backup / (std::to_string(n++) + "-" + file.filename().string()));
            }
            moves.move(staging / (table.name + ".DBF"), dataDir / (table.name + ".DBF"));
        }
    } catch (...) {
        moves.undo();
        syncFolder(dataDir);
        throw;
    }
    syncFolder(dataDir);
}

} // namespace tdb::exporter
