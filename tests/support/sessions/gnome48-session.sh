#!/usr/bin/env bash
# A GNOME Shell 48 Wayland session for the tests that need the real desktop (Debian 13): GNOME Shell headless
# with a virtual monitor and Xwayland, on a session bus and a system bus of its own, xdg-desktop-portal in
# front of GNOME's own backend, every component as an unprivileged user (nobody when started as root).
# Mutter 48 lets only the programs it knows use its remote-desktop interface, through which the tests' virtual
# keyboard types: a small extension of the session puts the shell into its unsafe mode, which lifts that.
# Usage: gnome48-session.sh FOLDER   (an empty folder: runtime dir, home, buses, logs)
# Once every component answers it writes FOLDER/session.env (WAYLAND_DISPLAY, DISPLAY, XAUTHORITY,
# XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, HOME, XDG_DATA_HOME, XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE,
# SESSION_UID) and prints "ready". The conventions every session script keeps are in session-common.sh,
# what the GNOME ones share in gnome-common.sh.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 FOLDER" >&2; exit 2; }
mkdir -p "$1"
folder=$(realpath "$1")
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/gnome-common.sh"
gnome_buses keyfile

# The shell's settings from a key file: the memory backend would forget the extension before the shell reads
# it. The extension is an ES module with a default class, as GNOME 45 and later load them.
extension="$home/.local/share/gnome-shell/extensions/unsafe-mode@vandrel.test"
mkdir -p "$extension" "$home/.config/glib-2.0/settings"
cat >"$extension/metadata.json" <<'JSON'
{"uuid": "unsafe-mode@vandrel.test", "name": "Unsafe mode", "description": "Tests only", "shell-version": ["48"]}
JSON
cat >"$extension/extension.js" <<'JS'
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class UnsafeMode extends Extension {
    enable() {
        global.context.unsafe_mode = true;
    }

    disable() {
        global.context.unsafe_mode = false;
    }
}
JS
cat >"$home/.config/glib-2.0/settings/keyfile" <<'KEYS'
[org/gnome/shell]
enabled-extensions=['unsafe-mode@vandrel.test']
welcome-dialog-last-shown-version='999'
KEYS
chown -R "$session_uid:$session_uid" "$home"

# The portal and GNOME's backend are started by the bus, on the first call: the shell's helpers make one early
# (mutter-x11-frames, as Xwayland comes up), and a second instance could not take the names. So the bus
# starts them into this session: its display, and only the backends a GNOME desktop has (the portal falls
# back to any installed backend for an interface GNOME's do not offer).
gnome_portals "$folder/portals"
gnome_activation_environment XDG_DESKTOP_PORTAL_DIR="$folder/portals" WAYLAND_DISPLAY=wayland-0 GDK_BACKEND=wayland

session_start gnome-shell "${session_env[@]}" gnome-shell --headless --wayland --virtual-monitor 1280x800
session_wait_name 60 org.gnome.Shell || session_fail "GNOME Shell" gnome-shell
# The shell greets with the overview, as at a login; waiting for it makes every run start alike.
overview_open() { gnome_shell_get OverviewActive | grep -q true; }
session_poll 30 overview_open || session_fail "GNOME Shell (no overview)" gnome-shell
extension_on() {
    "${as_user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.gnome.Shell \
        --object-path /org/gnome/Shell --method org.gnome.Shell.Extensions.GetExtensionInfo \
        unsafe-mode@vandrel.test | grep -q "'state': <1.0>"
}
session_poll 20 extension_on || session_fail "the unsafe-mode extension" gnome-shell

# Mutter 48 starts Xwayland on demand, on the first X client: its display is the one the shell names in its
# log (it takes a second one, for its own helpers, that is no display of the session's), its authority the
# file the shell wrote into the runtime folder.
session_poll 20 test -S "$runtime/wayland-0" || session_fail "GNOME Shell's Wayland socket" gnome-shell
x_display="" xauthority=""
find_xwayland() {
    x_display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\),.*/\1/p' "$folder/gnome-shell.log" | head -n1)
    xauthority=$(find "$runtime" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -n1)
    [ -n "$x_display" ] && [ -S "/tmp/.X11-unix/X${x_display#:}" ] && [ -n "$xauthority" ]
}
session_poll 30 find_xwayland || session_fail "Xwayland (no display named in the log, or no authority)" gnome-shell
gnome_activation_environment DISPLAY="$x_display" XAUTHORITY="$xauthority"

# What the bus started: watched and stopped like the rest, their output in the bus's log.
bus_started() {
    "${as_user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.freedesktop.DBus \
        --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" |
        grep -o '[0-9]\+' | tail -n1
}
"${as_user[@]}" "${session_env[@]}" gdbus call --timeout 30 --session --dest org.freedesktop.DBus \
    --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.StartServiceByName \
    org.freedesktop.portal.Desktop 0 >/dev/null 2>&1 || session_fail "xdg-desktop-portal" session-bus
session_wait_name 30 org.freedesktop.impl.portal.desktop.gnome || session_fail "xdg-desktop-portal-gnome" session-bus
for started in portal:org.freedesktop.portal.Desktop portal-gnome:org.freedesktop.impl.portal.desktop.gnome; do
    pid=$(bus_started "${started#*:}") || session_fail "${started%%:*} (no process)" session-bus
    session_adopt "${started%%:*}" "$pid" session-bus
done

session_ready WAYLAND_DISPLAY="$runtime/wayland-0" DISPLAY="$x_display" XAUTHORITY="$xauthority" \
    XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$session_bus" HOME="$home" \
    XDG_DATA_HOME="$home/.local/share" XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland \
    SESSION_UID="$session_uid"
session_watch
