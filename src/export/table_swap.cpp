#include "export/table_swap.h"

#include "services/dbf_table.h"
#include "services/error.h"
#include "services/file_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/file.h>
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

constexpr const char* kPrefix = ".transdorimobrelo-";
constexpr const char* kJournal = "movimientos";

// The moves of a swap, as NUL-terminated "from" and "to" paths, on disk before the first of them
// is made.
void writeJournal(const fs::path& staging,
                  const std::vector<std::pair<fs::path, fs::path>>& moves) {
    const fs::path journal = staging / kJournal;
    {
        std::ofstream out(journal, std::ios::binary | std::ios::trunc);
        for (const auto& [from, to] : moves) {
            out << from.string() << '\0' << to.string() << '\0';
        }
        out.flush();
        if (!out) {
            throw Error("No se puede escribir en la carpeta " + staging.string());
        }
    }
    syncFile(journal);
    syncFolder(staging);
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
    lockFd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockFd_ >= 0) {
        ::flock(lockFd_, LOCK_EX | LOCK_NB);
    }
}

StagingFolder::~StagingFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

void recoverInterruptedExports(const fs::path& dataDir) {
    std::error_code ec;
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(dataDir, ec)) {
        if (entry.path().filename().string().rfind(kPrefix, 0) == 0 && entry.is_directory(ec)) {
            left.push_back(entry.path());
        }
    }
    for (const auto& folder : left) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd); // a run still under way
            continue;
        }
        std::vector<std::pair<fs::path, fs::path>> moves;
        std::ifstream journal(folder / kJournal, std::ios::binary);
        for (std::string from, to;
             std::getline(journal, from, '\0') && std::getline(journal, to, '\0');) {
            moves.emplace_back(from, to);
        }
        // Undo, last first, every move that was made: its target is there, its source is not.
        bool undone = true;
        for (auto it = moves.rbegin(); it != moves.rend(); ++it) {
            if (fs::exists(it->second, ec) && !fs::exists(it->first, ec) &&
                ::rename(it->second.c_str(), it->first.c_str()) != 0) {
                undone = false;
            }
        }
        if (undone) {
            syncFolder(dataDir);
            fs::remove_all(folder, ec);
        }
        ::close(fd);
    }
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
    std::vector<std::pair<fs::path, fs::path>> plan;
    std::size_t n = 0;
    for (const auto& table : tables) {
        for (const auto& file : table.oldFiles) {
            plan.emplace_back(file,
                              backup / (std::to_string(n++) + "-" + file.filename().string()));
        }
        plan.emplace_back(staging / (table.name + ".DBF"), dataDir / (table.name + ".DBF"));
    }
    writeJournal(staging, plan);

    Moves moves;
    try {
        for (const auto& [from, to] : plan) {
            moves.move(from, to);
        }
    } catch (...) {
        moves.undo();
        syncFolder(dataDir);
        throw;
    }
    syncFolder(dataDir);
    // The swap is complete: without its journal the folder is only clutter to remove, never a
    // swap to undo.
    fs::remove(staging / kJournal, ec);
    syncFolder(staging);
}

} // namespace tdb::exporter
