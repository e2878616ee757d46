#!/usr/bin/env bash
# Copying to the real clipboard: with logging on, rows arrive from the service; the first row is
# ticked from the keyboard, "Copy Results To Clipboard" is pressed from the keyboard, the notice
# is closed with Return, and another program reading the clipboard gets that row alone.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

start_service
preset "Option3=True" "Text1=0" "Text2=0" "Text3=1" "StartStopState=On" "APIKey=sys-key-42"
start_program
wait_for 20 has_window || fail "the window did not appear"
window=$(main_window)

# A second request is only made once the first answer is in the table: two rows at least by the
# time of the copy.
two_requests() { [ -s "$work/requests.log" ] && [ "$(wc -l <"$work/requests.log")" -ge 2 ]; }
wait_for 20 two_requests || fail "the schedule did not reach the service twice"

# The results list fills the right half of the window, its seven columns narrower than it: a
# click right of them, near the window's right edge, gives the list the keyboard without
# touching a row. Ctrl+Home and Home make the first row's check box cell current; Space ticks it.
width=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" $((width - 45)) 120 click 1
xdotool key --clearmodifiers ctrl+Home Home space

# Back along the tab order from the list: UseLocationService, KeepResults, CheckNetworkChange,
# Check4 (Check8 is hidden), PushButtonShare, PushButtonImport, PushButtonCountries, PushButton7,
# PushButton8, PushButtonMap, PushButton6, PushButton5. Space presses the button.
xdotool key --clearmodifiers shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab \
    shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space

notice() { xdotool search --onlyvisible --name '^Trovanel$' | grep -vx "$window" | head -n1; }
has_notice() { [ -n "$(notice)" ]; }
wait_for 20 has_notice || fail "no notice after copying"
box=$(notice)
xdotool windowactivate --sync "$box"
xdotool key --clearmodifiers Return
wait_for 10 is_unmapped "$box" || fail "Return did not close the notice"

# The program still runs and owns the clipboard: another program reads it now.
kill -0 "$app" || fail "the program ended"
xclip -o -selection clipboard >"$work/clipboard" || fail "nothing on the clipboard"
time_cell=$(head -n1 "$work/clipboard" | cut -f1)
[[ $time_cell =~ [0-9]:[0-9][0-9]:[0-9][0-9] ]] || fail "no time in '$time_cell'"
# The service's values as the answer gives them, leading blanks kept; one line, CR LF.
printf '%s\t CH\t Zurich\t Z\303\274rich\t 8000\t 47.3667, 8.5500\t Europe/Zurich\r\n' \
    "$time_cell" >"$work/expected"
cmp -s "$work/clipboard" "$work/expected" \
    || fail "the clipboard holds $(od -c "$work/clipboard" | head -n 12)"

close_program
echo "1 passed, 0 failed"
