#!/usr/bin/env bash
# Start-up to the first painted window of Trovanel against a minimal Qt Widgets program, on
# Wayland (weston, headless) and on X11 (the X test session), in the same run, the two programs
# taking turns: prints each median and the two ratios. On Wayland the first paint is the first
# buffer the program attaches to its window's surface, as weston's own protocol log tells it.
# Usage: scripts/xsession.sh bench/wayland-startup.sh BUILD_DIR [ROUNDS]
set -euo pipefail
# A session bus of its own, as on a desktop and as bench/resources.sh runs.
if [ -z "${TROVANEL_BENCH_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
    exec env TROVANEL_BENCH_BUS=1 dbus-run-session -- "$0" "$@"
fi
build=${1:?build folder}
rounds=${2:-15}
work=$(mktemp -d)
runtime=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work" "$runtime"' EXIT
mkdir -p "$work/config/Brenvatic"
chmod 0700 "$runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$runtime" HOME="$work" XDG_DATA_HOME="$work/data"
export QT_LOGGING_RULES="qt.qpa.*=false" TROVANEL_SERVICE_URL="http://127.0.0.1:9"
printf '[Trovanel]\nStartStopState=On\nOption3=True\nText1=1\nText2=0\nText3=0\nAPIKey=k\n' \
    >"$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf"

weston --backend=headless-backend.so --debug --shell=kiosk-shell.so --socket=bench \
    --idle-time=0 >"$work/weston.log" 2>&1 &
for _ in $(seq 100); do [ -S "$runtime/bench" ] && break; sleep 0.05; done
coproc PROTO { WAYLAND_DISPLAY=bench exec weston-debug proto; }

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Lines the last program left behind are read away before the next starts.
drain() { while read -r -t 0.3 _ <&"${PROTO[0]}"; do :; done; }
# Starts a program on weston; prints the milliseconds to the first buffer attached to its
# window's surface (the surface given the toplevel role; a cursor or a hidden helper does not
# count).
wayland_ms() {
    drain
    local start line surface toplevel=""
    declare -A surfaces=()
    start=$(now_ms)
    WAYLAND_DISPLAY=bench QT_QPA_PLATFORM=wayland "$@" >/dev/null 2>&1 &
    local pid=$!
    while read -r line <&"${PROTO[0]}"; do
        if [[ $line =~ get_xdg_surface\(new\ id\ (xdg_surface@[0-9]+),\ (wl_surface@[0-9]+)\) ]]; then
            surfaces[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
        elif [[ $line =~ (xdg_surface@[0-9]+)\.get_toplevel ]]; then
            toplevel=${surfaces[${BASH_REMATCH[1]}]:-}
        elif [[ -n $toplevel && $line == *"$toplevel.attach(wl_buffer@"* ]]; then
            break
        fi
    done
    echo $(($(now_ms) - start))
    kill "$pid"
    wait "$pid" 2>/dev/null || true
}
x11_ms() {
    local pid ms
    read -r pid ms < <(QT_QPA_PLATFORM=xcb "$build/bench/first_window" "$@")
    kill "$pid"
    while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
    echo "$ms"
}

# Each display's rounds in a block of their own: a Wayland start right after an X11 one came
# about twice as late for the minimal program alone, which made the Wayland ratio look better
# than it is.
for ((round = 0; round < rounds; round++)); do
    wayland_ms "$build/bench/minimal_widgets" >>"$work/wl.base"
    wayland_ms "$build/src/trovanel" >>"$work/wl.ours"
done
for ((round = 0; round < rounds; round++)); do
    x11_ms "$build/bench/minimal_widgets" >>"$work/x.base"
    x11_ms "$build/src/trovanel" >>"$work/x.ours"
done
median() { sort -n "$1" | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
for display in x wl; do
    base=$(median "$work/$display.base")
    ours=$(median "$work/$display.ours")
    name=$([ $display = x ] && echo X11 || echo Wayland)
    echo "$name: Trovanel ${ours} ms, minimal Qt program ${base} ms, ratio $(awk -v a="$ours" -v b="$base" 'BEGIN {printf "%.2f", a / b}')"
done
