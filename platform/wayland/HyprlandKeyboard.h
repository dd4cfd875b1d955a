#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace platform {

// The options in Hyprland's answer to `hyprctl getoption input:kb_options -j`; nothing when the
// answer is not one.
std::optional<QStringList> hyprlandKeyboardOptions(const QByteArray& json);

// Our option in Hyprland's input settings through hyprctl. A configuration reload drops it,
// which reading the setting back tells.
class HyprlandMappingTool : public KeyMappingTool {
  public:
    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override;
};

// Bindings added to Hyprland that run our command entry. Its GlobalShortcuts portal registers
// shortcuts without keys, leaving the binding to the user, so we bind them as on sway.
class HyprlandHotKeys : public HotKeys {
  public:
    void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) override;
    void uninstall() override;

  private:
    std::vector<HotKey> bound;
};

}  // namespace platform
