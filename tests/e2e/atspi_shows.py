#!/usr/bin/python3
# What a user reads on screen, through the accessibility bus of the session that DBUS_SESSION_BUS_ADDRESS names:
#   atspi_shows.py TEXT
# exits 0 once a window on screen shows a text (a label, a field, a button) containing TEXT, within 10 s; else 1,
# with the texts of the windows it saw.
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def texts(accessible, depth=0):
    if accessible is None or depth > 25 or not accessible.get_state_set().contains(Atspi.StateType.SHOWING):
        return []
    own = [accessible.get_name()] if accessible.get_name() else []
    return own + [t for i in range(accessible.get_child_count())
                  for t in texts(accessible.get_child_at_index(i), depth + 1)]


def on_screen():
    desktop = Atspi.get_desktop(0)
    for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
        for window in (app.get_child_at_index(j) for j in range(app.get_child_count() if app else 0)):
            yield from texts(window)


wanted = sys.argv[1]
seen = []
deadline = time.monotonic() + 10
while time.monotonic() < deadline:
    try:
        seen = list(on_screen())
    except GLib.Error:
        seen = []  # a window that went away while we looked
    if any(wanted in text for text in seen):
        sys.exit(0)
    time.sleep(0.2)
print("not shown: %s (seen: %s)" % (wanted, " | ".join(seen)))
sys.exit(1)
