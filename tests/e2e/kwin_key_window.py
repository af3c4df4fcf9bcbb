#!/usr/bin/python3
# A Wayland window that names itself as the application given (its app id, which KWin reports as the
# window's resource class) and prints every key press it gets with the modifiers held, as KEY:ctrl+shift+v.
# It prints READY once it has the keyboard focus and INACTIVE when another window takes it. It ends when its
# standard input closes.
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

GLib.set_prgname(sys.argv[1] if len(sys.argv) > 1 else "kwin-key-window")
window = Gtk.Window(title="key window")
window.set_default_size(300, 200)
window.connect("destroy", Gtk.main_quit)


def pressed(_widget, event):
    name = Gdk.keyval_name(Gdk.keyval_to_lower(event.keyval)) or "?"
    if name.startswith(("Control", "Shift", "Alt", "Super", "Meta", "ISO_")):
        return True
    mods = [m for m, mask in (("ctrl", Gdk.ModifierType.CONTROL_MASK), ("shift", Gdk.ModifierType.SHIFT_MASK),
                              ("alt", Gdk.ModifierType.MOD1_MASK)) if event.state & mask]
    print("KEY:" + "+".join(mods + [name]), flush=True)
    return True


def focused(*_):
    print("READY" if window.is_active() else "INACTIVE", flush=True)


def command(source, _condition):
    if not source.readline():
        Gtk.main_quit()
        return False
    return True


window.connect("key-press-event", pressed)
window.connect("notify::is-active", focused)
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
window.show_all()
Gtk.main()
