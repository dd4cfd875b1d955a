#!/bin/sh
# Brings up a sway desktop, and with "portals" its xdg-desktop-portal and PipeWire, on the
# session bus in DBUS_SESSION_BUS_ADDRESS, as the user running this; writes what a client needs
# to FOLDER/session.env and FOLDER/ready, then waits to be ended with its process group.
# The third argument is the portal for wlroots to run. Headless, or with "nested" as the fourth
# in a window of an Xvfb of its own, whose keyboard sway then configures as it would a real one.
# The fifth is the output the portal shares without asking; without one it refuses to share.
set -eu
folder=$1
# Runs the command until it succeeds, ten seconds at most.
wait_for() {
    for _ in $(seq 100); do
        "$@" && return
        sleep 0.1
    done
}
export XDG_RUNTIME_DIR="$folder/runtime" HOME="$folder/home"
export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
if [ "$4" = nested ]; then
    Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x720x24 >"$folder/xdisplay" 2>/dev/null &
    wait_for [ -s "$folder/xdisplay" ]
    DISPLAY=":$(cat "$folder/xdisplay")" WLR_BACKENDS=x11 WLR_RENDERER=pixman \
        sway -c "$folder/sway.conf" >"$folder/sway.log" 2>&1 &
else
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$folder/sway.conf" >"$folder/sway.log" 2>&1 &
fi
for _ in $(seq 100); do
    WAYLAND_DISPLAY=$(cd "$XDG_RUNTIME_DIR" && ls wayland-? 2>/dev/null | head -n 1) || true
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -n 1) || true
    [ -n "$WAYLAND_DISPLAY" ] && [ -n "$SWAYSOCK" ] && break
    sleep 0.1
done
export WAYLAND_DISPLAY SWAYSOCK
[ "$4" = nested ] || swaymsg create_output >/dev/null
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE SWAYSOCK
if [ "$2" = portals ]; then
    pipewire >"$folder/pipewire.log" 2>&1 &
    # WirePlumber and the portal for wlroots give up when PipeWire does not answer yet.
    wait_for [ -S "$XDG_RUNTIME_DIR/pipewire-0" ]
    wireplumber >"$folder/wireplumber.log" 2>&1 &
    # Only the wlroots backend, and a name claiming the access interface, which this portal
    # version wants before it offers screenshots to anyone.
    export XDG_DESKTOP_PORTAL_DIR="$folder/portals"
    mkdir -p "$XDG_DESKTOP_PORTAL_DIR"
    cp /usr/share/xdg-desktop-portal/portals/wlr.portal "$XDG_DESKTOP_PORTAL_DIR/"
    printf '[portal]\nDBusName=%s\nInterfaces=%s\nUseIn=sway\n' \
        org.freedesktop.impl.portal.desktop.testaccess org.freedesktop.impl.portal.Access\; \
        >"$XDG_DESKTOP_PORTAL_DIR/access.portal"
    if [ -n "$5" ]; then
        printf '[screencast]\nchooser_type=none\nmax_fps=30\noutput_name=%s\n' "$5"
    else
        printf '[screencast]\nchooser_type=simple\nchooser_cmd=true\n'
    fi >"$folder/portal-wlr.conf"
    # Tokens share the same output again without asking.
    XDPW_PERSIST_MODE=permanent "$3" -r -c "$folder/portal-wlr.conf" >"$folder/portal-wlr.log" 2>&1 &
    /usr/libexec/xdg-desktop-portal -r >"$folder/portal.log" 2>&1 &
    wait_for dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetNameOwner string:org.freedesktop.portal.Desktop >/dev/null 2>&1
fi
printf 'WAYLAND_DISPLAY=%s\nSWAYSOCK=%s\n' "$WAYLAND_DISPLAY" "$SWAYSOCK" >"$folder/session.env"
touch "$folder/ready"
exec sleep infinity
