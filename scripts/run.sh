#!/usr/bin/env bash
# Installs what is missing, builds the application alone and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANDREL_BUILD_DIR:-$root/build}
export VANDREL_BUILD_DIR="$build"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only the application and what it needs (its libraries, string tables, sounds, icons, lexicons): the
# tests, benchmarks and fuzz targets of the same build folder are left to the test command.
cmake --build "$build" --target vandrel -j"$(nproc)"
exec "$build/bin/vandrel" "$@"
