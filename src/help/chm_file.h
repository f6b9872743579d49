#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace tdb::help {

// A compiled HTML Help file, read whole when opened. Paths inside the file are written without
// the leading "/" ("main.htm", "img/logo.png").
//
// chmlib trusts the file's directory and compressed blocks: a damaged file can make it read
// freed or foreign memory. So the file is unpacked by a short-lived child process and only its
// bytes come back; a child that crashes, hangs or sends more than a help file ever holds means
// a file that is not opened.
class ChmFile {
public:
    // None when the file is missing, not a compiled HTML Help file or too damaged to unpack.
    static std::unique_ptr<ChmFile> open(const QString& fileName);

    const QString& fileName() const { return fileName_; }
    bool contains(const QString& path) const { return find(path).has_value(); }
    // The path as the file spells it: the same text, else the same one ignoring letter case.
    std::optional<QString> find(const QString& path) const;
    // The object's bytes; none when it is missing or could not be unpacked.
    std::optional<QByteArray> read(const QString& path) const;
    // The file's pages and other contents, the system objects ("#SYSTEM", "$...") left out.
    QStringList objects() const;

    // From the file's #SYSTEM object (falling back on the first .hhc or .hhk inside).
    const QString& contentsFile() const { return contentsFile_; }
    const QString& indexFile() const { return indexFile_; }
    const QString& defaultTopic() const { return defaultTopic_; }
    const QString& title() const { return title_; }

    // The page a help context number leads to, through the file's context map.
    std::optional<QString> topicOfContext(std::uint32_t contextId) const;
    // The longest trailing part of a stored path that names an object inside the file: the
    // context map may hold the absolute path of the page on the machine that compiled it.
    std::optional<QString> resolveStoredPath(const QString& stored) const;

private:
    explicit ChmFile(QString fileName) : fileName_(std::move(fileName)) {}
    void add(const QString& path, QByteArray bytes);
    void readSystem();

    QString fileName_;
    QHash<QString, QByteArray> contents_;
    // Lower-case path to the stored spelling.
    QHash<QString, QString> folded_;
    QString contentsFile_;
    QString indexFile_;
    QString defaultTopic_;
    QString title_;
};

// The path with "\" turned into "/", "." and "x/.." segments resolved and the leading "/"
// removed.
QString normalizedChmPath(const QString& path);

} // namespace tdb::help
