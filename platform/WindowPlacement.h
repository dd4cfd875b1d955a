#pragma once

class QWidget;

namespace platform {

// Asks the window manager to show the window on every workspace, so it follows the user from
// one to the next. Call before the window is first shown; without an X server it does nothing.
void keepOnAllWorkspaces(QWidget* window);

}  // namespace platform
