#pragma once

namespace platform {

// The XKB option that turns left Super into left Control and right Super into right Control.
inline constexpr char superAsControlOption[] = "altwin:ctrl_win";

// The system-wide Super → Control mapping.
class KeyMappingTool {
  public:
    virtual ~KeyMappingTool() = default;
    // True only when the tool ran and exited 0.
    virtual bool applyMapping(bool enabled) = 0;
    // Whether the X server still carries our option; desktops reset it on layout switches.
    virtual bool isMappingApplied() = 0;
};

}  // namespace platform
