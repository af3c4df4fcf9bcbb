#!/usr/bin/env bash
# A KDE Plasma Wayland session for one test: kwin_wayland headless with XWayland, and the real
# xdg-desktop-portal in front of xdg-desktop-portal-kde, on a session bus of its own, all as an unprivileged
# user (nobody when run as root) like a desktop runs as its user. Plasma 5.27 (Debian 12) and Plasma 6 (Debian
# 13), whichever KWin is installed. Where 6 differs: the service cache indexes the menu entries only under
# Plasma's menu prefix, KWin holds the X socket itself and starts Xwayland on the first X client, and there is
# no kded (5.27's portal backend needs it; 6's does not).
# Usage: kwin-session.sh FOLDER [PROGRAM...]
#   FOLDER    an empty folder for the session's runtime folder, home, bus and logs
#   PROGRAM   absolute paths of test clients KWin admits to its restricted protocols (fake input)
# Once everything answers it writes FOLDER/session.env (WAYLAND_DISPLAY, DISPLAY, XAUTHORITY when KWin wrote
# one, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, HOME, XDG_DATA_DIRS, XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE,
# SESSION_UID) and prints "ready". The conventions every session script keeps are in session-common.sh.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 FOLDER [PROGRAM...]" >&2; exit 2; }
mkdir -p "$1"
folder=$(realpath "$1")
shift
# shellcheck source-path=SCRIPTDIR
source "$(dirname "$0")/session-common.sh"
session_begin
# 5 or 6: the major version of the installed KWin (the package's "4:5.27.5-…" or "4:6.3.6-…").
plasma=$(dpkg-query -W -f='${Version}' kwin-wayland | sed 's/^[0-9]*://; s/\..*//')

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
    printf '[Desktop Entry]\nType=Application\nName=Vandrel test client %d\nExec=%s\nNoDisplay=true\n%s\n' \
        "$n" "$program" "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input" \
        >"$share/applications/vandrel-test-client-$n.desktop"
done
chown -R "$session_uid:$session_uid" "$runtime" "$home" "$share"

bus="unix:path=$runtime/bus"
data_dirs="$share:/usr/local/share:/usr/share"
session_env=(env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS="$bus"
    XDG_DATA_DIRS="$data_dirs" XDG_CONFIG_DIRS=/etc/xdg XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
    XDG_SESSION_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION="$plasma" LANG=C.UTF-8)
kwin_options=(--no-kactivities) kwin_env=()
if [ "$plasma" != 5 ]; then
    # Without Plasma's menu prefix the cache holds no applications, and KWin would refuse the fake-input
    # clients. KWin 6 crashes while it sets up Plasma's own Qt theme this early in a session of its own: it
    # gets Qt's plain one.
    session_env+=(XDG_MENU_PREFIX=plasma-)
    kwin_options=() kwin_env=(QT_QPA_PLATFORMTHEME=generic)
fi

session_start dbus "${session_env[@]}" dbus-daemon --session --nofork --nopidfile --address="$bus"
session_poll 10 test -S "$runtime/bus" || session_fail "the session bus" dbus
# KWin finds the menu entries above, and its own plugins, through the service cache.
"${as_user[@]}" "${session_env[@]}" "kbuildsycoca$plasma" --noincremental >"$folder/kbuildsycoca.log" 2>&1 ||
    session_fail "kbuildsycoca$plasma" kbuildsycoca

# KWin starts this once Wayland and its X socket are up, with the session's DISPLAY (and XAUTHORITY when it
# wrote one).
cat >"$folder/bin/started" <<SCRIPT
#!/bin/sh
{ echo "DISPLAY=\$DISPLAY"; [ -z "\$XAUTHORITY" ] || echo "XAUTHORITY=\$XAUTHORITY"; } >"$runtime/x.env.part" &&
    mv "$runtime/x.env.part" "$runtime/x.env"
SCRIPT
chmod 755 "$folder/bin/started"
# QPainter: no GPU here, and software OpenGL only slows the start.
session_start kwin "${session_env[@]}" "${kwin_env[@]}" KWIN_COMPOSE=Q "$folder/bin/kwin_wayland" \
    --virtual --xwayland --socket wayland-kde --width 1280 --height 800 --no-lockscreen "${kwin_options[@]}" \
    "$folder/bin/started"
kwin_up() { session_alive kwin && test -s "$runtime/x.env"; }
session_poll 30 kwin_up || session_fail "kwin_wayland" kwin
session_wait_name 20 org.kde.kglobalaccel || session_fail "kwin_wayland's global shortcuts" kwin
mapfile -t x_vars <"$runtime/x.env"
# Xwayland comes up now rather than under the first X client of a test: on KWin 6 the clients of the session
# that are already connected lose their Wayland connection when it starts later.
"${as_user[@]}" "${session_env[@]}" "${x_vars[@]}" xset q >"$folder/xset.log" 2>&1 || session_fail "Xwayland" xset kwin

wayland=(WAYLAND_DISPLAY=wayland-kde QT_QPA_PLATFORM=wayland "${x_vars[@]}")
portal_peers=(xdg-desktop-portal-kde)
if [ "$plasma" = 5 ]; then
    session_start kded5 "${session_env[@]}" "${wayland[@]}" kded5
    portal_peers+=(kded5)
fi
session_start xdg-desktop-portal-kde "${session_env[@]}" "${wayland[@]}" \
    /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
session_wait_name 20 org.freedesktop.impl.portal.desktop.kde ||
    session_fail "xdg-desktop-portal-kde" "${portal_peers[@]}"
session_start xdg-desktop-portal "${session_env[@]}" "${wayland[@]}" /usr/libexec/xdg-desktop-portal -r
session_wait_name 20 org.freedesktop.portal.Desktop || session_fail "xdg-desktop-portal" xdg-desktop-portal

session_ready WAYLAND_DISPLAY="$runtime/wayland-kde" "${x_vars[@]}" XDG_RUNTIME_DIR="$runtime" \
    DBUS_SESSION_BUS_ADDRESS="$bus" HOME="$home" XDG_DATA_DIRS="$data_dirs" XDG_CURRENT_DESKTOP=KDE \
    XDG_SESSION_TYPE=wayland SESSION_UID="$session_uid"
session_watch
