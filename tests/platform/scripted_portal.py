#!/usr/bin/python3
# The desktop portal for tests: the real xdg-desktop-portal frontend in front of a scripted backend, on
# whatever session bus DBUS_SESSION_BUS_ADDRESS names (a private one). This script is the backend: it owns
# org.freedesktop.impl.portal.desktop.vandreltest, serves org.freedesktop.impl.portal.RemoteDesktop and
# org.freedesktop.impl.portal.GlobalShortcuts with their impl Request and Session objects, and then starts
# the permission store and the frontend (XDG_DESKTOP_PORTAL, default /usr/libexec/xdg-desktop-portal),
# which picks this backend through vandreltest.portal in a folder of ours (XDG_DESKTOP_PORTAL_DIR, UseIn=
# the XDG_CURRENT_DESKTOP we give it). Applications talk to the frontend, so its threading, its filtering
# of options and its permission handling are in the path.
#
# What xdg-desktop-portal 1.16 does in front of a backend, as seen here: it gives an unsandboxed caller the
# app id ""; it serves RemoteDesktop version 1, so of SelectDevices' options only "types" is passed on
# ("persist_mode" and "restore_token" are dropped, and no restore token is handed out); it answers
# NotifyKeyboardKeycode before the backend has the call, each call from a worker thread of its own; and it
# passes a backend's Start results (devices, restore_data) and CreateSession's "shortcuts" on as they are.
#
# It prints every call the frontend passes on, one line each, in the order they arrive:
#   RemoteDesktop.SelectDevices types=1
#   RemoteDesktop.NotifyKeyboardKeycode 29 1
# (A frontend that keeps restore tokens would pass persist_mode on, and hand back the restore_data this
# backend gave with an earlier grant, "tok-N": printed as persist_mode=2 restore_data=tok-1.)
# Commands (one a line):
#   refuse METHOD            answer METHOD with response 1 (the user cancelled) from now on
#   fail METHOD              answer METHOD with response 2 from now on
#   grant METHOD             answer METHOD normally again
#   hold METHOD              leave METHOD's calls unanswered from now on (a question the user leaves open); a
#                            request the frontend closes is dropped, with the session a CreateSession made
#   slow METHOD              as hold, but a request the frontend closes is still answered when told: a backend
#                            too busy (still starting, say) to see the close before it answers
#   answer METHOD            answer the calls of METHOD held so far: as refuse or fail said since, else granted
#   no-keyboard              Start grants everything but the keyboard (devices=0) from now on
#   freeze-after-keys N      stop the frontend (SIGSTOP) once the N-th keycode from now has arrived: a portal
#                            that no longer answers (the frontend answers a key event before it passes it on,
#                            so a backend cannot hold that answer itself)
#   freeze                   stop the frontend (SIGSTOP) now: a portal that hangs
#   thaw                     let a stopped frontend go on (SIGCONT)
#   kill                     the frontend dies at once (SIGKILL), running no code of its own: a crash
#   standby                  start a second frontend and stop it just before it asks for the bus name (it asks
#                            the backend for its properties first)
#   take-over                let the standby frontend go on: it takes the name from the one before, which is left
#                            as it is (stopped, say), as `xdg-desktop-portal --replace` does for a hung portal
#   held                     print "held K..." (or "held none"): the keys the sessions hold down now; a closed
#                            session holds none, as a compositor releases what a removed device held
#   close-after-keys N       the backend closes the remote-desktop session after the N-th keycode from now
#   drop ID                  the shortcut ID is never bound
#   plasma-5.27              GlobalShortcuts binds as Plasma 5.27 does: only what CreateSession is given
#   gnome-48                 BindShortcuts binds, and answers with response 2 beside the bound shortcuts, as
#                            GNOME 48's backend does
#   activate ID / deactivate ID   emit Activated / Deactivated for the latest shortcuts session
#   activate-timed ID        activate, printing "emitted NS" (CLOCK_MONOTONIC) just before the signal leaves
#   change ID TEXT           emit ShortcutsChanged: ID is now triggered by TEXT
#   close-session            the backend closes the latest remote-desktop session
#   vanish                   the frontend leaves the bus (it is stopped)
#   restart                  the frontend is stopped and started again (its sessions are gone, here too)
# It prints "ready" once the frontend owns org.freedesktop.portal.Desktop, "ok COMMAND" after each command,
# "unknown COMMAND" for a command it does not know, and "failed: WHY" (then exits) when the frontend cannot
# be brought up within its bounds.
import os
import signal
import subprocess
import sys
import tempfile
import time

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = 'org.freedesktop.impl.portal.desktop.vandreltest'
DESKTOP = 'vandreltest'
PATH = '/org/freedesktop/portal/desktop'
RD = 'org.freedesktop.impl.portal.RemoteDesktop'
GS = 'org.freedesktop.impl.portal.GlobalShortcuts'
REQUEST = 'org.freedesktop.impl.portal.Request'
SESSION = 'org.freedesktop.impl.portal.Session'
FRONTEND_NAME = 'org.freedesktop.portal.Desktop'
STORE_NAME = 'org.freedesktop.impl.portal.PermissionStore'
# Generous for a machine busy with builds; the test itself waits a little longer for "ready".
START_LIMIT_S = 15


