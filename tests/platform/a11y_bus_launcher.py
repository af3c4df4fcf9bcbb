#!/usr/bin/python3
# The session's launcher of the accessibility bus, as at-spi-bus-launcher answers: org.a11y.Bus.GetAddress
# says where the bus is, here one the test runs itself. Usage: a11y_bus_launcher.py ADDRESS
# Prints READY once it holds the name.
import sys

from gi.repository import Gio, GLib

NODE = Gio.DBusNodeInfo.new_for_xml("""<node><interface name="org.a11y.Bus">
<method name="GetAddress"><arg type="s" direction="out"/></method></interface></node>""")
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
bus.register_object("/org/a11y/bus", NODE.interfaces[0],
                    lambda *call: call[-1].return_value(GLib.Variant("(s)", (sys.argv[1],))), None, None)
loop = GLib.MainLoop()
Gio.bus_own_name_on_connection(bus, "org.a11y.Bus", Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("READY", flush=True), lambda *_: loop.quit())
loop.run()
