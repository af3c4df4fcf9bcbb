#!/usr/bin/env bash
# Runs a command with the services the tests need, each private to this run, and stops them afterwards:
#   - Xvfb on a free display (DISPLAY),
#   - a session D-Bus (DBUS_SESSION_BUS_ADDRESS),
#   - a PulseAudio server with a null sink "vandrel_speaker" and a virtual microphone "vandrel_mic"
#     recording what is played into the sink (the default source), in a private XDG_RUNTIME_DIR.
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

# X server: it picks a free display itself and tells us which. The waits are generous: on a machine busy
# with builds a server can take seconds to come up.
Xvfb -displayfd 7 -screen 0 1920x1080x24 -nolisten tcp -ac +extension XTEST +extension XInputExtension \
    7>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(head -n1 "$work/display")"
export DISPLAY="$display"
for _ in $(seq 600); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
xdpyinfo >/dev/null 2>&1 || { echo "[services] Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }

# Session bus.
dbus_out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS=$(echo "$dbus_out" | sed -n 1p)
pids+=("$(echo "$dbus_out" | sed -n 2p)")

# Sound server, private to this run.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
export PULSE_STATE_PATH="$work/pulse-state"
export PULSE_COOKIE="$work/pulse-cookie"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --disable-shm=false \
    -L "module-native-protocol-unix auth-anonymous=1" \
    -L "module-null-sink sink_name=vandrel_speaker sink_properties=device.description=Vandrel-Speaker" \
    -L "module-virtual-source source_name=vandrel_mic master=vandrel_speaker.monitor source_properties=device.description=Vandrel-Microphone" \
    >"$work/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null 2>&1 || { echo "[services] PulseAudio did not start:"; cat "$work/pulse.log"; exit 1; }
pactl set-default-source vandrel_mic
pactl set-default-sink vandrel_speaker

echo "[services] DISPLAY=$DISPLAY, session bus and PulseAudio ($XDG_RUNTIME_DIR/pulse) running"
set +e
"$@"
rc=$?
set -e
exit $rc
