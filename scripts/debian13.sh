#!/usr/bin/env bash
# The GNOME 48 tests in a Debian 13 ("trixie") system beside this Debian 12 one: GNOME Shell 48, mutter 48 and
# xdg-desktop-portal 1.20 exist only there.
#   1. debootstrap (minbase) from the archive this machine uses, once per suite and mirror;
#   2. a copy of it in which the project's own scripts/setup.sh installs what the build and the tests need
#      (so the set-up is tried on Debian 13 too), once per package list and set-up scripts;
#   3. this tree, copied in, built there in Release (only the targets of the gnome48 and kde6 tests; whisper.cpp
#      without Vulkan: those tests use the fake libwhisper), the build folder kept for the next run;
#   4. ctest -L 'gnome48|kde6' there, under the project's test services.
# Both systems are cached outside the clone, in VANDREL_DEBIAN13_CACHE (default /var/cache/vandrel), named by
# a hash of what went into them. Needs root (debootstrap, chroot, mounts); every mount is undone on exit.
# Usage: scripts/debian13.sh [CTEST_ARGS...]   (VANDREL_DEBIAN13_MIRROR: another Debian archive)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${VANDREL_DEBIAN13_CACHE:-/var/cache/vandrel}
# The archive this machine's apt uses (its first source that is not the security archive), unless told.
host_mirror() {
    local one_line='s/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\{0,1\}\([^[:space:]]*\).*/\2/p'
    {
        sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null
        sed -n "$one_line" /etc/apt/sources.list 2>/dev/null
    } | tr ' ' '\n' | grep -v -e security -e '^$' | head -n1 || true
}
mirror=${VANDREL_DEBIAN13_MIRROR:-$(host_mirror)}
mirror=${mirror:-http://deb.debian.org/debian}
suite=trixie
[ "$(id -u)" = 0 ] || { echo "[debian13] needs root: debootstrap, chroot and mounts" >&2; exit 1; }
mkdir -p "$cache"

started=$(date +%s)
say() { echo "[debian13] $(($(date +%s) - started)) s: $*"; }

base_key=$(printf '%s\n' "$suite" "$mirror" minbase | sha256sum | cut -c1-12)
base="$cache/$suite-base-$base_key"
system_key=$( (echo "$base_key"; cat "$root/scripts/packages.txt" "$root/scripts/setup.sh" \
    "$root/scripts/build-whisper.sh" "$root/scripts/patches/"*) | sha256sum | cut -c1-12)
system="$cache/$suite-$system_key"

mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
    done
    mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM HUP
mount_into() {
    local target=$1
    mkdir -p "$target"/{proc,sys,dev,tmp}
    mount -t proc proc "$target/proc" && mounted+=("$target/proc")
    mount -t sysfs sysfs "$target/sys" && mounted+=("$target/sys")
    mount --bind /dev "$target/dev" && mounted+=("$target/dev")
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$target/dev/pts" && mounted+=("$target/dev/pts")
    mount -t tmpfs -o mode=1777 shm "$target/dev/shm" && mounted+=("$target/dev/shm")
    # A /tmp of its own per run, as after a boot: the X sockets and locks a killed run left would take
    # displays the next one expects free.
    mount -t tmpfs -o mode=1777 tmp "$target/tmp" && mounted+=("$target/tmp")
    # Xwayland refuses to start without its socket folder.
    mkdir -p "$target/tmp/.X11-unix"
    chmod 1777 "$target/tmp/.X11-unix"
    cp /etc/resolv.conf "$target/etc/resolv.conf"
}
in_system() { chroot "$system" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

if [ ! -d "$base" ]; then
    say "debootstrap $suite from $mirror"
    rm -rf "$base.partial"
    debootstrap --variant=minbase "$suite" "$base.partial" "$mirror" >"$cache/$suite-base.log" 2>&1 ||
        { tail -n 30 "$cache/$suite-base.log" >&2; exit 1; }
    mv "$base.partial" "$base"
fi

if [ ! -d "$system" ]; then
    # A set-up that stopped half-way goes on where it stopped: setup.sh skips what is there.
    if [ ! -d "$system.partial" ]; then
        say "the set-up inside a copy of $base"
        cp -a "$base" "$system.partial"
    else
        say "the set-up, continued in $system.partial"
    fi
    # Packages start no services inside the chroot.
    printf '#!/bin/sh\nexit 101\n' >"$system.partial/usr/sbin/policy-rc.d"
    chmod 755 "$system.partial/usr/sbin/policy-rc.d"
    # The certificate authorities this machine trusts besides Debian's (a proxy's, say) are trusted there too.
    mkdir -p "$system.partial/usr/local/share/ca-certificates"
    cp /usr/local/share/ca-certificates/*.crt "$system.partial/usr/local/share/ca-certificates/" 2>/dev/null || true
    rm -rf "$system.partial/setup"
    mkdir -p "$system.partial/setup"
    cp -a "$root/scripts" "$system.partial/setup/"
    mount_into "$system.partial"
    (
        system="$system.partial"
        if [ -x "$system/usr/sbin/update-ca-certificates" ]; then in_system update-ca-certificates >/dev/null; fi
        in_system env VANDREL_BUILD_DIR=/build VANDREL_WHISPER_VULKAN=0 VANDREL_JOBS="${VANDREL_JOBS:-$(nproc)}" \
            NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt bash /setup/scripts/setup.sh
    ) >>"$cache/$suite-setup.log" 2>&1 || { unmount_all; tail -n 40 "$cache/$suite-setup.log" >&2; exit 1; }
    unmount_all
    mv "$system.partial" "$system"
    # Systems of an earlier package list are of no use any more.
    for old in "$cache/$suite"-*; do
        case "$old" in "$base" | "$system" | *.log) ;; *) [ -d "$old" ] && rm -rf "$old" ;; esac
    done
fi

mount_into "$system"
say "building this tree in $system/build"
mkdir -p "$system/src"
# The tree as it is, without its build folders; the chroot's build folder keeps what is unchanged.
tar -C "$root" --exclude=./build --exclude='./build-*' --exclude=./.git -cf - . | tar -C "$system/src" -xf -
in_system bash -c 'cmake -S /src -B /build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_BUILD_TESTS=ON \
    -DVANDREL_BUILD_BENCH=OFF -DVANDREL_GNOME48_TESTS=ON -DVANDREL_WHISPER_ROOT=/build/_deps/whisper/install \
    >/build/configure.log 2>&1 || { tail -n 40 /build/configure.log; exit 1; }
    cmake --build /build -j"${0}" --target e2e_gnome48_tests e2e_kde6_tests' "${VANDREL_JOBS:-$(nproc)}"
say "ctest -L 'gnome48|kde6'"
status=0
in_system bash /src/scripts/with-services.sh ctest --test-dir /build -L 'gnome48|kde6' --output-on-failure "$@" ||
    status=$?
say "done"
exit $status
