#pragma once

#include <QString>

namespace platform {

// The session's desktop: an X server, or the Wayland desktop that runs it.
enum class KeyboardDesktop { x11, sway, gnome, kde, hyprland, unsupported };

// Read from Qt's platform and the variables the desktops set for their clients.
KeyboardDesktop sessionKeyboardDesktop(const QString& platformName);

// The name handed to the key guardian, and back.
QString keyboardDesktopName(KeyboardDesktop desktop);
KeyboardDesktop keyboardDesktopNamed(const QString& name);

}  // namespace platform
