#!/usr/bin/env bash
# Installs what is missing, builds Vandrel and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANDREL_BUILD_DIR:-$root/build}
export VANDREL_BUILD_DIR="$build"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
if [ -x "$build/bin/vandrel" ]; then
    exec "$build/bin/vandrel" "$@"
fi
echo "Built everything in $build. The application entry does not exist yet; the libraries and tests are built."
