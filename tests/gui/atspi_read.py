#!/usr/bin/python3
# Reads an application's accessible objects over the AT-SPI bus the way a screen reader does and prints one
# line per object: role, name and description, separated by tabs (tabs and line breaks inside become blanks).
# Usage: atspi_read.py APPLICATION-NAME
import sys
import time

import pyatspi


def clean(text):
    return (text or "").replace("\t", " ").replace("\n", " ").replace("\r", " ")


def walk(obj, depth, out):
    if depth > 40:
        return
    try:
        out.append("%s\t%s\t%s" % (obj.getRoleName(), clean(obj.name), clean(obj.description)))
        count = obj.childCount
    except Exception:  # an object that went away while we read: a screen reader skips it too
        return
    for i in range(min(count, 2000)):
        child = obj.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, out)


def main():
    wanted = sys.argv[1]
    deadline = time.time() + 20
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == wanted:
                out = []
                walk(app, 0, out)
                print("\n".join(out))
                return 0
        time.sleep(0.3)
    print("no application named %r on the accessibility bus" % wanted, file=sys.stderr)
    return 1


sys.exit(main())
