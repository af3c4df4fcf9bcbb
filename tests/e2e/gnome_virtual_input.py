#!/usr/bin/python3
# A user's keyboard and eyes in a GNOME Shell session without input devices: a virtual keyboard of mutter (a
# Clutter virtual device), reached through mutter's remote-desktop D-Bus interface on the session bus the
# environment names, and the accessibility bus to see which window is in front. It prints READY once the
# device is up, then takes commands on stdin, one a line, each answered by OK or by ERROR <message> (which
# names the windows and the front window's controls it saw):
#   "tap <code>..."   press each key (evdev code) in turn, then release them in reverse order
#   "press <code>", "release <code>"
#   "await <title>"   wait (up to 10 s) until the active window is titled <title> and one of its controls has
#                     the keyboard focus: what a user looks for before typing into a dialog that just opened
#   "front <app>"     wait (up to 10 s) until the active window is one of the application named <app>
#   "focus <name>"    press Tab until the control named <name> in the active window has the keyboard focus
#   "checked <name>"  wait (up to 10 s) until a check box or switch named <name> in the active window is on
import sys
import time

import dbus
import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

BUS_NAME = "org.gnome.Mutter.RemoteDesktop"
TAB = 15
bus = dbus.SessionBus()
remote_desktop = dbus.Interface(bus.get_object(BUS_NAME, "/org/gnome/Mutter/RemoteDesktop"), BUS_NAME)
session_path = remote_desktop.CreateSession()
session = dbus.Interface(bus.get_object(BUS_NAME, session_path), BUS_NAME + ".Session")
session.Start()
print("READY", flush=True)


def key(code, pressed):
    session.NotifyKeyboardKeycode(dbus.UInt32(code), dbus.Boolean(pressed))


def has_focus(accessible, depth=0):
    if depth > 20:
        return False
    if accessible.get_state_set().contains(Atspi.StateType.FOCUSED):
        return True
    return any(has_focus(accessible.get_child_at_index(i), depth + 1) for i in range(accessible.get_child_count()))


def active_window():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        for j in range(app.get_child_count() if app else 0):
            window = app.get_child_at_index(j)
            if window.get_state_set().contains(Atspi.StateType.ACTIVE):
                return window
    return None


# GNOME 43's dialog has a check box, GNOME 48's (libadwaita) a switch.
TOGGLES = tuple(getattr(Atspi.Role, role) for role in ("CHECK_BOX", "SWITCH", "TOGGLE_BUTTON") if hasattr(Atspi.Role, role))


def is_checked(accessible, name, depth=0):
    if depth > 20:
        return False
    if accessible.get_role() in TOGGLES and accessible.get_name() == name:
        return accessible.get_state_set().contains(Atspi.StateType.CHECKED)
    return any(is_checked(accessible.get_child_at_index(i), name, depth + 1)
               for i in range(accessible.get_child_count()))


def marks(accessible):
    states = accessible.get_state_set()
    return "".join(mark for state, mark in ((Atspi.StateType.ACTIVE, "*"), (Atspi.StateType.FOCUSED, "!"),
                                            (Atspi.StateType.CHECKED, "+")) if states.contains(state))


def controls(accessible, depth=0):
    """The named controls under a window, for the report of what was not seen (! focused, + checked)."""
    if accessible is None or depth > 20:
        return []
    named = ["%s '%s'%s" % (accessible.get_role_name(), accessible.get_name(), marks(accessible))]
    if not accessible.get_name() or accessible.get_role() in (Atspi.Role.PANEL, Atspi.Role.LABEL):
        named = []
    return named + [c for i in range(accessible.get_child_count())
                    for c in controls(accessible.get_child_at_index(i), depth + 1)]


def windows():
    desktop = Atspi.get_desktop(0)
    seen = []
    for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
        for window in (app.get_child_at_index(j) for j in range(app.get_child_count() if app else 0)):
            seen.append("%s '%s'%s" % (app.get_name(), window.get_name(), marks(window)))
    active = active_window()
    if active is not None and active.get_application().get_name() != "gnome-shell":
        seen.append("in front: " + ", ".join(controls(active)))
    return "; ".join(seen)


def not_seen(what):
    try:
        seen = windows()
    except GLib.Error as error:
        seen = str(error)
    return ValueError("not seen: %s (windows: %s)" % (what, seen))


def wait_until(condition, what):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            if condition():
                return
        except GLib.Error:
            pass  # a window that went away while we looked
        time.sleep(0.1)
    raise not_seen(what)


def dialog_ready(title):
    window = active_window()
    return window is not None and window.get_name() == title and has_focus(window)


def in_front(app_name):
    window = active_window()
    return window is not None and window.get_application().get_name() == app_name


def is_focused(accessible, name, depth=0):
    if depth > 20:
        return False
    if accessible.get_name() == name and accessible.get_state_set().contains(Atspi.StateType.FOCUSED):
        return True
    return any(is_focused(accessible.get_child_at_index(i), name, depth + 1)
               for i in range(accessible.get_child_count()))


def focused(name):
    window = active_window()
    return window is not None and is_focused(window, name)


def tab_to(name):
    """Tab, as a user does, until the control named `name` has the focus; a dialog has only a few."""
    for _ in range(12):
        deadline = time.monotonic() + 0.5
        while time.monotonic() < deadline:
            try:
                if focused(name):
                    return
            except GLib.Error:
                pass
            time.sleep(0.05)
        key(TAB, True)
        key(TAB, False)
    raise not_seen(name + " focused after Tab")


def checked(name):
    window = active_window()
    return window is not None and is_checked(window, name)


for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    try:
        if words[0] in ("await", "checked", "front", "focus"):
            what = line.strip()[len(words[0]) + 1:]
            if words[0] == "focus":
                tab_to(what)
            elif words[0] == "await":
                wait_until(lambda: dialog_ready(what), "a focused window titled " + what)
            elif words[0] == "front":
                wait_until(lambda: in_front(what), "a window of " + what + " in front")
            else:
                wait_until(lambda: checked(what), "the check box " + what + " checked")
            print("OK", flush=True)
            continue
        codes = [int(w) for w in words[1:]]
        if words[0] == "tap":
            for code in codes:
                key(code, True)
            for code in reversed(codes):
                key(code, False)
        elif words[0] == "press":
            key(codes[0], True)
        elif words[0] == "release":
            key(codes[0], False)
        else:
            raise ValueError("unknown command " + words[0])
        print("OK", flush=True)
    except (dbus.DBusException, ValueError, IndexError) as error:
        print("ERROR " + str(error).replace("\n", " "), flush=True)
session.Stop()
