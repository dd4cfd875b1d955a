#include "platform/Backends.h"

#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/wayland/PortalDesktop.h"
#include "platform/wayland/WaylandScreenStream.h"
#include "platform/x11/KeyGuard.h"
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
        [] { return std::make_shared<GuardedMappingTool>(); },
        [] { return std::make_shared<X11HotKeys>(); },
    };
}

// Stills through the desktop's portal. The key mapping and the hot keys keep the X11 pieces,
// which find no X server and so stay off.
Backends waylandBackends() {
    Backends backends = x11Backends();
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
