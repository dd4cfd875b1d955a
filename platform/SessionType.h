#pragma once

namespace platform {

// Global key grabs, screen pixels and the key mapping all go through X11; a Wayland session
// only lends us XWayland, which gives none of them for other programs' windows.
bool isWaylandSession();

}  // namespace platform
