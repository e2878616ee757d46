#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers on) and
# runs each for a bounded time from its seed corpus. A crash, a hang or a sanitizer report
# fails the run. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-20}
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTROVANEL_FUZZ=ON -DTROVANEL_BUILD_TESTS=OFF -DTROVANEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_answer fuzz_settings fuzz_export

scratch=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
for target in answer settings export; do
    # New inputs go to a scratch copy; the seeds in the tree stay as they are.
    mkdir -p "$scratch/$target"
    cp "$root/tests/fuzz/corpus/$target"/* "$scratch/$target/"
    echo "fuzz: $target for ${seconds}s"
    if ! (cd "$scratch" && "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$scratch/$target" \
        >"$scratch/$target.log" 2>&1); then
        tail -n 60 "$scratch/$target.log" >&2
        failed=1
    else
        grep -E 'stat::number_of_executed_units|Done' "$scratch/$target.log" | tail -n 2
    fi
done
if ((failed)); then
    echo "0 passed, 1 failed" >&2
    exit 1
fi
