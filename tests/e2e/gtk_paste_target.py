#!/usr/bin/python3
# A GTK window with one text field, the editor a dictation is pasted into: in a Wayland session
# (GDK_BACKEND=wayland) for the end-to-end test, on an X display for the latency bench. It prints SHOWN once
# the window is on screen, READY once the field has the keyboard focus, INACTIVE when another window takes
# it, and TEXT:<field> after every change. Commands on stdin, one a line:
# "copy <text>" puts <text> on the clipboard, owned by this program; "clipboard" answers CLIPBOARD:<text>.
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

GLib.set_prgname("vandrel-gtk-target")
window = Gtk.Window(title="GTK paste target")
entry = Gtk.Entry()
window.add(entry)
window.connect("destroy", Gtk.main_quit)
clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)


def changed(field):
    print("TEXT:" + field.get_text(), flush=True)


def focused(*_):
    if window.is_active() and entry.has_focus():
        print("READY", flush=True)
    elif not window.is_active():
        print("INACTIVE", flush=True)


def mapped(*_):
    print("SHOWN", flush=True)
    # With no window manager on the X display nobody hands out the focus: take it.
    if GdkX11 is not None and isinstance(window.get_display(), GdkX11.X11Display):
        window.get_window().focus(Gdk.CURRENT_TIME)
    return False


def command(source, _condition):
    line = source.readline()
    if not line:  # the other end is done with us
        Gtk.main_quit()
        return False
    line = line.rstrip("\n")
    if line.startswith("copy "):
        clipboard.set_text(line[5:], -1)
    elif line == "clipboard":
        print("CLIPBOARD:" + (clipboard.wait_for_text() or ""), flush=True)
    return True


try:
    gi.require_version("GdkX11", "3.0")
    from gi.repository import GdkX11  # noqa: E402,F401
except (ImportError, ValueError):
    GdkX11 = None

entry.connect("changed", changed)
window.connect("notify::is-active", focused)
window.connect("map-event", mapped)
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
window.show_all()
entry.grab_focus()
focused()
Gtk.main()
