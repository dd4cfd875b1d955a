#include "platform/WindowPlacement.h"

#include "platform/x11/X11Connection.h"

#include <QWidget>
#include <cstdlib>
#include <cstring>

namespace platform {

void keepOnAllWorkspaces(QWidget* window) {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return;
    }
    constexpr char name[] = "_NET_WM_DESKTOP";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (atom == nullptr) {
        return;
    }
    // Window managers read the desktop a window asks for when they first map it; all ones
    // means every desktop.
    constexpr uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window->winId()), atom->atom, XCB_ATOM_CARDINAL,
                        32, 1, &allDesktops);
    xcb_flush(connection);
    std::free(atom);
}

}  // namespace platform
