"""accessible_tree.py - what a screen reader learns of a running program.

Usage: /usr/bin/python3 accessible_tree.py APPLICATION

Prints one line for every object of the application named APPLICATION
on the accessibility bus (the desktop's AT-SPI registry), depth first:

    ROLE|NAME|DESCRIPTION|KEYS

KEYS is the key binding a screen reader reads out for an action (for a
menu item: mnemonic;path;accelerator), empty when there is none. Exits 1
when no such application is registered yet, so a caller can poll.

Debian's python3 with python3-pyatspi; the session bus must be the one the
program uses, so the accessibility bus is found through it.
"""
import sys

import pyatspi


def keys_of(accessible):
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return ""
    return action.getKeyBinding(0) if action.nActions > 0 else ""


def lines_of(accessible):
    fields = (accessible.getRoleName(), accessible.name or "", accessible.description or "",
              keys_of(accessible))
    yield "|".join(field.replace("\n", " ") for field in fields)
    for child in accessible:
        if child is not None:
            yield from lines_of(child)


def main():
    name = sys.argv[1]
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.name == name:
            for line in lines_of(application):
                print(line)
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
