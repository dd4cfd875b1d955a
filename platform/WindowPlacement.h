#pragma once

#include <QMargins>
#include <optional>

class QWidget;

namespace platform {

// Asks the window manager to show the window on every workspace, so it follows the user from
// one to the next. Call before the window is first shown; without an X server it does nothing.
void keepOnAllWorkspaces(QWidget* window);

// The frame the window manager says it put around the window (left, top, right, bottom);
// nothing before it has said so, or without a window manager.
std::optional<QMargins> frameExtents(QWidget* window);

}  // namespace platform
