#!/usr/bin/env bats
# free-space with the real service: the moving and cache rules run, nothing
# is deleted, and last-free-space.txt says what changed, written whole.

load helpers

setup() {
    setup_service
    prep >/dev/null
    old 30 "$HOME/Docs/report.txt" "$HOME/Old/keep.txt" "$HOME/.cache/app/entry/blob"
    conf_add "APP_CACHE_PATHS=(\"\$HOME/.cache/app\")"
    rules "archive_old | $HOME/Docs | | 7" "delete_old | $HOME/Old | | 7" "app_cache_clean | - | | 7"
    SUMMARY="$STATE/last-free-space.txt"
}
teardown() { teardown_shm; }

# value KEY: the summary's value for KEY.
value() { sed -n "s/^$1=//p" "$SUMMARY"; }

@test "rule-matched files move and caches are cleaned, nothing is deleted, and the summary says so" {
    mkdir -p "$HOME/.config" "$HOME/Papers"
    echo 'XDG_DOCUMENTS_DIR="$HOME/Papers"' >"$HOME/.config/user-dirs.dirs"
    echo 'XDG_DESKTOP_DIR="$HOME/"' >>"$HOME/.config/user-dirs.dirs"
    expect_run 0 "Free Up Space finished: 1 entry moved and 1 cache entry cleaned" qlater free-space
    [[ $output == *"Rule 2 (delete_old) is left to the rules pass: this run never deletes."* ]]
    [[ -L "$HOME/Docs/report.txt" && -f "$HOME/Old/keep.txt" && ! -e "$HOME/.cache/app/entry" ]]
    [ "$(cut -d= -f1 "$SUMMARY" | paste -sd' ')" = "started_at finished_at before_free_gb after_free_gb delta_gb files_moved caches_cleaned apps_gb documents_gb desktop_gb apfs_snapshot_count user_has_cache_rule" ]
    [ "$(value files_moved) $(value caches_cleaned) $(value user_has_cache_rule) $(value apfs_snapshot_count)" = "1 1 1 0" ]
    [ "$(value delta_gb)" -eq $(($(value after_free_gb) - $(value before_free_gb))) ]
    [[ $(value started_at) =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z$ && $(value before_free_gb) =~ ^[0-9]+$ ]]
    [ "$(value desktop_gb)" -eq 0 ]
    [ -z "$(find "$STATE" -name '.last-free-space.txt.tmp.*')" ]

    # Nothing left to do: the rules find nothing and the summary says so.
    expect_run 0 "0 entries moved and 0 cache entries cleaned" qlater free-space
    [ "$(value files_moved) $(value caches_cleaned)" = "0 0" ]
}

@test "a run refused, paused or overlapping another, writes no summary" {
    use_shm_drive
    rules "archive_old | $HOME/Docs | $DRIVE/Docs | 7"
    export HELD="$BATS_TEST_TMPDIR/held"
    fake_bin rsync 'if [[ " $* " != *" --dry-run "* ]]; then : >"$HELD"; exec sleep 600; fi; exec '"$(real_bin rsync)"' "$@"'
    qlater free-space >/dev/null 2>&1 3>&- &
    local first=$!
    wait_for 20 test -e "$HELD"
    expect_run 3 "already running" qlater free-space
    # Stopped as the window's Cancel stops it: the copy ends, the source stays.
    kill -TERM "$(cat "$STATE/service/pass.lock")"
    wait "$first" || true
    [[ -f "$HOME/Docs/report.txt" && ! -L "$HOME/Docs/report.txt" && ! -e "$DRIVE/Docs/report.txt" ]]
    rm -f "$SUMMARY" "$FAKEBIN/rsync"

    quindle pause
    expect_run 1 "Automatic actions are paused" qlater free-space
    [ ! -e "$SUMMARY" ]
}
