#!/usr/bin/env bash
# Installs the build into a fresh prefix and starts the installed binary with an empty home, no test
# overrides and a model in place: it must find its resources and libwhisper relative to itself and load
# the model. Needs the test services (an X display and a sound server).
# Usage: install-test.sh BUILD_DIR WRITE_TINY_MODEL
set -euo pipefail
build=$1
write_model=$2
work=$(mktemp -d /tmp/vandrel-install.XXXXXX)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log"; exit 1; }

# A space in the prefix: the desktop entry has to quote its Exec, and nothing may split the paths.
prefix="$work/install prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"

for f in bin/vandrel lib/libvandrel-app.so lib/libwhisper.so share/vandrel/strings/en/shell.json share/vandrel/strings/de/shell.json \
    share/vandrel/sounds/Pop.ogg share/vandrel/appicon/vandrel.svg share/applications/com.harstow.Vandrel.desktop \
    share/icons/hicolor/scalable/apps/vandrel.svg share/icons/hicolor/48x48/apps/vandrel.png \
    share/icons/hicolor/256x256/apps/vandrel.png; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
desktop="$prefix/share/applications/com.harstow.Vandrel.desktop"
for line in "Name=Vandrel" "Exec=\"$prefix/bin/vandrel\"" "Icon=vandrel" "Categories=Utility;Accessibility;" \
    "StartupNotify=false" "Type=Application"; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks '$line'"
done
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is not installed (desktop-file-utils)"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"

home="$work/home"
models="$home/data/com.harstow.Vandrel/Models"
mkdir -p "$models" "$home/config/Vandrel" "$home/runtime"
chmod 700 "$home/runtime"
"$write_model" "$models/ggml-large-v3-turbo-q5_0.bin" >/dev/null || fail "cannot write the test model"
echo '{"hasCompletedOnboarding": true}' >"$home/config/Vandrel/defaults.json"

# Nothing points the binary at the build tree: it is on its own, as after a real installation. The
# model server is unreachable so that nothing leaves the machine.
(cd "$work" && exec env -u VANDREL_WHISPER_LIBRARY -u VANDREL_RESOURCES_DIR -u LD_LIBRARY_PATH \
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/runtime" PULSE_SERVER="${PULSE_SERVER:-unix:${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native}" \
    http_proxy=http://127.0.0.1:9 https_proxy=http://127.0.0.1:9 HTTPS_PROXY=http://127.0.0.1:9 \
    all_proxy=http://127.0.0.1:9 ALL_PROXY=http://127.0.0.1:9 no_proxy= NO_PROXY= \
    "$prefix/bin/vandrel") >"$work/app.log" 2>&1 &
app_pid=$!

for _ in $(seq 600); do
    grep -q "Model loaded" "$work/app.log" && break
    grep -q "Model load failed" "$work/app.log" && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
grep -qF "resources in $prefix/share/vandrel" "$work/app.log" || fail "the installed binary did not use its own resources"
grep -q "Model loaded" "$work/app.log" || fail "the installed binary did not load the model with its own libwhisper"
# A desktop's key binding runs the installed program with a command: the running instance takes it.
env -u LD_LIBRARY_PATH XDG_RUNTIME_DIR="$home/runtime" "$prefix/bin/vandrel" --cancel >"$work/command.log" 2>&1 ||
    fail "the installed program did not deliver --cancel: $(cat "$work/command.log")"
for _ in $(seq 50); do grep -q "\[CommandChannel\] command: cancel" "$work/app.log" && break; sleep 0.1; done
grep -q "\[CommandChannel\] command: cancel" "$work/app.log" || fail "the running instance did not take --cancel"
echo "installed application in $prefix: resources and libwhisper found, model loaded, a command delivered"
