#include "help/application_help.h"

#include "help/help_system.h"
#include "help/zeb_html_help.h"

namespace tdb::help {

namespace {

// The application's help system: the WinHelp viewer the platform brings, registered first,
// and the .chm viewer module registered after it.
struct Installed {
    HelpSystem system;
    std::shared_ptr<WinHelpViewer> winHelp = std::make_shared<WinHelpViewer>();
};

struct State {
    std::unique_ptr<Installed> installed;
    // An engine set before install(), handed to the viewer when it is created.
    std::unique_ptr<HtmlHelpEngine> pendingEngine;
    bool pendingEngineSet = false;
};

State& state() {
    static State s;
    return s;
}

Installed& ensureInstalled() {
    install();
    return *state().installed;
}

} // namespace

void install() {
    State& s = state();
    if (s.installed) {
        return;
    }
    auto installed = std::make_unique<Installed>();
    installed->winHelp->setManager(&installed->system.registerViewer(installed->winHelp));
    std::unique_ptr<HtmlHelpEngine> engine =
        s.pendingEngineSet ? std::move(s.pendingEngine) : ZebHtmlHelp::loadHtmlHelpEngine();
    s.pendingEngineSet = false;
    ZebHtmlHelp::initialize(installed->system, *installed->winHelp, std::move(engine));
    s.installed = std::move(installed);
}

void uninstall() {
    State& s = state();
    if (!s.installed) {
        return;
    }
    // The help windows close with the program.
    s.installed->system.helpCommand(nullptr, HELP_QUIT, 0, QString());
    ZebHtmlHelp::finalize();
    // The help system goes last: it still holds the viewer as its selector.
    s.installed.reset();
}

std::unique_ptr<HtmlHelpEngine> setEngine(std::unique_ptr<HtmlHelpEngine> engine) {
    State& s = state();
    if (auto* viewer = ZebHtmlHelp::HtmlHelpViewer(); viewer && s.installed) {
        return viewer->setEngine(std::move(engine));
    }
    std::swap(engine, s.pendingEngine);
    s.pendingEngineSet = true;
    return engine;
}

void showContents(QWidget* window) {
    ensureInstalled().system.helpCommand(window, HELP_CONTENTS, 0, QString());
}

void showContext(QWidget* window, int context) {
    ensureInstalled().system.showContextHelp(window, context, applicationHelpFile());
}

} // namespace tdb::help
