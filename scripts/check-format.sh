#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what the root .clang-format makes of it.
# Checks every tracked (and new, not ignored) .h/.cpp file, so a clean clone is checked as a whole.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.cpp.in' | grep -v '\.in$' || true)
bad=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "[format] not formatted with clang-format (run: clang-format -i FILE):"
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "[format] ${#files[@]} files formatted"
