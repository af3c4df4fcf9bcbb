#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs what is missing, builds with warnings as
# errors, starts Xvfb, a session D-Bus and a PulseAudio server with a virtual microphone, runs every test
# (labels unit, x11, audio, e2e), replays the fuzz corpora, and stops the services.
# Environment: VANDREL_BUILD_DIR (default ./build), VANDREL_FUZZ_SECONDS (libFuzzer time per target, default 10; 0 skips).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANDREL_BUILD_DIR:-$root/build}
export VANDREL_BUILD_DIR="$build"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DVANDREL_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

status=0
"$root/scripts/with-services.sh" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" || status=$?

if [ "${VANDREL_FUZZ_SECONDS:-10}" != 0 ]; then
    "$root/scripts/fuzz.sh" "${VANDREL_FUZZ_SECONDS:-10}" || status=1
fi
exit $status
