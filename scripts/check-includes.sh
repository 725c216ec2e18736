#!/usr/bin/env bash
# Checks that every folder of the program includes only its own floor or the floors below:
#   core → store → link → ui, book → send → gateway → app
# Prints each include that runs upward as file:line and fails when there is one.
# tests/, bench/ and fuzz/ stand outside the house and may include anything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

declare -A floor=([core]=0 [store]=1 [link]=2 [ui]=3 [book]=3 [send]=4 [gateway]=5 [app]=6)

bad=0
for dir in "${!floor[@]}"; do
    [[ -d $dir ]] || continue
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
        [[ -n ${floor[$target]+set} ]] || continue
        if ((floor[$target] > floor[$dir])); then
            echo "$file:$line: $dir/ includes $target/, a floor above it: ${text#"${text%%[![:space:]]*}"}"
            bad=1
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^/"]+/' "$dir" --include='*.h' --include='*.cpp' || true)
done
# The encoder simulator is a program of its own: it includes nothing of the console.
if grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(core|store|link|ui|book|send|gateway|app)/' tools; then
    echo "tools/ must not include the console's folders"
    bad=1
fi
if ((bad)); then
    echo "include order check failed"
    exit 1
fi
echo "include order check passed"
