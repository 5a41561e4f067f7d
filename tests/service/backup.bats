#!/usr/bin/env bats
# backup-self with the real service: what a backup holds, what it never
# holds, and that each one is whole while the service keeps writing.

load helpers

setup() {
    setup_service
    prep >/dev/null
    ROOT="$DRIVE/QNDL-Test-Box/Quindle-Backup"
    mkdir -p "$QDIR/secrets" "$QDIR/sync" "$STATE/service"
    echo 'vault key' >"$QDIR/secrets/vault.json"
    echo '[{"id":1}]' >"$QDIR/sync/jobs.json"
    echo 'held' >"$STATE/engine.lock"
    echo 'held' >"$STATE/service/pass.lock"
    tick
}

teardown() { if [[ -n ${WATCH:-} ]]; then kill "$WATCH" 2>/dev/null || true; fi; }

status_rewritten() { [ "$(stat -c %.9Y "$STATUS_JSON")" != "$STAMP" ]; }
backups() { find "$ROOT" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort; }

@test "a backup holds the configuration, state and transfers in a dated folder, never the secrets or the locks" {
    expect_run 0 "Backed up the configuration and state to $ROOT/" quindle backup-self
    expect_run 0 "" quindle backup-self
    local first second
    first=$(backups | head -1) second=$(backups | tail -1)
    [ "$(backups | wc -l)" -eq 2 ] && [ "$first" != "$second" ]
    [[ $first =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{6}(-[0-9]+)?$ ]]
    local b="$ROOT/$first"
    [ "$(cut -d= -f1 "$b/manifest.txt" | paste -sd' ')" = "host version created_at" ]
    grep -qx 'host=Test Box' "$b/manifest.txt"
    grep -Eqx 'created_at=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z' "$b/manifest.txt"
    [ "$(ls -A "$b" | sort | paste -sd' ')" = "manifest.txt quindle.conf state sync" ]
    [ -z "$(grep -rl 'vault key' "$ROOT")" ] && [ ! -e "$b/secrets" ]
    [[ ! -e $b/state/engine.lock && ! -e $b/state/service/pass.lock ]]
    diff -r -x engine.lock -x pass.lock -x status.json -x last-event "$QDIR/state" "$b/state"
    cmp "$QDIR/quindle.conf" "$b/quindle.conf" && cmp "$QDIR/sync/jobs.json" "$b/sync/jobs.json"
    [ "$(stat -c %a "$ROOT")" = 700 ]
}

@test "without the prepared drive nothing is written" {
    rm "$DRIVE/QNDL-Test-Box/.tarnel-managed"
    expect_run 1 "No prepared NVMe is mounted at $DRIVE, so there is nowhere to back up to" quindle backup-self
    [ ! -e "$ROOT" ]
}

@test "backups taken while the service ticks every second are whole" {
    conf_add WATCH_INTERVAL_SECS=1
    bash "$QDIR/quindle.sh" watch >/dev/null 2>&1 3>&- &
    WATCH=$!
    local i b
    for i in 1 2 3 4 5; do
        STAMP=$(stat -c %.9Y "$STATUS_JSON")
        quindle backup-self >/dev/null
        wait_for 10 status_rewritten
    done
    for b in "$ROOT"/*; do
        jq -e .timestamp "$b/state/status.json" >/dev/null
        [ -z "$(find "$b" -name '*.tmp.*')" ]
        diff -r -x status.json -x last-event -x quindle.log "$QDIR/sync" "$b/sync"
    done
    [ "$(backups | grep -c '^\.')" -eq 0 ]
}
