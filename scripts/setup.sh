#!/usr/bin/env bash
# Installs every Debian package Vandrel's build and tests need, then fetches and builds whisper.cpp.
# Safe to run again: packages already present and a finished whisper.cpp build are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

# The release decides which "[debian N]" section of the list applies; a release without a section of its
# own (testing, unstable) takes the newest one.
release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_ID:-}")
release=${release%%.*}
sections=$(sed -n 's/^\[debian \([0-9]*\)\]$/\1/p' "$here/packages.txt" | sort -n)
if ! grep -qx "$release" <<<"$sections"; then
    newest=$(tail -n1 <<<"$sections")
    echo "[setup] no package section for Debian '${release:-unknown}': using the one for Debian $newest" >&2
    release=$newest
fi
mapfile -t wanted < <(awk -v release="$release" '
    /^[[:space:]]*(#|$)/ { next }
    /^\[debian [0-9]+\]$/ { section = $2; sub(/\]/, "", section); next }
    section == "" || section == release { print $1 }' "$here/packages.txt")
missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
# npm fetches the whisper.cpp source; machines that already carry a Node.js with its own npm keep it.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
    echo "[setup] installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then
            SUDO=sudo
        else
            echo "[setup] not root and no sudo: run as root: apt-get install -y ${missing[*]}" >&2
            exit 1
        fi
    else
        SUDO=
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
    echo "[setup] all Debian packages present"
fi

"$here/build-whisper.sh" "${VANDREL_BUILD_DIR:-$root/build}"
