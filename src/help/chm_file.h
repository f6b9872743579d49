#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

struct chmFile;

namespace tdb::help {

// A compiled HTML Help file opened for reading. Paths inside the file are written without the
// leading "/" ("main.htm", "img/logo.png"); a damaged file gives empty answers, never a crash.
class ChmFile {
public:
    // None when the file is missing or not a compiled HTML Help file.
    static std::unique_ptr<ChmFile> open(const QString& fileName);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    const QString& fileName() const { return fileName_; }
    bool contains(const QString& path) const { return find(path).has_value(); }
    // The path as the file spells it: the same text, else the same one ignoring letter case.
    std::optional<QString> find(const QString& path) const;
    // The object's bytes; none when it is missing, unreadable or unreasonably large.
    std::optional<QByteArray> read(const QString& path) const;
    // The file's pages and other contents, directories and the system objects left out.
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
    ChmFile(chmFile* handle, QString fileName);
    void readSystem();

    chmFile* handle_;
    QString fileName_;
    QString contentsFile_;
    QString indexFile_;
    QString defaultTopic_;
    QString title_;
};

// The path without its leading "/" and "./", its "\" turned into "/", "x/../" and "#anchor"
// left as they are.
QString normalizedChmPath(const QString& path);

} // namespace tdb::help