def say(line):
    print(line, flush=True)


def value(v):
    if isinstance(v, (dbus.String, dbus.ObjectPath)):
        return str(v)
    if isinstance(v, dbus.Boolean):
        return 'true' if v else 'false'
    if isinstance(v, (dbus.UInt32, dbus.Int32, dbus.UInt64, dbus.Int64, dbus.Byte)):
        return str(int(v))
    if isinstance(v, dbus.Struct) and len(v) == 3:  # restore_data: (provider, version, data)
        return value(v[2])
    return repr(v)


def options_text(options, keys):
    return ' '.join('%s=%s' % (k, value(options[k])) for k in keys if k in options)


def last(path):
    return str(path).rsplit('/', 1)[-1]


def stop(child):
    # SIGSTOP reaches a process through one of its threads; until that thread has run, the others go on, and a
    # busy machine can leave them time enough to answer a call sent after the signal. Stopped is when every
    # thread is.
    child.send_signal(signal.SIGSTOP)
    tasks = '/proc/%d/task' % child.pid
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        try:
            states = []
            for task in os.listdir(tasks):
                with open(os.path.join(tasks, task, 'stat')) as f:
                    states.append(f.read().rsplit(')', 1)[1].split()[0])
        except OSError:
            return
        if all(state in ('T', 't') for state in states):
            return
        time.sleep(0.001)


class Request(dbus.service.Object):
    def __init__(self, backend, path, method):
        super().__init__(backend.bus, path)
        self.backend = backend
        self.method = method
        self.reply = None
        self.slow = False
        self.session = None  # the one a CreateSession made

    @dbus.service.method(REQUEST, in_signature='', out_signature='')
    def Close(self):
        say('Request.Close %s %s' % (self.method, last(self.__dbus_object_path__)))
        if not self.slow:
            self.backend.held = [h for h in self.backend.held if h is not self]
            session = self.backend.sessions.pop(self.session, None)
            if session is not None:
                session.remove_from_connection()
        self.release()

    def release(self):
        try:
            self.remove_from_connection()
        except LookupError:
            pass


class Session(dbus.service.Object):
    def __init__(self, backend, path):
        super().__init__(backend.bus, path)
        self.backend = backend
        self.path = str(path)
        self.down = []

    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        say('Session.Close ' + last(self.path))
        self.backend.sessions.pop(self.path, None)
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature='')
    def Closed(self):
        pass


