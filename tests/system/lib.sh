# Shared by the system tests: a private configuration, a service on 127.0.0.1, the program,
# and waits for what can be seen on the X display. Source it; it sets a trap that cleans up.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=${1:?usage: $0 PATH_TO_TROVANEL}

if [ -z "${DISPLAY:-}" ]; then
    echo "needs the X test session (scripts/xsession.sh)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-sys.XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config/Brenvatic" "$work/runtime" "$work/home"
chmod 0700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
export QT_LOGGING_RULES="qt.qpa.*=false"
unset QT_QPA_PLATFORM
store="$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf"

fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/program.log" ] && sed 's/^/program: /' "$work/program.log" >&2
    # What the display held when the test gave up: enough to tell a lost click from a slow
    # program.
    {
        echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
        [ -n "${app:-}" ] && { kill -0 "$app" 2>/dev/null && echo "program: running" || echo "program: ended"; }
        local id
        for id in $(xdotool search --classname '^trovanel$' 2>/dev/null); do
            echo "window $id: $(placement "$id") $(xdotool getwindowname "$id" 2>/dev/null)"
        done
        echo "focus: $(xdotool getwindowfocus 2>/dev/null)"
    } | sed 's/^/display: /' >&2
    exit 1
}

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Writes the settings of an earlier run: one key=value per argument.
preset() {
    printf '[Trovanel]\n' >"$store"
    local entry
    for entry in "$@"; do printf '%s\n' "$entry" >>"$store"; done
}

stored() { sed -n "s/^$1=//p" "$store"; }
# The switch's stored state is $1. The window may leave the screen a moment before the state is
# saved: the window manager hides it while the program is still writing the settings.
switched_to() { [ "$(stored StartStopState)" = "$1" ]; }

# A service playing the geolocation service, bounded in life time; sets TROVANEL_SERVICE_URL.
start_service() {
    coproc SERVICE { exec /usr/bin/python3 "$here/fakeservice.py" "$here/answer-pretty.json" "$work/requests.log" 120; }
    pids+=("$SERVICE_PID")
    local port
    read -r port <&"${SERVICE[0]}"
    export TROVANEL_SERVICE_URL="http://127.0.0.1:$port"
}

# Starts the program; sets app to its process id.
start_program() {
    "$program" >>"$work/program.log" 2>&1 &
    app=$!
    pids+=("$app")
}

main_window() { xdotool search --onlyvisible --name '^Trovanel$' 2>/dev/null | head -n1; }

# The program's top-level window, mapped or not: the one of the window's size class.
any_main_window() {
    local id
    for id in $(xdotool search --classname '^trovanel$' 2>/dev/null); do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Width: 1064'; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# Where a window is on the screen and whether it is viewable: "X Y WIDTH HEIGHT STATE".
placement() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $4 }
        /Absolute upper-left Y:/ { y = $4 } /Width:/ { w = $2 } /Height:/ { h = $2 }
        /Map State:/ { m = $3 } END { print x, y, w, h, m }'
}

# The tray icon: the program's 22-pixel window once trayer has docked it, that is viewable and
# inside trayer's panel. Qt makes the window before the host takes it in; a click sent to it
# before then lands wherever the window happens to be.
tray_icon() {
    local panel id px py pw ph x y w h m
    panel=$(xdotool search --classname '^panel$' 2>/dev/null | head -n1)
    [ -n "$panel" ] || return 1
    read -r px py pw ph _ < <(placement "$panel")
    for id in $(xdotool search --classname '^trovanel$' 2>/dev/null); do
        read -r x y w h m < <(placement "$id")
        if [ "$w" = 22 ] && [ "$m" = IsViewable ] && ((x >= px && y >= py &&
            x + w <= px + pw && y + h <= py + ph)); then
            echo "$id"
            return 0
        fi
    done
    return 1
}

is_mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
is_unmapped() { ! is_mapped "$1"; }
# The window is in the tray: off the screen and no longer iconic. The window manager unmaps a
# minimized window at once and marks it iconic; the program takes it from there to the tray a
# moment later, and only a window in the tray comes back with a click on the icon.
in_tray() {
    local state
    state=$(xprop -id "$1" WM_STATE 2>/dev/null || true)
    is_unmapped "$1" && [[ $state != *Iconic* ]]
}
has_icon() { [ -n "$(tray_icon)" ]; }
has_window() { [ -n "$(main_window)" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# Closes the program's window as the window manager's close button does, and expects a
# clean end.
close_program() {
    local window
    window=$(any_main_window) || fail "no window to close"
    if is_unmapped "$window"; then
        kill -TERM "$app"
    else
        wmctrl -i -c "$window"
    fi
    wait_for 20 ended "$app" || fail "the program did not end"
    wait "$app" || fail "the program exited with status $?"
    if grep -q 'Application Error' "$work/program.log"; then
        fail "an error was reported"
    fi
}
