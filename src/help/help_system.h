#pragma once

#include "help/application_help.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QWidget;

// The program's help system: a help manager that hands every request to the viewers registered
// with it, in registration order, and a selector that picks among them when several can answer.
namespace tdb::help {

// What a registered viewer sees of the manager.
class HelpManager {
public:
    virtual ~HelpManager() = default;
    // The help file named by the request being served; empty when the request named none.
    virtual QString helpFile() const = 0;
    // The window that made the request being served (none outside a request).
    virtual QWidget* handle() const = 0;
    // Unregisters the viewer with this ID; the manager drops its reference to it.
    virtual void release(int viewerId) = 0;
};

class CustomHelpViewer {
public:
    virtual ~CustomHelpViewer() = default;
    virtual QString viewerName() = 0;
    // How many help entries the viewer has for the keyword; 0 declines it.
    virtual int understandsKeyword(const QString& keyword) = 0;
    // The viewer's entries for the keyword, offered to the selector when several viewers answer.
    virtual QStringList helpStrings(const QString& keyword) = 0;
    virtual bool canShowTableOfContents() = 0;
    virtual void showTableOfContents() = 0;
    // Shows one of the entries that helpStrings gave.
    virtual void showHelp(const QString& entry) = 0;
    virtual void notifyId(int viewerId) = 0;
    // Closes what the viewer shows; shutDown also lets go of the manager.
    virtual void softShutDown() = 0;
    virtual void shutDown() = 0;
};

class ExtendedHelpViewer : public CustomHelpViewer {
public:
    virtual bool understandsTopic(const QString& topic) = 0;
    virtual void displayTopic(const QString& topic) = 0;
    virtual bool understandsContext(int contextId, const QString& helpFile) = 0;
    virtual void displayHelpByContext(int contextId, const QString& helpFile) = 0;
};

class HelpSelector {
public:
    virtual ~HelpSelector() = default;
    // Index of the chosen entry among the help strings of every viewer that knows the keyword.
    virtual int selectKeyword(const QStringList& entries) = 0;
    // Index of the chosen viewer among the sorted names of those that show a table of contents.
    virtual int tableOfContents(const QStringList& viewerNames) = 0;
};

// WinHelp commands understood by helpCommand.
enum WinHelpCommand : int {
    HELP_CONTEXT = 1,
    HELP_QUIT = 2,
    HELP_CONTENTS = 3,
};

// The application's help system and the manager its viewers talk to.
class HelpSystem final : public HelpManager {
public:
    HelpSystem() = default;
    // Shuts every viewer still registered down.
    ~HelpSystem() override;
    HelpSystem(const HelpSystem&) = delete;
    HelpSystem& operator=(const HelpSystem&) = delete;

    // Registers a viewer: hands it its ID through notifyId and returns the manager it keeps.
    HelpManager& registerViewer(std::shared_ptr<CustomHelpViewer> viewer);
    void assignHelpSelector(std::shared_ptr<HelpSelector> selector);

    // The requests. Each answers whether a viewer took it; `window` is the asking window.
    bool showTableOfContents(QWidget* window);
    bool showHelp(QWidget* window, const QString& keyword, const QString& helpFile);
    bool showTopicHelp(QWidget* window, const QString& topic, const QString& helpFile);
    bool showContextHelp(QWidget* window, int contextId, const QString& helpFile);
    // A WinHelp command (HELP_CONTENTS, HELP_CONTEXT with the id as data, HELP_QUIT).
    bool helpCommand(QWidget* window, int command, int data, const QString& helpFile);

    // HelpManager
    QString helpFile() const override { return helpFile_; }
    QWidget* handle() const override { return window_; }
    void release(int viewerId) override;

    std::size_t viewerCount() const { return viewers_.size(); }

private:
    struct Registered {
        int id;
        std::shared_ptr<CustomHelpViewer> viewer;
    };
    // Sets the request's window and file for the length of one request.
    class Request;

    std::vector<Registered> viewers_;
    std::shared_ptr<HelpSelector> selector_;
    int nextId_ = 1;
    QWidget* window_ = nullptr;
    QString helpFile_;
};

// The help file of the application's active form: its "helpFile" property when set, else the
// application's help file.
QString currentApplicationHelpFile(const QWidget* activeForm);
// The folder of the program file, where a bare help file name is looked for, with its trailing
// separator. Tests may set another; an empty text returns to the real one.
QString programDirectory();
void setProgramDirectory(const QString& directory);

// The stand-in for the platform's WinHelp viewer. This system has no WinHelp engine, so it
// shows nothing; it claims a request only with its tester's consent or, without a tester, for
// a WinHelp (.hlp) file.
class WinHelpTester {
public:
    virtual ~WinHelpTester() = default;
    virtual bool canShowALink(const QString& link, const QString& fileName) = 0;
    virtual bool canShowTopic(const QString& topic, const QString& fileName) = 0;
    virtual bool canShowContext(int contextId, const QString& fileName) = 0;
    virtual QStringList helpStrings(const QString& link) = 0;
    virtual QString helpPath() = 0;
    virtual QString defaultHelpFile() = 0;
};

class WinHelpViewer final : public ExtendedHelpViewer {
public:
    void setManager(HelpManager* manager) { manager_ = manager; }
    // The tester hook.
    void setTester(std::shared_ptr<WinHelpTester> tester) { tester_ = std::move(tester); }
    const std::shared_ptr<WinHelpTester>& tester() const { return tester_; }
    // What the viewer was last asked to show ("" when nothing); it has no engine to show it.
    const QString& lastShown() const { return lastShown_; }

    QString viewerName() override { return QStringLiteral("WinHelp"); }
    int understandsKeyword(const QString& keyword) override;
    QStringList helpStrings(const QString& keyword) override;
    bool canShowTableOfContents() override { return true; }
    void showTableOfContents() override;
    void showHelp(const QString& entry) override;
    void notifyId(int viewerId) override { viewerId_ = viewerId; }
    void softShutDown() override {}
    void shutDown() override { manager_ = nullptr; }
    bool understandsTopic(const QString& topic) override;
    void displayTopic(const QString& topic) override;
    bool understandsContext(int contextId, const QString& helpFile) override;
    void displayHelpByContext(int contextId, const QString& helpFile) override;

private:
    QString helpFile() const;
    bool isWinHelpFile(const QString& file) const;

    int viewerId_ = 0;
    HelpManager* manager_ = nullptr;
    std::shared_ptr<WinHelpTester> tester_;
    QString lastShown_;
};

} // namespace tdb::help
