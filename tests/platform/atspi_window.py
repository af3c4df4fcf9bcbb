#!/usr/bin/python3
# An application on the accessibility bus with one window, as a toolkit presents it: its name on the root
# object, and the window's activation announced as an event. Usage: atspi_window.py NAME [hang]
# Prints READY once the activation went out. With "hang" it then stops itself, as a hung program would,
# before it could answer any question about it. "activate" on its standard input announces the activation
# again (the user came back to the window) and prints ACTIVATED.
import os
import signal
import sys

from gi.repository import Gio, GLib

name = sys.argv[1]
session = Gio.bus_get_sync(Gio.BusType.SESSION)
address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                            GLib.VariantType("(s)"), 0, -1, None).unpack()[0]
bus = Gio.DBusConnection.new_for_address_sync(
    address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

ROOT = Gio.DBusNodeInfo.new_for_xml("""<node><interface name="org.a11y.atspi.Accessible">
<property name="Name" type="s" access="read"/></interface></node>""")
bus.register_object("/org/a11y/atspi/accessible/root", ROOT.interfaces[0], None,
                    lambda *_: GLib.Variant("s", name), None)


def activate():
    bus.emit_signal(None, "/org/a11y/atspi/accessible/1", "org.a11y.atspi.Event.Window", "Activate",
                    GLib.Variant("(siiva{sv})", ("", 0, 0, GLib.Variant("i", 0), {})))
    bus.flush_sync(None)


def on_input(*_):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    if line.strip() == "activate":
        activate()
        print("ACTIVATED", flush=True)
    return True


activate()
print("READY", flush=True)
if sys.argv[2:] == ["hang"]:
    os.kill(os.getpid(), signal.SIGSTOP)
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin.fileno(), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
loop.run()
