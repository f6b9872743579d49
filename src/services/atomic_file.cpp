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

std::string reason(int err) {
    return std::strerror(err);
}

} // namespace

void replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
    auto folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        throw Error("No se puede escribir el archivo " + target.string() + ": " + reason(errno));
    }
    auto fail = [&](int err) {
        close(fd);
        unlink(pattern.c_str());
        throw Error("No se puede escribir el archivo " + target.string() + ": " + reason(err));
    };
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    mode_t mode = 0644;
    if (stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    }
    if (fchmod(fd, mode) != 0 || fsync(fd) != 0) {
        fail(errno);
    }
    if (close(fd) != 0) {
        int err = errno;
        unlink(pattern.c_str());
        throw Error("No se puede escribir el archivo " + target.string() + ": " + reason(err));
    }
    if (rename(pattern.c_str(), target.c_str()) != 0) {
        int err = errno;
        unlink(pattern.c_str());
        throw Error("No se puede escribir el archivo " + target.string() + ": " + reason(err));
    }
}

} // namespace tdb
