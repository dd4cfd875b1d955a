#include "platform/InstallEnvironment.h"

#include "platform/Folders.h"

namespace platform {

InstallEnvironment currentInstallEnvironment() {
    // Linux installs through the package manager or `cmake --install`: there is no
    // self-contained bundle to relocate and no per-application capture permission to reset.
    return InstallEnvironment{std::nullopt, homeFolder(), supportFolder(), std::nullopt,
                              std::nullopt};
}

}  // namespace platform
