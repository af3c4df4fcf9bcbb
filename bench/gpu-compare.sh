#!/usr/bin/env bash
# On a machine with a GPU: builds whisper.cpp with its Vulkan backend and the tier benchmark (when not
# built yet), then measures in one run, per tier, model load and one 5 s and one 15 s transcription on
# the CPU and on the GPU (random-weight models of the tiers' shapes; turbo at f16, 1.6 GB in the
# temporary directory), and prints CPU time over GPU time.
#
# Usage: bench/gpu-compare.sh
# Environment: VANDREL_BENCH_BUILD_DIR (default ./build-gpu-bench), VANDREL_BENCH_TIERS (default
# base,small,turbo), VANDREL_JOBS (build jobs). A CPU-type Vulkan device (lavapipe) only counts when
# GGML_VK_VISIBLE_DEVICES names it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANDREL_BENCH_BUILD_DIR:-$root/build-gpu-bench}
prog="$build/bin/bench_whisper_tiers"
if [ ! -x "$prog" ]; then
    VANDREL_WHISPER_VULKAN=1 "$root/scripts/build-whisper.sh" "$build"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_BUILD_TESTS=OFF \
        -DVANDREL_WHISPER_ROOT="$build/_deps/whisper/install" >/dev/null
    cmake --build "$build" -j"${VANDREL_JOBS:-$(nproc)}" --target bench_whisper_tiers
fi
export VANDREL_BENCH_TIERS=${VANDREL_BENCH_TIERS:-base,small,turbo}
export VANDREL_BENCH_DEVICES=cpu,gpu

out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$prog" --benchmark_filter='^(Load|Transcribe5s|Transcribe15s)/' --benchmark_format=csv 2>/dev/null >"$out"

# whisper names the device it chose in its log, which the binding passes on to standard output.
device=$(grep -m1 -o 'whisper_backend_init_gpu: using .* backend' "$out" | sed 's/whisper_backend_init_gpu: using //; s/ backend$//' || true)
if [ -z "$device" ]; then
    echo "no GPU found by whisper: every 'gpu' figure below ran on the CPU" >&2
    device="none"
fi
echo "GPU device: $device"
printf "%-22s %12s %12s %10s\n" benchmark/tier "CPU ms" "GPU ms" CPU/GPU
# CSV rows: "Name/tier/device/...",iterations,real_time,cpu_time,time_unit,...
grep '^"' "$out" | awk -F, '
    { gsub(/"/, "", $1); split($1, p, "/"); t[p[1] "/" p[2], p[3]] = $3; keys[p[1] "/" p[2]] = 1 }
    END {
        for (k in keys) printf "%-22s %12.1f %12.1f %10.2f\n", k, t[k, "cpu"], t[k, "gpu"], t[k, "cpu"] / t[k, "gpu"]
    }' | sort -t/ -k2,2 -k1,1
