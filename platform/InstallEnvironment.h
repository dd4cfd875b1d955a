#pragma once

#include <QString>
#include <optional>

namespace platform {

// Where the running program sits and which system tools can install it or reset its
// screen-capture permission. A desktop without application bundles or a permission store
// has neither, and the upkeep that needs them answers false.
struct InstallEnvironment {
    std::optional<QString> bundlePath;
    QString homeFolder;
    QString supportFolder;
    std::optional<QString> launcherTool;
    std::optional<QString> permissionTool;
    // The program's own file, which removing its package takes away.
    std::optional<QString> programFile;
};

InstallEnvironment currentInstallEnvironment();

}  // namespace platform
