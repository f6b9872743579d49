#include "app/embedding.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(TDB_HAVE_XCB)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace tdb::app {

std::optional<QSize> nativeWindowSize(std::uint32_t handle) {
    if (handle == 0) {
        return std::nullopt;
    }
#if defined(Q_OS_WIN)
    HWND hwnd = reinterpret_cast<HWND>(static_cast<quintptr>(handle));
    RECT client{};
    if (!IsWindow(hwnd) || !GetClientRect(hwnd, &client)) {
        return std::nullopt;
    }
    return QSize(client.right - client.left, client.bottom - client.top);
#elif defined(TDB_HAVE_XCB)
    // Only the xcb platform has foreign windows; the offscreen one may still answer for X11
    // (its GLX variant), without a connection of its own.
    if (qGuiApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return std::nullopt;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return std::nullopt;
    }
    // Asked with checked requests, so a handle that is no window (or a pixmap, which would pass
    // the geometry request) yields an error reply here instead of a logged X error.
    auto attributesCookie = xcb_get_window_attributes(connection, handle);
    auto geometryCookie = xcb_get_geometry(connection, handle);
    xcb_generic_error_t* attributesError = nullptr;
    xcb_generic_error_t* geometryError = nullptr;
    auto* attributes =
        xcb_get_window_attributes_reply(connection, attributesCookie, &attributesError);
    auto* geometry = xcb_get_geometry_reply(connection, geometryCookie, &geometryError);
    std::optional<QSize> size;
    if (attributes != nullptr && geometry != nullptr) {
        size = QSize(geometry->width, geometry->height);
    }
    std::free(attributes);
    std::free(geometry);
    std::free(attributesError);
    std::free(geometryError);
    return size;
#else
    return std::nullopt;
#endif
}

std::unique_ptr<QWindow> embedInNativeWindow(QWidget& window, std::uint32_t handle) {
    auto parentSize = nativeWindowSize(handle);
    if (!parentSize) {
        return nullptr;
    }
    std::unique_ptr<QWindow> parent(QWindow::fromWinId(static_cast<WId>(handle)));
    if (!parent) {
        return nullptr;
    }
    window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window.winId();
    window.windowHandle()->setParent(parent.get());
    // Centred in the caller's window where it fits, else at its top left corner.
    QSize size = window.size();
    window.move(std::max(0, (parentSize->width() - size.width()) / 2),
                std::max(0, (parentSize->height() - size.height()) / 2));
    return parent;
}

} // namespace tdb::app
