#!/usr/bin/env bash
# Takes the README's picture of the map window: the real program under the X test session,
# with a kept history of a trip round the world (the way back to Auckland crosses the 180°
# meridian), the map opened from the window with the keyboard, and the window captured with
# xwd and turned into docs/map.png with netpbm.
# Usage: scripts/map-screenshot.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec "$root/scripts/xsession.sh" "$0" "$build"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trovanel-mapshot.XXXXXX")
app=
cleanup() {
    [ -n "$app" ] && { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config/Brenvatic" "$work/data/Brenvatic/Trovanel" "$work/runtime" "$work/home"
chmod 0700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
export HOME="$work/home" TZ=UTC LANG=en_US.UTF-8 LC_ALL=
export TROVANEL_SERVICE_URL=http://127.0.0.1:9
printf '[Trovanel]\nStartStopState=Off\nKeep Results=On\n' >"$XDG_CONFIG_HOME/Brenvatic/Trovanel.conf"

history="$XDG_DATA_HOME/Brenvatic/Trovanel/history.sqlite"
{
    echo "PRAGMA user_version=1;"
    echo "CREATE TABLE rows (id INTEGER PRIMARY KEY, instant_utc TEXT NOT NULL,
        utc_offset INTEGER NOT NULL, time_text TEXT NOT NULL, country TEXT NOT NULL,
        region TEXT NOT NULL, city TEXT NOT NULL, postal_code TEXT NOT NULL,
        coordinates TEXT NOT NULL, timezone TEXT NOT NULL, failure TEXT NOT NULL,
        http_status INTEGER NOT NULL, answer BLOB NOT NULL, ticked INTEGER NOT NULL);"
    day=1
    while IFS='|' read -r country region city coordinates zone ticked; do
        printf "INSERT INTO rows VALUES (NULL, '2026-11-%02dT09:00:00.000Z', 0, '11/%d/2026 9:00:00 AM', '%s', '%s', '%s', '', '%s', '%s', '', 200, x'', %d);\n" \
            "$day" "$day" "$country" "$region" "$city" "$coordinates" "$zone" "$ticked"
        day=$((day + 1))
    done <<'ROWS'
CH|Graubünden|Chur|46.8499, 9.5329|Europe/Zurich|0
IT|Lombardy|Milan|45.4643, 9.1895|Europe/Rome|0
FR|Île-de-France|Paris|48.8534, 2.3488|Europe/Paris|1
GB|England|London|51.5085, -0.1257|Europe/London|0
IS|Capital Region|Reykjavík|64.1355, -21.8954|Atlantic/Reykjavik|0
US|New York|New York City|40.7143, -74.006|America/New_York|1
US|Illinois|Chicago|41.85, -87.65|America/Chicago|0
US|California|San Francisco|37.7749, -122.4194|America/Los_Angeles|0
US|Hawaii|Honolulu|21.3069, -157.8583|Pacific/Honolulu|1
NZ|Auckland|Auckland|-36.8485, 174.7633|Pacific/Auckland|0
AU|New South Wales|Sydney|-33.8678, 151.2073|Australia/Sydney|0
SG|Singapore|Singapore|1.2897, 103.8501|Asia/Singapore|0
IN|Maharashtra|Mumbai|19.0728, 72.8826|Asia/Kolkata|0
AE|Dubai|Dubai|25.0772, 55.3093|Asia/Dubai|0
ROWS
} | sqlite3 "$history"

"$build/src/trovanel" >"$work/program.log" 2>&1 &
app=$!

wait_for() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || { echo "map-screenshot: gave up waiting for $*" >&2; cat "$work/program.log" >&2; exit 1; }
        sleep 0.1
    done
}
window_named() { xdotool search --onlyvisible --name "^$1\$" | head -n1 | grep .; }
wait_for 30 window_named Trovanel
window=$(window_named Trovanel)
# The kept rows come back a moment after the window: the last one is Dubai's.
sleep 2
# Into the list, then back along the tab order to Show Map: Keep Results, Also log when the
# network changes, Start with the session, Countries, Help, Enter Your API Key, Show Map.
width=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" $((width - 45)) 120 click 1
xdotool key --clearmodifiers shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab \
    space
wait_for 20 window_named "Trovanel Map"
map=$(window_named "Trovanel Map")
xdotool windowsize --sync "$map" 960 560
sleep 1
mkdir -p "$root/docs"
xwd -silent -id "$map" | xwdtopnm 2>/dev/null | pnmtopng >"$root/docs/map.png.part"
mv "$root/docs/map.png.part" "$root/docs/map.png"
echo "map-screenshot: wrote docs/map.png"
