#!/usr/bin/env bash
# A KDE Plasma Wayland session for one test: kwin_wayland headless with XWayland, kded5, and the real
# xdg-desktop-portal in front of xdg-desktop-portal-kde, on a session bus of its own, all as an unprivileged
# user (nobody when run as root) like a desktop runs as its user.
# Usage: kwin_session.sh FOLDER [PROGRAM...]
#   FOLDER    an empty folder for the session's runtime folder, home, bus and logs
#   PROGRAM   absolute paths of test clients KWin admits to its restricted protocols (fake input)
# Once everything answers it writes FOLDER/session.env (WAYLAND_DISPLAY, DISPLAY, XDG_RUNTIME_DIR,
# DBUS_SESSION_BUS_ADDRESS, HOME, XDG_DATA_DIRS, KDE_UID) and prints "ready". It stops the session when its
# standard input closes or it is told to end, and prints the logs when the session failed to come up.
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 FOLDER [PROGRAM...]" >&2; exit 2; }
dir=$(realpath "$1")
shift

pids=()
stop() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    pids=()
}
fail() {
    echo "[kwin-session] $1"
    for log in "$dir"/*.log; do
        [ -s "$log" ] && { echo "----- $(basename "$log")"; tail -n 40 "$log"; }
    done
    stop
    exit 1
}
trap 'stop; exit 0' TERM INT HUP
# Up to 0.05 s * $1 for the command to succeed.
waitFor() {
    local tries=$1
    shift
    for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.05; done
    return 1
}

runtime="$dir/runtime" home="$dir/home" share="$dir/share"
mkdir -p -m 700 "$runtime" "$home"
mkdir -p "$share/applications" "$dir/bin"
chmod 755 "$dir"
# The container refuses to run a binary with file capabilities; a plain copy has none.
cp /usr/bin/kwin_wayland "$dir/bin/kwin_wayland"
# KWin hands its restricted protocols to the programs whose menu entries ask for them.
n=0
for program in "$@"; do
    n=$((n + 1))
    printf '[Desktop Entry]\nType=Application\nName=Vandrel test client %d\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
        "$n" "$program" >"$share/applications/vandrel-test-client-$n.desktop"
done
user=()
uid=$(id -u)
if [ "$uid" = 0 ]; then
    uid=65534
    chown -R 65534:65534 "$runtime" "$home" "$share"
    user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
bus="unix:path=$runtime/bus"
data_dirs="$share:/usr/local/share:/usr/share"
session=(env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$bus"
    XDG_DATA_DIRS="$data_dirs" XDG_CONFIG_DIRS=/etc/xdg XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
    XDG_SESSION_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 LANG=C.UTF-8)
as() { "${user[@]}" "${session[@]}" "$@"; }
# In the background, its pid (the program's own: setpriv and env exec it) kept for the end.
spawn() {
    local log=$1
    shift
    "${user[@]}" "${session[@]}" "$@" >"$dir/$log.log" 2>&1 &
    pids+=($!)
}
hasName() {
    as dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
        "string:$1" 2>/dev/null | grep -q 'boolean true'
}

spawn dbus dbus-daemon --session --nofork --nopidfile --address="$bus"
waitFor 200 test -S "$runtime/bus" || fail "the session bus did not start"
# KWin finds the menu entries above, and its own plugins, through the service cache.
as kbuildsycoca5 --noincremental >"$dir/kbuildsycoca5.log" 2>&1 || fail "kbuildsycoca5 failed"

# KWin starts this once Wayland and XWayland are up, with the session's DISPLAY.
cat >"$dir/bin/started" <<EOF
#!/bin/sh
echo "DISPLAY=\$DISPLAY" > "$runtime/x.env.part" && mv "$runtime/x.env.part" "$runtime/x.env"
EOF
chmod 755 "$dir/bin/started"
# QPainter: no GPU here, and software OpenGL only slows the start.
spawn kwin KWIN_COMPOSE=Q "$dir/bin/kwin_wayland" --virtual --xwayland --socket wayland-kde --width 1280 \
    --height 800 --no-lockscreen --no-kactivities "$dir/bin/started"
waitFor 600 test -s "$runtime/x.env" || fail "kwin_wayland did not start"
waitFor 200 hasName org.kde.kglobalaccel || fail "kwin_wayland offers no global shortcuts"
x_display=$(sed -n 's/^DISPLAY=//p' "$runtime/x.env")

wayland=(WAYLAND_DISPLAY=wayland-kde QT_QPA_PLATFORM=wayland DISPLAY="$x_display")
spawn kded5 "${wayland[@]}" kded5
spawn xdg-desktop-portal-kde "${wayland[@]}" /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
waitFor 400 hasName org.freedesktop.impl.portal.desktop.kde || fail "xdg-desktop-portal-kde did not start"
spawn xdg-desktop-portal "${wayland[@]}" /usr/libexec/xdg-desktop-portal -r
waitFor 400 hasName org.freedesktop.portal.Desktop || fail "xdg-desktop-portal did not start"

cat >"$dir/session.env" <<EOF
WAYLAND_DISPLAY=$runtime/wayland-kde
DISPLAY=$x_display
XDG_RUNTIME_DIR=$runtime
DBUS_SESSION_BUS_ADDRESS=$bus
HOME=$home
XDG_DATA_DIRS=$data_dirs
KDE_UID=$uid
EOF
echo ready
# Until the test is done with us (its end of the pipe closes), or one of the session's programs dies.
while read -r -t 1 _ || [ $? -gt 128 ]; do
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null || fail "a program of the session ended (pid $pid)"; done
done
stop
