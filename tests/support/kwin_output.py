#!/usr/bin/python3
# Prints what KWin shows on an output now, in the output's own pixels and without the pointer, as
# a binary PPM: usage kwin_output.py OUTPUT.
import os
import sys
import threading

from gi.repository import Gio, GLib

reading, writing = os.pipe()
data = bytearray()


def read_all():
    with os.fdopen(reading, "rb") as pipe:
        while chunk := pipe.read(1 << 20):
            data.extend(chunk)


reader = threading.Thread(target=read_all)
reader.start()
descriptors = Gio.UnixFDList.new()
descriptors.append(writing)
os.close(writing)
options = {"native-resolution": GLib.Variant("b", True), "include-cursor": GLib.Variant("b", False)}
reply, _ = Gio.bus_get_sync(Gio.BusType.SESSION).call_with_unix_fd_list_sync(
    "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
    GLib.Variant("(sa{sv}h)", (sys.argv[1], options, 0)), GLib.VariantType("(a{sv})"),
    Gio.DBusCallFlags.NONE, 20000, descriptors)
del descriptors
reader.join()
image = reply.unpack()[0]
width, height, stride = image["width"], image["height"], image["stride"]
# Rows of 32-bit pixels stored blue, green, red, alpha.
packed = b"".join(data[row * stride: row * stride + width * 4] for row in range(height))
pixels = bytearray(width * height * 3)
for colour in range(3):
    pixels[colour::3] = packed[2 - colour::4]
sys.stdout.buffer.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)
