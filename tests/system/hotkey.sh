#!/usr/bin/env bash
# Ctrl+Shift+T from anywhere: with another program's window focused, the combination toggles
# logging exactly once per press of T, the T still reaches that window, other combinations do
# nothing, and the hotkey works while our window is hidden in the tray.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

preset "StartStopState=Off" "APIKey=k"
start_program
wait_for 20 has_window || fail "the window did not appear"
# The listener starts right after the icon goes into the tray, at the end of start-up.
wait_for 20 has_icon || fail "no icon in the tray"

xev -name "hotkey witness" >"$work/xev.log" 2>&1 &
pids+=($!)
witness_up() { xdotool search --onlyvisible --name '^hotkey witness$'; }
wait_for 20 witness_up || fail "the witness window did not appear"
witness=$(xdotool search --onlyvisible --name '^hotkey witness$' | head -n1)
xdotool windowactivate --sync "$witness"

t_presses() { grep -c 'keysym 0x\(54\|74\)' "$work/xev.log" | head -n1 || true; }

xdotool key --clearmodifiers ctrl+shift+t
wait_for 10 switched_to On || fail "Ctrl+Shift+T did not turn logging on"
# Our window went to the tray; the witness keeps the keyboard.
xdotool windowactivate --sync "$witness"

# Other combinations change nothing.
xdotool key --clearmodifiers ctrl+t shift+t t ctrl+shift+u
sleep 1
switched_to On || fail "another combination toggled the switch"

# Holding Ctrl+Shift and pressing T three times toggles three times: On -> Off -> On -> Off.
xdotool keydown ctrl keydown shift key t
wait_for 10 switched_to Off || fail "the first of three presses did not toggle"
xdotool key t
wait_for 10 switched_to On || fail "the second of three presses did not toggle"
xdotool key t keyup shift keyup ctrl
wait_for 10 switched_to Off || fail "the third of three presses did not toggle"

# The T of every press reached the focused window: 1 + 3 (t, T with shift) + 3.
sleep 0.5
presses=$(grep -c 'KeyPress.*' "$work/xev.log" || true)
tkeys=$(grep -A2 'KeyPress' "$work/xev.log" | grep -c 'keysym 0x54\|keysym 0x74' || true)
[ "$tkeys" -eq 7 ] || fail "the focused window saw $tkeys presses of T, not 7 ($presses key presses)"

close_program
echo "1 passed, 0 failed"
