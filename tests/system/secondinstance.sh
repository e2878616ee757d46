#!/usr/bin/env bash
# A second start of the program shows the first one's hidden window and ends with status 0;
# the first keeps running with its working folder. The commands a desktop can bind act on the
# running copy; a mistyped option starts nothing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

status=0
"$program" --toggel >"$work/out" 2>"$work/err" || status=$?
[ $status -eq 2 ] || fail "an unknown option ended with status $status, not 2"
grep -q "unknown option '--toggel'" "$work/err" || fail "no clear message: $(cat "$work/err")"
[ ! -s "$work/out" ] && ! has_window || fail "an unknown option started something"
"$program" --help | grep -q -- '--log-now' || fail "--help does not list --log-now"
"$program" --help | grep -q -- '--import FILE' || fail "--help does not list --import"

start_service
preset "StartStopState=Off" "APIKey=sys-key-42"
start_program
first=$app
wait_for 20 has_window || fail "the window did not appear"
window=$(main_window)
wait_for 20 has_icon || fail "no icon in the tray"
xdotool windowminimize "$window"
wait_for 10 is_unmapped "$window" || fail "minimizing did not hide the window"

"$program" >>"$work/program.log" 2>&1 || fail "the second start exited with status $?"
wait_for 10 is_mapped "$window" || fail "the second start did not bring the window back"
kill -0 "$first" || fail "the first copy ended"
[ -d "$XDG_RUNTIME_DIR/trovanel" ] || fail "the first copy's working folder is gone"

"$program" --toggle || fail "--toggle exited with status $?"
wait_for 10 switched_to On || fail "--toggle did not switch logging on"
"$program" --toggle && wait_for 10 switched_to Off || fail "--toggle did not switch logging off"
requests() { if [ -f "$work/requests.log" ]; then wc -l <"$work/requests.log"; else echo 0; fi; }
before=$(requests)
logged() { [ "$(requests)" -gt "$before" ]; }
"$program" --log-now && wait_for 10 logged || fail "--log-now did not log"
app=$first
close_program

# With no copy running, an import starts one as a plain start does and ends with its answer: the
# text on standard output and status 0, or the error on standard error and status 1.
# The track is written by gpsbabel, as a user's would be by some other tool.
printf 'Latitude,Longitude,Date,Time\n46.2,6.1,2026/12/10,08:00:00\n46.3,6.2,2026/12/10,09:00:00\n' \
    >"$work/trip.csv"
gpsbabel -i unicsv -f "$work/trip.csv" -o gpx,gpxver=1.1 -F "$work/a trip.gpx" ||
    fail "gpsbabel could not write the track"
answer=(done "2 new, 0 already in the record")
status=0
"$program" --import "$work/a trip.gpx" >"$work/out" 2>"$work/err" || status=$?
started=$(head -n1 "$XDG_RUNTIME_DIR/trovanel-$(id -u).lock")
pids+=("$started")
[ "$(readlink "/proc/$started/exe")" = "$(readlink -f "$program")" ] &&
    [ "$(tr '\0' ' ' <"/proc/$started/cmdline")" = "$(readlink -f "$program") " ] ||
    fail "the import did not leave a plain start of the program running"
if [ "${answer[0]}" = done ]; then
    [ $status -eq 0 ] && [ "$(cat "$work/out")" = "${answer[1]}" ] && [ ! -s "$work/err" ]
else
    [ $status -eq 1 ] && [ "$(cat "$work/err")" = "trovanel: ${answer[1]}" ] && [ ! -s "$work/out" ]
fi || fail "the import ended with status $status: $(cat "$work/out" "$work/err")"
kill -TERM "$started"
wait_for 20 ended "$started" || fail "the started copy did not end"
echo "1 passed, 0 failed"
