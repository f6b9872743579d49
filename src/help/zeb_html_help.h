#pragma once

#include "help/application_help.h"
#include "help/help_system.h"

#include <QString>
#include <QStringList>

#include <memory>

// The module ZebHtmlHelp: the viewer that shows compiled HTML Help (.chm) files through the HTML
// Help engine, the help system's selector, and the tester that keeps the WinHelp viewer from
// claiming requests it cannot show.
namespace tdb::help::ZebHtmlHelp {

class TZebHtmlHelpViewer final : public ExtendedHelpViewer, public HelpSelector {
public:
    // `engine` is the HTML Help entry point; none when the engine is missing, and then the
    // viewer still accepts .chm requests but shows nothing.
    explicit TZebHtmlHelpViewer(std::unique_ptr<HtmlHelpEngine> engine);
    ~TZebHtmlHelpViewer() override;
    TZebHtmlHelpViewer(const TZebHtmlHelpViewer&) = delete;
    TZebHtmlHelpViewer& operator=(const TZebHtmlHelpViewer&) = delete;

    // ICustomHelpViewer
    QString viewerName() override;
    int understandsKeyword(const QString& keyword) override;
    QStringList helpStrings(const QString& keyword) override;
    bool canShowTableOfContents() override;
    void showTableOfContents() override;
    void showHelp(const QString& entry) override;
    void notifyId(int viewerId) override;
    void softShutDown() override;
    void shutDown() override;
    // IExtendedHelpViewer
    bool understandsTopic(const QString& topic) override;
    void displayTopic(const QString& topic) override;
    bool understandsContext(int contextId, const QString& helpFile) override;
    void displayHelpByContext(int contextId, const QString& helpFile) override;
    // IHelpSelector
    int selectKeyword(const QStringList& entries) override;
    int tableOfContents(const QStringList& viewerNames) override;

    // Registration hands the manager over; shut-down drops it.
    void setManager(HelpManager* manager) { manager_ = manager; }
    HelpManager* manager() const { return manager_; }
    int viewerId() const { return viewerId_; }
    std::unique_ptr<HtmlHelpEngine> setEngine(std::unique_ptr<HtmlHelpEngine> engine);

    // The manager's help file, else the application's, a bare name put in the program's folder.
    QString resolvedHelpFile() const;
    // The resolved help file, "::/", the topic with ".htm" added unless it is an HTML page.
    QString topicUrl(const QString& topic) const;
    // The text after the entry's first ":", trimmed of blanks and control characters.
    static QString keywordOfEntry(const QString& entry);

private:
    void htmlHelp(const QString& file, int command, const QString& data);

    int viewerId_ = 0;
    QString viewerName_;
    std::unique_ptr<HtmlHelpEngine> engine_;
    HelpManager* manager_ = nullptr;
    QString defaultTopicExtension_;
};

// Declines every WinHelp request, so that the .chm viewer answers them.
class TZebWinHelpTester final : public WinHelpTester {
public:
    bool canShowALink(const QString& link, const QString& fileName) override;
    bool canShowTopic(const QString& topic, const QString& fileName) override;
    bool canShowContext(int contextId, const QString& fileName) override;
    QStringList helpStrings(const QString& link) override;
    QString helpPath() override;
    QString defaultHelpFile() override;
};

// Last "." of the name on: ".chm", ASCII letter case ignored.
bool isChmFile(const QString& fileName);

// Module start: creates the viewer over the engine, registers it, makes it the selector and
// installs the tester in the WinHelp viewer's hook.
void initialize(HelpSystem& helpSystem, WinHelpViewer& winHelpViewer,
                std::unique_ptr<HtmlHelpEngine> engine);
// Module end: releases the viewer's ID and drops the manager.
void finalize();
// The one viewer of the process; none before the start and once it is gone.
TZebHtmlHelpViewer* HtmlHelpViewer();

// The platform's HTML Help engine ("HHCtrl.ocx", HtmlHelpA) on Windows, none when it is
// missing; elsewhere the program's own .chm engine.
std::unique_ptr<HtmlHelpEngine> loadHtmlHelpEngine();

} // namespace tdb::help::ZebHtmlHelp
