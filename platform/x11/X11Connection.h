#pragma once

#include <xcb/xcb.h>
#include <QImage>
#include <QRect>

namespace platform {

// Qt's own connection to the X server, or null when Qt runs on another platform (offscreen,
// Wayland); callers must treat null as "no X server".
xcb_connection_t* x11Connection();

// The root window of the connection's first screen.
xcb_window_t x11RootWindow(xcb_connection_t* connection);

// Whether the server stores a pixel as 32 bits, blue first in memory, as every layout we read.
bool rootHasThirtyTwoBitPixels(xcb_connection_t* connection);

// The root window's pixels in a rectangle of its own, as they are now; null when the server
// refuses. The image owns the server's reply: nothing is copied. Only for 32-bit pixels.
QImage x11RootPixels(xcb_connection_t* connection, const QRect& pixels);

}  // namespace platform
