#include "help/chm_help_engine.h"
#include "help/zeb_html_help.h"

#ifdef _WIN32
#include <QDir>
#include <QWidget>

#include <windows.h>
#endif

namespace tdb::help::ZebHtmlHelp {

#ifdef _WIN32
namespace {

// "HHCtrl.ocx" loaded at run time; the engine exists only when its entry point was found.
class WindowsHtmlHelpEngine final : public HtmlHelpEngine {
public:
    using EntryPoint = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

    WindowsHtmlHelpEngine(HMODULE library, EntryPoint entry) : library_(library), entry_(entry) {}
    ~WindowsHtmlHelpEngine() override {
        entry_ = nullptr;
        FreeLibrary(library_);
    }
    WindowsHtmlHelpEngine(const WindowsHtmlHelpEngine&) = delete;
    WindowsHtmlHelpEngine& operator=(const WindowsHtmlHelpEngine&) = delete;

    void call(QWidget* window, const QString& file, int command, const QString& data) override {
        if (!entry_) {
            return;
        }
        if (command == HH_CLOSE_ALL) {
            entry_(nullptr, nullptr, HH_CLOSE_ALL, 0);
            return;
        }
        const QByteArray name = QDir::toNativeSeparators(file).toLocal8Bit();
        const QByteArray keyword = data.toLocal8Bit();
        DWORD_PTR datum = 0;
        if (command == HH_DISPLAY_INDEX) {
            datum = reinterpret_cast<DWORD_PTR>(keyword.constData());
        } else if (command == HH_HELP_CONTEXT) {
            datum = static_cast<DWORD_PTR>(data.toUInt());
        }
        HWND handle = window ? reinterpret_cast<HWND>(window->winId()) : nullptr;
        entry_(handle, name.constData(), static_cast<UINT>(command), datum);
    }

private:
    HMODULE library_;
    EntryPoint entry_;
};

} // namespace

std::unique_ptr<HtmlHelpEngine> loadHtmlHelpEngine() {
    HMODULE library = LoadLibraryA("HHCtrl.ocx");
    if (!library) {
        return nullptr;
    }
    auto entry = reinterpret_cast<WindowsHtmlHelpEngine::EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpA")));
    if (!entry) {
        FreeLibrary(library);
        return nullptr;
    }
    return std::make_unique<WindowsHtmlHelpEngine>(library, entry);
}

#else

std::unique_ptr<HtmlHelpEngine> loadHtmlHelpEngine() {
    return std::make_unique<ChmHelpEngine>();
}

#endif

} // namespace tdb::help::ZebHtmlHelp
