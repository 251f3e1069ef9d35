#!/usr/bin/python3
"""The front desk as a screen reader finds it, over the desktop's accessibility bus.

Runs the demo, types a search into it with synthesized keys, and reads the result grid as an
AT-SPI client such as a screen reader does: the table holds the rows loaded, not the empty
rows the grid scrolls into; the arrow keys' focus names the cell made current, and that cell can
still be read once the screen reader asks for it; a further page adds rows to the table.

Run under tools/with-screen-reader.sh. Usage: screen_reader.py DEMO_PROGRAM
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

KEY_RETURN, KEY_DOWN, KEY_ESCAPE = 0xFF0D, 0xFF54, 0xFF1B


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def wait_for(what, probe, seconds=30):
    """probe() until it answers something other than None; the bus's events are read meanwhile."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = probe()
        except Exception:   # an object that went while it was read: ask again
            found = None
        if found is not None:
            return found
        time.sleep(0.1)
    fail("waited %d s for %s" % (seconds, what))


def find(node, match, depth=0):
    if node is None or depth > 40:
        return None
    if match(node):
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), match, depth + 1)
        if found is not None:
            return found
    return None


def demo_application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "zelvar-demo":
            return app
    return None


def press(keysym, times=1):
    for _ in range(times):
        pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
        time.sleep(0.03)


def status_line(app):
    label = find(app, lambda n: n.getRole() == pyatspi.ROLE_LABEL
                 and (n.name.startswith("Showing: ") or n.name.startswith("Total: ")))
    return label.name if label is not None else None


def main():
    work = tempfile.mkdtemp(prefix="zelvar-screen-reader-")
    # Its settings and files go to the scratch folder, not the user's.
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"))
    demo = subprocess.Popen([sys.argv[1], "--db", os.path.join(work, "practice.db"), "--patients", "5000"],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        read_the_front_desk()
    finally:
        demo.kill()
        demo.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("PASS")


def read_the_front_desk():
    app = wait_for("the demo on the accessibility bus", demo_application, 60)
    entry = wait_for("the front desk's search box", lambda: find(
        app, lambda n: n.getRole() == pyatspi.ROLE_TEXT and n.getState().contains(pyatspi.STATE_EDITABLE)), 60)
    entry.queryComponent().grabFocus()
    for ch in "s":
        press(ord(ch))
    press(KEY_RETURN)

    grid = wait_for("the result grid", lambda: find(
        app, lambda n: n.getRole() == pyatspi.ROLE_TABLE and n.name == "Patients found"))
    table = grid.queryTable()
    status = wait_for("the count line", lambda: status_line(app))
    rows = table.nRows
    print("table: %d rows, %d columns; %s" % (rows, table.nColumns, status))
    if not status.startswith("Showing: ") or not 0 < rows < 200:
        fail("a search of several pages should show its first page's rows, not the grid's 200")
    if " of " in status and rows >= int(status.split(" of ")[1].rstrip("+")):
        fail("the table has all the rows before the next page: %d" % rows)
    if table.getColumnDescription(0) != "Patient Name":
        fail("the first column reads %r" % table.getColumnDescription(0))
    if not table.getAccessibleAt(rows - 1, 0).name.startswith("S"):
        fail("the last row loaded reads %r" % table.getAccessibleAt(rows - 1, 0).name)

    heard = []
    pyatspi.Registry.registerEventListener(
        lambda e: heard.append(e.source) if e.detail1 == 1 else None, "object:state-changed:focused")
    grid.queryComponent().grabFocus()
    press(KEY_DOWN, 30)

    def focused_cell_read():
        selected = table.getSelectedRows()
        if not heard or len(selected) != 1 or selected[0] != 30:
            return None
        cell = heard[-1]
        return (cell.name, cell.getRoleName()) if cell.name else None
    name, role = wait_for("the focus on row 31, as the screen reader hears it", focused_cell_read)
    print("focus: %s %r" % (role, name))
    if role != "table cell" or name != table.getAccessibleAt(30, 0).name:
        fail("the focus names %s %r, the current row's name is %r" % (role, name, table.getAccessibleAt(30, 0).name))

    press(KEY_DOWN, rows)
    grown = wait_for("the next page in the table", lambda: table.nRows if table.nRows > rows else None)
    print("after the next page: %d rows; %s" % (grown, status_line(app)))
    press(KEY_ESCAPE)


if __name__ == "__main__":
    main()
