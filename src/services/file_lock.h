#pragma once

#include <filesystem>
#include <optional>

namespace tdb {

// A whole-file exclusive lock that other well-behaved programs honour: an open-file-description
// fcntl lock on POSIX (released on close and when the process ends; no lock file is left
// behind). Move-only; the destructor releases it.
class FileLock {
public:
    // The lock on `file`, or nothing while another process holds a conflicting lock.
    // Throws tdb::Error naming the file when it cannot be opened at all.
    static std::optional<FileLock> tryAcquire(const std::filesystem::path& file);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    ~FileLock();

    int fd() const { return fd_; }

private:
    explicit FileLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace tdb
