#!/usr/bin/env bash
# Sets up, builds, and runs every test: the C++ suites, then the service's bats tests and lint.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

status=0
(cd build && ctest --output-on-failure -j"$(nproc)") || status=1

if compgen -G 'tests/service/*.bats' >/dev/null; then
  shellcheck -x service/*.sh tests/service/*.bash || status=1
  bats tests/service || status=1
fi
exit "$status"
