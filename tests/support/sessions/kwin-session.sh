#!/usr/bin/env bash
# A KDE Plasma Wayland session for one test: kwin_wayland headless with XWayland, kded5, and the real
# xdg-desktop-portal in front of xdg-desktop-portal-kde, on a session bus of its own, all as an unprivileged
# user (nobody when run as root) like a desktop runs as its user.
# Usage: kwin-session.sh FOLDER [PROGRAM...]
#   FOLDER    an empty folder for the session's runtime folder, home, bus and logs
#   PROGRAM   absolute paths of test clients KWin admits to its restricted protocols (fake input)
# Once everything answers it writes FOLDER/session.env (WAYLAND_DISPLAY, DISPLAY, XDG_RUNTIME_DIR,
# DBUS_SESSION_BUS_ADDRESS, HOME, XDG_DATA_DIRS, XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE, SESSION_UID) and
# prints "ready". The conventions every session script keeps are in session-common.sh.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 FOLDER [PROGRAM...]" >&2; exit 2; }
mkdir -p "$1"
folder=$(realpath "$1")
shift
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/session-common.sh"
session_begin

runtime="$folder/runtime" home="$folder/home" share="$folder/share"
chmod 711 "$folder"
mkdir -p "$runtime" "$home"
chmod 700 "$runtime" "$home"
mkdir -p "$share/applications" "$folder/bin"
# The container refuses to run a binary with file capabilities; a plain copy has none.
cp /usr/bin/kwin_wayland "$folder/bin/kwin_wayland"
# KWin hands its restricted protocols to the programs whose menu entries ask for them.
n=0
for program in "$@"; do
    n=$((n + 1))
    printf '[Desktop Entry]\nType=Application\nName=Vandrel test client %d\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
        "$n" "$program" >"$share/applications/vandrel-test-client-$n.desktop"
done
chown -R "$session_uid:$session_uid" "$runtime" "$home" "$share"

bus="unix:path=$runtime/bus"
data_dirs="$share:/usr/local/share:/usr/share"
session_env=(env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$bus"
    XDG_DATA_DIRS="$data_dirs" XDG_CONFIG_DIRS=/etc/xdg XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
    XDG_SESSION_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 LANG=C.UTF-8)

session_start dbus "${session_env[@]}" dbus-daemon --session --nofork --nopidfile --address="$bus"
session_poll 10 test -S "$runtime/bus" || session_fail "the session bus" dbus
# KWin finds the menu entries above, and its own plugins, through the service cache.
"${as_user[@]}" "${session_env[@]}" kbuildsycoca5 --noincremental >"$folder/kbuildsycoca5.log" 2>&1 ||
    session_fail "kbuildsycoca5" kbuildsycoca5

# KWin starts this once Wayland and XWayland are up, with the session's DISPLAY.
cat >"$folder/bin/started" <<EOF
#!/bin/sh
echo "DISPLAY=\$DISPLAY" > "$runtime/x.env.part" && mv "$runtime/x.env.part" "$runtime/x.env"
EOF
chmod 755 "$folder/bin/started"
# QPainter: no GPU here, and software OpenGL only slows the start.
session_start kwin "${session_env[@]}" KWIN_COMPOSE=Q "$folder/bin/kwin_wayland" --virtual --xwayland \
    --socket wayland-kde --width 1280 --height 800 --no-lockscreen --no-kactivities "$folder/bin/started"
kwin_up() { session_alive kwin && test -s "$runtime/x.env"; }
session_poll 30 kwin_up || session_fail "kwin_wayland" kwin
session_wait_name 10 org.kde.kglobalaccel || session_fail "kwin_wayland's global shortcuts" kwin
x_display=$(sed -n 's/^DISPLAY=//p' "$runtime/x.env")

wayland=(WAYLAND_DISPLAY=wayland-kde QT_QPA_PLATFORM=wayland DISPLAY="$x_display")
session_start kded5 "${session_env[@]}" "${wayland[@]}" kded5
session_start xdg-desktop-portal-kde "${session_env[@]}" "${wayland[@]}" \
    /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
session_wait_name 20 org.freedesktop.impl.portal.desktop.kde ||
    session_fail "xdg-desktop-portal-kde" xdg-desktop-portal-kde kded5
session_start xdg-desktop-portal "${session_env[@]}" "${wayland[@]}" /usr/libexec/xdg-desktop-portal -r
session_wait_name 20 org.freedesktop.portal.Desktop || session_fail "xdg-desktop-portal" xdg-desktop-portal

session_ready WAYLAND_DISPLAY="$runtime/wayland-kde" DISPLAY="$x_display" XDG_RUNTIME_DIR="$runtime" \
    DBUS_SESSION_BUS_ADDRESS="$bus" HOME="$home" XDG_DATA_DIRS="$data_dirs" XDG_CURRENT_DESKTOP=KDE \
    XDG_SESSION_TYPE=wayland SESSION_UID="$session_uid"
session_watch
