#!/usr/bin/env bash
# Formats every C++ source of the project in place with clang-format 14 and the repository's
# .clang-format.
#
#   scripts/format.sh            format the files in place
#   scripts/format.sh --check    change nothing; list the files that are not formatted and fail
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
clang_format=${CLANG_FORMAT:-clang-format-14}
command -v "$clang_format" >/dev/null || { echo "$clang_format not found (Debian: clang-format-14)" >&2; exit 1; }

folders=(app book core gateway link send store ui tools tests bench fuzz)
mapfile -d '' files < <(find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null | sort -z)
((${#files[@]})) || { echo "no sources found" >&2; exit 1; }

if [[ ${1:-} != --check ]]; then
    "$clang_format" -i --style=file "${files[@]}"
    echo "formatted ${#files[@]} files"
    exit 0
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if "$clang_format" --dry-run -Werror --style=file "${files[@]}" 2>"$log"; then
    echo "format check passed (${#files[@]} files)"
    exit 0
fi
# The first findings in full, then every file that differs.
head -n 30 "$log"
mapfile -t bad < <(grep -oE '^[^:[:space:]]+\.(cpp|h):[0-9]+:[0-9]+: error' "$log" | cut -d: -f1 | sort -u)
echo "..."
echo "${#bad[@]} of ${#files[@]} files are not formatted as .clang-format says:"
printf '  %s\n' "${bad[@]}"
echo "scripts/format.sh formats them in place"
exit 1
