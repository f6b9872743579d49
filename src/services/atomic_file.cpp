#include "services/atomic_file.h"

#include "services/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tdb {
namespace {

// Large enough that a file of hundreds of megabytes takes a few thousand system calls.
constexpr std::size_t kBufferSize = std::size_t{1} << 18;

Error cannotWrite(const std::filesystem::path& target, int err) {
    return Error("No se puede escribir el archivo " + target.string() + ": " + std::strerror(err));
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& target) : target_(target) {
    auto folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    temporary_ = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(temporary_.data());
    if (fd_ < 0) {
        throw cannotWrite(target_, errno);
    }
    buffer_ = std::make_unique<char[]>(kBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        close(fd_);
        unlink(temporary_.c_str());
    }
}

void AtomicFileWriter::write(std::string_view bytes) {
    if (error_ != 0 || fd_ < 0) {
        return;
    }
    if (used_ + bytes.size() > kBufferSize) {
        flush();
        if (bytes.size() >= kBufferSize) {
            writeThrough(bytes.data(), bytes.size());
            return;
        }
    }
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void AtomicFileWriter::flush() {
    writeThrough(buffer_.get(), used_);
    used_ = 0;
}

void AtomicFileWriter::writeThrough(const char* data, std::size_t size) {
    while (size > 0 && error_ == 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n <= 0) {
            if (n == 0) {
                error_ = EIO; // no progress: never loop on it
            } else if (errno != EINTR) {
                error_ = errno;
            }
            continue;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicFileWriter::fail(int error) {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    unlink(temporary_.c_str());
    throw cannotWrite(target_, error);
}

void AtomicFileWriter::commit() {
    if (fd_ < 0) {
        throw Error("No se puede escribir el archivo " + target_.string() +
                    ": la escritura ya había terminado");
    }
    flush();
    if (error_ != 0) {
        fail(error_);
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    mode_t mode = 0644;
    if (stat(target_.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    }
    if (fchmod(fd_, mode) != 0 || fsync(fd_) != 0) {
        fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
        const int err = errno;
        unlink(temporary_.c_str());
        throw cannotWrite(target_, err);
    }
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        unlink(temporary_.c_str());
        throw cannotWrite(target_, err);
    }
}

void replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    AtomicFileWriter file(target);
    file.write(bytes);
    file.commit();
}

} // namespace tdb
