#include "help/help_system.h"

#include <QCoreApplication>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tdb::help {

namespace {

QString& applicationHelpFileSlot() {
    // The program's help file is fixed; the start-up sets it all the same.
    static QString file = QStringLiteral("BRELO.chm");
    return file;
}

QString& programDirectorySlot() {
    static QString directory;
    return directory;
}

QString withTrailingSeparator(QString directory) {
    if (!directory.isEmpty() && !directory.endsWith(QLatin1Char('/'))
#ifdef _WIN32
        && !directory.endsWith(QLatin1Char('\\'))
#endif
    ) {
        directory += QLatin1Char('/');
    }
    return directory;
}

} // namespace

class HelpSystem::Request {
public:
    Request(HelpSystem& system, QWidget* window, const QString& file)
        : system_(system), window_(system.window_), file_(system.helpFile_) {
        system_.window_ = window;
        system_.helpFile_ = file;
    }
    ~Request() {
        system_.window_ = window_;
        system_.helpFile_ = file_;
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

private:
    HelpSystem& system_;
    QWidget* window_;
    QString file_;
};

HelpSystem::~HelpSystem() {
    // Viewers may release themselves while shutting down: work on a copy.
    auto viewers = viewers_;
    for (auto& registered : viewers) {
        registered.viewer->shutDown();
    }
}

HelpManager& HelpSystem::registerViewer(std::shared_ptr<CustomHelpViewer> viewer) {
    const int id = nextId_++;
    viewers_.push_back({id, viewer});
    viewer->notifyId(id);
    return *this;
}

void HelpSystem::assignHelpSelector(std::shared_ptr<HelpSelector> selector) {
    selector_ = std::move(selector);
}

void HelpSystem::release(int viewerId) {
    std::erase_if(viewers_, [viewerId](const Registered& r) { return r.id == viewerId; });
}

bool HelpSystem::showTableOfContents(QWidget* window) {
    Request request(*this, window, QString());
    std::vector<std::shared_ptr<CustomHelpViewer>> able;
    for (const auto& registered : viewers_) {
        if (registered.viewer->canShowTableOfContents()) {
            able.push_back(registered.viewer);
        }
    }
    if (able.empty()) {
        return false;
    }
    if (able.size() == 1) {
        able.front()->showTableOfContents();
        return true;
    }
    QStringList names;
    for (const auto& viewer : able) {
        names.append(viewer->viewerName());
    }
    names.sort(Qt::CaseInsensitive);
    // Without a selector the first registered viewer answers.
    std::shared_ptr<CustomHelpViewer> chosen = able.front();
    if (selector_) {
        const int index = selector_->tableOfContents(names);
        if (index < 0 || index >= names.size()) {
            return false;
        }
        const QString& name = names.at(index);
        auto found = std::find_if(able.begin(), able.end(), [&name](const auto& viewer) {
            return viewer->viewerName() == name;
        });
        if (found == able.end()) {
            return false;
        }
        chosen = *found;
    }
    chosen->showTableOfContents();
    return true;
}

bool HelpSystem::showHelp(QWidget* window, const QString& keyword, const QString& helpFile) {
    Request request(*this, window, helpFile);
    QStringList entries;
    std::vector<std::shared_ptr<CustomHelpViewer>> owners;
    for (const auto& registered : std::vector<Registered>(viewers_)) {
        if (registered.viewer->understandsKeyword(keyword) > 0) {
            for (const QString& entry : registered.viewer->helpStrings(keyword)) {
                entries.append(entry);
                owners.push_back(registered.viewer);
            }
        }
    }
    if (entries.isEmpty()) {
        return false;
    }
    qsizetype index = 0;
    if (entries.size() > 1 && selector_) {
        index = selector_->selectKeyword(entries);
        if (index < 0 || index >= entries.size()) {
            return false;
        }
    }
    owners[static_cast<std::size_t>(index)]->showHelp(entries.at(index));
    return true;
}

bool HelpSystem::showTopicHelp(QWidget* window, const QString& topic, const QString& helpFile) {
    Request request(*this, window, helpFile);
    for (const auto& registered : std::vector<Registered>(viewers_)) {
        auto* extended = dynamic_cast<ExtendedHelpViewer*>(registered.viewer.get());
        if (extended && extended->understandsTopic(topic)) {
            extended->displayTopic(topic);
            return true;
        }
    }
    return false;
}

bool HelpSystem::showContextHelp(QWidget* window, int contextId, const QString& helpFile) {
    Request request(*this, window, helpFile);
    for (const auto& registered : std::vector<Registered>(viewers_)) {
        auto* extended = dynamic_cast<ExtendedHelpViewer*>(registered.viewer.get());
        if (extended && extended->understandsContext(contextId, helpFile)) {
            extended->displayHelpByContext(contextId, helpFile);
            return true;
        }
    }
    return false;
}

bool HelpSystem::helpCommand(QWidget* window, int command, int data, const QString& helpFile) {
    switch (command) {
    case HELP_CONTENTS:
        return showTableOfContents(window);
    case HELP_CONTEXT:
        return showContextHelp(window, data, helpFile);
    case HELP_QUIT:
        for (const auto& registered : std::vector<Registered>(viewers_)) {
            registered.viewer->softShutDown();
        }
        return true;
    default:
        return false;
    }
}

void setApplicationHelpFile(const QString& file) {
    applicationHelpFileSlot() = file;
}

QString applicationHelpFile() {
    return applicationHelpFileSlot();
}

QString currentApplicationHelpFile(const QWidget* activeForm) {
    if (activeForm) {
        const QString own = activeForm->window()->property("helpFile").toString();
        if (!own.isEmpty()) {
            return own;
        }
    }
    return applicationHelpFile();
}

QString programDirectory() {
    if (!programDirectorySlot().isEmpty()) {
        return programDirectorySlot();
    }
    if (QCoreApplication::instance()) {
        return withTrailingSeparator(QCoreApplication::applicationDirPath());
    }
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return QString();
    }
    return withTrailingSeparator(QString::fromStdString(exe.parent_path().string()));
}

