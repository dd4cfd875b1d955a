#include "platform/Backends.h"

#include "platform/KeyGuard.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/wayland/GnomeKeyboard.h"
#include "platform/wayland/HyprlandKeyboard.h"
#include "platform/wayland/PortalDesktop.h"
#include "platform/wayland/PortalHotKeys.h"
#include "platform/wayland/SwayKeyboard.h"
#include "platform/wayland/WaylandScreenStream.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11ScreenStream.h"

#include <QGuiApplication>

namespace platform {

namespace {

Backends x11Backends() {
    return {
        [] { return std::make_shared<QtScreens>(); },
        [] { return std::make_shared<X11ScreenCapture>(); },
        openX11ScreenStream,
        openQuickTimeMovieWriter,
        [] {
            return std::make_shared<GuardedMappingTool>(KeyboardDesktop::x11,
                                                        desktopMappingTool(KeyboardDesktop::x11));
        },
        [] { return std::make_shared<X11HotKeys>(); },
    };
}

std::shared_ptr<HotKeys> waylandHotKeys(KeyboardDesktop desktop) {
    switch (desktop) {
        case KeyboardDesktop::sway:
            return swayHotKeys();
        case KeyboardDesktop::hyprland:
            return hyprlandHotKeys();
        case KeyboardDesktop::kde:
            return std::make_shared<PortalHotKeys>();
        case KeyboardDesktop::gnome:
            return gnomeHotKeys();
        default:
            // No way to bind keys here yet: grabs on an X server that is not the display
            // stay absent.
            return std::make_shared<X11HotKeys>();
    }
}

// Stills through the desktop's portal; the keyboard through the desktop's own settings.
Backends waylandBackends() {
    Backends backends = x11Backends();
    const KeyboardDesktop keyboard = sessionKeyboardDesktop(QStringLiteral("wayland"));
    backends.makeKeyMappingTool = [keyboard] {
        return std::make_shared<GuardedMappingTool>(keyboard, desktopMappingTool(keyboard));
    };
    backends.makeHotKeys = [keyboard] { return waylandHotKeys(keyboard); };
    const auto desktop = std::make_shared<PortalDesktop>();
    backends.makeScreens = [desktop] { return desktop; };
    backends.makeScreenCapture = [desktop] { return desktop; };
    backends.makeScreenStream = openWaylandScreenStream;
    return backends;
}

}  // namespace

const Backends& sessionBackends() {
    static const Backends backends = QGuiApplication::platformName() == QStringLiteral("wayland")
                                         ? waylandBackends()
                                         : x11Backends();
    return backends;
}

}  // namespace platform
