#pragma once

#include "platform/WindowPlacement.h"

namespace platform {

// Through the window manager's hints on the X server; without one it does nothing.
class X11WindowPlacement : public WindowPlacement {
  public:
    void keepOnAllWorkspaces(QWidget* window) override;
    std::optional<QMargins> frameExtents(QWidget* window) const override;
};

}  // namespace platform
