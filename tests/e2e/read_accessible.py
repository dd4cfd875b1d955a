"""Prints what the applications whose names contain argv[1] show, as assistive technology reads
it: one line per object, "role<TAB>name<TAB>text<TAB>showing|hidden<TAB>x,y,width,height" in
screen coordinates. With "press NAME" after it, presses the first push button or check box of
that name instead, as a screen reader's user would where no pointer position can find it."""
import sys

import pyatspi


def optional(read):
    try:
        return read()
    except NotImplementedError:
        return ""


def walk(node, depth, lines):
    if node is None or depth > 60:
        return
    try:
        text = optional(lambda: node.queryText().getText(0, -1))
        box = optional(lambda: node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
        extents = f"{box.x},{box.y},{box.width},{box.height}" if box else ""
        showing = "showing" if node.getState().contains(pyatspi.STATE_SHOWING) else "hidden"
        fields = [node.getRoleName(), node.name or "", text, showing, extents]
        lines.append("\t".join(field.replace("\n", " ") for field in fields))
        for index in range(node.childCount):
            walk(node.getChildAtIndex(index), depth + 1, lines)
    except Exception as error:  # an object that vanished while being read
        lines.append(f"error\t{error}\t\t")


def press(node, name, depth=0):
    if node is None or depth > 60:
        return False
    if node.getRoleName() in ("push button", "check box") and node.name == name:
        node.queryAction().doAction(0)
        return True
    return any(press(node.getChildAtIndex(index), name, depth + 1)
               for index in range(node.childCount))


desktop = pyatspi.Registry.getDesktop(0)
wanted = sys.argv[1].lower()
applications = [application for application in
                (desktop.getChildAtIndex(index) for index in range(desktop.childCount))
                if application is not None and wanted in (application.name or "").lower()]
if len(sys.argv) == 4:
    sys.exit(0 if any(press(application, sys.argv[3]) for application in applications) else 1)
lines = []
for application in applications:
    walk(application, 0, lines)
print("\n".join(lines))
