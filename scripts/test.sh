#!/usr/bin/env bash
# Sets up, builds, and runs every test: the C++ suites, the service's bats tests and shellcheck.
#   scripts/test.sh --sanitize   the same in a Debug build under AddressSanitizer and
#                                UndefinedBehaviorSanitizer (build-sanitize/), much slower.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

if [[ ${1:-} == --sanitize ]]; then
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUINDLE_SANITIZE=ON >/dev/null
  cmake --build build-sanitize
  # Qt's own allocations at exit are not ours to fix; every other report fails the test.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cd build-sanitize && exec ctest --output-on-failure -j"$(nproc)"
fi
cd build && exec ctest --output-on-failure -j"$(nproc)"
