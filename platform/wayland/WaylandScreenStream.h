#pragma once

#include "platform/ScreenStream.h"

namespace platform {

// Streams a rectangle of one screen of a Wayland desktop: the desktop's ScreenCast portal
// shares that screen's monitor over PipeWire, and each new picture is cut to the rectangle.
// The portal's token for the monitor is kept in the support folder, so the desktop asks the
// user only once. Pictures come only when the screen changes. Open it on the GUI thread.
Result<std::unique_ptr<ScreenStream>> openWaylandScreenStream(
    const StreamConfiguration& configuration, SerialQueue& queue,
    ScreenStream::FrameHandler handler);

}  // namespace platform
