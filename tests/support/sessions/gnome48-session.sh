#!/usr/bin/env bash
# A GNOME Shell 48 Wayland session for the tests that need the real desktop (Debian 13): GNOME Shell headless
# with a virtual monitor and Xwayland, on a session bus and a system bus of its own, xdg-desktop-portal in
# front of GNOME's own backend, every component as an unprivileged user (nobody when started as root).
# Mutter 48 lets only the programs it knows use its remote-desktop interface, through which the tests' virtual
# keyboard types: a small extension of the session puts the shell into its unsafe mode, which lifts that.
# Usage: gnome48-session.sh FOLDER   (an empty folder: runtime dir, home, buses, logs)
# Once every component answers it writes FOLDER/session.env and prints "ready"; it stops everything when its
# standard input closes or on TERM/INT/HUP, and exits non-zero when a component dies.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 FOLDER" >&2; exit 2; }
work=$1
mkdir -p "$work"
chmod 711 "$work"

names=() pids=() logs=()
stop_all() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        for _ in $(seq 100); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    pids=()
}
trap stop_all EXIT
trap 'exit 143' TERM INT HUP

tail_log() { [ -f "$1" ] && { echo "--- $(basename "$1")" >&2; tail -n 60 "$1" >&2; } || true; }
fail() {
    echo "[session] $1 did not start" >&2
    shift
    for log in "$@"; do tail_log "$log"; done
    exit 1
}
# Polls the command after it in 0.05 s steps, up to $1 seconds.
wait_for() {
    local steps=$(($1 * 20))
    shift
    for _ in $(seq "$steps"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    return 1
}

home="$work/home"
runtime="$work/runtime"
mkdir -p "$home" "$runtime"
chmod 700 "$runtime"
user=(setpriv --pdeathsig TERM)
if [ "$(id -u)" = 0 ]; then
    chown 65534:65534 "$home" "$runtime"
    user=(setpriv --pdeathsig TERM --reuid=65534 --regid=65534 --clear-groups)
fi
# start NAME COMMAND...: a component, its output in FOLDER/NAME.log.
start() {
    local name=$1
    shift
    "${user[@]}" "$@" >"$work/$name.log" 2>&1 &
    names+=("$name") pids+=($!) logs+=("$work/$name.log")
}

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
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$home"

base_env=(env -i HOME="$home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin LANG=C.UTF-8
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache"
    XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome XDG_SESSION_TYPE=wayland GSETTINGS_BACKEND=keyfile)

# A system bus of its own: GNOME Shell gives up without one, and talks to no real system service here.
# shellcheck source=session-common.sh
folder=$work source "$(dirname "$0")/session-common.sh"
session_system_bus_config "$work/system.conf" "$runtime/system_bus_socket"

start system-bus "${base_env[@]}" dbus-daemon --config-file="$work/system.conf" --nofork --nopidfile
wait_for 10 test -S "$runtime/system_bus_socket" || fail "the system bus" "$work/system-bus.log"
start session-bus "${base_env[@]}" dbus-daemon --session --address="unix:path=$runtime/bus" --nofork --nopidfile
wait_for 10 test -S "$runtime/bus" || fail "the session bus" "$work/session-bus.log"
session_bus="unix:path=$runtime/bus"
session_env=("${base_env[@]}" DBUS_SESSION_BUS_ADDRESS="$session_bus"
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/system_bus_socket")
as_client() { "${user[@]}" "${session_env[@]}" "$@"; }
# The portal and GNOME's backend are started by the bus, on the first call: the shell's helpers make one early
# (mutter-x11-frames, as Xwayland comes up), and a second instance could not take the names. So the bus
# starts them into this session: its display, and only the backends a GNOME desktop has (the portal falls
# back to any installed backend for an interface GNOME's do not offer, and KDE's is installed for other tests).
mkdir -p "$work/portals"
for backend in gnome-shell gnome gtk; do
    [ -f "/usr/share/xdg-desktop-portal/portals/$backend.portal" ] &&
        ln -sf "/usr/share/xdg-desktop-portal/portals/$backend.portal" "$work/portals/"
done
as_client dbus-update-activation-environment XDG_DESKTOP_PORTAL_DIR="$work/portals" WAYLAND_DISPLAY=wayland-0 \
    GDK_BACKEND=wayland >>"$work/session-bus.log" 2>&1 ||
    fail "the session bus's activation environment" "$work/session-bus.log"

start gnome-shell "${session_env[@]}" gnome-shell --headless --wayland --virtual-monitor 1280x800
as_client gdbus wait --session --timeout 60 org.gnome.Shell >/dev/null 2>&1 || fail "GNOME Shell" "$work/gnome-shell.log"
shell_pid=${pids[-1]}
shell_answers() {
    as_client gdbus call --timeout 3 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive | grep -q true
}
# The shell greets with the overview, as at a login; waiting for it makes every run start alike.
wait_for 30 shell_answers || fail "GNOME Shell (no overview)" "$work/gnome-shell.log"
extension_on() {
    as_client gdbus call --timeout 3 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Extensions.GetExtensionInfo unsafe-mode@vandrel.test | grep -q "'state': <1.0>"
}
wait_for 20 extension_on || fail "the unsafe-mode extension" "$work/gnome-shell.log"

# Mutter 48 starts Xwayland on demand, on the first X client: its display is the one the shell names in its
# log (it takes a second one, for its own helpers, that is no display of the session's), its authority the
# file the shell wrote into the runtime folder.
wait_for 20 test -S "$runtime/wayland-0" || fail "GNOME Shell's Wayland socket" "$work/gnome-shell.log"
x_display="" xauthority=""
find_xwayland() {
    x_display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\),.*/\1/p' "$work/gnome-shell.log" | head -n1)
    xauthority=$(ls "$runtime"/.mutter-Xwaylandauth.* 2>/dev/null | head -n1)
    [ -n "$x_display" ] && [ -S "/tmp/.X11-unix/X${x_display#:}" ] && [ -n "$xauthority" ]
}
wait_for 30 find_xwayland || fail "Xwayland (no display named in the log, or no authority)" "$work/gnome-shell.log"
client_vars=(WAYLAND_DISPLAY=wayland-0 DISPLAY="$x_display" XAUTHORITY="$xauthority")
as_client dbus-update-activation-environment "${client_vars[@]}" >>"$work/session-bus.log" 2>&1 ||
    fail "the session bus's activation environment" "$work/session-bus.log"

# adopt NAME BUS_NAME: a component the bus started, watched and stopped like ours; its output is in the bus's log.
adopt() {
    local pid
    pid=$(as_client gdbus call --timeout 3 --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetConnectionUnixProcessID "$2" | grep -o '[0-9]\+' | tail -n1) || return 1
    names+=("$1") pids+=("$pid") logs+=("$work/session-bus.log")
}
as_client gdbus call --timeout 30 --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.StartServiceByName org.freedesktop.portal.Desktop 0 >/dev/null 2>&1 ||
    fail "xdg-desktop-portal" "$work/session-bus.log"
as_client gdbus wait --session --timeout 30 org.freedesktop.impl.portal.desktop.gnome >/dev/null 2>&1 ||
    fail "xdg-desktop-portal-gnome" "$work/session-bus.log"
adopt portal org.freedesktop.portal.Desktop || fail "xdg-desktop-portal (no process)" "$work/session-bus.log"
adopt portal-gnome org.freedesktop.impl.portal.desktop.gnome ||
    fail "xdg-desktop-portal-gnome (no process)" "$work/session-bus.log"

{
    echo "WAYLAND_DISPLAY=$runtime/wayland-0"
    echo "DISPLAY=$x_display"
    echo "XAUTHORITY=$xauthority"
    echo "XDG_RUNTIME_DIR=$runtime"
    echo "DBUS_SESSION_BUS_ADDRESS=$session_bus"
    echo "HOME=$home"
    echo "XDG_DATA_HOME=$home/.local/share"
    echo "XDG_CURRENT_DESKTOP=GNOME"
    echo "XDG_SESSION_TYPE=wayland"
    echo "SESSION_LOGS=$work"
} >"$work/session.env.tmp"
mv "$work/session.env.tmp" "$work/session.env"
echo ready

# Until the test is done: our standard input closes. Meanwhile a component that dies ends the session.
while true; do
    if read -r -t 0.5 _; then continue; elif [ $? -le 128 ]; then break; fi
    for i in "${!pids[@]}"; do
        if ! kill -0 "${pids[i]}" 2>/dev/null; then
            echo "[session] ${names[i]} died" >&2
            tail_log "${logs[i]}"
            exit 1
        fi
    done
done
