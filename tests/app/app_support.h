#pragma once

#include "app/dialogs.h"
#include "help/application_help.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <ostream>

class QApplication;

// Texts of the window in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// Fixtures of the window tests: the one application object, dialogs that answer from a script,
// and a help engine that records the commands it is sent.
namespace tdb::test {

// The process's application object, on the offscreen platform unless one was chosen.
QApplication& application();

class ScriptedDialogs : public app::Dialogs {
public:
    // Answers of the file dialog in turn; nothing (or an exhausted queue) cancels.
    std::deque<std::optional<QString>> files;
    // Called when a message or error box would be shown, before it is recorded.
    std::function<void(const QString&)> onBox;

    std::vector<app::FileDialogSettings> fileRequests;
    std::vector<QString> messages;
    std::vector<QString> errors;

    std::optional<QString> chooseFile(QWidget* parent,
                                      const app::FileDialogSettings& settings) override;
    void message(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
};

struct HelpCall {
    int command = -1;
    QString file;
    QString data;
};

// Installs itself as the help engine for the life of the object.
class RecordingHelpEngine {
public:
    RecordingHelpEngine();
    ~RecordingHelpEngine();
    RecordingHelpEngine(const RecordingHelpEngine&) = delete;
    RecordingHelpEngine& operator=(const RecordingHelpEngine&) = delete;

    std::vector<HelpCall> calls;

private:
    std::unique_ptr<help::HtmlHelpEngine> previous_;
};

} // namespace tdb::test
