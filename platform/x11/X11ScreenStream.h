#pragma once

#include "platform/ScreenStream.h"

namespace platform {

// Grabs the X server named by $DISPLAY with MIT-SHM on a thread of its own, draws the pointer
// in from XFixes and uses XDamage to tell changed frames from idle ones.
Result<std::unique_ptr<ScreenStream>> openX11ScreenStream(const StreamConfiguration& configuration,
                                                          SerialQueue& queue,
                                                          ScreenStream::FrameHandler handler);

}  // namespace platform
