#!/usr/bin/env bash
# Renders every window into docs/screenshots/ from an existing build (BUILD=…, default build/),
# plus the main windows at 11 pt on a dark palette (*-11pt-dark.png) and at scale 2 (*@2x.png).
# A tool that finds cut-off text says so and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
out=docs/screenshots
tools=("$build/tests/shell/popover_screenshots" "$build/tests/tier_window/tier_window_screenshots"
    "$build/tests/ui/window_screenshots")
main=(popover-normal tier-paired choose-drive wizard-drive settings settings-rule-dialog)
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT

export QT_QPA_PLATFORM=offscreen
status=0
for tool in "${tools[@]}"; do
    "$tool" "$out" >/dev/null || status=1
    "$tool" --font-size 11 --palette dark "$scratch/dark" >/dev/null || status=1
    "$tool" --scale 2 "$scratch/2x" >/dev/null || status=1
done
for name in "${main[@]}"; do
    cp -- "$scratch/dark/$name.png" "$out/$name-11pt-dark.png"
    cp -- "$scratch/2x/$name.png" "$out/$name@2x.png"
done
exit "$status"
