#include "services/file_lock.h"

#include "services/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>

namespace tdb {
namespace {

[[noreturn]] void failOpen(const std::filesystem::path& file, int err) {
    throw Error("No se puede abrir el archivo " + file.string() + ": " + std::strerror(err));
}

int openRetrying(const std::filesystem::path& file, int flags) {
    int fd;
    do {
        fd = ::open(file.c_str(), flags | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Locks the whole file (also bytes appended later) through its open file description, so the
// lock belongs to this descriptor alone and not to the process: closing another descriptor of
// the same file, as a probe does, leaves it in place.
// Returns false, with `fd` closed, while another lock conflicts.
bool lockWhole(const std::filesystem::path& file, int fd, bool writable) {
    struct flock request {};
    request.l_type = writable ? F_WRLCK : F_RDLCK;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = 0;
    request.l_pid = 0;
    if (fcntl(fd, F_OFD_SETLK, &request) == 0) {
        return true;
    }
    int err = errno;
    ::close(fd);
    if (err == EAGAIN || err == EACCES) {
        return false;
    }
    throw Error("No se puede bloquear el archivo " + file.string() + ": " + std::strerror(err));
}

} // namespace

std::optional<FileLock> FileLock::tryAcquire(const std::filesystem::path& file) {
    bool writable = true;
    int fd = openRetrying(file, O_RDWR);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = openRetrying(file, O_RDONLY);
    }
    if (fd < 0) {
        failOpen(file, errno);
    }
    if (!lockWhole(file, fd, writable)) {
        return std::nullopt;
    }
    return FileLock(fd, writable);
}

std::optional<FileLock> FileLock::tryAcquireForWriting(const std::filesystem::path& file) {
    int fd = openRetrying(file, O_RDWR | O_CREAT);
    if (fd < 0) {
        failOpen(file, errno);
    }
    if (!lockWhole(file, fd, true)) {
        return std::nullopt;
    }
    return FileLock(fd, true);
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), writable_(other.writable_) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        writable_ = other.writable_;
    }
    return *this;
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

} // namespace tdb
