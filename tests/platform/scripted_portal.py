#!/usr/bin/python3
# A scripted xdg-desktop-portal for tests, on whatever session bus DBUS_SESSION_BUS_ADDRESS names.
# It owns org.freedesktop.portal.Desktop, answers the RemoteDesktop and GlobalShortcuts calls the way
# the test tells it on standard input, and prints every call it receives, one line each, in order:
#   RemoteDesktop.SelectDevices types=1 persist_mode=2 restore_token=tok-1
# Commands (one a line):
#   refuse METHOD            answer METHOD with response 1 (the user cancelled) from now on
#   fail METHOD              answer METHOD with response 2 from now on
#   grant METHOD             answer METHOD normally again
#   hold METHOD              never answer METHOD (a question the user leaves open)
#   drop ID                  BindShortcuts leaves the shortcut ID out of its answer
#   activate ID / deactivate ID   emit Activated / Deactivated for the latest shortcuts session
#   activate-timed ID        activate, printing "emitted NS" (CLOCK_MONOTONIC) just before the signal leaves
#   change ID TEXT           emit ShortcutsChanged: ID is now triggered by TEXT
#   close-session            the portal closes the latest remote-desktop session
#   vanish                   leave the bus (exit)
# It prints "ready" once it owns its name and "ok COMMAND" after each command.
import os
import sys
import time

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = 'org.freedesktop.portal.Desktop'
PATH = '/org/freedesktop/portal/desktop'
RD = 'org.freedesktop.portal.RemoteDesktop'
GS = 'org.freedesktop.portal.GlobalShortcuts'
REQUEST = 'org.freedesktop.portal.Request'
SESSION = 'org.freedesktop.portal.Session'


def say(line):
    print(line, flush=True)


def element(sender):
    return sender[1:].replace('.', '_')


def value(v):
    if isinstance(v, (dbus.String, dbus.ObjectPath)):
        return str(v)
    if isinstance(v, dbus.Boolean):
        return 'true' if v else 'false'
    if isinstance(v, (dbus.UInt32, dbus.Int32, dbus.UInt64, dbus.Int64)):
        return str(int(v))
    return repr(v)


def options_text(options, keys):
    return ' '.join('%s=%s' % (k, value(options[k])) for k in keys if k in options)


class Session(dbus.service.Object):
    def __init__(self, portal, path):
        super().__init__(portal.bus, path)
        self.portal = portal
        self.path = path

    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        say('Session.Close ' + self.path.rsplit('/', 1)[-1])
        self.remove_from_connection()


