#!/usr/bin/env bash
# A second start of the program shows the first one's hidden window and ends with status 0;
# the first keeps running with its working folder.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

preset "StartStopState=Off"
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
app=$first
close_program
echo "1 passed, 0 failed"
