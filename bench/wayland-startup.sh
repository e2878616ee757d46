#!/usr/bin/env bash
# Start-up to the first painted window of Trovanel against a minimal Qt Widgets program, on
# Wayland (weston, headless) and on X11 (the X test session), in the same run, taking turns:
# prints each median and the two ratios. On Wayland the first paint is the first buffer the
# program attaches to a surface, as weston's own protocol log stamps it.
# Usage: scripts/xsession.sh bench/wayland-startup.sh BUILD_DIR [ROUNDS]
set -euo pipefail
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
# Starts a program on weston; prints the milliseconds to its first attached buffer.
wayland_ms() {
    drain
    local start line
    start=$(now_ms)
    WAYLAND_DISPLAY=bench QT_QPA_PLATFORM=wayland "$@" >/dev/null 2>&1 &
    local pid=$!
    while read -r line <&"${PROTO[0]}"; do
        [[ $line == *".attach(wl_buffer@"* ]] && break
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

for ((round = 0; round < rounds; round++)); do
    wayland_ms "$build/bench/minimal_widgets" >>"$work/wl.base"
    wayland_ms "$build/src/trovanel" >>"$work/wl.ours"
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