class BackendBase(dbus.service.Object):
    # GlobalShortcuts lives in the base class: both interfaces name a method CreateSession, and
    # dbus-python finds a method by its Python name along the class hierarchy, per interface.
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.answers = {}
        self.dropped = set()
        self.grants = 0
        self.keyboard = True
        self.rd_session = None
        self.gs_session = None
        self.gs_bound = {}
        self.plasma = False
        self.gnome48 = False
        self.sessions = {}
        self.held = []
        self.keys_seen = 0
        self.freeze_at = 0
        self.close_after = 0
        self.services = None
        self.standby = None  # a frontend to stop at its first call here

    # ---- plumbing ----
    def respond(self, handle, method, results, reply, granted_code=0, session=None):
        request = Request(self, handle, method)
        request.session = session
        code = self.answers.get(method, 0)
        request.reply = lambda code: reply(dbus.UInt32(code or granted_code),
                                           dbus.Dictionary(results if code == 0 else {}, signature='sv'))
        if code in (None, 'slow'):
            request.slow = code == 'slow'
            self.held.append(request)
            return
        request.release()
        request.reply(code)

    def answer_held(self, method):
        for request in [h for h in self.held if h.method == method]:
            self.held.remove(request)
            request.release()
            code = self.answers.get(method)
            request.reply(code if isinstance(code, int) else 0)

    def new_session(self, path):
        self.sessions[str(path)] = Session(self, path)
        return str(path)

    def emit(self, interface, member, *args):
        message = dbus.lowlevel.SignalMessage(PATH, interface, member)
        message.append(*args)
        self.bus.send_message(message)

    def forget_sessions(self):
        # The frontend that made them is gone: like a desktop's backend, ours drops them without a word.
        for session in self.sessions.values():
            session.remove_from_connection()
        self.sessions = {}

    def close_session(self):
        session = self.sessions.pop(self.rd_session, None)
        if session is None:
            return
        session.Closed()
        session.remove_from_connection()

    # ---- GlobalShortcuts ----
    # Documented: CreateSession's "shortcuts" are not looked at, BindShortcuts binds what it is given.
    # Plasma 5.27 (command "plasma-5.27"): the shortcuts given to CreateSession are bound and answered
    # with; BindShortcuts (which opens the desktop's shortcut settings there) answers with what the session
    # has and binds nothing. ListShortcuts lists the session's bound shortcuts in both.
    def bound_list(self, shortcuts):
        return [(sid, {'description': props.get('description', ''),
                       'trigger_description': 'Press ' + str(props.get('preferred_trigger', 'nothing'))})
                for sid, props in shortcuts if str(sid) not in self.dropped]

    def shortcuts_of(self, session):
        return dbus.Array(self.gs_bound.get(str(session), []), signature='(sa{sv})')

    @dbus.service.method(GS, in_signature='oosa{sv}', out_signature='ua{sv}',
                         async_callbacks=('reply', 'error'))
    def CreateSession(self, handle, session, app_id, options, reply, error):
        given = options.get('shortcuts', [])
        say(('GlobalShortcuts.CreateSession ' + ' '.join(
            '%s[%s]' % (sid, props.get('preferred_trigger', '')) for sid, props in given)).strip())
        self.gs_session = self.new_session(session)
        self.gs_bound[self.gs_session] = self.bound_list(given) if self.plasma else []
        # The frontend passes the session's shortcuts on with its answer, and logs criticals without them.
        self.respond(handle, 'CreateSession', {'session_handle': dbus.ObjectPath(session),
                                               'shortcuts': self.shortcuts_of(session)}, reply,
                     session=self.gs_session)

    @dbus.service.method(GS, in_signature='ooa(sa{sv})sa{sv}', out_signature='ua{sv}',
                         async_callbacks=('reply', 'error'))
    def BindShortcuts(self, handle, session, shortcuts, parent_window, options, reply, error):
        described = ['%s[%s|%s]' % (sid, props.get('description', ''), props.get('preferred_trigger', ''))
                     for sid, props in shortcuts]
        say('GlobalShortcuts.BindShortcuts ' + ' '.join(described))
        if not self.plasma:
            self.gs_bound[str(session)] = self.bound_list(shortcuts)
        self.respond(handle, 'BindShortcuts', {'shortcuts': self.shortcuts_of(session)}, reply,
                     2 if self.gnome48 else 0)

    @dbus.service.method(GS, in_signature='oo', out_signature='ua{sv}',
                         async_callbacks=('reply', 'error'))
    def ListShortcuts(self, handle, session, reply, error):
        say('GlobalShortcuts.ListShortcuts')
        self.respond(handle, 'ListShortcuts', {'shortcuts': self.shortcuts_of(session)}, reply)


