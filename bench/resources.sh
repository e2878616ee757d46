#!/usr/bin/env bash
# Start-up time, idle memory and idle CPU of Trovanel (logging on, interval of an hour)
# against a minimal Qt Widgets program, both shown under the same X session.
# With HISTORY_ROWS=N, each round also starts Trovanel keeping results between runs with a kept
# history of N rows, and compares its first window with the start without one.
# Usage: [HISTORY_ROWS=N] scripts/xsession.sh bench/resources.sh BUILD_DIR [IDLE_SECONDS]
set -euo pipefail
# A desktop session has a session bus, and both programs' screen reader bridges connect to it at
# their first control. Without one, each tries to start a bus of its own and waits for that to
# fail, which is no part of a start on a desktop.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session >/dev/null; then
    exec dbus-run-session -- "$0" "$@"
fi
build=${1:?build folder}
idle=${2:-60}
work=$(mktemp -d)
# A login session's runtime folder is in memory (/run/user/UID); so is this one where it can be.
runtime=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work" "$runtime"' EXIT
mkdir -p "$work/config/Brenvatic"
chmod 0700 "$runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$runtime" HOME="$work"
export QT_LOGGING_RULES="qt.qpa.*=false" TROVANEL_SERVICE_URL="http://127.0.0.1:9"
printf '[Trovanel]\nStartStopState=On\nOption3=True\nText1=1\nText2=0\nText3=0\nAPIKey=k\n' \
    >"$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf"
export XDG_DATA_HOME="$work/data"

history_rows=${HISTORY_ROWS:-0}
if ((history_rows > 0)); then
    # The same settings with keeping on, in a home of their own; the program makes its history
    # file (so the rows go into its own layout), then the rows are added to it.
    kept="$work/kept"
    mkdir -p "$kept/config/Brenvatic" "$kept/data"
    cp "$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf" "$kept/config/Brenvatic/"
    echo 'Keep Results=On' >>"$kept/config/Brenvatic/Trovanel.conf"
    with_kept() { XDG_CONFIG_HOME="$kept/config" XDG_DATA_HOME="$kept/data" "$@"; }
    read -r pid _ < <(with_kept "$build/bench/first_window" "$build/src/trovanel")
    sleep 1
    kill "$pid"
    while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
    sqlite3 "$kept/data/Brenvatic/Trovanel/history.sqlite" "
        WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $history_rows)
        INSERT INTO rows (instant_utc, utc_offset, time_text, country, region, city, postal_code,
                          coordinates, timezone, failure, http_status, answer, ticked, log)
        SELECT strftime('%Y-%m-%dT%H:%M:%fZ', 1700000000 + i * 60, 'unixepoch'), 3600,
               '12/7/2026 10:' || (i % 60) || ':00 AM', 'DE', 'Berlin', 'Berlin', '10117',
               '52.5200, 13.4050', 'Europe/Berlin', '', 200, zeroblob(300), i % 2, i
        FROM n;"
    echo "kept history: $(sqlite3 "$kept/data/Brenvatic/Trovanel/history.sqlite" \
        'SELECT count(*) FROM rows') rows"
    : >"$work/kept.ms"
fi

# Starts a program and waits for its first window on screen; prints "pid ms".
launch() {
    "$build/bench/first_window" "$@"
}
# Ends a program started by launch and waits until it is gone, so that the next round starts on
# a quiet machine (the program is not this shell's child, so wait cannot tell).
finish() {
    kill "$1"
    while kill -0 "$1" 2>/dev/null; do sleep 0.01; done
}
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
# Start-up: fifteen rounds each, taking turns so that neither gets the warmer caches. Single
# rounds on a shared machine vary by a third; the median of fifteen holds within a few percent.
rounds=15
: >"$work/ours.ms"
: >"$work/base.ms"
: >"$work/laid.ms"
for ((round = 0; round < rounds; round++)); do
    read -r pid ms < <(launch "$build/bench/minimal_widgets")
    echo "$ms" >>"$work/base.ms"
    finish "$pid"
    read -r pid ms < <(launch "$build/bench/minimal_layout")
    echo "$ms" >>"$work/laid.ms"
    finish "$pid"
    read -r pid ms < <(launch "$build/src/trovanel")
    echo "$ms" >>"$work/ours.ms"
    finish "$pid"
    if ((history_rows > 0)); then
        read -r pid ms < <(with_kept launch "$build/src/trovanel")
        echo "$ms" >>"$work/kept.ms"
        finish "$pid"
    fi
done
echo "session bus: ${DBUS_SESSION_BUS_ADDRESS:-none}"
echo "first mapped window, each round (ms): baseline $(tr '\n' ' ' <"$work/base.ms")"
echo "first mapped window, each round (ms): laid out  $(tr '\n' ' ' <"$work/laid.ms")"
echo "first mapped window, each round (ms): ours     $(tr '\n' ' ' <"$work/ours.ms")"
base_ms=$(median <"$work/base.ms")
laid_ms=$(median <"$work/laid.ms")
our_ms=$(median <"$work/ours.ms")
if ((history_rows > 0)); then
    echo "first mapped window, each round (ms): kept     $(tr '\n' ' ' <"$work/kept.ms")"
    kept_ms=$(median <"$work/kept.ms")
    awk -v k="$kept_ms" -v o="$our_ms" -v n="$history_rows" 'BEGIN {
        printf "first mapped window with %d kept rows: %.1f ms, without: %.1f ms, ratio %.2f (target <= 1.0 within noise)\n", n, k, o, k / o
    }'
fi

read -r base_pid _ < <(launch "$build/bench/minimal_widgets")
read -r our_pid _ < <(launch "$build/src/trovanel")
# The switch hides our window at start-up only when asked; it stays shown here.
sleep 2
base_cpu0=$(cpu_ticks "$base_pid"); our_cpu0=$(cpu_ticks "$our_pid")
sleep "$idle"
base_cpu=$(($(cpu_ticks "$base_pid") - base_cpu0)); our_cpu=$(($(cpu_ticks "$our_pid") - our_cpu0))
base_rss=$(rss_kib "$base_pid"); our_rss=$(rss_kib "$our_pid")
hz=$(getconf CLK_TCK)

awk -v rounds="$rounds" -v bm="$base_ms" -v lm="$laid_ms" -v om="$our_ms" -v br="$base_rss" -v orss="$our_rss" \
    -v bc="$base_cpu" -v oc="$our_cpu" -v hz="$hz" -v idle="$idle" 'BEGIN {
    printf "first mapped window (median of %d): ours %.1f ms, baseline %.1f ms, ratio %.2f (target <= 1.2)\n", rounds, om, bm, om / bm
    printf "  against the baseline that lays out its text in our font first: %.1f ms, ratio %.2f\n", lm, om / lm
    printf "idle resident memory: ours %.1f MiB, baseline %.1f MiB, ratio %.2f (target <= 1.5)\n", orss / 1024, br / 1024, orss / br
    printf "CPU over %d s idle with logging on: ours %.2f s, baseline %.2f s (target < 0.5 s)\n", idle, oc / hz, bc / hz
}'
