#!/usr/bin/env bash
# Runs a command inside a private X session: Xvfb as the display, openbox as the window manager
# and trayer as the system tray host, each started only once the one before is ready.
# Usage: scripts/xsession.sh COMMAND [ARGS...]   (exit status is the command's)
set -euo pipefail

# A desktop session has a session bus, and the program's start-up and its screen reader bridge
# connect to it. Without one, every program started here would look for a bus through the
# display and start one of its own (autolaunch); under load that search can hold a starting
# program for good, before its window or its signal handling are up.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session >/dev/null; then
    exec dbus-run-session -- "$0" "$@"
fi

session_dir=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-xsession.XXXXXX")
pids=()
cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$session_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to $2 seconds for the command in the remaining arguments to succeed, while the
# helper process $1 lives.
wait_for() {
    local helper=$1 limit=$2
    shift 2
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)) || ! kill -0 "$helper" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
}

# A helper that did not come up: says whether it ended and how, and prints every helper's
# log, so that the cause is seen rather than guessed.
not_started() {
    local name=$1 pid=$2 status
    if kill -0 "$pid" 2>/dev/null; then
        echo "xsession: $name did not become ready in time (still running)" >&2
    else
        wait "$pid" 2>/dev/null && status=0 || status=$?
        echo "xsession: $name ended with status $status before it was ready" >&2
    fi
    local log
    for log in "$session_dir"/*.log; do
        [ -s "$log" ] || continue
        echo "--- $(basename "$log")" >&2
        sed 's/^/    /' "$log" >&2
    done
    exit 1
}

# Xvfb tells its display number through -displayfd once it accepts clients. -noreset: by
# default the server starts over whenever its last client leaves, and a client connecting
# meanwhile is refused. The readiness checks below are such clients: the window manager, when
# it connected just as the first check left, ended with "Failed to open the display".
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$session_dir/display" \
    >"$session_dir/xvfb.log" 2>&1 &
xvfb=$!
pids+=("$xvfb")
# The number is complete once its line is.
display_told() { [ "$(tail -c 1 "$session_dir/display" | wc -l)" = 1 ]; }
wait_for "$xvfb" 20 display_told || not_started Xvfb "$xvfb"
export DISPLAY=":$(head -n1 "$session_dir/display")"

openbox --sm-disable >"$session_dir/openbox.log" 2>&1 &
openbox=$!
pids+=("$openbox")
wm_ready() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK) == *"window id"* ]]; }
wait_for "$openbox" 20 wm_ready || not_started openbox "$openbox"

if [ "${TROVANEL_XSESSION_TRAY:-1}" = 0 ]; then
    echo "xsession: DISPLAY=$DISPLAY with openbox, no tray"
    set +e
    "$@"
    status=$?
    set -e
    exit "$status"
fi

trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 24 \
    --SetDockType true --transparent false >"$session_dir/trayer.log" 2>&1 &
trayer=$!
pids+=("$trayer")
# trayer names its windows after itself once it holds the tray.
tray_ready() { [[ $(xwininfo -root -tree) == *'"trayer"'* ]]; }
wait_for "$trayer" 20 tray_ready || not_started trayer "$trayer"

echo "xsession: DISPLAY=$DISPLAY with openbox and trayer"
set +e
"$@"
status=$?
set -e
exit "$status"
