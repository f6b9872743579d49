#pragma once

#include <filesystem>
#include <optional>

namespace tdb {

// A whole-file exclusive lock that other well-behaved programs honour: an open-file-description
// fcntl lock on POSIX (released on close and when the process ends; no lock file is left
// behind). Move-only; the destructor releases it.
//
// The file is opened for reading and writing and locked for writing; only a file that cannot be
// opened for writing is opened read-only and locked for reading, which still keeps writers out.
// Open-file-description locks also conflict within one process: a second lock on the same file
// taken by this program fails like one taken by another program.
class FileLock {
public:
    // The lock on `file`, or nothing while another process holds a conflicting lock.
    // Throws tdb::Error naming the file when it cannot be opened at all.
    static std::optional<FileLock> tryAcquire(const std::filesystem::path& file);
    // The same for a file that is to be written: it is created (empty) when missing, and opened
    // for writing or not at all.
    static std::optional<FileLock> tryAcquireForWriting(const std::filesystem::path& file);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    int fd() const { return fd_; }
    // Whether the file was opened for writing.
    bool writable() const { return writable_; }

private:
    FileLock(int fd, bool writable) : fd_(fd), writable_(writable) {}
    int fd_ = -1;
    bool writable_ = false;
};

} // namespace tdb
