#!/bin/sh
# Brings up a headless GNOME Shell on one 1280×720 monitor showing FOLDER/background.png, with
# PipeWire, the portal with the backends named in the second argument, GNOME's media keys with a
# keybinding of the user's own and a keyboard of the layout in the third, on the session bus in DBUS_SESSION_BUS_ADDRESS, as the
# user running this. With "granted" as the fourth, screenshots are already allowed; else the
# shell asks. Writes what a client needs to FOLDER/session.env and FOLDER/ready, then waits to be
# ended with its process group.
set -eu
folder=$1
export XDG_RUNTIME_DIR="$folder/runtime" HOME="$folder/home" WAYLAND_DISPLAY=wayland-g
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland LIBGL_ALWAYS_SOFTWARE=1
# Without logind or a system bus the shell gives up; an empty bus of our own answers "unknown".
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$folder/system-bus"
export XDG_DESKTOP_PORTAL_DIR="$folder/portals"
dbus-daemon --session --address="$DBUS_SYSTEM_BUS_ADDRESS" --nofork --nopidfile 2>/dev/null &
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    LIBGL_ALWAYS_SOFTWARE DBUS_SYSTEM_BUS_ADDRESS XDG_DESKTOP_PORTAL_DIR

# The shell starts in its overview and answers scripts' screenshots only in unsafe mode; a small
# extension of ours leaves the overview and allows them.
extension="$HOME/.local/share/gnome-shell/extensions/testbed@quorvastelin"
mkdir -p "$extension" "$folder/settings" "$HOME/.config/dconf" "$XDG_DESKTOP_PORTAL_DIR"
printf '{"uuid": "testbed@quorvastelin", "name": "testbed", "description": "test bed",
  "shell-version": ["43"]}\n' >"$extension/metadata.json"
cat >"$extension/extension.js" <<'EOF'
const Main = imports.ui.main;
function init() {
    return {
        enable() {
            global.context.unsafe_mode = true;
            if (Main.layoutManager._startingUp)
                Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
            else
                Main.overview.hide();
        },
        disable() {},
    };
}
EOF
cat >"$folder/settings/testbed" <<EOF
[org/gnome/shell]
enabled-extensions=['testbed@quorvastelin']
welcome-dialog-last-shown-version='999'

[org/gnome/desktop/session]
idle-delay=uint32 0

[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/notifications]
show-banners=false

[org/gnome/desktop/background]
picture-uri='file://$folder/background.png'
picture-uri-dark='file://$folder/background.png'
picture-options='stretched'

[org/gnome/desktop/input-sources]
sources=[('xkb', '$3')]
xkb-options=['compose:ralt']

[org/gnome/settings-daemon/plugins/media-keys]
custom-keybindings=['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']

[org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0]
name='Terminal'
command='true'
binding='<Super>t'
EOF
dconf compile "$HOME/.config/dconf/user" "$folder/settings"
for backend in $2; do
    cp "/usr/share/xdg-desktop-portal/portals/$backend.portal" "$XDG_DESKTOP_PORTAL_DIR/"
done

gnome-shell --headless --virtual-monitor 1280x720 --wayland --wayland-display "$WAYLAND_DISPLAY" \
    --no-x11 >"$folder/shell.log" 2>&1 &
gdbus wait --session --timeout 60 org.gnome.Shell.Screenshot
pipewire >"$folder/pipewire.log" 2>&1 &
for _ in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
    sleep 0.1
done
wireplumber >"$folder/wireplumber.log" 2>&1 &
/usr/libexec/xdg-desktop-portal-gnome >"$folder/portal-gnome.log" 2>&1 &
gdbus wait --session --timeout 30 org.freedesktop.impl.portal.desktop.gnome
/usr/libexec/xdg-desktop-portal -r >"$folder/portal.log" 2>&1 &
gdbus wait --session --timeout 30 org.freedesktop.portal.Desktop
if [ "$4" = granted ]; then
    gdbus call --session -d org.freedesktop.impl.portal.PermissionStore \
        -o /org/freedesktop/impl/portal/PermissionStore \
        -m org.freedesktop.impl.portal.PermissionStore.SetPermission \
        screenshot true screenshot '' "['yes']" >/dev/null
fi
/usr/libexec/gsd-media-keys >"$folder/media-keys.log" 2>&1 &
gdbus wait --session --timeout 30 org.gnome.SettingsDaemon.MediaKeys
printf 'WAYLAND_DISPLAY=%s\n' "$WAYLAND_DISPLAY" >"$folder/session.env"
touch "$folder/ready"
exec sleep infinity
