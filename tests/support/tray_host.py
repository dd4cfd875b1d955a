#!/usr/bin/python3
"""A StatusNotifier tray host: once a tray icon has registered, clicks the menu item each line
on standard input names, as a user would. Prints "ready" once it serves the watcher."""

import sys

from gi.repository import Gio, GLib

WATCHER = Gio.DBusNodeInfo.new_for_xml("""<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  </interface>
</node>""").interfaces[0]
loop = GLib.MainLoop()
items = []
pending = []


def call(bus, service, path, interface, method, arguments):
    return bus.call_sync(service, path, interface, method, arguments, None,
                         Gio.DBusCallFlags.NONE, 5000, None)


def find_item(layout, wanted):
    item_id, properties, children = layout
    if properties.get("label", "").replace("_", "") == wanted:
        return item_id
    return next((found for found in (find_item(child, wanted) for child in children)
                 if found is not None), None)


def click(bus, service, path, label, attempts_left):
    # The menu may be exported a moment after the icon registers, so look again shortly.
    try:
        menu = call(bus, service, path, "org.freedesktop.DBus.Properties", "Get",
                    GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "Menu")))[0]
        layout = call(bus, service, menu, "com.canonical.dbusmenu", "GetLayout",
                      GLib.Variant("(iias)", (0, -1, [])))[1]
        item_id = find_item(layout, label)
        if item_id is not None:
            call(bus, service, menu, "com.canonical.dbusmenu", "Event",
                 GLib.Variant("(isvu)", (item_id, "clicked", GLib.Variant("i", 0), 0)))
            return False
    except GLib.Error:
        pass
    if attempts_left > 0:
        GLib.timeout_add(100, click, bus, service, path, label, attempts_left - 1)
    return False


def click_pending(bus):
    while items and pending:
        service, path = items[-1]
        GLib.idle_add(click, bus, service, path, pending.pop(0), 100)


def on_input(channel, condition, bus):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    pending.append(line.strip())
    click_pending(bus)
    return True


def on_call(bus, sender, path, interface, method, parameters, invocation):
    service = parameters[0]
    items.append((sender, service) if service.startswith("/") else
                 (service, "/StatusNotifierItem"))
    invocation.return_value(None)
    click_pending(bus)


def on_get(bus, sender, path, interface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", [service + path for service, path in items])
    return GLib.Variant("b", True)


def on_bus(bus, name):
    bus.register_object("/StatusNotifierWatcher", WATCHER, on_call, on_get, None)
    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.IO_IN | GLib.IO_HUP, on_input, bus)


Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher",
                 Gio.BusNameOwnerFlags.NONE, on_bus, lambda *args: print("ready", flush=True),
                 lambda *args: loop.quit())
GLib.timeout_add_seconds(300, loop.quit)
loop.run()
