#!/usr/bin/env bash
# Installs what is missing, builds Trovanel with its tests twice (as shipped, and with the
# address and undefined-behaviour sanitizers), runs the fuzz targets for a bounded time,
# starts the X test session and runs the whole suite in it against both builds. The tests get
# private XDG folders and HOME, so nothing of the user's own settings is read or changed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/scripts/install-deps.sh"

# House habits first, so that a stray format or warning fails early and says where.
"$root/scripts/check-format.sh"
"$root/scripts/build.sh" "$root/build" -DTROVANEL_BUILD_TESTS=ON -DTROVANEL_WERROR=ON
"$root/scripts/build.sh" "$root/build-asan" -DTROVANEL_BUILD_TESTS=ON -DTROVANEL_SANITIZE=ON \
    -DTROVANEL_BUILD_BENCH=OFF -DTROVANEL_WERROR=ON
"$root/scripts/fuzz.sh" "${TROVANEL_FUZZ_SECONDS:-20}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-test.XXXXXX")
# The desktop portal, started on the test session's bus, mounts its document store in the
# runtime folder; it outlives the bus, and a mount point cannot be removed.
forget_scratch() {
    local mount
    findmnt -rn -o TARGET | { grep -F "$scratch/" || true; } | while read -r mount; do
        fusermount3 -u -z "$mount" 2>/dev/null || umount -l "$mount" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap forget_scratch EXIT
mkdir -p "$scratch/config" "$scratch/runtime" "$scratch/home" "$scratch/data" "$scratch/cache"
chmod 0700 "$scratch/runtime"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache"
unset CURL_CA_BUNDLE SSL_CERT_FILE SSL_CERT_DIR TROVANEL_SERVICE_URL

run_suite() {
    local build=$1
    shift
    "$root/scripts/xsession.sh" ctest --test-dir "$build" --output-on-failure --timeout 600 -j2 "$@"
}

echo "== sanitizer build =="
# A sanitizer report ends the process with an error, which fails its test. The soak measures
# memory and takes minutes; it runs in the shipped build only. The GL driver that Qt's Wayland
# platform loads stays loaded to the end (tests/sanitizers/keepdrivers.c).
gcc -shared -fPIC -o "$root/build-asan/keepdrivers.so" "$root/tests/sanitizers/keepdrivers.c" -ldl
LD_PRELOAD="$root/build-asan/keepdrivers.so" \
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_odr_violation=0:verify_asan_link_order=0" \
    LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    run_suite "$root/build-asan" -LE soak

echo "== shipped build =="
run_suite "$root/build"
