#pragma once

#include "platform/Screens.h"

namespace platform {

// The screens as Qt reports them on an X server, where any client may read the screen.
class QtScreens : public Screens {
  public:
    ScreenLayout layout() const override;
    std::optional<std::vector<DesktopPiece>> desktopStill() const override;
};

}  // namespace platform
