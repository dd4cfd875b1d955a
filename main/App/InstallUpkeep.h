#pragma once

#include "platform/InstallEnvironment.h"
#include "platform/ProcessRunner.h"

#include <functional>
#include <memory>

// The two one-shot steps at the start of every launch: moving a stray copy into the
// install folder, and resetting a leftover screen-capture permission once per account; and,
// while it runs, noticing that the program was uninstalled.
class InstallUpkeep {
  public:
    InstallUpkeep(platform::InstallEnvironment environment,
                  std::shared_ptr<platform::ProcessRunner> processRunner,
                  std::function<void()> terminateSoon);

    // True when the installed copy was started and this process is about to end.
    bool relocateFromDiskImageIfNeeded();
    // True when the permission record was reset just now and the marker written.
    bool migrateLegacyScreenCapturePermission();
    // True once the program's file has been missing at two checks in a row: a package upgrade
    // renames the new file over the old, never leaving the name empty, but a build that links
    // the program again does for a moment.
    bool programRemoved();

    static constexpr const char* bundleIdentifier = "local.quorvastelin.macos";
    static constexpr const char* markerName = "tcc-signature-migrated-v2";

  private:
    platform::InstallEnvironment environment;
    std::shared_ptr<platform::ProcessRunner> processRunner;
    std::function<void()> terminateSoon;
    int checksWithoutProgram = 0;
};
