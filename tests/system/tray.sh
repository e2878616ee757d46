#!/usr/bin/env bash
# The tray: the icon sits in the desktop's tray host; minimizing hides the window (unmapped on
# the display, not only in Qt's view); a left or a right click on the icon brings it back;
# turning logging on sends the window to the tray; SIGTERM from the session still cleans up.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

preset "StartStopState=Off" "APIKey=k"
start_program
wait_for 20 has_window || fail "the window did not appear"
window=$(main_window)
wait_for 20 has_icon || fail "no icon in the tray"

for button in 1 3; do
    xdotool windowminimize "$window"
    wait_for 10 in_tray "$window" || fail "minimizing did not hide the window"
    # The first time, a balloon says how to come back; it hangs from the icon's centre, so the
    # click goes near the icon's top left corner, as a user aiming past the balloon would.
    icon=$(tray_icon)
    xdotool mousemove --sync --window "$icon" 4 4
    under=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
    xdotool click "$button"
    wait_for 10 is_mapped "$window" || fail "button $button on the icon $icon (at $(placement "$icon"); the pointer over window $under) did not bring the window back"
done

# The switch sends the window to the tray: Ctrl+Shift+T from the focused window turns it on.
xdotool windowactivate --sync "$window"
xdotool key --clearmodifiers ctrl+shift+t
wait_for 10 in_tray "$window" || fail "turning logging on did not hide the window"
wait_for 10 switched_to On || fail "the switch was not turned on"

# A failure while the window is in the tray: the settings file gives way to a folder, and
# Ctrl+Shift+T cannot store the switch. The error box carries its own title alone, and
# closing it with OK, the last visible window, leaves the program running in the tray.
mv "$store" "$work/kept.conf"
mkdir "$store"
error_box() { xdotool search --onlyvisible --name '^Application Error$' 2>/dev/null | head -n1; }
has_error_box() { [ -n "$(error_box)" ]; }
xdotool key --clearmodifiers ctrl+shift+t
wait_for 10 has_error_box || fail "no error box titled exactly 'Application Error' (titles: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
xdotool windowactivate --sync "$(error_box)"
xdotool key Return
wait_for 10 bash -c '! xdotool search --onlyvisible --name "^Application Error$"' || fail "OK did not close the error box"
sleep 1
ended "$app" && fail "closing the error box ended the program"
has_icon || fail "the icon left the tray when the error box closed"
is_unmapped "$window" || fail "the window came back from the tray"
rmdir "$store"
mv "$work/kept.conf" "$store"

# The session ends the program while its window is hidden: the icon and the files go.
kill -TERM "$app"
wait_for 20 ended "$app" || fail "the program did not end on SIGTERM"
wait "$app" || fail "the program exited with status $? on SIGTERM"
[ ! -e "$XDG_RUNTIME_DIR/trovanel" ] || fail "the working folder was left behind"
wait_for 10 bash -c '! xwininfo -root -tree | grep -q "\"trovanel\""' || fail "the icon stayed"
echo "1 passed, 0 failed"
