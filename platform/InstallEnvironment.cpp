#include "platform/InstallEnvironment.h"

#include "platform/Folders.h"

#include <QCoreApplication>

namespace platform {

InstallEnvironment currentInstallEnvironment() {
    // Linux installs through the package manager or `cmake --install`: there is no
    // self-contained bundle to relocate and no per-application capture permission to reset.
    const QString program = QCoreApplication::applicationFilePath();
    return InstallEnvironment{
        std::nullopt, homeFolder(), supportFolder(),
        std::nullopt, std::nullopt, program.isEmpty() ? std::nullopt : std::optional(program)};
}

}  // namespace platform
