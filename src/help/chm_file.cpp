#include "help/chm_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <chm_lib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace tdb::help {

namespace {

std::uint32_t littleEndian32(const QByteArray& bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + i)));
    };
    return byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
}

std::uint16_t littleEndian16(const QByteArray& bytes, qsizetype at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      (static_cast<unsigned char>(bytes.at(at + 1)) << 8));
}

// A zero-terminated text starting at `at`, cut at the end of the bytes.
QString zeroTerminated(const QByteArray& bytes, qsizetype at, qsizetype end) {
    if (at < 0 || at >= end) {
        return QString();
    }
    qsizetype stop = at;
    while (stop < end && bytes.at(stop) != '\0') {
        ++stop;
    }
    return QString::fromUtf8(bytes.constData() + at, stop - at);
}

// What the child sends back.
constexpr std::uint32_t endMark = 0xFFFFFFFFu;
constexpr std::uint32_t maxPathLength = 4096;
// No help file comes near these; larger figures come from a damaged directory.
constexpr LONGUINT64 maxObjectSize = 64u * 1024u * 1024u;
constexpr qsizetype maxUnpackedSize = 256 * 1024 * 1024;
// Unpacking a help file takes a fraction of a second; a damaged one may send chmlib in circles.
constexpr int unpackTimeoutMs = 20000;

struct Unit {
    std::string path;
    chmUnitInfo info;
};

int collectUnit(chmFile*, chmUnitInfo* info, void* context) {
    auto* units = static_cast<std::vector<Unit>*>(context);
    const std::string path(info->path);
    // Directories end in "/"; "::DataSpace/..." and the like are the format's own storage.
    if (!path.empty() && path.front() == '/' && path.back() != '/' &&
        info->length <= maxObjectSize && path.size() <= maxPathLength) {
        units->push_back({path, *info});
    }
    return CHM_ENUMERATOR_CONTINUE;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void putLittleEndian(unsigned char* out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// Runs in the child: unpacks every object and writes the records to `out`. Uses no Qt.
[[noreturn]] void unpackAndExit(const char* fileName, int out) {
    chmFile* handle = chm_open(fileName);
    if (!handle) {
        _exit(2);
    }
    std::vector<Unit> units;
    chm_enumerate(handle, CHM_ENUMERATE_ALL, collectUnit, &units);
    std::vector<unsigned char> data;
    for (Unit& unit : units) {
        data.resize(static_cast<std::size_t>(unit.info.length));
        if (unit.info.length > 0) {
            const LONGINT64 got = chm_retrieve_object(handle, &unit.info, data.data(), 0,
                                                      static_cast<LONGINT64>(unit.info.length));
            if (got != static_cast<LONGINT64>(unit.info.length)) {
                continue; // an object that does not unpack is left out
            }
        }
        unsigned char header[4];
        putLittleEndian(header, unit.path.size(), 4);
        unsigned char length[8];
        putLittleEndian(length, data.size(), 8);
        if (!writeAll(out, header, 4) || !writeAll(out, unit.path.data(), unit.path.size()) ||
            !writeAll(out, length, 8) || !writeAll(out, data.data(), data.size())) {
            _exit(3);
        }
    }
    chm_close(handle);
    unsigned char end[4];
    putLittleEndian(end, endMark, 4);
    _exit(writeAll(out, end, 4) ? 0 : 3);
}

// The records of every object of the file, none when the child failed.
std::optional<QByteArray> unpackInChild(const QByteArray& fileName) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(fds[0]);
        unpackAndExit(fileName.constData(), fds[1]);
    }
    ::close(fds[1]);

    QByteArray bytes;
    bool complete = false;
    bool failed = false;
    QElapsedTimer clock;
    clock.start();
    char buffer[65536];
    while (!complete && !failed) {
        const qint64 left = unpackTimeoutMs - clock.elapsed();
        pollfd watch{fds[0], POLLIN, 0};
        const int ready = left > 0 ? ::poll(&watch, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            failed = true;
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failed = true;
        } else if (n == 0) {
            complete = true;
        } else if (bytes.size() + n > maxUnpackedSize) {
            failed = true;
        } else {
            bytes.append(buffer, n);
        }
    }
    ::close(fds[0]);
    if (failed) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

QString normalizedChmPath(const QString& path) {
    QString clean = path;
    clean.replace(QLatin1Char('\\'), QLatin1Char('/'));
    clean = QDir::cleanPath(clean);
    while (clean.startsWith(QLatin1Char('/'))) {
        clean.remove(0, 1);
    }
    if (clean == QLatin1String(".")) {
        clean.clear();
    }
    return clean;
}

std::unique_ptr<ChmFile> ChmFile::open(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) {
        return nullptr;
    }
    const auto unpacked = unpackInChild(QFile::encodeName(fileName));
    if (!unpacked) {
        return nullptr;
    }
    std::unique_ptr<ChmFile> file(new ChmFile(fileName));
    // Records: a 32-bit path length, the path, a 64-bit data length, the data; then the end mark.
    const QByteArray& bytes = *unpacked;
    qsizetype at = 0;
    while (true) {
        if (at + 4 > bytes.size()) {
            return nullptr;
        }
        const std::uint32_t pathLength = littleEndian32(bytes, at);
        at += 4;
        if (pathLength == endMark) {
            break;
        }
        if (pathLength > maxPathLength || at + pathLength + 8 > bytes.size()) {
            return nullptr;
        }
        const QString path = QString::fromUtf8(bytes.constData() + at, pathLength);
        at += pathLength;
        const std::uint64_t dataLength =
            littleEndian32(bytes, at) | (std::uint64_t{littleEndian32(bytes, at + 4)} << 32);
        at += 8;
        if (dataLength > static_cast<std::uint64_t>(bytes.size() - at)) {
            return nullptr;
        }
        file->add(path, bytes.mid(at, static_cast<qsizetype>(dataLength)));
        at += static_cast<qsizetype>(dataLength);
    }
    file->readSystem();
    return file;
}

