"""Prints what a program shows, as assistive technology reads it: one line per accessible
object, "role<TAB>name<TAB>text<TAB>showing|hidden<TAB>x,y,width,height" (screen
coordinates), for every application whose name contains argv[1]."""
import sys

import pyatspi


def walk(node, depth, lines):
    if node is None or depth > 60:
        return
    try:
        text = ""
        try:
            text = node.queryText().getText(0, -1)
        except NotImplementedError:
            pass
        states = node.getState()
        showing = "showing" if states.contains(pyatspi.STATE_SHOWING) else "hidden"
        extents = ""
        try:
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            extents = f"{box.x},{box.y},{box.width},{box.height}"
        except NotImplementedError:
            pass
        name = (node.name or "").replace("\n", " ")
        text = text.replace("\n", " ")
        lines.append(f"{node.getRoleName()}\t{name}\t{text}\t{showing}\t{extents}")
        for index in range(node.childCount):
            walk(node.getChildAtIndex(index), depth + 1, lines)
    except Exception as error:  # an object that vanished while being read
        lines.append(f"error\t{error}\t\t")


def main():
    wanted = sys.argv[1].lower()
    lines = []
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is not None and wanted in (application.name or "").lower():
            walk(application, 0, lines)
    print("\n".join(lines))


main()
