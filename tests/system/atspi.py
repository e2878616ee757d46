#!/usr/bin/python3
"""Reads and drives the program through the screen reader's bus, as a screen reader would.

Usage: atspi.py COMMAND [ARGS]
  tree                 the window's controls, one "role 'name'" a line (the countdown's and the
                       table's changing texts left out)
  press NAME           presses the button NAME
  rows N               waits until the results table has N rows
  box ROW              where the row's check box is on the screen: "X Y"
  dismiss              presses OK in the program's notice
  shows NAME           waits until a button NAME shows
Each command waits at most 15 s for what it needs and ends with status 1 when it is not there.
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# Debian 12's Atspi still offers each interface through get_*_iface, which newer ones call old.
warnings.filterwarnings("ignore", category=DeprecationWarning)


def until(find, what):
    deadline = time.time() + 15
    while time.time() < deadline:
        try:
            found = find()
        except gi.repository.GLib.Error:
            found = None
        if found:
            return found
        time.sleep(0.1)
    sys.exit(f"atspi: {what} did not show")


def program():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app and app.get_name() == "Trovanel":
            return app
    return None


def nodes(node):
    yield node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child:
            yield from nodes(child)


def first(role, name=None, top=None):
    def find():
        for node in nodes(top or program()):
            if role in (None, node.get_role_name()) and name in (None, node.get_name()):
                return node
        return None
    return until(find, f"{role} '{name}'")


def act(node):
    node.get_action_iface().do_action(0)


def main(command, *args):
    window = until(lambda: program() and program().get_child_count() and program(), "the window")
    if command == "tree":
        main_frame = window.get_child_at_index(0)
        for node in nodes(main_frame):
            role = node.get_role_name()
            if role in ("table cell", "list item") or node.get_parent().get_role_name() == "table":
                continue
            name = node.get_name() if role != "panel" or node.get_child_count() != 1 else ""
            print(f"{role} '{name}' '{node.get_description()}'")
    elif command == "press":
        act(first("push button", args[0]))
    elif command == "rows":
        table = first("table", "Results")
        until(lambda: table.get_table_iface().get_n_rows() == int(args[0]), f"row {args[0]}")
    elif command == "box":
        # Where the row's check box is on the screen: at the start of its first cell.
        table = first("table", "Results")
        cell = table.get_table_iface().get_accessible_at(int(args[0]), 0)
        box = cell.get_component_iface().get_extents(Atspi.CoordType.SCREEN)
        print(box.x + 10, box.y + box.height // 2)
    elif command == "dismiss":
        until(lambda: program().get_child_count() > 1, "the notice")
        act(first("push button", "OK", program().get_child_at_index(1)))
    elif command == "shows":
        first(None, args[0])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(*sys.argv[1:])
