#include "help/zeb_html_help.h"

#include <QApplication>
#include <QWidget>

namespace tdb::help::ZebHtmlHelp {

namespace {

// The module-level reference to the one viewer; the viewer clears it when it goes.
TZebHtmlHelpViewer* moduleViewer = nullptr;

QChar asciiLower(QChar c) {
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? QChar(c.unicode() + 32) : c;
}

QString asciiLowered(const QString& text) {
    QString lowered = text;
    for (QChar& c : lowered) {
        c = asciiLower(c);
    }
    return lowered;
}

bool hasDirectoryPart(const QString& file) {
#ifdef _WIN32
    return file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\')) ||
           file.contains(QLatin1Char(':'));
#else
    return file.contains(QLatin1Char('/'));
#endif
}

} // namespace

bool isChmFile(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return false;
    }
    return asciiLowered(fileName.mid(dot)) == QLatin1String(".chm");
}

// --- TZebHtmlHelpViewer ---

TZebHtmlHelpViewer::TZebHtmlHelpViewer(std::unique_ptr<HtmlHelpEngine> engine)
    : viewerName_(QStringLiteral("ZebHtmlHelp")), engine_(std::move(engine)),
      defaultTopicExtension_(QStringLiteral(".htm")) {}

TZebHtmlHelpViewer::~TZebHtmlHelpViewer() {
    if (moduleViewer == this) {
        moduleViewer = nullptr;
    }
    engine_.reset();
}

std::unique_ptr<HtmlHelpEngine>
TZebHtmlHelpViewer::setEngine(std::unique_ptr<HtmlHelpEngine> engine) {
    std::swap(engine, engine_);
    return engine;
}

QString TZebHtmlHelpViewer::resolvedHelpFile() const {
    QString file = manager_ ? manager_->helpFile() : QString();
    if (file.isEmpty()) {
        QWidget* form = manager_ ? manager_->handle() : nullptr;
        if (!form && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            form = QApplication::activeWindow();
        }
        file = currentApplicationHelpFile(form);
    }
    if (!file.isEmpty() && !hasDirectoryPart(file)) {
        file.prepend(programDirectory());
    }
    return file;
}

QString TZebHtmlHelpViewer::topicUrl(const QString& topic) const {
    QString page = topic;
    const qsizetype dot = topic.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : asciiLowered(topic.mid(dot));
    if (extension != QLatin1String(".htm") && extension != QLatin1String(".html")) {
        page += defaultTopicExtension_;
    }
    return resolvedHelpFile() + QStringLiteral("::/") + page;
}

QString TZebHtmlHelpViewer::keywordOfEntry(const QString& entry) {
    const qsizetype colon = entry.indexOf(QLatin1Char(':'));
    const QString rest = colon < 0 ? entry : entry.mid(colon + 1);
    qsizetype begin = 0;
    qsizetype end = rest.size();
    while (begin < end && rest.at(begin).unicode() <= 32) {
        ++begin;
    }
    while (end > begin && rest.at(end - 1).unicode() <= 32) {
        --end;
    }
    return rest.mid(begin, end - begin);
}

void TZebHtmlHelpViewer::htmlHelp(const QString& file, int command, const QString& data) {
    if (!engine_) {
        return;
    }
    if (command == HH_CLOSE_ALL) {
        engine_->call(nullptr, QString(), command, data);
        return;
    }
    engine_->call(manager_ ? manager_->handle() : nullptr, file, command, data);
}

QString TZebHtmlHelpViewer::viewerName() {
    return viewerName_;
}

int TZebHtmlHelpViewer::understandsKeyword(const QString&) {
    return isChmFile(resolvedHelpFile()) ? 1 : 0;
}

QStringList TZebHtmlHelpViewer::helpStrings(const QString& keyword) {
    return {viewerName_ + QStringLiteral(": ") + keyword};
}

bool TZebHtmlHelpViewer::canShowTableOfContents() {
    return true;
}

void TZebHtmlHelpViewer::showTableOfContents() {
    const QString file = resolvedHelpFile();
    if (isChmFile(file)) {
        htmlHelp(file, HH_DISPLAY_TOC, QString());
    }
}

void TZebHtmlHelpViewer::showHelp(const QString& entry) {
    const QString keyword = keywordOfEntry(entry);
    const QString file = resolvedHelpFile();
    if (isChmFile(file)) {
        htmlHelp(file, HH_DISPLAY_INDEX, keyword);
    }
}

void TZebHtmlHelpViewer::notifyId(int viewerId) {
    viewerId_ = viewerId;
}

void TZebHtmlHelpViewer::softShutDown() {
    htmlHelp(QString(), HH_CLOSE_ALL, QString());
}

void TZebHtmlHelpViewer::shutDown() {
    softShutDown();
    manager_ = nullptr;
}

bool TZebHtmlHelpViewer::understandsTopic(const QString&) {
    return isChmFile(resolvedHelpFile());
}

void TZebHtmlHelpViewer::displayTopic(const QString& topic) {
    if (isChmFile(resolvedHelpFile())) {
        htmlHelp(topicUrl(topic), HH_DISPLAY_TOPIC, QString());
    }
}

bool TZebHtmlHelpViewer::understandsContext(int, const QString& helpFile) {
    return isChmFile(helpFile);
}

void TZebHtmlHelpViewer::displayHelpByContext(int contextId, const QString&) {
    const QString file = resolvedHelpFile();
    if (isChmFile(file)) {
        htmlHelp(file, HH_HELP_CONTEXT, QString::number(contextId));
    }
}

int TZebHtmlHelpViewer::selectKeyword(const QStringList& entries) {
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString& entry = entries.at(i);
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        if ((colon < 0 ? entry : entry.left(colon)) == viewerName_) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

int TZebHtmlHelpViewer::tableOfContents(const QStringList& viewerNames) {
    return static_cast<int>(viewerNames.indexOf(viewerName_));
}

// --- TZebWinHelpTester ---

bool TZebWinHelpTester::canShowALink(const QString&, const QString&) {
    return false;
}

bool TZebWinHelpTester::canShowTopic(const QString&, const QString&) {
    return false;
}

bool TZebWinHelpTester::canShowContext(int, const QString&) {
    return false;
}

QStringList TZebWinHelpTester::helpStrings(const QString& link) {
    return {QStringLiteral(": ") + link};
}

QString TZebWinHelpTester::helpPath() {
    return QString();
}

QString TZebWinHelpTester::defaultHelpFile() {
    return QString();
}

// --- module start and end ---

void initialize(HelpSystem& helpSystem, WinHelpViewer& winHelpViewer,
                std::unique_ptr<HtmlHelpEngine> engine) {
    if (moduleViewer) {
        return;
    }
    auto viewer = std::make_shared<TZebHtmlHelpViewer>(std::move(engine));
    moduleViewer = viewer.get();
    viewer->setManager(&helpSystem.registerViewer(viewer));
    helpSystem.assignHelpSelector(viewer);
    winHelpViewer.setTester(std::make_shared<TZebWinHelpTester>());
}

void finalize() {
    if (!moduleViewer) {
        return;
    }
    // Releasing may destroy the viewer: take what is needed first.
    HelpManager* manager = moduleViewer->manager();
    const int viewerId = moduleViewer->viewerId();
    moduleViewer->setManager(nullptr);
    if (manager) {
        manager->release(viewerId);
    }
}

TZebHtmlHelpViewer* HtmlHelpViewer() {
    return moduleViewer;
}

} // namespace tdb::help::ZebHtmlHelp
