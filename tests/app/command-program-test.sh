#!/usr/bin/env bash
# The `vandrel` program as a desktop's key binding runs it with no instance running: it must answer by
# itself, in the terminal's language from the string tables beside it, without loading the application
# or any library of a desktop, a sound server or whisper (that is what keeps a command to milliseconds).
# Usage: command-program-test.sh PATH_TO_VANDREL
set -euo pipefail
program=$1
work=$(mktemp -d /tmp/vandrel-command.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in $needed; do
    case "$lib" in
        libc.so.* | libm.so.* | libstdc++.so.* | libgcc_s.so.* | ld-linux*.so.*) ;;
        libasan.so.* | libubsan.so.*) ;; # a sanitizer build
        *) fail "the command program needs $lib (it needs: $(echo $needed))" ;;
    esac
done

mkdir -m 700 "$work/runtime"
for case in "en_US.UTF-8|Vandrel is not running." "de_DE.UTF-8|Vandrel läuft nicht."; do
    lang=${case%%|*}
    expected=${case#*|}
    set +e
    out=$(env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u VANDREL_RESOURCES_DIR LANG="$lang" \
        XDG_RUNTIME_DIR="$work/runtime" LD_DEBUG=files "$program" --start 2>"$work/err")
    status=$?
    set -e
    [ "$status" -eq 1 ] || fail "LANG=$lang: exit status $status, not 1"
    message=$(grep -v '^ *[0-9]*:' "$work/err" || true)
    [ "$message" = "$expected" ] || fail "LANG=$lang: said '$message', not '$expected'"
    [ -z "$out" ] || fail "LANG=$lang: wrote '$out' on the standard output"
    # Nothing is loaded at run time either (the application is a library the program could open).
    if grep -q 'file=.*libvandrel-app\|file=.*libQt' "$work/err"; then
        fail "LANG=$lang: a command loaded $(grep -o 'file=[^ ]*' "$work/err" | sort -u | tr '\n' ' ')"
    fi
done
echo "the command program answers alone, in English and German, with only the C and C++ runtime"
