#!/usr/bin/env bash
# Runs the keyring suites, each in a private session bus: with gnome-keyring unlocked, with the
# same keyring locked, and with a service that never answers.
# Usage: keyring_sessions.sh <vault_keyring_tests>
set -euo pipefail

# Inside one session: start the keyring as asked, run the suite, and stop the keyring again (a
# daemon left behind would hold the caller's output open).
if [[ ${1:-} == --session ]]; then
  keyring=$2 tests=$3 filter=$4
  case $keyring in
    unlocked) printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 ;;
    locked) gnome-keyring-daemon --components=secrets >/dev/null 2>&1 ;;
  esac
  status=0
  "$tests" --gtest_filter="$filter" || status=$?
  owner=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets 2>/dev/null |
    awk '/uint32/ {print $2}') || true
  [[ -z $owner ]] || kill "$owner"
  exit "$status"
fi

tests=${1:?usage: keyring_sessions.sh <vault_keyring_tests>}
work=$(mktemp -d "${TMPDIR:-/tmp}/quindle-keyring.XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QUINDLE_VAULT_KEYSTORE

# A bus that starts nothing by itself: a call after the keyring is gone must fail, not start the
# desktop's keyring (or its unlock prompt) outside the session.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
session() { dbus-run-session --config-file="$work/bus.conf" -- bash "$0" --session "$@"; }

session unlocked "$tests" "UnlockedKeyring.*"
# The keyring the first session created, opened without its password: locked. Its unlock prompt
# has nobody to answer it, so each call waits out the limit: a short one here.
QUINDLE_KEYRING_TIMEOUT_MS=3000 session locked "$tests" "LockedKeyring.*"
session none "$tests" "SilentKeyring.*"
