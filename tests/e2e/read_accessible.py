"""Prints what a program shows, as assistive technology reads it: one line per accessible
object, "role<TAB>name<TAB>text<TAB>showing|hidden<TAB>x,y,width,height" (screen
coordinates), for every application whose name contains argv[1]. With "press NAME" after it,
presses the first push button of that name instead, as a screen reader's user would: where the
desktop tells no client where its windows are, no pointer position can find the button."""
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


def press(node, name, depth=0):
    if node is None or depth > 60:
        return False
    if node.getRoleName() == "push button" and node.name == name:
        node.queryAction().doAction(0)
        return True
    return any(press(node.getChildAtIndex(index), name, depth + 1)
               for index in range(node.childCount))


def main():
    wanted = sys.argv[1].lower()
    lines = []
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        if application is None or wanted not in (application.name or "").lower():
            continue
        if len(sys.argv) == 4 and sys.argv[2] == "press":
            sys.exit(0 if press(application, sys.argv[3]) else 1)
        walk(application, 0, lines)
    if len(sys.argv) == 4:
        sys.exit(1)
    print("\n".join(lines))


main()