class PortalBase(dbus.service.Object):
    # GlobalShortcuts lives in the base class: both interfaces name a method CreateSession, and
    # dbus-python finds a method by its Python name along the class hierarchy, per interface.
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.answers = {}
        self.dropped = set()
        self.tokens = 0
        self.rd_session = None
        self.gs_session = None
        self.sessions = []

    # ---- plumbing ----
    def respond(self, sender, options, method, results):
        path = '/org/freedesktop/portal/desktop/request/%s/%s' % (element(sender), options['handle_token'])
        code = self.answers.get(method, 0)
        if code is None:
            return dbus.ObjectPath(path)
        if code:
            results = {}

        def emit():
            signal = dbus.lowlevel.SignalMessage(path, REQUEST, 'Response')
            signal.append(dbus.UInt32(code), dbus.Dictionary(results, signature='sv'))
            self.bus.send_message(signal)
            return False

        GLib.idle_add(emit)
        return dbus.ObjectPath(path)

    def new_session(self, sender, options):
        path = '/org/freedesktop/portal/desktop/session/%s/%s' % (element(sender), options['session_handle_token'])
        self.sessions.append(Session(self, path))
        return path

    def emit(self, interface, member, *args):
        signal = dbus.lowlevel.SignalMessage(PATH, interface, member)
        signal.append(*args)
        self.bus.send_message(signal)

    # ---- GlobalShortcuts ----
    @dbus.service.method(GS, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
    def CreateSession(self, options, sender=None):
        say('GlobalShortcuts.CreateSession')
        self.gs_session = self.new_session(sender, options)
        return self.respond(sender, options, 'CreateSession', {'session_handle': dbus.String(self.gs_session)})

    @dbus.service.method(GS, in_signature='oa(sa{sv})sa{sv}', out_signature='o', sender_keyword='sender')
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        described = ['%s[%s|%s]' % (sid, props.get('description', ''), props.get('preferred_trigger', ''))
                     for sid, props in shortcuts]
        say('GlobalShortcuts.BindShortcuts ' + ' '.join(described))
        bound = [(sid, {'description': props.get('description', ''),
                        'trigger_description': 'Press ' + str(props.get('preferred_trigger', 'nothing'))})
                 for sid, props in shortcuts if str(sid) not in self.dropped]
        results = {'shortcuts': dbus.Array(bound, signature='(sa{sv})')}
        return self.respond(sender, options, 'BindShortcuts', results)


class Portal(PortalBase):
    # ---- properties ----
    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        if interface == RD and name == 'AvailableDeviceTypes':
            return dbus.UInt32(3)
        if interface in (RD, GS) and name == 'version':
            return dbus.UInt32(2 if interface == RD else 1)
        raise dbus.exceptions.DBusException('no such property', name='org.freedesktop.DBus.Error.InvalidArgs')

    # ---- RemoteDesktop ----
    @dbus.service.method(RD, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
    def CreateSession(self, options, sender=None):
        say('RemoteDesktop.CreateSession')
        self.rd_session = self.new_session(sender, options)
        return self.respond(sender, options, 'CreateSession', {'session_handle': dbus.String(self.rd_session)})

    @dbus.service.method(RD, in_signature='oa{sv}', out_signature='o', sender_keyword='sender')
    def SelectDevices(self, session, options, sender=None):
        say(('RemoteDesktop.SelectDevices ' + options_text(options, ['types', 'persist_mode', 'restore_token'])).strip())
        return self.respond(sender, options, 'SelectDevices', {})

    @dbus.service.method(RD, in_signature='osa{sv}', out_signature='o', sender_keyword='sender')
    def Start(self, session, parent_window, options, sender=None):
        say('RemoteDesktop.Start')
        self.tokens += 1
        results = {'devices': dbus.UInt32(1), 'restore_token': dbus.String('tok-%d' % self.tokens)}
        return self.respond(sender, options, 'Start', results)

    @dbus.service.method(RD, in_signature='oa{sv}iu', out_signature='')
    def NotifyKeyboardKeycode(self, session, options, keycode, state):
        if str(session) != self.rd_session:
            raise dbus.exceptions.DBusException('no such session', name='org.freedesktop.DBus.Error.AccessDenied')
        say('RemoteDesktop.NotifyKeyboardKeycode %d %d' % (keycode, state))


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    if bus.request_name(NAME, dbus.bus.NAME_FLAG_DO_NOT_QUEUE) != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        say('name taken')
        return 1
    loop = GLib.MainLoop()

    pending = b''

    def commands(source, condition):
        # Commands sent together arrive in one read: run every complete line, not only the first.
        nonlocal pending
        data = os.read(sys.stdin.fileno(), 65536)
        if not data:
            loop.quit()
            return False
        pending += data
        while b'\n' in pending:
            line, pending = pending.split(b'\n', 1)
            if not command(line.decode().split()):
                return False
        return True

    def command(words):
        if not words:
            return True
        verb, args = words[0], words[1:]
        if verb in ('refuse', 'fail', 'grant', 'hold'):
            portal.answers[args[0]] = {'refuse': 1, 'fail': 2, 'grant': 0, 'hold': None}[verb]
        elif verb == 'drop':
            portal.dropped.add(args[0])
        elif verb in ('activate', 'deactivate', 'activate-timed'):
            if verb == 'activate-timed':
                say('emitted %d' % time.clock_gettime_ns(time.CLOCK_MONOTONIC))
            portal.emit(GS, 'Deactivated' if verb == 'deactivate' else 'Activated', dbus.ObjectPath(portal.gs_session),
                        dbus.String(args[0]), dbus.UInt64(0), dbus.Dictionary({}, signature='sv'))
        elif verb == 'change':
            changed = [(args[0], {'description': 'changed', 'trigger_description': ' '.join(args[1:])})]
            portal.emit(GS, 'ShortcutsChanged', dbus.ObjectPath(portal.gs_session),
                        dbus.Array(changed, signature='(sa{sv})'))
        elif verb == 'close-session':
            signal = dbus.lowlevel.SignalMessage(portal.rd_session, SESSION, 'Closed')
            signal.append(dbus.Dictionary({}, signature='sv'))
            bus.send_message(signal)
        elif verb == 'vanish':
            bus.release_name(NAME)
            say('ok vanish')
            loop.quit()
            return False
        say('ok ' + verb)
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, commands)
    say('ready')
    loop.run()
    return 0


if __name__ == '__main__':
    sys.exit(main())
