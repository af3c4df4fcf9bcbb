#!/usr/bin/env bash
# Fetches whisper.cpp 1.9.1 (the cpp/whisper.cpp tree of the npm package nodejs-whisper@0.3.1),
# checks the tarball's integrity, and builds libwhisper.so with its ggml libraries as shared libraries
# into <build>/_deps/whisper/install. None of this source is committed.
set -euo pipefail
build=${1:?usage: build-whisper.sh BUILD_DIR}
mkdir -p "$build"
build=$(cd "$build" && pwd)
pkg="nodejs-whisper@0.3.1"
integrity="sha512-ceoilUVraRuR5FnNyXpGQT2auAR48Oc3AQBEmkXnVpSn9iN6yVRzQBFCqVTGWbk6Wdi95NhvwXNzFvuR7erLWw=="
deps="$build/_deps/whisper"
install="$deps/install"
stamp="$install/.built-1.9.1"

if [ -f "$stamp" ]; then
    echo "[setup] whisper.cpp already built in $install"
    exit 0
fi
mkdir -p "$deps"
cd "$deps"
tgz=nodejs-whisper-0.3.1.tgz
if [ ! -f "$tgz" ]; then
    echo "[setup] fetching $pkg"
    npm pack --silent "$pkg" >/dev/null
fi
actual="sha512-$(openssl dgst -sha512 -binary "$tgz" | base64 -w0)"
if [ "$actual" != "$integrity" ]; then
    echo "[setup] integrity check failed for $tgz: $actual" >&2
    rm -f "$tgz"
    exit 1
fi
rm -rf src package
tar xzf "$tgz" package/cpp/whisper.cpp
mv package/cpp/whisper.cpp src
rm -rf package

blas=OFF
if [ -f /usr/include/x86_64-linux-gnu/openblas-pthread/cblas.h ] || pkg-config --exists openblas 2>/dev/null; then
    blas=ON
fi
# Built on the user's own machine, so tuning for the host CPU is safe. VANDREL_WHISPER_PORTABLE=1 turns it off.
native=ON
[ "${VANDREL_WHISPER_PORTABLE:-0}" = 1 ] && native=OFF

cmake -S src -B build -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=ON \
    -DWHISPER_BUILD_EXAMPLES=OFF -DWHISPER_BUILD_TESTS=OFF -DWHISPER_BUILD_SERVER=OFF \
    -DWHISPER_SDL2=OFF -DWHISPER_CURL=OFF \
    -DGGML_NATIVE=$native -DGGML_BLAS=$blas -DGGML_BLAS_VENDOR=OpenBLAS \
    -DCMAKE_INSTALL_PREFIX="$install" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_INSTALL_RPATH='$ORIGIN' -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON >/dev/null
cmake --build build -j"$(nproc)"
cmake --install build >/dev/null
touch "$stamp"
echo "[setup] whisper.cpp built into $install"
