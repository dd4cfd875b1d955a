#pragma once

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

}  // namespace platform
