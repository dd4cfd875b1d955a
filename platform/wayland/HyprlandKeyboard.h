#pragma once

#include "platform/HotKeys.h"
#include "platform/KeyMappingTool.h"

#include <QByteArray>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>

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

// The values of Hyprland's bind and unbind keywords for Control plus the key running command,
// by key code so that the physical key binds whatever the layout.
std::pair<QString, QString> hyprlandBindings(const HotKey& key, const QString& command);

// Bindings added to Hyprland that run our command entry. Its GlobalShortcuts portal registers
// shortcuts without keys, leaving the binding to the user, so we bind them as on sway.
std::shared_ptr<HotKeys> hyprlandHotKeys();

}  // namespace platform
