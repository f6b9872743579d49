#include "help/chm_help_engine.h"

#include "help/chm_file.h"
#include "help/help_window.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdint>
#include <limits>
#include <optional>

namespace tdb::help {

namespace {

// Two names of the same file count as one window.
QString fileKey(const QString& file) {
    const QFileInfo info(file);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

ChmHelpEngine::~ChmHelpEngine() {
    // Without the application the windows are gone with it and must not be touched.
    if (!QCoreApplication::instance()) {
        return;
    }
    for (const auto& window : windows_) {
        delete window.data();
    }
}

std::vector<HelpWindow*> ChmHelpEngine::windows() const {
    std::vector<HelpWindow*> live;
    for (const auto& window : windows_) {
        if (window) {
            live.push_back(window.data());
        }
    }
    return live;
}

HelpWindow* ChmHelpEngine::findWindow(const QString& chmFile) const {
    const QString key = fileKey(chmFile);
    for (HelpWindow* window : windows()) {
        if (fileKey(window->file().fileName()) == key) {
            return window;
        }
    }
    return nullptr;
}

HelpWindow* ChmHelpEngine::windowFor(const QString& chmFile) {
    std::erase_if(windows_, [](const QPointer<HelpWindow>& window) { return window.isNull(); });
    if (HelpWindow* window = findWindow(chmFile)) {
        return window;
    }
    auto file = ChmFile::open(chmFile);
    if (!file) {
        return nullptr;
    }
    auto* window = new HelpWindow(std::move(file));
    windows_.emplace_back(window);
    return window;
}

void ChmHelpEngine::closeAll() {
    for (const auto& window : windows_) {
        if (window) {
            window->close();
        }
    }
    windows_.clear();
}

void ChmHelpEngine::call(QWidget*, const QString& file, int command, const QString& data) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return;
    }
    if (command == HH_CLOSE_ALL) {
        closeAll();
        return;
    }
    if (command != HH_DISPLAY_TOPIC && command != HH_DISPLAY_TOC && command != HH_DISPLAY_INDEX &&
        command != HH_HELP_CONTEXT) {
        return;
    }
    // "file.chm::/topic.htm" names a page inside the file.
    const qsizetype separator = file.indexOf(QLatin1String("::"));
    const QString chmFile = separator < 0 ? file : file.left(separator);
    const QString topic = separator < 0 ? QString() : file.mid(separator + 2);
    if (chmFile.isEmpty()) {
        return;
    }

    std::optional<QString> contextTopic;
    if (command == HH_HELP_CONTEXT) {
        bool ok = false;
        const qlonglong id = data.trimmed().toLongLong(&ok);
        if (!ok || id < std::numeric_limits<std::int32_t>::min() ||
            id > std::numeric_limits<std::uint32_t>::max()) {
            return;
        }
        const bool existed = findWindow(chmFile) != nullptr;
        HelpWindow* window = windowFor(chmFile);
        if (!window) {
            return;
        }
        contextTopic = window->file().topicOfContext(static_cast<std::uint32_t>(id));
        if (!contextTopic) {
            // An unknown context opens nothing; a window made only to look it up goes again.
            if (!existed) {
                std::erase_if(windows_,
                              [window](const QPointer<HelpWindow>& w) { return w == window; });
                delete window;
            }
            return;
        }
    }

    HelpWindow* window = windowFor(chmFile);
    if (!window) {
        return;
    }
    switch (command) {
    case HH_DISPLAY_TOPIC:
        if (normalizedChmPath(topic).isEmpty()) {
            window->showTopic(window->file().defaultTopic());
        } else {
            window->showTopic(topic);
        }
        break;
    case HH_DISPLAY_TOC:
        window->showContents();
        break;
    case HH_DISPLAY_INDEX:
        window->showIndex(data);
        break;
    case HH_HELP_CONTEXT:
        window->showTopic(*contextTopic);
        window->showContents();
        break;
    default:
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tdb::help
