"""Prints the accessible objects of one process's windows, one a line: depth, role, name.

Usage: atspi_tree.py PID  (run on the desktop's D-Bus session, with the system Python)
"""
import sys

import pyatspi


def walk(obj, depth, out):
    if obj is None or depth > 12:
        return
    try:
        role = obj.getRoleName()
        name = obj.name or ""
        showing = obj.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return
    out.append("%d\t%s\t%s\t%s" % (depth, role, "showing" if showing else "hidden",
                                   name.replace("\n", " ")))
    for child in obj:
        walk(child, depth + 1, out)


def main():
    pid = int(sys.argv[1])
    out = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            for window in app:
                walk(window, 0, out)
    print("\n".join(out))


if __name__ == "__main__":
    main()
