#!/usr/bin/env bash
# A GNOME Shell Wayland session for one test program: GNOME Shell headless with a virtual monitor and Xwayland,
# on a session bus and a system bus of its own, and xdg-desktop-portal in front of GNOME's own backend on that
# session bus, all as an unprivileged user (nobody when run as root), as a desktop runs as its user.
# Usage: gnome-session.sh FOLDER
#   FOLDER  an empty folder for the session's runtime folder, home, buses and logs
# With GNOME_SESSION_PORTALS=installed the portal sees every installed backend, as on a machine where another
# desktop (KDE's backend, say) is installed beside GNOME; by default it sees GNOME's own only.
# Once everything answers it writes FOLDER/session.env (WAYLAND_DISPLAY, DISPLAY, XAUTHORITY, XDG_RUNTIME_DIR,
# DBUS_SESSION_BUS_ADDRESS, HOME, XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE, SESSION_UID) and prints "ready".
# The conventions every session script keeps are in session-common.sh, what the GNOME ones share in
# gnome-common.sh.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 FOLDER" >&2; exit 2; }
mkdir -p "$1"
folder=$(realpath "$1")
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/gnome-common.sh"
gnome_buses memory

# Unsafe mode lets a test run what the shell's own controls run (org.gnome.Shell.Eval), such as the top bar's
# button that ends screen sharing.
start_shell() {
    session_start gnome-shell "${session_env[@]}" gnome-shell --headless --wayland --unsafe-mode \
        --virtual-monitor 1280x800
}
shell_up() {
    session_alive gnome-shell && test -S "$runtime/wayland-0" && gnome_shell_get ShellVersion
}
# Now and then the shell hangs while it starts (seen: a child it forked stuck before its exec), and then it
# never answers: a second start, from scratch, comes up.
start_shell
if ! session_poll 30 shell_up; then
    echo "--- the first start did not answer" >>"$folder/gnome-shell.log"
    first=$(session_pid gnome-shell)
    session_forget gnome-shell
    pkill -KILL -P "$first" 2>/dev/null || true
    kill -KILL "$first" 2>/dev/null || true
    wait "$first" 2>/dev/null || true
    rm -f "$runtime"/wayland-0 "$runtime"/wayland-0.lock
    start_shell
    session_poll 30 shell_up || session_fail "GNOME Shell" gnome-shell
fi
# The shell greets with the overview, as at a login: a window started from outside gets the focus once the
# user leaves it (Escape). Waiting for it makes that the same in every run.
overview_open() { gnome_shell_get OverviewActive | grep -q true; }
session_poll 10 overview_open || session_fail "GNOME Shell (no overview at start)" gnome-shell

# Mutter's Xwayland: its display and the authority file it was given.
xwayland_args=""
find_xwayland() {
    local pid
    for pid in $(pgrep -P "$(session_pid gnome-shell)" -x Xwayland); do
        xwayland_args=$(tr '\0' ' ' <"/proc/$pid/cmdline")
    done
    [ -n "$xwayland_args" ]
}
session_poll 30 find_xwayland || session_fail "Xwayland" gnome-shell
x_display=$(echo "$xwayland_args" | grep -o ' :[0-9]*' | head -n1 | tr -d ' ')
xauthority=$(echo "$xwayland_args" | grep -o -- '-auth [^ ]*' | cut -d' ' -f2)
{ [ -n "$x_display" ] && [ -n "$xauthority" ]; } || session_fail "Xwayland (no display in: $xwayland_args)" gnome-shell

client_env=("${session_env[@]}" WAYLAND_DISPLAY=wayland-0 DISPLAY="$x_display" XAUTHORITY="$xauthority")
gnome_activation_environment WAYLAND_DISPLAY=wayland-0 DISPLAY="$x_display" XAUTHORITY="$xauthority"

# GNOME's own portal backend, whose dialogs are windows of this session, and the portal in front of it.
session_start portal-gnome "${client_env[@]}" GDK_BACKEND=wayland /usr/libexec/xdg-desktop-portal-gnome
session_wait_name 30 org.freedesktop.impl.portal.desktop.gnome ||
    session_fail "xdg-desktop-portal-gnome" portal-gnome gnome-shell
portal_env=()
if [ "${GNOME_SESSION_PORTALS:-gnome}" != installed ]; then
    gnome_portals "$folder/portals"
    portal_env=(XDG_DESKTOP_PORTAL_DIR="$folder/portals")
fi
# Started here, not by the bus: a call before it owns its name would have the bus start a second one.
session_start portal "${client_env[@]}" "${portal_env[@]}" /usr/libexec/xdg-desktop-portal
session_wait_name 30 org.freedesktop.portal.Desktop || session_fail "xdg-desktop-portal" portal portal-gnome
remote_desktop_offered() {
    "${as_user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop --method org.freedesktop.DBus.Properties.Get \
        org.freedesktop.portal.RemoteDesktop version
}
session_poll 30 remote_desktop_offered || session_fail "xdg-desktop-portal's remote desktop" portal portal-gnome

session_ready WAYLAND_DISPLAY="$runtime/wayland-0" DISPLAY="$x_display" XAUTHORITY="$xauthority" \
    XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$session_bus" HOME="$home" \
    XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland SESSION_UID="$session_uid"
session_watch
