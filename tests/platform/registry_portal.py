#!/usr/bin/python3
# A desktop portal that the bus starts for the first call to it and that takes its time to come up, with
# the host registry of xdg-desktop-portal 1.19 and later: one registration per connection, a second one
# refused as the real one refuses it. Usage: registry_portal.py DELAY_SECONDS LOG_FILE
# Writes "Register <app id> registered|refused" for each registration and "Ping" for org.vandrel.Test.Ping.
import sys
import time

from gi.repository import Gio, GLib

time.sleep(float(sys.argv[1]))
log = open(sys.argv[2], "a", buffering=1)
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
registered = set()
NODE = Gio.DBusNodeInfo.new_for_xml("""<node>
<interface name="org.freedesktop.host.portal.Registry">
  <method name="Register"><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/></method>
</interface>
<interface name="org.vandrel.Test"><method name="Ping"/></interface></node>""")


def call(connection, sender, path, interface, method, parameters, invocation):
    if method == "Ping":
        log.write("Ping\n")
        invocation.return_value(None)
        return
    app_id = parameters.unpack()[0]
    if sender in registered:
        log.write("Register %s refused\n" % app_id)
        invocation.return_dbus_error("org.freedesktop.portal.Error.Failed",
                                     "Could not register app ID: Connection already associated with an application ID")
        return
    registered.add(sender)
    log.write("Register %s registered\n" % app_id)
    invocation.return_value(None)


for interface in NODE.interfaces:
    bus.register_object("/org/freedesktop/portal/desktop", interface, call, None, None)
Gio.bus_own_name_on_connection(bus, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE, None, None)
GLib.MainLoop().run()