class Backend(BackendBase):
    # ---- properties ----
    def properties(self, interface):
        if interface == RD:
            return {'AvailableDeviceTypes': dbus.UInt32(3), 'version': dbus.UInt32(2)}
        if interface == GS:
            return {'version': dbus.UInt32(1)}
        return {}

    def stop_standby(self, sender):
        # Before the answer: stopped in its wait for it, the frontend cannot have asked for the name yet.
        if self.standby is None:
            return
        pid = self.bus.call_blocking('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                                     'GetConnectionUnixProcessID', 's', (sender,))
        if pid == self.standby.pid:
            stop(self.standby)
            self.standby = None
            say('ok standby')

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v', sender_keyword='sender')
    def Get(self, interface, name, sender=None):
        self.stop_standby(sender)
        props = self.properties(interface)
        if name not in props:
            raise dbus.exceptions.DBusException('no such property', name='org.freedesktop.DBus.Error.InvalidArgs')
        return props[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}', sender_keyword='sender')
    def GetAll(self, interface, sender=None):
        self.stop_standby(sender)
        return dbus.Dictionary(self.properties(interface), signature='sv')

    # ---- RemoteDesktop ----
    @dbus.service.method(RD, in_signature='oosa{sv}', out_signature='ua{sv}', async_callbacks=('reply', 'error'))
    def CreateSession(self, handle, session, app_id, options, reply, error):
        say('RemoteDesktop.CreateSession')
        self.rd_session = self.new_session(session)
        self.respond(handle, 'CreateSession', {'session_handle': dbus.ObjectPath(session)}, reply,
                     session=self.rd_session)

    @dbus.service.method(RD, in_signature='oosa{sv}', out_signature='ua{sv}', async_callbacks=('reply', 'error'))
    def SelectDevices(self, handle, session, app_id, options, reply, error):
        say(('RemoteDesktop.SelectDevices ' + options_text(options, ['types', 'persist_mode', 'restore_data'])).strip())
        self.respond(handle, 'SelectDevices', {}, reply)

    @dbus.service.method(RD, in_signature='oossa{sv}', out_signature='ua{sv}', async_callbacks=('reply', 'error'))
    def Start(self, handle, session, app_id, parent_window, options, reply, error):
        say('RemoteDesktop.Start')
        self.grants += 1
        results = {'devices': dbus.UInt32(1 if self.keyboard else 0), 'persist_mode': dbus.UInt32(2),
                   'restore_data': dbus.Struct((DESKTOP, dbus.UInt32(1), dbus.String('tok-%d' % self.grants,
                                                                                     variant_level=1)),
                                               signature='suv')}
        self.respond(handle, 'Start', results, reply)

    @dbus.service.method(RD, in_signature='oa{sv}iu', out_signature='', async_callbacks=('reply', 'error'))
    def NotifyKeyboardKeycode(self, session, options, keycode, state, reply, error):
        if str(session) not in self.sessions:
            error(dbus.exceptions.DBusException('no such session', name='org.freedesktop.DBus.Error.AccessDenied'))
            return
        self.keys_seen += 1
        down = self.sessions[str(session)].down
        if state:
            down.append(int(keycode))
        elif int(keycode) in down:
            down.remove(int(keycode))
        if self.freeze_at and self.keys_seen == self.freeze_at:
            # Before the line is printed: a test that sees it knows the frontend is stopped.
            self.freeze_at = 0
            stop(self.services.frontend)
        say('RemoteDesktop.NotifyKeyboardKeycode %d %d' % (keycode, state))
        reply()
        if self.close_after and self.keys_seen == self.close_after:
            self.close_after = 0
            self.close_session()


class Services:
    """The permission store and the frontend, started in front of the backend and stopped with it."""

    def __init__(self, bus):
        self.bus = bus
        self.folder = tempfile.mkdtemp(prefix='vandrel-portal.')
        self.children = []
        portals = os.path.join(self.folder, 'portals')
        os.mkdir(portals)
        with open(os.path.join(portals, DESKTOP + '.portal'), 'w') as f:
            f.write('[portal]\nDBusName=%s\nInterfaces=%s;%s;\nUseIn=%s\n' % (NAME, RD, GS, DESKTOP))
        env = dict(os.environ)
        # The frontend must see our desktop and our backend only, and keep its restore data in our folder.
        env.update({'XDG_DESKTOP_PORTAL_DIR': portals, 'XDG_CURRENT_DESKTOP': DESKTOP,
                    'XDG_DATA_HOME': os.path.join(self.folder, 'data'), 'GIO_USE_VFS': 'local'})
        env.pop('WAYLAND_DISPLAY', None)
        self.env = env

    def owned(self, name):
        try:
            return bool(self.bus.name_has_owner(name))
        except dbus.exceptions.DBusException:
            return False

    def owner(self, name):
        try:
            return str(self.bus.get_name_owner(name))
        except dbus.exceptions.DBusException:
            return ''

    def start(self, argv, name, then, taken=None):
        # Waits in the main loop: the frontend asks this very process for the backend's properties while
        # it comes up, so blocking here would stall both until the frontend's own call timed out.
        # Their chatter (no RealtimeKit, no skeleton for the portals we do not serve) goes to a log, which
        # is shown when they fail to come up.
        log = open(os.path.join(self.folder, os.path.basename(argv[0]) + '.log'), 'w')
        child = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        self.children.append(child)
        deadline = time.monotonic() + START_LIMIT_S

        taken = taken or (lambda: self.owned(name))

        def check():
            if taken():
                then(child)
            elif child.poll() is not None:
                self.failed('%s exited with %d' % (argv[0], child.returncode))
            elif time.monotonic() > deadline:
                self.failed('%s did not take %s within %d s' % (argv[0], name, START_LIMIT_S))
            else:
                return True
            return False

        GLib.timeout_add(20, check)

    def start_all(self, ready, failed):
        self.failed = failed
        self.start(['/usr/libexec/xdg-permission-store', '--replace'], STORE_NAME,
                   lambda _: self.start_frontend(ready))

    def start_frontend(self, then):
        def started(child):
            self.frontend = child
            then()

        self.start(self.frontend_argv(), FRONTEND_NAME, started)

    def frontend_argv(self):
        return [os.environ.get('XDG_DESKTOP_PORTAL', '/usr/libexec/xdg-desktop-portal'), '--replace']

    def start_standby(self, backend):
        log = open(os.path.join(self.folder, 'standby.log'), 'w')
        child = subprocess.Popen(self.frontend_argv(), env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                 stderr=log)
        self.children.append(child)
        self.standby = child
        backend.standby = child

    def take_over(self, then):
        before = self.owner(FRONTEND_NAME)
        child = self.standby
        child.send_signal(signal.SIGCONT)

        def taken_over(_):
            self.frontend = child
            then()

        deadline = time.monotonic() + START_LIMIT_S

        def check():
            owner = self.owner(FRONTEND_NAME)
            if owner and owner != before:
                taken_over(child)
            elif child.poll() is not None or time.monotonic() > deadline:
                self.failed('the standby frontend did not take %s' % FRONTEND_NAME)
            else:
                return True
            return False

        GLib.timeout_add(20, check)

    def stop_frontend(self):
        self.stop(self.frontend)
        deadline = time.monotonic() + 5
        while self.owned(FRONTEND_NAME) and time.monotonic() < deadline:
            time.sleep(0.02)

    def stop(self, child):
        if child.poll() is None:
            child.send_signal(signal.SIGCONT)  # a frozen frontend could not act on the next signal
            child.terminate()
            try:
                child.wait(3)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait(2)

    def stop_all(self):
        for child in reversed(self.children):
            self.stop(child)
        subprocess.run(['rm', '-rf', self.folder])


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = Backend(bus)
    if bus.request_name(NAME, dbus.bus.NAME_FLAG_DO_NOT_QUEUE) != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        say('failed: %s is taken' % NAME)
        return 1
    services = Services(bus)
    backend.services = services
    signal.signal(signal.SIGTERM, lambda *_: (services.stop_all(), sys.exit(0)))
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
        if verb in ('refuse', 'fail', 'grant', 'hold', 'slow'):
            backend.answers[args[0]] = {'refuse': 1, 'fail': 2, 'grant': 0, 'hold': None, 'slow': 'slow'}[verb]
        elif verb == 'answer':
            backend.answer_held(args[0])
        elif verb == 'no-keyboard':
            backend.keyboard = False
        elif verb == 'freeze-after-keys':
            backend.freeze_at = backend.keys_seen + int(args[0])
        elif verb == 'freeze':
            stop(services.frontend)
        elif verb == 'thaw':
            services.frontend.send_signal(signal.SIGCONT)
        elif verb == 'kill':
            services.frontend.send_signal(signal.SIGKILL)
            services.frontend.wait()
        elif verb == 'standby':
            services.start_standby(backend)  # "ok standby" once it is stopped
            return True
        elif verb == 'take-over':
            services.take_over(lambda: say('ok take-over'))
            return True
        elif verb == 'held':
            keys = [str(k) for session in backend.sessions.values() for k in session.down]
            say('held ' + (' '.join(keys) if keys else 'none'))
        elif verb == 'close-after-keys':
            backend.close_after = backend.keys_seen + int(args[0])
        elif verb == 'drop':
            backend.dropped.add(args[0])
        elif verb == 'plasma-5.27':
            backend.plasma = True
        elif verb == 'gnome-48':
            backend.gnome48 = True
        elif verb in ('activate', 'deactivate', 'activate-timed'):
            if verb == 'activate-timed':
                say('emitted %d' % time.clock_gettime_ns(time.CLOCK_MONOTONIC))
            backend.emit(GS, 'Deactivated' if verb == 'deactivate' else 'Activated',
                         dbus.ObjectPath(backend.gs_session), dbus.String(args[0]), dbus.UInt64(0),
                         dbus.Dictionary({}, signature='sv'))
        elif verb == 'change':
            changed = [(args[0], {'description': 'changed', 'trigger_description': ' '.join(args[1:])})]
            backend.emit(GS, 'ShortcutsChanged', dbus.ObjectPath(backend.gs_session),
                         dbus.Array(changed, signature='(sa{sv})'))
        elif verb == 'close-session':
            backend.close_session()
        elif verb == 'vanish':
            services.stop_frontend()
        elif verb == 'restart':
            services.stop_frontend()
            backend.forget_sessions()
            services.start_frontend(lambda: say('ok restart'))
            return True
        else:
            say('unknown ' + verb)
            return True
        say('ok ' + verb)
        return True

    def failed(why):
        for name in os.listdir(services.folder):
            if name.endswith('.log'):
                with open(os.path.join(services.folder, name)) as f:
                    sys.stderr.write(f.read()[-4000:])
        say('failed: ' + why)
        loop.quit()

    # Commands are taken once the frontend is up: a test waits for "ready" before it sends any.
    services.start_all(lambda: (GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, commands), say('ready')),
                       failed)
    try:
        loop.run()
    finally:
        services.stop_all()
    return 0


if __name__ == '__main__':
    sys.exit(main())
