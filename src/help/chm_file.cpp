#include "help/chm_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chm_lib.h>

namespace tdb::help {

namespace {

// No page of a help file comes near this; a larger length is a damaged directory entry.
constexpr LONGUINT64 maxObjectSize = 64u * 1024u * 1024u;

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

int collectObject(chmFile*, chmUnitInfo* info, void* context) {
    auto* names = static_cast<QStringList*>(context);
    const QString path = QString::fromUtf8(info->path);
    if (path.startsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('/'))) {
        const QString name = path.mid(1);
        // "#SYSTEM", "$WWKeywordLinks/..." and the like belong to the format, not to the help.
        if (!name.startsWith(QLatin1Char('#')) && !name.startsWith(QLatin1Char('$'))) {
            names->append(name);
        }
    }
    return CHM_ENUMERATOR_CONTINUE;
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
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        return nullptr;
    }
    chmFile* handle = chm_open(QFile::encodeName(fileName).constData());
    if (!handle) {
        return nullptr;
    }
    std::unique_ptr<ChmFile> file(new ChmFile(handle, fileName));
    file->readSystem();
    return file;
}

ChmFile::ChmFile(chmFile* handle, QString fileName)
    : handle_(handle), fileName_(std::move(fileName)) {}

ChmFile::~ChmFile() {
    chm_close(handle_);
}

std::optional<QString> ChmFile::find(const QString& path) const {
    const QString clean = normalizedChmPath(path);
    if (clean.isEmpty()) {
        return std::nullopt;
    }
    chmUnitInfo info{};
    const QByteArray name = (QStringLiteral("/") + clean).toUtf8();
    if (chm_resolve_object(handle_, name.constData(), &info) == CHM_RESOLVE_SUCCESS &&
        !clean.endsWith(QLatin1Char('/'))) {
        return clean;
    }
    // Links written on Windows often differ from the stored name in letter case only.
    for (const QString& object : objects()) {
        if (object.compare(clean, Qt::CaseInsensitive) == 0) {
            return object;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> ChmFile::read(const QString& path) const {
    const QString clean = normalizedChmPath(path);
    // The system objects are read by the same means, so the lookup is skipped for them.
    const auto found =
        clean.startsWith(QLatin1Char('#')) ? std::optional<QString>(clean) : find(clean);
    if (!found) {
        return std::nullopt;
    }
    chmUnitInfo info{};
    const QByteArray name = (QStringLiteral("/") + *found).toUtf8();
    if (chm_resolve_object(handle_, name.constData(), &info) != CHM_RESOLVE_SUCCESS) {
        return std::nullopt;
    }
    if (info.length > maxObjectSize) {
        return std::nullopt;
    }
    QByteArray bytes(static_cast<qsizetype>(info.length), '\0');
    if (info.length == 0) {
        return bytes;
    }
    const LONGINT64 got =
        chm_retrieve_object(handle_, &info, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                            static_cast<LONGINT64>(info.length));
    if (got <= 0) {
        return std::nullopt;
    }
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

QStringList ChmFile::objects() const {
    QStringList names;
    chm_enumerate(handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectObject, &names);
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
