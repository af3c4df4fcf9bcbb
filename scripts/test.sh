#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 or 13 machine: installs what is missing, builds with warnings as
# errors, starts Xvfb, a session D-Bus and a PulseAudio server with a virtual microphone, runs every test
# (labels unit, x11, audio, e2e, wayland, gnome, kde), checks the C++ formatting, replays the fuzz corpora, and
# stops the services; then the GNOME 48 and KDE Plasma 6 tests (labels gnome48, kde6) in a Debian 13 system
# (scripts/debian13.sh, as root or through sudo). Before that: the unit tests in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short libFuzzer run per target.
# Environment: VANDREL_BUILD_DIR (default ./build), VANDREL_FUZZ_SECONDS (libFuzzer time per target, default 10;
# 0 skips), VANDREL_SANITIZE_RUN (default 1; 0 skips the sanitizer pass), VANDREL_DEBIAN13_RUN (default 1; 0
# skips the Debian 13 part).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANDREL_BUILD_DIR:-$root/build}
export VANDREL_BUILD_DIR="$build"

"$root/scripts/setup.sh"
# Tests and benchmarks on, whatever an earlier configuration of the same folder chose.
cmake -S "$root" -B "$build" -G Ninja -DVANDREL_WERROR=ON -DVANDREL_BUILD_TESTS=ON -DVANDREL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

status=0
"$root/scripts/check-format.sh" || status=1

if [ "${VANDREL_SANITIZE_RUN:-1}" != 0 ]; then
    asan="${VANDREL_ASAN_BUILD_DIR:-$root/build-asan}"
    echo "[test] unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S "$root" -B "$asan" -G Ninja -DVANDREL_SANITIZE=ON -DVANDREL_BUILD_BENCH=OFF \
        -DVANDREL_WHISPER_ROOT="$build/_deps/whisper/install" >/dev/null
    cmake --build "$asan" -j"$(nproc)" >/dev/null
    # Leak reports are left out: Qt and the sound server's client library keep process-wide caches.
    # The decode on lavapipe is left to the plain pass: under the sanitizer's allocator, Mesa compiling
    # ggml's shaders takes minutes (241 s with a cold shader cache, 2.6 s without the sanitizer), and none of
    # that work is ours; the other Vulkan cases (fallback, CPU device, no loader) stay here.
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir "$asan" -L unit -E '^WhisperBackend\.DecodesOnTheVulkanDeviceWhenOneIsVisible$' \
        --output-on-failure -j"$(nproc)" || status=1
fi

if [ "${VANDREL_FUZZ_SECONDS:-10}" != 0 ]; then
    "$root/scripts/fuzz.sh" "${VANDREL_FUZZ_SECONDS:-10}" || status=1
fi
# The whole suite last, so that its summary closes the output. The unit tests run once: a race of our own must
# show. The desktop tests share one X server, sound server and compositor each and run beside everything
# else: a test of theirs that fails is run once more, and its first failure stays in the output above the
# summary (ctest prints it).
log_dir=$(mktemp -d)
trap 'rm -rf "$log_dir"' EXIT
"$root/scripts/with-services.sh" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -L '^unit$' |
    tee "$log_dir/unit.log" || status=1
"$root/scripts/with-services.sh" ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE '^unit$' \
    --repeat until-pass:2 | tee "$log_dir/desktop.log" || status=1
# GNOME 48 and Plasma 6 need Debian 13: scripts/debian13.sh builds that system (cached in /var/cache/vandrel)
# and runs them there. After the suite above, so that neither loads the machine while the other's desktop
# tests run. They share one desktop too: a failed one is run once more.
if [ "${VANDREL_DEBIAN13_RUN:-1}" != 0 ]; then
    echo "[test] the GNOME 48 and KDE Plasma 6 tests in a Debian 13 system"
    as_root=()
    if [ "$(id -u)" != 0 ]; then
        as_root=(sudo --preserve-env=VANDREL_JOBS,VANDREL_DEBIAN13_CACHE,VANDREL_DEBIAN13_MIRROR)
    fi
    "${as_root[@]}" "$root/scripts/debian13.sh" --repeat until-pass:2 | tee "$log_dir/debian13.log" || status=1
fi
# One closing line for every run; a run that stopped before its summary counts as one failed test.
passed=0
failed=0
for log in "$log_dir"/unit.log "$log_dir"/desktop.log "$log_dir"/debian13.log; do
    [ -f "$log" ] || continue
    if ! read -r f t < <(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$log" |
        tail -n1); then
        echo "[test] $(basename "$log" .log): no ctest summary, counted as one failed test"
        status=1
        failed=$((failed + 1))
        continue
    fi
    failed=$((failed + f))
    passed=$((passed + t - f))
done
echo "ctest: $passed passed, $failed failed"
exit $status
