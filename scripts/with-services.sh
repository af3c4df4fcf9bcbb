#!/usr/bin/env bash
# Runs a command with the services the tests need, each private to this run, and stops them afterwards:
#   - Xvfb on a free display (DISPLAY),
#   - a session D-Bus (DBUS_SESSION_BUS_ADDRESS),
#   - a PulseAudio server with a null sink "vandrel_speaker" and a virtual microphone "vandrel_mic"
#     recording what is played into the sink (the default source), in a private XDG_RUNTIME_DIR,
#   - sway headless, a Wayland compositor with XWayland, as an unprivileged user with a runtime folder and
#     configuration of its own. Only VANDREL_TEST_* variables point at it: a test that wants the Wayland
#     session sets WAYLAND_DISPLAY for what it starts, and nothing else in the suite sees sway.
# Usage: scripts/with-services.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

work=$(mktemp -d /tmp/vandrel-services.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
# Waiting (session_poll) and running as the desktop's user (as_user) as the desktop sessions of the tests do.
# shellcheck source=tests/support/sessions/session-common.sh
source "$(dirname "$0")/../tests/support/sessions/session-common.sh"

# X server: it picks a free display itself and tells us which. The waits are generous: on a machine busy
# with builds a server can take seconds to come up. Without -noreset it resets whenever its last client
# leaves, and a test that connects in that moment is refused.
Xvfb -displayfd 7 -screen 0 1920x1080x24 -nolisten tcp -noreset -ac +extension XTEST +extension XInputExtension \
    7>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
session_poll 30 test -s "$work/display" || { echo "[services] Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
display=":$(head -n1 "$work/display")"
export DISPLAY="$display"
session_poll 30 xdpyinfo || { echo "[services] Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }

# Session bus. What it starts on demand does not get the X display: a GTK program the tests start has the
# portal start its GTK backend, which would stay on the shared X server and ask every new clipboard owner for
# its targets, beside the clipboard tests' own reads.
dbus_out=$(env -u DISPLAY dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(echo "$dbus_out" | sed -n 1p)
pids+=("$(echo "$dbus_out" | sed -n 2p)")

# Sound server, private to this run.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
export PULSE_STATE_PATH="$work/pulse-state"
export PULSE_COOKIE="$work/pulse-cookie"
# A second socket of the same server in a folder other users may pass through: an application run as the
# Wayland session's user reaches it there (pulse clients make their own runtime folder private again).
mkdir -m 711 "$work/pulse-shared"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --disable-shm=false \
    -L "module-native-protocol-unix auth-anonymous=1" \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse-shared/native" \
    -L "module-null-sink sink_name=vandrel_speaker sink_properties=device.description=Vandrel-Speaker" \
    -L "module-virtual-source source_name=vandrel_mic master=vandrel_speaker.monitor source_properties=device.description=Vandrel-Microphone" \
    >"$work/pulse.log" 2>&1 &
pids+=($!)
session_poll 30 pactl info || { echo "[services] PulseAudio did not start:"; cat "$work/pulse.log"; exit 1; }
pactl set-default-source vandrel_mic
pactl set-default-sink vandrel_speaker

# Wayland compositor. It runs as nobody, as a desktop runs as its user: root may connect to its sockets,
# it may not reach ours. Its folder sits in ours, which it may pass through but not read.
chmod 711 "$work"
sway_dir="$work/sway"
mkdir -m 700 "$sway_dir"
cat >"$sway_dir/config" <<'CONFIG'
xwayland enable
output HEADLESS-1 resolution 1280x720 position 0 0
default_border none
focus_on_window_activation focus
CONFIG
chown "$session_uid:$session_uid" "$sway_dir"
"${as_user[@]}" env -i XDG_RUNTIME_DIR="$sway_dir" HOME="$sway_dir" PATH=/usr/bin:/bin SWAYSOCK="$sway_dir/ipc.sock" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$sway_dir/config" >"$work/sway.log" 2>&1 &
pids+=($!)
wayland_socket=""
sway_up() {
    local socket
    for socket in "$sway_dir"/wayland-*; do
        [ -S "$socket" ] && wayland_socket=$(basename "$socket") && break
    done
    [ -n "$wayland_socket" ] && [ -S "$sway_dir/ipc.sock" ]
}
session_poll 30 sway_up || { echo "[services] sway did not start:"; cat "$work/sway.log"; exit 1; }
export VANDREL_TEST_WAYLAND_RUNTIME="$sway_dir"
export VANDREL_TEST_WAYLAND_DISPLAY="$wayland_socket"
export VANDREL_TEST_SWAYSOCK="$sway_dir/ipc.sock"
# XWayland's display, as sway gives it to the programs it starts.
SWAYSOCK="$VANDREL_TEST_SWAYSOCK" swaymsg -q exec "echo \"\$DISPLAY\" > $sway_dir/x-display"
session_poll 30 test -s "$sway_dir/x-display" || { echo "[services] sway's XWayland did not start:"; cat "$work/sway.log"; exit 1; }
export VANDREL_TEST_WAYLAND_X_DISPLAY="$(cat "$sway_dir/x-display")"
export VANDREL_TEST_SHARED_PULSE_SERVER="unix:$work/pulse-shared/native"

echo "[services] DISPLAY=$DISPLAY, session bus and PulseAudio ($XDG_RUNTIME_DIR/pulse) running"
echo "[services] sway on $VANDREL_TEST_WAYLAND_RUNTIME/$VANDREL_TEST_WAYLAND_DISPLAY (XWayland $VANDREL_TEST_WAYLAND_X_DISPLAY)"
set +e
"$@"
rc=$?
set -e
exit $rc
