#!/usr/bin/env bash
# Measures the running application: start-up to the tray being ready, resident memory without a model,
# and CPU and main-thread wake-ups while idle for a while with the tiny test model loaded.
# Run with the test services: scripts/with-services.sh bench/app/measure-app.sh [BUILD_DIR] [IDLE_SECONDS]
set -euo pipefail
build=${1:-build}
idle=${2:-60}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
mkdir -p "$XDG_CONFIG_HOME/Vandrel"
echo '{"hasCompletedOnboarding": true}' > "$XDG_CONFIG_HOME/Vandrel/defaults.json"
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
wakeups() { awk '/^voluntary_ctxt_switches/ {v=$2} /^nonvoluntary_ctxt_switches/ {n=$2} END {print v + n}' "/proc/$1/task/$1/status"; }

echo "== without a model (download unreachable)"
"$build/bin/vandrel" > "$home/app1.log" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q "ready in" "$home/app1.log" && break; sleep 0.05; done
grep "ready in" "$home/app1.log" || true
sleep 2
echo "resident memory: $(awk '/VmRSS/ {print $2, $3}' /proc/$pid/status)"
kill $pid; wait $pid 2>/dev/null || true

echo "== idle ${idle}s with the tiny model loaded"
models="$XDG_DATA_HOME/com.harstow.Vandrel/Models"
mkdir -p "$models"
"$build/bin/write_tiny_model" "$models/ggml-large-v3-turbo-q5_0.bin"
"$build/bin/vandrel" > "$home/app2.log" 2>&1 &
pid=$!
sleep 30  # model load, the warm-up decode (slow with random weights) and the microphone warm-up
c0=$(cpu_ticks $pid); w0=$(wakeups $pid)
sleep "$idle"
c1=$(cpu_ticks $pid); w1=$(wakeups $pid)
echo "resident memory: $(awk '/VmRSS/ {print $2, $3}' /proc/$pid/status)"
awk -v c=$((c1 - c0)) -v t="$ticks" -v s="$idle" 'BEGIN {printf "CPU while idle: %.2f%% of one core\n", 100 * c / t / s}'
echo "main-thread context switches while idle: $((w1 - w0)) in ${idle}s"
kill $pid; wait $pid 2>/dev/null || true
grep -E "Model|model|WhisperContext" "$home/app2.log" | head -5 || true
