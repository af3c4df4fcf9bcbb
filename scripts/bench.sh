#!/usr/bin/env bash
# Builds Vandrel in Release and runs every benchmark program (bench/), writing one JSON file per program
# into <build>/bench-results. Figures are read by people; nothing here passes or fails on a number.
# Usage: scripts/bench.sh [FILTER]   (FILTER: a substring of the program names)
# Environment:
#   VANDREL_WHISPER_ROOT=DIR  an installed whisper.cpp to build against (default: built into the main build)
#   VANDREL_JOBS=N            parallel compile jobs (default: all cores)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANDREL_BENCH_BUILD_DIR:-$root/build-release}
main_build=${VANDREL_BUILD_DIR:-$root/build}
whisper_root=${VANDREL_WHISPER_ROOT:-}
if [ -z "$whisper_root" ]; then
    "$root/scripts/build-whisper.sh" "$main_build" >/dev/null
    whisper_root="$main_build/_deps/whisper/install"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_BUILD_TESTS=OFF \
    -DVANDREL_WHISPER_ROOT="$whisper_root" >/dev/null
cmake --build "$build" -j"${VANDREL_JOBS:-$(nproc)}"
out="$build/bench-results"
mkdir -p "$out"
for name in $(cat "$build/bench-targets.txt"); do
    prog="$build/bin/$name"
    [ -x "$prog" ] || continue
    [[ -z "${1:-}" || "$name" == *"$1"* ]] || continue
    echo "== $name"
    VANDREL_RESOURCES_DIR="$build/share/vandrel" "$prog" --benchmark_out="$out/$name.json" --benchmark_out_format=json
done
