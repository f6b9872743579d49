#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class QWidget;

// What the rest of the program sees of the help system: the application's help file and the
// two requests of the main window. Behind it: the help manager with its registered viewers,
// the HTML Help viewer and the HTML Help engine.
namespace tdb::help {

// The HTML Help commands the viewer sends to the engine.
enum HtmlHelpCommand : int {
    HH_DISPLAY_TOPIC = 0,
    HH_DISPLAY_TOC = 1,
    HH_DISPLAY_INDEX = 2,
    HH_HELP_CONTEXT = 15,
    HH_CLOSE_ALL = 18,
};

// The engine behind the viewer: on Linux the project's own .chm reader and help window.
class HtmlHelpEngine {
public:
    virtual ~HtmlHelpEngine() = default;
    // `window` is the caller's window (none for HH_CLOSE_ALL), `file` the .chm file or a topic
    // URL "file::/topic", `data` the command's datum (keyword text for HH_DISPLAY_INDEX, the
    // context number for HH_HELP_CONTEXT).
    virtual void call(QWidget* window, const QString& file, int command, const QString& data) = 0;
};

// Registers the HTML Help viewer with the help manager; done once before the main window is
// created. uninstall() releases it at the end of the program.
void install();
void uninstall();

// Replaces the engine (tests install a recording one); returns the previous engine.
std::unique_ptr<HtmlHelpEngine> setEngine(std::unique_ptr<HtmlHelpEngine> engine);

// The application help file, a bare name resolved against the program's folder ("BRELO.chm").
void setApplicationHelpFile(const QString& file);
QString applicationHelpFile();

// The help button: the table of contents of the help file.
void showContents(QWidget* window);
// F1: the topic of a help context.
void showContext(QWidget* window, int context);

} // namespace tdb::help
