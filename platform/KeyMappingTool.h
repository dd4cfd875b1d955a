#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// The XKB option that turns left Super into left Control and right Super into right Control.
inline constexpr char superAsControlOption[] = "altwin:ctrl_win";

// XKB options as desktops keep them: one comma-separated line, where empty entries carry nothing.
inline QStringList splitXkbOptions(const QString& text) {
    QStringList options;
    for (const QString& option : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!option.trimmed().isEmpty()) {
            options << option.trimmed();
        }
    }
    return options;
}

// The user's options with ours added last, or taken out again; theirs stay as they were.
inline QStringList withOurOption(QStringList options, bool enabled) {
    options.removeAll(QString::fromLatin1(superAsControlOption));
    if (enabled) {
        options << QString::fromLatin1(superAsControlOption);
    }
    return options;
}

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
