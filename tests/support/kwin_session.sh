#!/bin/sh
# Brings up a headless KWin desktop with xdg-desktop-portal and KDE's backend on the session bus in
# DBUS_SESSION_BUS_ADDRESS, as the user running this; writes what a client needs to
# FOLDER/session.env and FOLDER/ready, then waits to be ended with its process group.
set -eu
folder=$1
export XDG_RUNTIME_DIR="$folder/runtime" HOME="$folder/home" XDG_CONFIG_HOME="$folder/home/.config"
export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KWIN_COMPOSE=Q WAYLAND_DISPLAY=wayland-k
mkdir -p "$XDG_CONFIG_HOME" "$folder/bin" "$folder/portals"
owned() {
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetNameOwner string:"$1" >/dev/null 2>&1 && return
        sleep 0.1
    done
}
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    XDG_CONFIG_HOME
# The installed binary carries a file capability this container refuses to grant; a plain copy
# of the same name runs.
cp /usr/bin/kwin_wayland "$folder/bin/kwin_wayland"
"$folder/bin/kwin_wayland" --virtual --width 1280 --height 720 --socket "$WAYLAND_DISPLAY" \
    --no-lockscreen >"$folder/kwin.log" 2>&1 &
# KDE's portal backend aborts when the compositor does not answer yet.
owned org.kde.KWin
owned org.kde.kglobalaccel
cp /usr/share/xdg-desktop-portal/portals/kde.portal "$folder/portals/"
XDG_DESKTOP_PORTAL_DIR="$folder/portals" /usr/libexec/xdg-desktop-portal -r \
    >"$folder/portal.log" 2>&1 &
owned org.freedesktop.portal.Desktop
printf 'WAYLAND_DISPLAY=%s\nXDG_CONFIG_HOME=%s\n' "$WAYLAND_DISPLAY" "$XDG_CONFIG_HOME" \
    >"$folder/session.env"
touch "$folder/ready"
exec sleep infinity
