#pragma once

#include <xcb/xcb.h>

namespace platform {

// Qt's own connection to the X server, or null when Qt runs on another platform (offscreen,
// Wayland); callers must treat null as "no X server".
xcb_connection_t* x11Connection();

// The root window of the connection's first screen.
xcb_window_t x11RootWindow(xcb_connection_t* connection);

}  // namespace platform
