#!/usr/bin/env bash
# Sets up, builds, and starts Quindle. Without a display it first runs the headless demo, then
# starts the application on a virtual display.   scripts/run.sh demo  runs only the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
quindle=build/src/app/quindle

if [[ ${1:-} == demo ]]; then
  exec "$quindle" demo
fi
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  exec "$quindle"
fi
echo "No display found: running the headless demo first."
echo
"$quindle" demo
echo
echo "Starting Quindle on a virtual display (Xvfb), where its windows cannot be seen."
echo "Press Ctrl+C to stop it. On a desktop, run this command there to see the tray icon."
exec xvfb-run -a -s "-screen 0 1280x800x24" "$quindle"
