#!/usr/bin/env bash
# Compares whisper's CPU path of two libwhisper builds (e.g. the Vulkan-enabled one against a CPU-only
# one) on random-weight models of the tiers' shapes, in one run, interleaved: every round runs each
# library once, in its own process, alternating which goes first. Prints per benchmark the median of the
# rounds for each library and B's median over A's.
#
# Usage: bench/cpu-path-compare.sh LIB_A LIB_B [ROUNDS]
#   LIB_A, LIB_B  paths of libwhisper.so (their ggml libraries beside them)
# Environment: VANDREL_BENCH_BUILD_DIR (a build with bench_whisper_tiers, default ./build-release, built
# here when missing), VANDREL_BENCH_TIERS (default base,small), VANDREL_BENCH_FILTER (default
# Transcribe5s|Transcribe15s), VANDREL_BENCH_CPUS (taskset core list, default 0-2: one decoder thread, so
# the process CPU time is the work itself even on a busy machine; empty runs unpinned).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lib_a=${1:?usage: cpu-path-compare.sh LIB_A LIB_B [ROUNDS]}
lib_b=${2:?usage: cpu-path-compare.sh LIB_A LIB_B [ROUNDS]}
rounds=${3:-5}
build=${VANDREL_BENCH_BUILD_DIR:-$root/build-release}
filter=${VANDREL_BENCH_FILTER:-Transcribe5s|Transcribe15s}
export VANDREL_BENCH_TIERS=${VANDREL_BENCH_TIERS:-base,small}
export VANDREL_BENCH_DEVICES=cpu
cpus=${VANDREL_BENCH_CPUS-0-2}
prog="$build/bin/bench_whisper_tiers"
if [ ! -x "$prog" ]; then
    whisper_root=$(dirname "$(dirname "$(readlink -f "$lib_a")")")/_deps/whisper/install
    [ -d "$whisper_root" ] || whisper_root=$(dirname "$(readlink -f "$lib_a")")/..
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_BUILD_TESTS=OFF \
        -DVANDREL_WHISPER_ROOT="$whisper_root" >/dev/null
    cmake --build "$build" -j"${VANDREL_JOBS:-$(nproc)}" --target bench_whisper_tiers
fi
pin=()
[ -n "$cpus" ] && pin=(taskset -c "$cpus")

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {  # label library round
    VANDREL_WHISPER_LIBRARY="$2" "${pin[@]}" "$prog" --benchmark_filter="$filter" --benchmark_format=csv \
        2>/dev/null | grep '^"' | sed "s/^/$1,$3,/" >>"$out/all.csv"
}
for round in $(seq 1 "$rounds"); do
    if [ $((round % 2)) = 1 ]; then
        run A "$lib_a" "$round"
        run B "$lib_b" "$round"
    else
        run B "$lib_b" "$round"
        run A "$lib_a" "$round"
    fi
done

echo "A = $lib_a"
echo "B = $lib_b"
echo "$rounds rounds; medians in ms (wall | process CPU)"
printf "%-45s %10s %10s %10s %10s %8s %8s\n" benchmark "A wall" "B wall" "A cpu" "B cpu" "B/A wall" "B/A cpu"
# CSV columns after the label and round: name, iterations, real_time, cpu_time, time_unit, ...
awk -F, '
    { gsub(/"/, "", $3); wall[$3, $1] = wall[$3, $1] " " $5; cpu[$3, $1] = cpu[$3, $1] " " $6; names[$3] = 1 }
    function median(list,   n, v, i, j, t) {
        n = split(list, v, " ")
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
        return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    END {
        for (n in names) {
            aw = median(wall[n, "A"]); bw = median(wall[n, "B"]); ac = median(cpu[n, "A"]); bc = median(cpu[n, "B"])
            printf "%-45s %10.1f %10.1f %10.1f %10.1f %8.3f %8.3f\n", n, aw, bw, ac, bc, bw / aw, bc / ac
        }
    }' "$out/all.csv" | sort
