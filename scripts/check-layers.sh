#!/usr/bin/env bash
# Fails when a folder of src/ includes a folder that its library in src/CMakeLists.txt does not
# declare among what it USES, or declares one that none of its files includes, so that the
# graph the build declares stays the graph of the code. Usage: check-layers.sh [SRC_FOLDER]
set -euo pipefail
src=${1:-"$(cd "$(dirname "${BASH_SOURCE[0]}")/../src" && pwd)"}

# "folder: used used ..." for each library, its declaration read up to SOURCES (it may take
# several lines); only the program's own libraries count, not Qt's or the system's.
declared=$(awk '
    /^trovanel_folder_library\(/ { text = ""; reading = 1 }
    reading { text = text " " $0 }
    reading && /SOURCES/ {
        sub(/SOURCES.*/, "", text)
        sub(/.*trovanel_folder_library\(/, "", text)
        n = split(text, words, /[ \t]+/)
        folder = ""; uses = ""
        for (i = 1; i <= n; ++i) {
            if (words[i] == "" || words[i] == "USES")
                continue
            if (folder == "")
                folder = words[i]
            else if (words[i] ~ /^trovanel_/)
                uses = uses " " substr(words[i], 10)
        }
        print folder ":" uses
        reading = 0
    }' "$src/CMakeLists.txt")

status=0
words() { tr ' ' '\n' | sed '/^$/d' | sort -u; }
while IFS=: read -r folder uses; do
    included=$(cat "$src/$folder"/*.h "$src/$folder"/*.cpp 2>/dev/null \
        | sed -nE 's@^[[:space:]]*#[[:space:]]*include[[:space:]]*"([A-Za-z0-9_]+)/.*@\1@p' \
        | grep -vx "$folder" | words || true)
    declaredHere=$(words <<<"$uses")
    for other in $(comm -13 <(echo "$declaredHere") <(echo "$included")); do
        echo "src/$folder includes $other/ but its library does not declare trovanel_$other"
        status=1
    done
    for other in $(comm -23 <(echo "$declaredHere") <(echo "$included")); do
        echo "src/$folder declares trovanel_$other but includes nothing of $other/"
        status=1
    done
done <<<"$declared"

for dir in "$src"/*/; do
    name=$(basename "$dir")
    if ! grep -q "^$name:" <<<"$declared"; then
        echo "src/$name has no library in src/CMakeLists.txt"
        status=1
    fi
done
exit $status
