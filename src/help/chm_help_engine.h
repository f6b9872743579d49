#pragma once

#include "help/application_help.h"

#include <QPointer>
#include <QString>

#include <vector>

namespace tdb::help {

class HelpWindow;

// The HTML Help engine of this system: reads the .chm file itself and shows it in a help window
// of its own, one per file, reused by later requests. A file that is missing or unreadable, an
// unknown context or a program without a widget application shows nothing and reports nothing.
class ChmHelpEngine final : public HtmlHelpEngine {
public:
    ChmHelpEngine() = default;
    ~ChmHelpEngine() override;
    ChmHelpEngine(const ChmHelpEngine&) = delete;
    ChmHelpEngine& operator=(const ChmHelpEngine&) = delete;

    void call(QWidget* window, const QString& file, int command, const QString& data) override;

    // The help windows open now.
    std::vector<HelpWindow*> windows() const;

private:
    HelpWindow* findWindow(const QString& chmFile) const;
    // The file's window, made (hidden) when there is none; none when the file cannot be read.
    HelpWindow* windowFor(const QString& chmFile);
    void closeAll();

    std::vector<QPointer<HelpWindow>> windows_;
};

} // namespace tdb::help
