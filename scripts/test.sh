#!/usr/bin/env bash
# Sets up, builds, and runs every test: the C++ suites, the service's bats tests and shellcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cd build && exec ctest --output-on-failure -j"$(nproc)"
