#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (a separate build folder) and runs each for N seconds
# (default 60) from its seed corpus. Fails when any target finds a crash. VANDREL_JOBS limits the build's
# parallel jobs (default: all cores).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
build=${VANDREL_FUZZ_BUILD_DIR:-$root/build-fuzz}
main_build=${VANDREL_BUILD_DIR:-$root/build}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVANDREL_FUZZ=ON -DVANDREL_BUILD_TESTS=OFF \
    -DVANDREL_BUILD_BENCH=OFF -DVANDREL_WHISPER_ROOT="$main_build/_deps/whisper/install" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined" >/dev/null
targets=$(grep '|' "$build/fuzz-targets.txt" || true)
if [ -z "$targets" ]; then echo "[fuzz] no fuzz targets"; exit 0; fi
names=$(echo "$targets" | cut -d'|' -f1 | tr '\n' ' ')
cmake --build "$build" -j"${VANDREL_JOBS:-$(nproc)}" --target $names
fail=0
while IFS='|' read -r name corpus; do
    [ -n "$name" ] || continue
    work=$(mktemp -d)
    cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    echo "[fuzz] $name for ${secs}s"
    if ! "$build/bin/$name" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/$name-" \
        "$work" >"$build/$name.log" 2>&1; then
        echo "[fuzz] $name FAILED"; tail -40 "$build/$name.log"; fail=1
    else
        # Coverage as libFuzzer counts it: instrumented edges of the code under test, edges reached from the
        # seed corpus and at the end. A target that sees only its own harness is blind, so it fails here.
        counters=$(grep -Eo '[0-9]+ inline 8-bit counters' "$build/$name.log" | head -1 | cut -d' ' -f1)
        inited=$(grep -Eo 'INITED cov: [0-9]+' "$build/$name.log" | head -1 | grep -Eo '[0-9]+$' || true)
        final=$(grep -Eo 'cov: [0-9]+' "$build/$name.log" | tail -1 | grep -Eo '[0-9]+$' || true)
        echo "[fuzz] $name: $(grep -Eo 'Done [0-9]+ runs' "$build/$name.log" | tail -1)," \
            "${counters:-?} edges instrumented, covered ${inited:-?} from the corpus, ${final:-?} at the end"
        if [ "${counters:-0}" -lt 200 ]; then
            echo "[fuzz] $name sees only ${counters:-0} instrumented edges: the code under test is not instrumented"
            fail=1
        fi
    fi
    rm -rf "$work"
done <<< "$targets"
exit $fail
