#!/bin/sh
# Brings up a headless KWin desktop compositing with OpenGL in software, its one output at the
# scale given second and showing the picture given third, with xdg-desktop-portal and KDE's
# backend on the session bus in DBUS_SESSION_BUS_ADDRESS, as the user running this; writes what a
# client needs to FOLDER/session.env and FOLDER/ready, then waits to be ended with its process
# group.
set -eu
folder=$1
export XDG_RUNTIME_DIR="$folder/runtime" HOME="$folder/home" XDG_CONFIG_HOME="$folder/home/.config"
export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-k
# KDE's portal builds its dialog even for a picture it asks nobody about; scripts/install-deps puts
# the Plasma modules that dialog imports here.
export QML2_IMPORT_PATH=/usr/local/lib/quorvastelin-tests/qml
mkdir -p "$XDG_CONFIG_HOME" "$HOME/Pictures" "$folder/bin" "$folder/portals"
owned() {
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.GetNameOwner string:"$1" >/dev/null 2>&1 && return
        sleep 0.1
    done
}
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    XDG_CONFIG_HOME QML2_IMPORT_PATH
# The installed binary carries a file capability this container refuses to grant; a plain copy
# of the same name runs. Without its permission checks, the tests' own input and pictures of the
# screen are let in as KDE's own tools are.
cp /usr/bin/kwin_wayland "$folder/bin/kwin_wayland"
EGL_PLATFORM=surfaceless KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 \
    KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$folder/bin/kwin_wayland" --virtual --width 1280 \
    --height 720 --scale "$2" --socket "$WAYLAND_DISPLAY" --no-lockscreen >"$folder/kwin.log" 2>&1 &
# KDE's portal backend aborts when the compositor does not answer yet.
owned org.kde.KWin
owned org.kde.kglobalaccel
swaybg -o Virtual-0 -i "$3" -m stretch >/dev/null 2>&1 &
cp /usr/share/xdg-desktop-portal/portals/kde.portal "$folder/portals/"
XDG_DESKTOP_PORTAL_DIR="$folder/portals" /usr/libexec/xdg-desktop-portal -r \
    >"$folder/portal.log" 2>&1 &
owned org.freedesktop.portal.Desktop
printf 'WAYLAND_DISPLAY=%s\nXDG_CONFIG_HOME=%s\n' "$WAYLAND_DISPLAY" "$XDG_CONFIG_HOME" \
    >"$folder/session.env"
touch "$folder/ready"
exec sleep infinity
