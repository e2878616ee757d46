#!/usr/bin/env bash
# On a Wayland desktop: the real program on Qt's Wayland platform under weston. Its window
# tells the screen reader the same names and texts as under X11; "Log Now (Test)" adds a
# row; the copy reaches the Wayland clipboard; the commands and a second start reach the running
# copy; the tray icon goes to a status-notifier host where one runs.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
command -v weston >/dev/null || fail "weston is not installed"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
atspi() { /usr/bin/python3 "$here/atspi.py" "$@"; }
ended_ok() { wait_for 20 ended "$app" || fail "the program did not end"; }

start_service
preset "StartStopState=Off" "APIKey=sys-key-42"

# The same window under X11, for the names and texts to compare with.
start_program
atspi tree >"$work/x11.tree" || fail "no window on the screen reader's bus under X11"
kill -TERM "$app"
ended_ok

# A compositor of the test's own, and a status-notifier host standing in for a panel's. Weston
# runs as a window of the X test session rather than headless, so that it has a seat: a pointer
# whose clicks reach the program as a user's would, and the clipboard that goes with it.
weston --backend=x11-backend.so --use-pixman --shell=kiosk-shell.so --socket=trovanel-test --idle-time=0 \
    --width=1280 --height=800 >"$work/weston.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/trovanel-test" || fail "weston did not start"
/usr/bin/python3 -m dbusmock --session org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher >"$work/watcher.log" 2>&1 &
pids+=($!)
watcher() { gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
    -m org.freedesktop.DBus.Mock.AddProperty org.kde.StatusNotifierWatcher "$@"; }
wait_for 10 watcher IsStatusNotifierHostRegistered '<true>' || fail "no stand-in host"
watcher ProtocolVersion '<0>' >/dev/null
watcher RegisteredStatusNotifierItems '<@as []>' >/dev/null
gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
    -m org.freedesktop.DBus.Mock.AddMethod org.kde.StatusNotifierWatcher \
    RegisterStatusNotifierItem s '' '' >/dev/null

# A GNOME session on Wayland, where XWayland is there too and Qt would take it.
export WAYLAND_DISPLAY=trovanel-test XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
start_program
# The one difference: this desktop binds no key to the switch, and once its portal has said so,
# the caption says what works instead; the first time, a message says how to bind one.
atspi shows "Turn On (Bind trovanel --toggle to a key in your keyboard settings to toggle ON/OFF)" \
    || fail "the caption promises a key that does nothing"
atspi tree >"$work/wayland.tree" || fail "no window on the screen reader's bus under Wayland"
diff -u <(grep -v "^label 'Turn On" "$work/x11.tree") <(grep -v "^label 'Turn On" "$work/wayland.tree") \
    || fail "the window tells other names under Wayland"
atspi dismiss || fail "no message on how to bind a key"
[ -z "$(main_window)" ] || fail "the program took XWayland's display, not Wayland"
registered() { grep -q RegisterStatusNotifierItem "$work/watcher.log"; }
wait_for 10 registered || fail "the tray icon did not reach the status-notifier host"

atspi press "Log Now (Test)" && atspi rows 1 || fail "Log Now added no row"
# The first row is ticked with a click in weston's window, reaching the program as a user's
# would (a program takes the clipboard only in answer to its user's input). The kiosk shell puts
# the window at the screen's corner, where the screen reader's places are the screen's.
weston_window=$(xdotool search --class weston | head -n1)
[ -n "$weston_window" ] || fail "no weston window"
read -r x y < <(atspi box 0) || fail "the first row's box is not on the screen reader's bus"
xdotool mousemove --window "$weston_window" "$x" "$y" click 1
atspi press "Copy Results To Clipboard" && atspi dismiss || fail "no notice after copying"
clipboard=$(timeout 20 wl-paste --no-newline) || fail "nothing on the Wayland clipboard"
[[ $clipboard == *$'\t CH\t Zurich\t Z\303\274rich\t 8000\t 47.3667, 8.5500\t Europe/Zurich'* ]] \
    || fail "the clipboard holds '$clipboard'"

timeout 20 "$program" --toggle && atspi shows "Turn Off" || fail "--toggle did not reach the running copy"
timeout 20 "$program" || fail "a second start ended with status $?"
kill -0 "$app" || fail "the first copy ended"

kill -TERM "$app"
ended_ok
wait "$app" || fail "the program exited with status $?"
echo "1 passed, 0 failed"
