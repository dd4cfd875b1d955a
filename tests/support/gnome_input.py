"""A keyboard and pointer plugged into GNOME Shell through Mutter's remote desktop interface, for
the whole run: clients bind a keyboard only once one exists, so keys sent by short-lived devices
arrive before anybody listens. Mutter shows the devices to clients from their first use on, so
both are used once at the start, with a motion of nothing and a tap of Shift. Lines on standard input: "move X Y" (layout points), "down" and
"up" (the left button), "keys CODE..." (evdev codes pressed in order, held as people hold a
chord, released in reverse); each answered "ok" once Mutter has taken it."""
import sys
import time

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
REMOTE = "org.gnome.Mutter.RemoteDesktop"
CAST = "org.gnome.Mutter.ScreenCast"
LEFT_BUTTON = 272


def call(name, path, interface, method, arguments=None, answer=None):
    return bus.call_sync(name, path, interface, method, arguments,
                         GLib.VariantType(answer) if answer else None,
                         Gio.DBusCallFlags.NONE, 10000, None)


session = call(REMOTE, "/org/gnome/Mutter/RemoteDesktop", REMOTE, "CreateSession",
               None, "(o)").unpack()[0]
session_id = call(REMOTE, session, "org.freedesktop.DBus.Properties", "Get",
                  GLib.Variant("(ss)", (REMOTE + ".Session", "SessionId")), "(v)").unpack()[0]
# Absolute motion is relative to a stream of the monitor.
cast = call(CAST, "/org/gnome/Mutter/ScreenCast", CAST, "CreateSession",
            GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)),
            "(o)").unpack()[0]
stream = call(CAST, cast, CAST + ".Session", "RecordMonitor",
              GLib.Variant("(sa{sv})", ("", {})), "(o)").unpack()[0]
call(REMOTE, session, REMOTE + ".Session", "Start")


def notify(method, signature, *arguments):
    call(REMOTE, session, REMOTE + ".Session", method, GLib.Variant(signature, arguments))


SHIFT = 42
notify("NotifyPointerMotionRelative", "(dd)", 0.0, 0.0)
notify("NotifyKeyboardKeycode", "(ub)", SHIFT, True)
notify("NotifyKeyboardKeycode", "(ub)", SHIFT, False)


for line in sys.stdin:
    words = line.split()
    if words[:1] == ["move"]:
        notify("NotifyPointerMotionAbsolute", "(sdd)", stream, float(words[1]), float(words[2]))
    elif words[:1] in (["down"], ["up"]):
        notify("NotifyPointerButton", "(ib)", LEFT_BUTTON, words[0] == "down")
    elif words[:1] == ["keys"]:
        codes = [int(code) for code in words[1:]]
        for code in codes:
            notify("NotifyKeyboardKeycode", "(ub)", code, True)
        time.sleep(0.4)
        for code in reversed(codes):
            notify("NotifyKeyboardKeycode", "(ub)", code, False)
    print("ok", flush=True)
call(REMOTE, session, REMOTE + ".Session", "Stop")
