#pragma once

#include <QSize>

#include <cstdint>
#include <memory>
#include <optional>

class QWidget;
class QWindow;

// The window inside the caller's window: on X11 through Qt's foreign windows (the handle is an
// X window id), on Windows through the native parent (the handle is an HWND).
namespace tdb::app {

// Client size of the native window `handle`, or nothing when the handle names no window (or
// the platform cannot tell: no foreign windows there).
std::optional<QSize> nativeWindowSize(std::uint32_t handle);

// Makes `window` a borderless child of the native window `handle`, centred in it. Returns the
// foreign parent, which must outlive the window's native handle; nothing, and `window` left as
// it was, when the handle names no window.
std::unique_ptr<QWindow> embedInNativeWindow(QWidget& window, std::uint32_t handle);

} // namespace tdb::app
