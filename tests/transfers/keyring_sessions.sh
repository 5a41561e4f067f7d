#!/usr/bin/env bash
# Runs the keyring suites, each in a private session bus: with gnome-keyring unlocked, with the
# same keyring locked, and with a service that never answers.
# Usage: keyring_sessions.sh <vault_keyring_tests>
set -euo pipefail
tests=${1:?usage: keyring_sessions.sh <vault_keyring_tests>}
work=$(mktemp -d "${TMPDIR:-/tmp}/quindle-keyring.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QUINDLE_VAULT_KEYSTORE

# shellcheck disable=SC2016 # expanded by the inner shell
dbus-run-session -- bash -c 'printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$0" --gtest_filter="UnlockedKeyring.*"' "$tests"
# The keyring the first session created, opened without its password: locked. Its unlock prompt
# has nobody to answer it, so each call waits out the limit: a short one here.
# shellcheck disable=SC2016
QUINDLE_KEYRING_TIMEOUT_MS=3000 dbus-run-session -- bash -c 'gnome-keyring-daemon --components=secrets >/dev/null
  exec "$0" --gtest_filter="LockedKeyring.*"' "$tests"
dbus-run-session -- "$tests" --gtest_filter="SilentKeyring.*"
