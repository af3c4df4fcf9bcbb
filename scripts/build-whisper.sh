#!/usr/bin/env bash
# Fetches whisper.cpp 1.9.1 (the cpp/whisper.cpp tree of the npm package nodejs-whisper@0.3.1),
# checks the tarball's integrity, and builds libwhisper.so with its ggml libraries as shared libraries
# into <build>/_deps/whisper/install/lib. None of this source is committed.
#
# ggml's compute backends are built as modules that the application loads from the same directory
# (ggml_backend_load_all_from_path): the CPU one (with OpenBLAS when present) and the Vulkan one, which
# uses a GPU when the machine has one. libwhisper itself does not depend on libvulkan.so.1, so it loads
# on a machine without the Vulkan loader and then runs on the CPU.
#
# Environment:
#   VANDREL_WHISPER_PORTABLE=1  build for any x86-64 CPU instead of this one's instruction sets
#   VANDREL_WHISPER_VULKAN=0    leave the Vulkan backend out (needs neither libvulkan-dev nor glslc)
#   VANDREL_JOBS=N              parallel compile jobs (default: all cores)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: build-whisper.sh BUILD_DIR}
mkdir -p "$build"
build=$(cd "$build" && pwd)
pkg="nodejs-whisper@0.3.1"
integrity="sha512-ceoilUVraRuR5FnNyXpGQT2auAR48Oc3AQBEmkXnVpSn9iN6yVRzQBFCqVTGWbk6Wdi95NhvwXNzFvuR7erLWw=="
deps="$build/_deps/whisper"
install="$deps/install"
portable=${VANDREL_WHISPER_PORTABLE:-0}
vulkan=${VANDREL_WHISPER_VULKAN:-1}
jobs=${VANDREL_JOBS:-$(nproc)}
# The stamp names the configuration, so a build directory made with other settings (or by an earlier
# version of this script) is rebuilt.
stamp="$install/.built-1.9.1-dl-reuse-vulkan$vulkan-portable$portable"

if [ -f "$stamp" ]; then
    echo "[setup] whisper.cpp already built in $install"
    exit 0
fi
rm -rf "$install" "$deps/build"
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
# Without fuzz, a patch whose context no longer matches is refused, so a changed source stops here.
apply_patch() {
    local fix="$here/patches/$1"
    if ! patch -d src -p1 --forward --fuzz=0 --batch --silent --dry-run <"$fix" >/dev/null; then
        echo "[setup] $fix does not apply to the fetched whisper.cpp: update it" >&2
        exit 1
    fi
    patch -d src -p1 --forward --fuzz=0 --batch --silent <"$fix"
}
apply_patch whisper-reuse-encoder-pass.patch
if [ "$vulkan" = 1 ]; then apply_patch ggml-vulkan-layer-settings.patch; fi

blas=OFF
if [ -f /usr/include/x86_64-linux-gnu/openblas-pthread/cblas.h ] || pkg-config --exists openblas 2>/dev/null; then
    blas=ON
fi
# Built on the user's own machine, so the CPU backend uses every instruction set this CPU has (ggml's
# GGML_NATIVE cannot be combined with backend modules, so the sets are named one by one; the module
# checks them again when it loads). A portable build instead builds one CPU module per x86-64 level and
# loads the best one the running CPU supports.
cpu_flags=(-DGGML_NATIVE=OFF)
if [ "$portable" = 1 ] || [ "$(uname -m)" != x86_64 ]; then
    cpu_flags+=(-DGGML_CPU_ALL_VARIANTS=ON)
else
    have=" $(grep -m1 '^flags' /proc/cpuinfo | cut -d: -f2) "
    for pair in SSE42:sse4_2 AVX:avx AVX2:avx2 BMI2:bmi2 FMA:fma F16C:f16c AVX_VNNI:avx_vnni \
        AVX512:avx512f AVX512_VBMI:avx512vbmi AVX512_VNNI:avx512_vnni AVX512_BF16:avx512_bf16 \
        AMX_TILE:amx_tile AMX_INT8:amx_int8 AMX_BF16:amx_bf16; do
        option=${pair%%:*}
        flag=${pair#*:}
        if [[ $have == *" $flag "* ]]; then cpu_flags+=(-DGGML_$option=ON); else cpu_flags+=(-DGGML_$option=OFF); fi
    done
fi
vk=OFF
[ "$vulkan" = 1 ] && vk=ON

echo "[setup] building whisper.cpp (Vulkan $vk, portable $portable, $jobs jobs)"
# The backend modules install next to the libraries (lib), where the application loads them from.
cmake -S src -B build -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=ON -DGGML_BACKEND_DL=ON \
    -DWHISPER_BUILD_EXAMPLES=OFF -DWHISPER_BUILD_TESTS=OFF -DWHISPER_BUILD_SERVER=OFF \
    -DWHISPER_SDL2=OFF -DWHISPER_CURL=OFF \
    "${cpu_flags[@]}" -DGGML_BLAS=$blas -DGGML_BLAS_VENDOR=OpenBLAS -DGGML_VULKAN=$vk \
    -DCMAKE_INSTALL_PREFIX="$install" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_BINDIR=lib \
    -DCMAKE_INSTALL_RPATH='$ORIGIN' -DCMAKE_BUILD_WITH_INSTALL_RPATH=ON >/dev/null
cmake --build build -j"$jobs"
cmake --install build >/dev/null
touch "$stamp"
echo "[setup] whisper.cpp built into $install"
