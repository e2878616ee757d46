#!/usr/bin/env bash
# On a desktop without a tray host, minimizing leaves the window in reach (minimized, not
# hidden where nothing brings it back), and the user is told why once.
# Runs its own X session without trayer: notray.sh PATH_TO_TROVANEL
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "${TROVANEL_INNER:-}" != 1 ]; then
    exec env TROVANEL_INNER=1 TROVANEL_XSESSION_TRAY=0 "$here/../../scripts/xsession.sh" "$0" "$@"
fi
source "$here/lib.sh"

preset "StartStopState=Off"
start_program
wait_for 20 has_window || fail "the window did not appear"
window=$(main_window)
xdotool windowminimize "$window"
# The program waits a few seconds for a tray that comes late, then tells the user.
notice() { xdotool search --onlyvisible --name '^Trovanel$' | grep -v "^$window\$"; }
wait_for 20 notice || fail "no notice about the missing tray"
[[ $(xprop -id "$window" WM_STATE) == *Iconic* ]] || fail "the window is not minimized in reach"
xdotool windowactivate --sync "$(notice | head -n1)" 2>/dev/null || true
xdotool key --clearmodifiers Return
notice_gone() { [ -z "$(notice)" ]; }
wait_for 10 notice_gone || fail "the notice did not close"
# The window comes back from the task bar as any other.
xdotool windowactivate --sync "$window" || xdotool windowmap "$window"
wait_for 10 is_mapped "$window" || fail "the window cannot be brought back"
close_program
echo "1 passed, 0 failed"