void ChmFile::add(const QString& path, QByteArray bytes) {
    const QString name = path.startsWith(QLatin1Char('/')) ? path.mid(1) : path;
    if (name.isEmpty() || contents_.contains(name)) {
        return;
    }
    folded_.insert(name.toLower(), name);
    contents_.insert(name, std::move(bytes));
}

std::optional<QString> ChmFile::find(const QString& path) const {
    const QString clean = normalizedChmPath(path);
    if (clean.isEmpty()) {
        return std::nullopt;
    }
    if (contents_.contains(clean)) {
        return clean;
    }
    // Links written on Windows often differ from the stored name in letter case only.
    if (const auto folded = folded_.constFind(clean.toLower()); folded != folded_.constEnd()) {
        return folded.value();
    }
    return std::nullopt;
}

std::optional<QByteArray> ChmFile::read(const QString& path) const {
    const auto found = find(path);
    if (!found) {
        return std::nullopt;
    }
    return contents_.value(*found);
}

QStringList ChmFile::objects() const {
    QStringList names;
    for (auto it = contents_.constBegin(); it != contents_.constEnd(); ++it) {
        if (!it.key().startsWith(QLatin1Char('#')) && !it.key().startsWith(QLatin1Char('$'))) {
            names.append(it.key());
        }
    }
    names.sort();
    return names;
}

void ChmFile::readSystem() {
    // #SYSTEM: a version, then records of a 16-bit code, a 16-bit length and the data.
    if (const auto system = read(QStringLiteral("#SYSTEM"))) {
        const QByteArray& bytes = *system;
        qsizetype at = 4;
        while (at + 4 <= bytes.size()) {
            const std::uint16_t code = littleEndian16(bytes, at);
            const std::uint16_t length = littleEndian16(bytes, at + 2);
            const qsizetype data = at + 4;
            const qsizetype end = std::min<qsizetype>(data + length, bytes.size());
            switch (code) {
            case 0:
                contentsFile_ = normalizedChmPath(zeroTerminated(bytes, data, end));
                break;
            case 1:
                indexFile_ = normalizedChmPath(zeroTerminated(bytes, data, end));
                break;
            case 2:
                defaultTopic_ = normalizedChmPath(zeroTerminated(bytes, data, end));
                break;
            case 3:
                title_ = zeroTerminated(bytes, data, end);
                break;
            default:
                break;
            }
            at = data + length;
        }
    }
    if (contentsFile_.isEmpty() || indexFile_.isEmpty()) {
        for (const QString& object : objects()) {
            if (contentsFile_.isEmpty() &&
                object.endsWith(QLatin1String(".hhc"), Qt::CaseInsensitive)) {
                contentsFile_ = object;
            }
            if (indexFile_.isEmpty() &&
                object.endsWith(QLatin1String(".hhk"), Qt::CaseInsensitive)) {
                indexFile_ = object;
            }
        }
    }
}

std::optional<QString> ChmFile::topicOfContext(std::uint32_t contextId) const {
    // #IVB: the byte length of the map, then pairs of a context number and the offset of the
    // page's name in #STRINGS.
    const auto map = read(QStringLiteral("#IVB"));
    const auto strings = read(QStringLiteral("#STRINGS"));
    if (!map || !strings || map->size() < 4) {
        return std::nullopt;
    }
    const qsizetype declared = static_cast<qsizetype>(littleEndian32(*map, 0));
    const qsizetype end = std::min<qsizetype>(4 + declared, map->size());
    for (qsizetype at = 4; at + 8 <= end; at += 8) {
        if (littleEndian32(*map, at) != contextId) {
            continue;
        }
        const std::uint32_t offset = littleEndian32(*map, at + 4);
        if (offset >= static_cast<std::uint32_t>(strings->size())) {
            return std::nullopt;
        }
        return resolveStoredPath(
            zeroTerminated(*strings, static_cast<qsizetype>(offset), strings->size()));
    }
    return std::nullopt;
}

std::optional<QString> ChmFile::resolveStoredPath(const QString& stored) const {
    QString path = stored;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype first = 0; first < parts.size(); ++first) {
        const QString candidate = parts.mid(first).join(QLatin1Char('/'));
        // A drive letter ("C:") is no part of a name inside the file.
        if (first == 0 && parts.at(0).endsWith(QLatin1Char(':'))) {
            continue;
        }
        if (auto found = find(candidate)) {
            return found;
        }
    }
    return std::nullopt;
}

} // namespace tdb::help
