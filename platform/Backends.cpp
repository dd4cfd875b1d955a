#include "platform/Backends.h"

#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/x11/KeyGuard.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11ScreenStream.h"

namespace platform {

namespace {

Backends x11Backends() {
    return {
        [] { return std::make_shared<X11ScreenCapture>(); },
        openX11ScreenStream,
        openQuickTimeMovieWriter,
        [] { return std::make_shared<GuardedMappingTool>(); },
        [] { return std::make_shared<X11HotKeys>(); },
    };
}

}  // namespace

const Backends& sessionBackends() {
    // Every session reaches its screen through X for now: an X11 desktop, or XWayland.
    static const Backends backends = x11Backends();
    return backends;
}

}  // namespace platform
