#include "platform/x11/X11WindowPlacement.h"

#include "platform/x11/X11Connection.h"

#include <QWidget>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t value = atom != nullptr ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(atom);
    return value;
}

}  // namespace

std::optional<QMargins> X11WindowPlacement::frameExtents(QWidget* window) const {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return std::nullopt;
    }
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window->winId()),
                         atomNamed(connection, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4),
        nullptr);
    std::optional<QMargins> extents;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
        const auto* sides = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        extents = QMargins(static_cast<int>(sides[0]), static_cast<int>(sides[2]),
                           static_cast<int>(sides[1]), static_cast<int>(sides[3]));
    }
    std::free(reply);
    return extents;
}

void X11WindowPlacement::keepOnAllWorkspaces(QWidget* window) {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return;
    }
    const xcb_atom_t desktop = atomNamed(connection, "_NET_WM_DESKTOP");
    if (desktop == XCB_ATOM_NONE) {
        return;
    }
    // Window managers read the desktop a window asks for when they first map it; all ones
    // means every desktop.
    constexpr uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window->winId()), desktop, XCB_ATOM_CARDINAL, 32,
                        1, &allDesktops);
    xcb_flush(connection);
}

}  // namespace platform
