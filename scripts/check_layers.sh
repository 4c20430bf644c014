#!/usr/bin/env bash
# Checks the layers of the program's sources (docs/ARCHITECTURE.md): a file may include only files
# of its own layer or of the layers below it. Names every include that reaches up and fails on it,
# then checks that no include knot is larger than 4 units (scripts/include_knots.py) and that no
# internal-error code names two places (scripts/check_error_codes.py).
# With an argument, checks that tree instead of this one.
set -euo pipefail
root="${1:-$(dirname "$0")/..}"
cd "$root"

# The layers from the bottom; folders of one layer share its number.
declare -A layer=([common]=0 [text]=1 [core]=2 [metrics]=3 [link]=4 [tcp]=4 [app]=5 [ui]=6 [desktop]=7)

status=0
for folder in "${!layer[@]}"; do
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [ -e "$file" ] || continue
        while IFS= read -r line; do
            included="${line#*\"}"
            included="${included%%\"*}"
            target="${included%%/*}"
            [ -n "${layer[$target]+set}" ] || continue
            if (( layer[$target] > layer[$folder] )); then
                echo "$file: #include \"$included\": $folder may not include $target, a higher layer"
                status=1
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
    done
done
if [ "$status" -ne 0 ]; then
    exit "$status"
fi
scripts_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
python3 "$scripts_dir/include_knots.py" --max 4 .
python3 "$scripts_dir/check_error_codes.py" .
