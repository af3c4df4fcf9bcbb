#!/usr/bin/python3
# The clipboard of an X11 program under XWayland, for the command bench's hand paste: no window, only the
# CLIPBOARD selection. Each line on stdin becomes its text, answered by SET.
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)


def command(source, _condition):
    line = source.readline()
    if not line:
        Gtk.main_quit()
        return False
    clipboard.set_text(line.rstrip("\n"), -1)
    print("SET", flush=True)
    return True


GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
print("READY", flush=True)
Gtk.main()
