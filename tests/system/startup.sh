#!/usr/bin/env bash
# The real program under the X test session: it starts, shows its window, restores a schedule of
# one log a second with logging on, makes real lookups with the system's curl against a service
# on 127.0.0.1, writes the restored choices back, and on closing ends cleanly and removes its
# working folder.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

preset "Option3=True" "Text1=0" "Text2=0" "Text3=1" "StartStopState=On" "APIKey=sys-key-42"
start_service
start_program
wait_for 20 has_window || fail "the window did not appear"
[ -d "$XDG_RUNTIME_DIR/trovanel" ] || fail "no private working folder"
mode=$(stat -c %a "$XDG_RUNTIME_DIR/trovanel")
[ "$mode" = 700 ] || fail "working folder mode is $mode"

# The tick logs every second or so: wait for the second request.
two_requests() { [ -s "$work/requests.log" ] && [ "$(wc -l <"$work/requests.log")" -ge 2 ]; }
wait_for 20 two_requests || fail "the schedule did not reach the service twice"
[ "$(head -n1 "$work/requests.log")" = "/geo?token=sys-key-42" ] \
    || fail "unexpected request $(head -n1 "$work/requests.log")"
# The restored choices were written back, the first-run ones included.
[ "$(stored Weekly)" = Monday ] || fail "Weekly not stored"

close_program
[ ! -e "$XDG_RUNTIME_DIR/trovanel" ] || fail "the working folder was left behind"
echo "1 passed, 0 failed"
