#!/usr/bin/env bash
# Sets up, builds, and runs Quindle's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec build/src/app/quindle doctor
