#!/usr/bin/env bash
# A GNOME Shell Wayland session for the tests that need the real desktop, started on demand by such a test
# and private to it: GNOME Shell headless with a virtual monitor and Xwayland, on a session bus and a system
# bus of its own, and xdg-desktop-portal in front of GNOME's own backend on that session bus. Everything runs
# as an unprivileged user (nobody when started as root), as a desktop runs as its user.
# Once the session is up it prints, one a line, the variables a client of the session needs
# (VANDREL_GNOME_*=...), then READY, and keeps the session until its standard input closes or it is told to
# stop. When something does not come up it prints that component's log and exits non-zero.
# Usage: scripts/gnome-session.sh WORK_FOLDER   (an empty folder others may pass through; removed afterwards)
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 WORK_FOLDER" >&2; exit 2; }
work=$1
mkdir -p "$work"
chmod 711 "$work"

pids=()
stopping=0
cleanup() {
    stopping=1
    # The portal and its backend first, then the shell, then the buses they talk over.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
ready=0
trap cleanup EXIT
# Told to stop before the session is up: the test gave up waiting, and the logs say why.
trap '[ "$ready" = 1 ] || fail "the session (stopped while starting)" "$work"/*.log; exit 0' TERM INT HUP

fail() {
    echo "[gnome] $1 did not start:" >&2
    shift
    for log in "$@"; do
        [ -f "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 80 "$log" >&2; }
    done
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

# Every component dies with this script, even when it is killed outright.
user=(setpriv --pdeathsig KILL)
home="$work/home"
runtime="$work/runtime"
mkdir -p "$home" "$runtime"
chmod 700 "$runtime"
if [ "$(id -u)" = 0 ]; then
    chown 65534:65534 "$home" "$runtime"
    user=(setpriv --pdeathsig KILL --reuid=65534 --regid=65534 --clear-groups)
fi

# The environment every process of the session starts from.
base_env=(env -i HOME="$home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin LANG=C.UTF-8
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache"
    XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome XDG_SESSION_TYPE=wayland
    GSETTINGS_BACKEND=memory)

# A system bus of its own: GNOME Shell gives up without one where logind's seats folder exists, and talks to
# no real system service here.
cat >"$work/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$runtime/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
CONF
"${user[@]}" "${base_env[@]}" dbus-daemon --config-file="$work/system.conf" --nofork --nopidfile \
    >"$work/system-bus.log" 2>&1 &
pids+=($!)
system_bus="unix:path=$runtime/system_bus_socket"
wait_for 100 test -S "$runtime/system_bus_socket" || fail "the system bus" "$work/system-bus.log"

"${user[@]}" "${base_env[@]}" dbus-daemon --session --address="unix:path=$runtime/bus" --nofork --nopidfile \
    >"$work/session-bus.log" 2>&1 &
pids+=($!)
session_bus="unix:path=$runtime/bus"
wait_for 100 test -S "$runtime/bus" || fail "the session bus" "$work/session-bus.log"

session_env=("${base_env[@]}" DBUS_SESSION_BUS_ADDRESS="$session_bus" DBUS_SYSTEM_BUS_ADDRESS="$system_bus")

shell_pid=""
# Unsafe mode lets a test run what the shell's own controls run (org.gnome.Shell.Eval), such as the top bar's
# button that ends screen sharing.
start_shell() {
    "${user[@]}" "${session_env[@]}" gnome-shell --headless --wayland --unsafe-mode --virtual-monitor 1280x800 \
        >>"$work/gnome-shell.log" 2>&1 &
    pids+=($!)
    shell_pid=$!
}
shell_up() {
    kill -0 "$shell_pid" && test -S "$runtime/wayland-0" &&
        "${user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.gnome.Shell \
            --object-path /org/gnome/Shell --method org.freedesktop.DBus.Properties.Get org.gnome.Shell ShellVersion
}
# Now and then the shell hangs while it starts (seen: a child it forked stuck before its exec), and then it
# never answers: a second start, from scratch, comes up.
start_shell
if ! wait_for 300 shell_up; then
    echo "--- the first start did not answer" >>"$work/gnome-shell.log"
    pkill -KILL -P "$shell_pid" 2>/dev/null || true
    kill -KILL "$shell_pid" 2>/dev/null || true
    wait "$shell_pid" 2>/dev/null || true
    rm -f "$runtime"/wayland-0 "$runtime"/wayland-0.lock
    start_shell
    wait_for 300 shell_up || fail "GNOME Shell" "$work/gnome-shell.log"
fi
# The shell greets with the overview, as at a login: a window started from outside gets the focus once the
# user leaves it (Escape). Waiting for it makes that the same in every run.
overview_open() {
    "${user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive | grep -q true
}
wait_for 100 overview_open || fail "GNOME Shell (no overview at start)" "$work/gnome-shell.log"

# Mutter's Xwayland: its display and the authority file it was given.
xwayland_args=""
find_xwayland() {
    local pid
    for pid in $(pgrep -P "$shell_pid" -x Xwayland); do xwayland_args=$(tr '\0' ' ' <"/proc/$pid/cmdline"); done
    [ -n "$xwayland_args" ]
}
wait_for 300 find_xwayland || fail "Xwayland" "$work/gnome-shell.log"
x_display=$(echo "$xwayland_args" | grep -o ' :[0-9]*' | head -n1 | tr -d ' ')
xauthority=$(echo "$xwayland_args" | grep -o -- '-auth [^ ]*' | cut -d' ' -f2)
[ -n "$x_display" ] && [ -n "$xauthority" ] || fail "Xwayland (no display in: $xwayland_args)" "$work/gnome-shell.log"

client_env=("${session_env[@]}" WAYLAND_DISPLAY=wayland-0 DISPLAY="$x_display" XAUTHORITY="$xauthority")
# What the bus starts on demand (dconf, the permission store, the accessibility bus) sees the session too.
"${user[@]}" "${session_env[@]}" dbus-update-activation-environment WAYLAND_DISPLAY=wayland-0 \
    DISPLAY="$x_display" XAUTHORITY="$xauthority" >>"$work/session-bus.log" 2>&1 ||
    fail "the session bus's activation environment" "$work/session-bus.log"

# GNOME's own portal backend, whose dialogs are windows of this session, and the portal in front of it.
"${user[@]}" "${client_env[@]}" GDK_BACKEND=wayland /usr/libexec/xdg-desktop-portal-gnome \
    >"$work/portal-gnome.log" 2>&1 &
pids+=($!)
has_name() {
    "${user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetNameOwner "$1"
}
wait_for 300 has_name org.freedesktop.impl.portal.desktop.gnome ||
    fail "xdg-desktop-portal-gnome" "$work/portal-gnome.log" "$work/gnome-shell.log"
# Only the backends a GNOME desktop installs: the portal falls back to any installed backend for an interface
# that GNOME's do not offer, and KDE's, installed here for other tests, offers global shortcuts.
mkdir "$work/portals"
for backend in gnome-shell gnome gtk; do
    [ -f "/usr/share/xdg-desktop-portal/portals/$backend.portal" ] &&
        ln -s "/usr/share/xdg-desktop-portal/portals/$backend.portal" "$work/portals/"
done
"${user[@]}" "${client_env[@]}" XDG_DESKTOP_PORTAL_DIR="$work/portals" /usr/libexec/xdg-desktop-portal \
    >"$work/portal.log" 2>&1 &
pids+=($!)
remote_desktop_offered() {
    "${user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop --method org.freedesktop.DBus.Properties.Get \
        org.freedesktop.portal.RemoteDesktop version
}
# Started above, not by the bus: a call before it owns its name would have the bus start a second one.
wait_for 300 has_name org.freedesktop.portal.Desktop || fail "xdg-desktop-portal" "$work/portal.log" "$work/portal-gnome.log"
wait_for 300 remote_desktop_offered || fail "xdg-desktop-portal" "$work/portal.log" "$work/portal-gnome.log"

echo "VANDREL_GNOME_RUNTIME=$runtime"
echo "VANDREL_GNOME_WAYLAND_DISPLAY=wayland-0"
echo "VANDREL_GNOME_X_DISPLAY=$x_display"
echo "VANDREL_GNOME_XAUTHORITY=$xauthority"
echo "VANDREL_GNOME_SESSION_BUS=$session_bus"
echo "VANDREL_GNOME_SHELL_LOG=$work/gnome-shell.log"
ready=1
echo READY
# Until the test is done with the session: its end of our standard input closes, or it stops us.
while IFS= read -r _; do :; done
# Stopping in the middle of a test is no failure of the session; a component that died on its own is.
for pid in "${pids[@]}"; do
    kill -0 "$pid" 2>/dev/null || fail "a component that died during the test (pid $pid)" "$work"/*.log
done
