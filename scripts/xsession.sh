#!/usr/bin/env bash
# Runs a command inside a private X session: Xvfb as the display, openbox as the window manager
# and trayer as the system tray host, each started only once the one before is ready.
# Usage: scripts/xsession.sh COMMAND [ARGS...]   (exit status is the command's)
set -euo pipefail

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

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        if ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 0.05
    done
}

# Xvfb tells its display number through -displayfd once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$session_dir/display" \
    >"$session_dir/xvfb.log" 2>&1 &
pids+=($!)
if ! wait_for 20 test -s "$session_dir/display"; then
    echo "xsession: Xvfb did not start" >&2
    cat "$session_dir/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$session_dir/display")"

openbox --sm-disable >"$session_dir/openbox.log" 2>&1 &
pids+=($!)
wm_ready() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK) == *"window id"* ]]; }
if ! wait_for 20 wm_ready; then
    echo "xsession: openbox did not start" >&2
    exit 1
fi

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
pids+=($!)
# trayer names its windows after itself once it holds the tray.
tray_ready() { [[ $(xwininfo -root -tree) == *'"trayer"'* ]]; }
if ! wait_for 20 tray_ready; then
    echo "xsession: trayer did not start" >&2
    exit 1
fi

echo "xsession: DISPLAY=$DISPLAY with openbox and trayer"
set +e
"$@"
status=$?
set -e
exit "$status"