void setProgramDirectory(const QString& directory) {
    programDirectorySlot() = withTrailingSeparator(directory);
}

// --- WinHelp stand-in ---

QString WinHelpViewer::helpFile() const {
    QString file = manager_ ? manager_->helpFile() : QString();
    if (file.isEmpty() && tester_) {
        file = tester_->defaultHelpFile();
    }
    if (file.isEmpty()) {
        file = currentApplicationHelpFile(manager_ ? manager_->handle() : nullptr);
    }
    return file;
}

bool WinHelpViewer::isWinHelpFile(const QString& file) const {
    return file.endsWith(QStringLiteral(".hlp"), Qt::CaseInsensitive);
}

int WinHelpViewer::understandsKeyword(const QString& keyword) {
    if (tester_) {
        return tester_->canShowALink(keyword, helpFile()) ? 1 : 0;
    }
    return isWinHelpFile(helpFile()) ? 1 : 0;
}

QStringList WinHelpViewer::helpStrings(const QString& keyword) {
    if (tester_) {
        return tester_->helpStrings(keyword);
    }
    return {viewerName() + QStringLiteral(": ") + keyword};
}

void WinHelpViewer::showTableOfContents() {
    lastShown_ = QStringLiteral("contents");
}

void WinHelpViewer::showHelp(const QString& entry) {
    lastShown_ = QStringLiteral("keyword ") + entry;
}

bool WinHelpViewer::understandsTopic(const QString& topic) {
    if (tester_) {
        return tester_->canShowTopic(topic, helpFile());
    }
    return isWinHelpFile(helpFile());
}

void WinHelpViewer::displayTopic(const QString& topic) {
    lastShown_ = QStringLiteral("topic ") + topic;
}

bool WinHelpViewer::understandsContext(int contextId, const QString& helpFile) {
    const QString file = helpFile.isEmpty() ? this->helpFile() : helpFile;
    if (tester_) {
        return tester_->canShowContext(contextId, file);
    }
    return isWinHelpFile(file);
}

void WinHelpViewer::displayHelpByContext(int contextId, const QString&) {
    lastShown_ = QStringLiteral("context ") + QString::number(contextId);
}

} // namespace tdb::help
