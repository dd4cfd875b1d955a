#pragma once

#include "platform/KeyMappingTool.h"

#include <QString>
#include <memory>

namespace platform {

// The desktops whose keyboard settings we know how to change.
enum class KeyboardDesktop { x11, sway, gnome, kde, hyprland, unsupported };

// Read from Qt's platform and the variables the desktops set for their clients.
KeyboardDesktop sessionKeyboardDesktop(const QString& platformName);

// The name handed to the key guardian, and back.
QString keyboardDesktopName(KeyboardDesktop desktop);
KeyboardDesktop keyboardDesktopNamed(const QString& name);

// Applies and removes our option on that desktop, keeping the user's own options.
std::shared_ptr<KeyMappingTool> desktopMappingTool(KeyboardDesktop desktop);

}  // namespace platform
