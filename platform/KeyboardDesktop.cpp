#include "platform/KeyboardDesktop.h"

#include "platform/wayland/GnomeKeyboard.h"
#include "platform/wayland/HyprlandKeyboard.h"
#include "platform/wayland/KdeKeyboard.h"
#include "platform/wayland/SwayKeyboard.h"
#include "platform/x11/SetxkbmapTool.h"

#include <array>

namespace platform {

namespace {

constexpr std::array<std::pair<KeyboardDesktop, const char*>, 6> desktopNames{{
    {KeyboardDesktop::x11, "x11"},
    {KeyboardDesktop::sway, "sway"},
    {KeyboardDesktop::gnome, "gnome"},
    {KeyboardDesktop::kde, "kde"},
    {KeyboardDesktop::hyprland, "hyprland"},
    {KeyboardDesktop::unsupported, "unsupported"},
}};

// A desktop whose keyboard settings we cannot reach: the switch stays, and says so.
class UnsupportedMappingTool : public KeyMappingTool {
  public:
    bool applyMapping(bool) override { return false; }
    bool isMappingApplied() override { return false; }
    std::optional<QString> unavailableReason() const override {
        QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        if (desktop.isEmpty()) {
            desktop = QStringLiteral("không rõ");
        }
        return QStringLiteral(
                   "Không thể đổi phím Command → Control: chưa hỗ trợ máy tính để bàn "
                   "này (%1)")
            .arg(desktop);
    }
};

bool currentDesktopIs(const char* name) {
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return desktops.contains(QString::fromLatin1(name), Qt::CaseInsensitive);
}

}  // namespace

KeyboardDesktop sessionKeyboardDesktop(const QString& platformName) {
    if (platformName != QStringLiteral("wayland")) {
        return KeyboardDesktop::x11;
    }
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK") || currentDesktopIs("sway")) {
        return KeyboardDesktop::sway;
    }
    if (!qEnvironmentVariableIsEmpty("HYPRLAND_INSTANCE_SIGNATURE") ||
        currentDesktopIs("Hyprland")) {
        return KeyboardDesktop::hyprland;
    }
    if (currentDesktopIs("GNOME")) {
        return KeyboardDesktop::gnome;
    }
    if (currentDesktopIs("KDE")) {
        return KeyboardDesktop::kde;
    }
    return KeyboardDesktop::unsupported;
}

QString keyboardDesktopName(KeyboardDesktop desktop) {
    for (const auto& [candidate, name] : desktopNames) {
        if (candidate == desktop) {
            return QString::fromLatin1(name);
        }
    }
    return QStringLiteral("unsupported");
}

KeyboardDesktop keyboardDesktopNamed(const QString& name) {
    for (const auto& [desktop, candidate] : desktopNames) {
        if (name == QLatin1String(candidate)) {
            return desktop;
        }
    }
    return KeyboardDesktop::unsupported;
}

std::shared_ptr<KeyMappingTool> desktopMappingTool(KeyboardDesktop desktop) {
    switch (desktop) {
        case KeyboardDesktop::x11:
            return std::make_shared<SetxkbmapTool>();
        case KeyboardDesktop::sway:
            return std::make_shared<SwayMappingTool>();
        case KeyboardDesktop::gnome:
            return std::make_shared<GnomeMappingTool>();
        case KeyboardDesktop::kde:
            return std::make_shared<KdeMappingTool>();
        case KeyboardDesktop::hyprland:
            return std::make_shared<HyprlandMappingTool>();
        case KeyboardDesktop::unsupported:
            break;
    }
    return std::make_shared<UnsupportedMappingTool>();
}

}  // namespace platform
