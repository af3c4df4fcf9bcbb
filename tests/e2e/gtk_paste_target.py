#!/usr/bin/python3
# A GTK window with one text field, for a test in a Wayland session (GDK_BACKEND=wayland): prints READY
# once the field has the keyboard focus and TEXT:<field> after every change.
import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

GLib.set_prgname("vandrel-gtk-target")
window = Gtk.Window(title="GTK paste target")
entry = Gtk.Entry()
window.add(entry)
window.connect("destroy", Gtk.main_quit)


def changed(field):
    print("TEXT:" + field.get_text(), flush=True)


def focused(*_):
    if window.is_active() and entry.has_focus():
        print("READY", flush=True)


entry.connect("changed", changed)
window.connect("notify::is-active", focused)
window.show_all()
entry.grab_focus()
focused()
Gtk.main()
