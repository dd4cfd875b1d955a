#include "platform/KeyboardDesktop.h"

#include <QStringList>
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

}  // namespace platform
