#pragma once

#include <QMargins>
#include <optional>

class QWidget;

namespace platform {

// What a window manager lets a client say about where its windows go. As it stands, for
// desktops that place windows themselves and tell nothing.
class WindowPlacement {
  public:
    virtual ~WindowPlacement() = default;
    // Asks to show the window on every workspace, so it follows the user from one to the
    // next. Call before the window is first shown.
    virtual void keepOnAllWorkspaces(QWidget*) {}
    // The frame the window manager says it put around the window (left, top, right, bottom);
    // nothing before it has said so.
    virtual std::optional<QMargins> frameExtents(QWidget*) const { return std::nullopt; }
};

}  // namespace platform
