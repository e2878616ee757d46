#!/usr/bin/env bash
# The real program under the X test session: it starts, shows its window, restores a schedule of
# one log a second with logging on, makes real lookups with the system's curl against a service
# on 127.0.0.1, and on closing ends cleanly and removes its working folder.
# Usage: startup.sh PATH_TO_TROVANEL
set -euo pipefail
program=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${DISPLAY:-}" ]; then
    echo "needs the X test session (scripts/xsession.sh)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-sys.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config" "$work/runtime" "$work/home"
chmod 0700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
unset QT_QPA_PLATFORM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# The service, bounded in life time.
coproc SERVICE { exec /usr/bin/python3 "$here/fakeservice.py" "$here/answer-pretty.json" "$work/requests.log" 60; }
pids+=("$SERVICE_PID")
read -r port <&"${SERVICE[0]}"
export TROVANEL_SERVICE_URL="http://127.0.0.1:$port"

mkdir -p "$XDG_CONFIG_HOME/Brenvatic"
cat >"$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf" <<'CONF'
[Trovanel]
Option3=True
Text1=0
Text2=0
Text3=1
StartStopState=On
APIKey=sys-key-42
CONF

"$program" >"$work/program.log" 2>&1 &
app=$!
pids+=("$app")

window=$(xdotool search --sync --onlyvisible --name '^Trovanel$' | head -n1) \
    || fail "the window did not appear"
[ -n "$window" ] || fail "the window did not appear"
[ -d "$XDG_RUNTIME_DIR/trovanel" ] || fail "no private working folder"
mode=$(stat -c %a "$XDG_RUNTIME_DIR/trovanel")
[ "$mode" = 700 ] || fail "working folder mode is $mode"

# The tick logs every second or so: wait for the second request.
two_requests() { [ -s "$work/requests.log" ] && [ "$(wc -l <"$work/requests.log")" -ge 2 ]; }
wait_for 20 two_requests || fail "the schedule did not reach the service twice"
[ "$(head -n1 "$work/requests.log")" = "/geo?token=sys-key-42" ] \
    || fail "unexpected request $(head -n1 "$work/requests.log")"
# The restored choices were written back, the new ones included.
grep -q '^Weekly=Monday' "$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf" || fail "Weekly not stored"

# Closing the window ends the program and takes the working folder away.
xdotool windowactivate --sync "$window"
xdotool key --clearmodifiers alt+F4
if ! wait_for 20 bash -c "! kill -0 $app 2>/dev/null"; then
    fail "the program did not end after its window was closed"
fi
wait "$app" || fail "the program exited with status $?"
[ ! -e "$XDG_RUNTIME_DIR/trovanel" ] || fail "the working folder was left behind"
if grep -q 'Application Error' "$work/program.log"; then
    cat "$work/program.log" >&2
    fail "an error was reported"
fi
echo "1 passed, 0 failed"
