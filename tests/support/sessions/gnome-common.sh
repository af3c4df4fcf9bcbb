# shellcheck shell=bash
# What the GNOME session scripts (GNOME 43's gnome-session.sh, GNOME 48's gnome48-session.sh) share beyond
# session-common.sh, which this sources. Sourced by a script that has set `folder`; the session has begun
# (whatever ends the script ends it), with its home in `home` and its runtime folder in `runtime`.
# shellcheck source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/session-common.sh"
session_begin
home="$folder/home"
runtime="$folder/runtime"

# `gnome_buses GSETTINGS_BACKEND`: the session's folders, then a system bus (GNOME Shell gives up without one
# where logind's seats folder exists; nothing real answers on it) and a session bus of its own in the runtime
# folder. Sets `base_env` (what every program of the session starts from), `session_env` (the same with the
# buses), `system_bus` and `session_bus`.
gnome_buses() {
    chmod 711 "$folder"
    mkdir -p "$home" "$runtime"
    chmod 700 "$runtime"
    chown "$session_uid:$session_uid" "$home" "$runtime"
    base_env=(env -i HOME="$home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin LANG=C.UTF-8
        XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache"
        XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome XDG_SESSION_TYPE=wayland GSETTINGS_BACKEND="$1")

    session_system_bus_config "$folder/system.conf" "$runtime/system_bus_socket"
    session_start system-bus "${base_env[@]}" dbus-daemon --config-file="$folder/system.conf" --nofork --nopidfile
    session_poll 10 test -S "$runtime/system_bus_socket" || session_fail "the system bus" system-bus
    system_bus="unix:path=$runtime/system_bus_socket"

    session_bus="unix:path=$runtime/bus"
    session_start session-bus "${base_env[@]}" dbus-daemon --session --address="$session_bus" --nofork --nopidfile
    session_poll 10 test -S "$runtime/bus" || session_fail "the session bus" session-bus
    session_env=("${base_env[@]}" DBUS_SESSION_BUS_ADDRESS="$session_bus" DBUS_SYSTEM_BUS_ADDRESS="$system_bus")
}

# `gnome_activation_environment NAME=VALUE...`: what the bus starts on demand (the portals, dconf, the
# permission store, the accessibility bus) starts with these too.
gnome_activation_environment() {
    "${as_user[@]}" "${session_env[@]}" dbus-update-activation-environment "$@" >>"$folder/session-bus.log" 2>&1 ||
        session_fail "the session bus's activation environment" session-bus
}

# `gnome_shell_get PROPERTY`: a property of GNOME Shell's own interface.
gnome_shell_get() {
    "${as_user[@]}" "${session_env[@]}" gdbus call --timeout 3 --session --dest org.gnome.Shell \
        --object-path /org/gnome/Shell --method org.freedesktop.DBus.Properties.Get org.gnome.Shell "$1"
}

# `gnome_portals FOLDER`: FOLDER holds only the portal backends a GNOME desktop installs: the portal falls back
# to any installed backend for an interface that GNOME's do not offer, and KDE's, installed here for other
# tests, offers global shortcuts.
gnome_portals() {
    local backend
    mkdir -p "$1"
    for backend in gnome-shell gnome gtk; do
        if [ -f "/usr/share/xdg-desktop-portal/portals/$backend.portal" ]; then
            ln -sf "/usr/share/xdg-desktop-portal/portals/$backend.portal" "$1/"
        fi
    done
}
