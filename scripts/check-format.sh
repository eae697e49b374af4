#!/usr/bin/env bash
# Checks that every C++ source follows the committed .clang-format; with --fix, applies it.
#   scripts/check-format.sh [--fix]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t sources < <(find analysis apps bench common docs estimator examples frontend fuzz platform prepare tests tools \
                            \( -name '*.cpp' -o -name '*.h' \) -type f | sort)
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi
# One clang-format for all files; each difference is reported as "FILE:LINE:COL: error: ...".
if ! report=$(clang-format --dry-run --Werror "${sources[@]}" 2>&1); then
    echo "These files differ from .clang-format (scripts/check-format.sh --fix applies it):"
    grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /'
    exit 1
fi
echo "${#sources[@]} files follow .clang-format"
