"""Reads and drives the program's window over the accessibility bus, as a screen reader does.

  accessible_tree.py dump        one line per element of the window: role|name|states
  accessible_tree.py press NAME  runs the press action of the element called NAME
  accessible_tree.py text NAME   prints the text of the element called NAME

Waits up to 30 s for the window to appear; exits 1 when it or the element is not there.
"""
import sys
import time

import pyatspi


def window():
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            for i in range(app.childCount if app else 0):
                w = app.getChildAtIndex(i)
                if w and w.getRole() == pyatspi.ROLE_DIALOG:
                    return w
        time.sleep(0.2)
    sys.exit("no window on the accessibility bus")


def descendants(a):
    for i in range(a.childCount):
        child = a.getChildAtIndex(i)
        yield child
        yield from descendants(child)


def named(name):
    for e in descendants(window()):
        if e.name == name:
            return e
    sys.exit(f"nothing called {name!r}")


def main(command, *args):
    if command == "dump":
        for e in descendants(window()):
            states = sorted(pyatspi.stateToString(s) for s in e.getState().getStates())
            print(f"{e.getRoleName()}|{e.name}|{','.join(states)}")
    elif command == "press":
        action = named(args[0]).queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if "Press" not in names:
            sys.exit(f"no press among {names}")
        action.doAction(names.index("Press"))
    elif command == "text":
        print(named(args[0]).queryText().getText(0, -1))


if __name__ == "__main__":
    main(*sys.argv[1:])
