#!/usr/bin/python3
"""A minimal StatusNotifier tray host on the session bus. Each line on standard input names a
menu item; once a tray icon has registered, the host clicks that item, as a user would in a
desktop's tray. Prints "ready" once it serves the watcher, and "clicked <label>" after each
click."""

import sys

from gi.repository import Gio, GLib

WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>
"""

loop = GLib.MainLoop()
items = []
pending = []


def find_item(layout, wanted):
    item_id, properties, children = layout
    if properties.get("label", "").replace("_", "") == wanted:
        return item_id
    for child in children:
        found = find_item(child, wanted)
        if found is not None:
            return found
    return None


def click(bus, service, path, label, attempts_left):
    # The menu may be exported a moment after the icon registers, so look again shortly.
    try:
        menu = bus.call_sync(service, path, "org.freedesktop.DBus.Properties", "Get",
                             GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "Menu")),
                             GLib.VariantType("(v)"), Gio.DBusCallFlags.NONE, 5000, None)[0]
        layout = bus.call_sync(service, menu, "com.canonical.dbusmenu", "GetLayout",
                               GLib.Variant("(iias)", (0, -1, [])), None,
                               Gio.DBusCallFlags.NONE, 5000, None)[1]
        item_id = find_item(layout, label)
        if item_id is not None:
            bus.call_sync(service, menu, "com.canonical.dbusmenu", "Event",
                          GLib.Variant("(isvu)", (item_id, "clicked", GLib.Variant("i", 0), 0)),
                          None, Gio.DBusCallFlags.NONE, 5000, None)
            print("clicked " + label, flush=True)
            return False
    except GLib.Error as error:
        print("not yet: " + error.message, file=sys.stderr, flush=True)
    if attempts_left > 0:
        GLib.timeout_add(100, click, bus, service, path, label, attempts_left - 1)
    return False


def click_pending(bus):
    while items and pending:
        service, path = items[-1].split("/", 1)
        GLib.idle_add(click, bus, service, "/" + path, pending.pop(0), 100)


def on_input(channel, condition, bus):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    pending.append(line.strip())
    click_pending(bus)
    return True


def on_call(bus, sender, path, interface, method, parameters, invocation):
    if method == "RegisterStatusNotifierItem":
        service = parameters[0]
        if service.startswith("/"):
            service, path = sender, service
        else:
            path = "/StatusNotifierItem"
        items.append(service + path)
        invocation.return_value(None)
        click_pending(bus)
    else:
        invocation.return_value(None)


def on_get(bus, sender, path, interface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", items)
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    return GLib.Variant("i", 0)


def on_bus(bus, name):
    info = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML).interfaces[0]
    bus.register_object("/StatusNotifierWatcher", info, on_call, on_get, None)
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP,
                      on_input, bus)


def on_name(bus, name):
    print("ready", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher",
                 Gio.BusNameOwnerFlags.NONE, on_bus, on_name, lambda *args: loop.quit())
GLib.timeout_add_seconds(300, loop.quit)
loop.run()
