#!/usr/bin/env bash
# Fails, naming each file and line, when a C++ source file is not as .clang-format lays it out.
# Fix with: clang-format -i FILE
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h')
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "check-format: the files above differ from .clang-format; run clang-format -i on them" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format lays them out"
