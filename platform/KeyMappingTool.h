#pragma once

#include <QString>
#include <optional>

namespace platform {

// The XKB option that turns left Super into left Control and right Super into right Control.
inline constexpr char superAsControlOption[] = "altwin:ctrl_win";

// The system-wide Super → Control mapping.
class KeyMappingTool {
  public:
    virtual ~KeyMappingTool() = default;
    // True only when the desktop took the mapping.
    virtual bool applyMapping(bool enabled) = 0;
    // Whether the desktop still carries our option; desktops reset it on layout switches and
    // reloads.
    virtual bool isMappingApplied() = 0;
    // Why this desktop's mapping cannot be changed at all; nothing when it can.
    virtual std::optional<QString> unavailableReason() const { return std::nullopt; }
};

}  // namespace platform
