#!/usr/bin/env bash
# The sound server stopped, stalled (SIGSTOP) and back, with the application running idle on it: the CPU the
# application uses while the server is away, how long a `vandrel --cancel` (and a `--start` into the stalled
# server) takes to be answered in each state, and the time from the server's return to the first recording
# stream that `vandrel --start` opens (a start is sent every 250 ms until one records, for 10 s at most).
# The server is a PulseAudio of this script's own; the recogniser is the fake libwhisper.
# Run with the test services: scripts/with-services.sh bench/app/sound-server-outage.sh [BUILD_DIR] [APP]
# APP measures another build of the program (an older one, say); BUILD_DIR gives the fake libwhisper and
# the test-model writer.
set -euo pipefail
build=${1:-build}
app=${2:-$build/bin/vandrel}
work=$(mktemp -d)
server="unix:$work/pulse/native"
pulse_pid=""
app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
    if [ -n "$pulse_pid" ]; then kill -CONT "$pulse_pid" 2>/dev/null || true; kill "$pulse_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data PULSE_SERVER=$server
export VANDREL_WHISPER_LIBRARY=$build/lib/fake/libvandrel_fake_whisper.so VANDREL_FAKE_WHISPER_TEXT="Hello."
mkdir -p "$XDG_CONFIG_HOME/Vandrel" "$work/pulse"
echo '{"hasCompletedOnboarding": true, "playSounds": false}' >"$XDG_CONFIG_HOME/Vandrel/defaults.json"
models="$XDG_DATA_HOME/com.harstow.Vandrel/Models"
mkdir -p "$models"
"$build/bin/write_tiny_model" "$models/ggml-large-v3-turbo-q5_0.bin"

start_server() {
    env PULSE_RUNTIME_PATH="$work/runtime" PULSE_STATE_PATH="$work/state" PULSE_COOKIE="$work/cookie" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" \
        -L "module-null-sink sink_name=speaker" \
        -L "module-virtual-source source_name=mic master=speaker.monitor" >/dev/null 2>&1 &
    pulse_pid=$!
    for _ in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
    pactl set-default-source mic
}
stop_server() {
    kill "$pulse_pid"
    wait "$pulse_pid" 2>/dev/null || true
    pulse_pid=""
}
now_ms() { date +%s%3N; }
streams() { pactl list short source-outputs 2>/dev/null | awk -F'\t' '$3 != "-"' | wc -l; }
answer() {
    local t0
    t0=$(now_ms)
    if timeout 10 "$app" "$1" >/dev/null 2>&1; then echo "$(($(now_ms) - t0)) ms"; else echo "no answer in 10 s"; fi
}
cpu_share() {
    local c0 c1
    c0=$(awk '{print $14 + $15}' "/proc/$app_pid/stat")
    sleep 3
    c1=$(awk '{print $14 + $15}' "/proc/$app_pid/stat")
    awk -v c=$((c1 - c0)) -v t="$(getconf CLK_TCK)" 'BEGIN {printf "%.1f%% of one core\n", 100 * c / t / 3}'
}
first_stream() {
    local t0=$1
    while [ $(($(now_ms) - t0)) -lt 10000 ]; do
        timeout 10 "$app" --start >/dev/null 2>&1 || true
        for _ in 1 2 3 4 5; do
            if [ "$(streams)" -gt 0 ]; then
                echo "$(($(now_ms) - t0)) ms"
                timeout 10 "$app" --cancel >/dev/null 2>&1 || true
                return
            fi
            sleep 0.05
        done
    done
    echo "none in 10 s"
}

start_server
"$app" >"$work/app.log" 2>&1 &
app_pid=$!
for _ in $(seq 1200); do grep -q "Microphone warmed up" "$work/app.log" && break; sleep 0.05; done
grep -q "Microphone warmed up" "$work/app.log" || { echo "the application did not get ready"; cat "$work/app.log"; exit 1; }
sleep 1
echo "app: $app"
echo "idle, server up: CPU $(cpu_share), --cancel answered in $(answer --cancel)"

stop_server
sleep 1
echo "server gone:     CPU $(cpu_share), --cancel answered in $(answer --cancel)"
start_server
echo "server back (restarted): first recording stream after $(first_stream "$(now_ms)")"

sleep 1
kill -STOP "$pulse_pid"
echo "server stalled:  --start answered in $(answer --start), --cancel answered in $(answer --cancel)"
echo "server stalled:  CPU $(cpu_share), --cancel answered in $(answer --cancel)"
kill -CONT "$pulse_pid"
echo "server back (continued): first recording stream after $(first_stream "$(now_ms)")"
echo "log lines of the sound server: $(grep -c '^\[PulseAudio\]' "$work/app.log" || true)"
