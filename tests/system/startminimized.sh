#!/usr/bin/env bash
# A start with "Windows Startup" and "Minimized" both on: the icon is in the tray and the
# window is never mapped; a click on the icon shows it.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

preset "StartStopState=Off" "Windows Startup=On" "Minimized=On"
start_program
wait_for 20 has_icon || fail "no icon in the tray"
# Watch for a while: the window must not flash up.
deadline=$((SECONDS + 3))
while ((SECONDS < deadline)); do
    [ -z "$(main_window)" ] || fail "the window was shown"
    sleep 0.1
done
xdotool mousemove --window "$(tray_icon)" 8 8 click 1
wait_for 10 has_window || fail "the icon did not bring the window"
close_program
echo "1 passed, 0 failed"
