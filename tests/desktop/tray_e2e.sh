#!/usr/bin/env bash
# The tray against a real tray host: under a virtual display, trayer docks Quindle's icon, a
# click at the icon's place opens the popover and a second click closes it. Without trayer the
# same start shows the status as a normal window.
#   tray_e2e.sh <quindle binary>   (inside xvfb-run)
set -euo pipefail
quindle=$1
work=$(mktemp -d /tmp/quindle-tray-XXXXXX)
export HOME=$work/home QUINDLE_SERVICE_MANAGER=detached
mkdir -p "$HOME"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$quindle" service stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "not ok - $*"; exit 1; }
# Polls `$@` every 0.1 s for up to 30 s: a loaded machine (a parallel test run, a sanitizer
# build) can take that long to start the application and dock its icon.
wait_for() { for _ in $(seq 300); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done; return 1; }
visible_window() { xdotool search --onlyvisible --name "^$1\$"; }
no_visible_window() { ! visible_window "$1"; }

"$quindle" service install >/dev/null || fail "the service did not install"

# With a tray host.
trayer --edge top --align right --widthtype pixel --width 32 --height 32 --SetDockType false &
pids+=($!)
wait_for xdotool search --class trayer || fail "trayer did not start"
"$quindle" >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")

# A new user first meets the legal documents: both confirmations ticked from the keyboard (the
# first has the focus), then Continue, the default button.
wait_for visible_window "Welcome to Quindle" || fail "the legal gate did not appear ($(cat "$work/app.log"))"
legal=$(visible_window "Welcome to Quindle" | head -1)
xdotool windowfocus --sync "$legal"
xdotool key --delay 100 space Tab space Return
wait_for no_visible_window "Welcome to Quindle" || fail "Continue did not leave the legal gate"
[[ -f $HOME/.quindle/state/legal-acceptance.json ]] || fail "the acceptance was not recorded"
echo "ok - the legal gate takes both confirmations and Continue"
# The icon docks as an embedded window of class "quindle" inside trayer's panel.
icon_centre() {
  local window
  for window in $(xdotool search --classname '^quindle$'); do
    xdotool getwindowgeometry --shell "$window" |
      awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{if (w >= 16 && h >= 16) print x+w/2, y+h/2}'
  done | head -1
}
icon_docked() { [[ -n $(icon_centre) ]]; }
wait_for icon_docked || fail "the icon did not dock in the tray"
read -r x y < <(icon_centre)
no_visible_window Quindle || fail "the popover was open before any click"
xdotool mousemove "$x" "$y" click 1
wait_for visible_window Quindle || fail "a click on the icon did not open the popover ($(cat "$work/app.log"))"
echo "ok - a click on the docked icon opens the popover"
xdotool mousemove "$x" "$y" click 1
wait_for no_visible_window Quindle || fail "a second click did not close the popover"
echo "ok - a second click closes it"
kill "$app"; wait "$app" 2>/dev/null || true
kill "${pids[0]}"; wait "${pids[0]}" 2>/dev/null || true

# Without a tray host.
"$quindle" >"$work/app2.log" 2>&1 &
pids+=($!)
# The splash, titled Quindle too, comes first: wait until the tray would have been set up.
wait_for grep -q "no system tray" "$work/app2.log" || fail "the missing tray was not said ($(cat "$work/app2.log"))"
wait_for visible_window Quindle || fail "without a tray no status window appeared ($(cat "$work/app2.log"))"
echo "ok - without a tray host the status opens as a window"
echo "4 passed, 0 failed"
