#!/usr/bin/env bats
# The popover's actions: rules passes, dry runs, rollback, and the drive
# commands remount, eject-nvme and show-in-finder.

load helpers

setup() {
    setup_service
    prep >/dev/null
    LOG="$QDIR/quindle.actions.tsv"
    BLOCKER=""
    export CALLS="$BATS_TEST_TMPDIR/calls" DISPLAY=:99
    unset WAYLAND_DISPLAY
}

teardown() {
    if [[ -n $BLOCKER ]]; then kill "$BLOCKER" 2>/dev/null || true; fi
    if [[ -n ${SHM:-} ]]; then rm -rf "$SHM"; fi
}

# old DAYS FILE...: files holding their own names, last modified DAYS days ago.
old() {
    local f
    for f in "${@:2}"; do
        mkdir -p "${f%/*}"
        printf '%s' "${f##*/}" >"$f"
        touch -d "-$1 days" "$f"
    done
}

rules() {
    local r out="RULES=("
    for r; do out+=" \"$r\""; done
    conf_add "$out )"
}

# logcol N: column N of the action log (1 batch, 3 action, 4 from, 5 to,
# 6 bytes), names decoded.
logcol() {
    local v
    cut -f"$1" "$LOG" | while IFS= read -r v; do printf '%b\n' "$v"; done
}

# Fake commands append their arguments, one call a line, to $CALLS.
fake_logged() {
    fake_bin "$1" "echo \"$1 \$*\" >>\"\$CALLS\"
$2"
}

@test "relocate-now moves only files past every floor, keeps the tree and logs one batch a pass" {
    local src="$HOME/Work" dst="$DRIVE/Archive"
    old 40 "$src/a/b/old.txt"
    old 10 "$src/mid.txt"
    old 5 "$src/young.txt"
    rules "archive_old | \$HOME/Work | $dst | 3"
    conf_add MIN_ARCHIVE_DAYS=20
    expect_run 0 "Moved $src/a/b/old.txt → $dst/a/b/old.txt (7 B)" quindle relocate-now
    [[ ${lines[-1]} == "Done: moved 1 file (7 B), deleted 0 files (0 B) and cleaned 0 cache files (0 B)." ]]
    [[ "$(cat "$dst/a/b/old.txt")" == old.txt && ! -e "$src/a/b/old.txt" && -d "$src/a/b" ]]
    [[ -f "$src/mid.txt" && "$(logcol 3)" == archive_old && "$(logcol 5)" == "$dst/a/b/old.txt" ]]

    # Without the archive floor the rule's own 3 days meet the 7-day hard floor.
    conf_add MIN_ARCHIVE_DAYS=0
    quindle relocate-now
    [[ -f "$dst/mid.txt" && -f "$src/young.txt" && "$(logcol 1 | uniq | wc -l)" -eq 2 ]]
    jstatus '(.last_run | test("Z$")) and (.last_event | test("moved 1 file"))'
    rm -f "$STATE/history.ndjson"
    tick
    jq -e ".cumulative_saved_bytes == $(($(logcol 6 | paste -sd+)))" "$STATE/history.ndjson"
}

@test "dry-run lists what relocate-now then does, changing nothing" {
    local src="$HOME/Pics" before
    old 30 "$src/a b/it's \"q\".jpg" "$src/café ✓/naïve.png" "$src/-dash" "$src/big.bin"
    old 0 "$src/young.png"
    truncate -s 3M "$src/big.bin"
    touch -d '-30 days' "$src/big.bin"
    rules "archive_big | $src | $DRIVE/Big | 8 | 2" "archive_old | $src | $DRIVE/Old | 8"
    before=$(cd "$HOME" && find . -printf '%p %s %T@\n' | sort)
    expect_run 0 "" quindle dry-run
    [[ ${lines[-1]} == "Dry run: would move 4 files (3.1 MB), "*"; nothing was changed." ]]
    [[ "$(cd "$HOME" && find . -printf '%p %s %T@\n' | sort)" == "$before" && ! -e "$LOG" ]]

    quindle relocate-now
    [ "$(sed -n 's/^Would move \(.*\) → .*/\1/p' <<<"$output")" = "$(logcol 4)" ]
    [[ -f "$DRIVE/Big/big.bin" && -f "$DRIVE/Old/-dash" && -f "$src/young.png" ]]
    [[ -f "$DRIVE/Old/a b/it's \"q\".jpg" && -f "$DRIVE/Old/café ✓/naïve.png" ]]
}

@test "rollback --yes restores the last batch only, and says deletes stay deleted" {
    local src="$HOME/Docs" odd=$'tab\there\nnew line é'
    old 30 "$src/first"
    rules "archive_old | $src | $DRIVE/A | 7"
    quindle relocate-now
    old 30 "$src/$odd/second" "$src/third" "$HOME/Tmp/gone"
    rules "archive_old | $src | $DRIVE/A | 7" "delete_old | $HOME/Tmp | - | 7"
    quindle relocate-now
    expect_run 1 "--yes" quindle rollback

    echo occupied >"$src/third"
    expect_run 1 "Could not restore $src/third: something else is there now" quindle rollback --yes
    [[ -f "$src/$odd/second" && ! -e "$DRIVE/A/$odd/second" ]]
    [[ "$(cat "$src/third")" == occupied && -f "$DRIVE/A/third" && -f "$DRIVE/A/first" ]]
    [[ $output == *"The 1 file deleted in that batch cannot be brought back"* ]]

    # A second rollback retries only what is still on the drive.
    rm "$src/third"
    expect_run 0 "" quindle rollback --yes
    [[ -f "$src/third" && -f "$DRIVE/A/first" ]]
    [ "$(cat "$STATE/service/saved-bytes")" -eq "$(stat -c %s "$DRIVE/A/first")" ]
}

@test "a move to another filesystem is a verified copy; stopping it keeps the original" {
    [[ -d /dev/shm && -w /dev/shm ]] || skip "no /dev/shm"
    SHM=$(mktemp -d /dev/shm/quindle-test.XXXXXX)
    [ "$(stat -c %d "$SHM")" != "$(stat -c %d "$HOME")" ] || skip "/dev/shm is on the same filesystem"
    install_config "$SHM"
    prep "$SHM" >/dev/null
    old 30 "$HOME/Docs/report.pdf"
    rules "archive_old | $HOME/Docs | $SHM/Docs | 7"
    quindle relocate-now
    [[ "$(cat "$SHM/Docs/report.pdf")" == report.pdf && ! -e "$HOME/Docs/report.pdf" ]]
    [ "$(stat -c %Y "$SHM/Docs/report.pdf")" -lt "$(date -d '-29 days' +%s)" ]
    quindle rollback --yes

    # The caller's time limit ends a pass with SIGTERM in the middle of a copy.
    fake_bin rsync 'echo $$ >"$BATS_TEST_TMPDIR/copying"; exec sleep 600'
    bash "$QDIR/quindle.sh" relocate-now >"$BATS_TEST_TMPDIR/out" 2>&1 3>&- &
    local pid=$! rc=0
    wait_for 10 test -s "$BATS_TEST_TMPDIR/copying"
    kill -TERM "$pid"
    wait "$pid" || rc=$?
    [ "$rc" -eq 1 ]
    grep -q "stopped before it finished" "$BATS_TEST_TMPDIR/out"
    [[ -f "$HOME/Docs/report.pdf" && ! -e "$SHM/Docs/report.pdf" && "$(grep -c . "$LOG")" -eq 2 ]]
    run ! kill -0 "$(cat "$BATS_TEST_TMPDIR/copying")"
}

@test "delete_old honours DISABLE_DELETE and its floor, and runs without the drive" {
    old 60 "$HOME/Tmp/ancient"
    old 40 "$HOME/Tmp/older"
    rules "delete_old | $HOME/Tmp | | 7"
    rm -rf "$DRIVE"
    conf_add DISABLE_DELETE=1
    expect_run 0 "deleting is turned off" quindle relocate-now
    [ -f "$HOME/Tmp/ancient" ]

    conf_add DISABLE_DELETE=0 MIN_DELETE_DAYS=50
    quindle relocate-now
    [[ ! -e "$HOME/Tmp/ancient" && -f "$HOME/Tmp/older" && "$(logcol 3)" == delete_old && "$(logcol 5)" == - ]]
}

@test "app_cache_clean clears only old files in caches inside the safe folders" {
    local c="$HOME/.cache/app"
    old 30 "$c/x/old" "$HOME/Documents/letter"
    old 1 "$c/fresh"
    ln -s "$HOME/Documents" "$HOME/.cache/sneaky"
    rules "app_cache_clean | | | 0"
    conf_add 'APP_CACHE_SAFE_DIRS=("$HOME/.cache")' \
        'APP_CACHE_PATHS=("$HOME/.cache/app" "$HOME/.cache/../Documents" "$HOME/.cache/sneaky" "$HOME/.cache")'
    expect_run 1 "" quindle relocate-now
    [[ $(grep -c '^Refused to clean' <<<"$output") -eq 3 && "$(logcol 3)" == app_cache_clean ]]
    [[ ! -e "$c/x/old" && -d "$c/x" && -f "$c/fresh" && -f "$HOME/Documents/letter" ]]
}

@test "relocate-now refuses while paused, while another pass runs, or without its drive" {
    old 30 "$HOME/Docs/f"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 7"
    tick
    quindle pause
    jstatus '.paused and (.last_event | test("paused"))'
    expect_run 1 paused quindle relocate-now
    quindle resume >/dev/null
    jstatus '.paused | not'

    local fd
    exec {fd}>>"$STATE/service/pass.lock"
    flock -n "$fd"
    expect_run 1 "already running" quindle relocate-now
    exec {fd}>&-

    rm "$DRIVE/QNDL-Test-Box/.tarnel-managed"
    expect_run 1 "not the prepared NVMe" quindle relocate-now
    rm -rf "$DRIVE"
    expect_run 1 "not mounted" quindle relocate-now
    expect_run 0 "a real pass would refuse" quindle dry-run
    [[ -f "$HOME/Docs/f" && ! -e "$LOG" ]]
}

@test "remount finds the drive by its remembered UUID and mounts it with udisksctl" {
    expect_run 0 "already mounted" quindle remount

    # Unplugging takes the drive away; mounting brings it back.
    fake_fs_uuid 0a1b2c3d-1111-2222-3333-444455556666
    prep >/dev/null
    tick
    export UNPLUGGED="$BATS_TEST_TMPDIR/unplugged" DRIVE
    mv "$DRIVE" "$UNPLUGGED"
    fake_bin lsblk 'printf "%s\n" "/dev/sdz  " "/dev/sdz1 0A1B2C3D-1111-2222-3333-444455556666 "'
    fake_logged udisksctl 'mv "$UNPLUGGED" "$DRIVE"'
    expect_run 0 "The NVMe is mounted at $DRIVE." quindle remount
    [ "$(cat "$CALLS")" = "udisksctl mount -b /dev/sdz1" ]

    mv "$DRIVE" "$UNPLUGGED"
    fake_bin lsblk 'true'
    fake_bin blkid 'exit 2'
    expect_run 1 "No connected drive" quindle remount
}

@test "eject pauses, unmounts and powers off, or names what keeps the drive busy" {
    expect_run 0 "nothing to unmount" quindle eject-nvme
    jstatus .paused

    export FAKE_FS_SOURCE=/dev/sdz1 FAKE_MP=$DRIVE
    fake_findmnt
    fake_logged udisksctl ''
    expect_run 0 "powered off" quindle eject-nvme
    [ "$(cat "$CALLS")" = $'udisksctl unmount -b /dev/sdz1\nudisksctl power-off -b /dev/sdz1' ]

    # The blocker starts in the drive's folder; wait until it is sleep itself.
    BLOCKER=$(cd "$DRIVE/QNDL-Test-Box" && { sleep 600 >/dev/null 2>&1 3>&- & echo $!; })
    wait_for 5 grep -qx sleep "/proc/$BLOCKER/comm"
    fake_logged udisksctl 'echo "Error unmounting $3: target is busy" >&2; exit 1'
    fake_bin fuser 'exit 1'
    expect_run 1 "process $BLOCKER (sleep)" quindle eject-nvme
    [[ $output == *"Could not unmount $DRIVE: Error unmounting /dev/sdz1: target is busy"* ]]
}

@test "show-in-finder opens the drive detached, or names it when no display is there" {
    fake_logged xdg-open ''
    expect_run 0 "" quindle show-in-finder
    [ "$output" = "Opened $DRIVE in the file manager." ]
    wait_for 5 test -s "$CALLS"
    [ "$(cat "$CALLS")" = "xdg-open $DRIVE" ]

    rm "$CALLS"
    DISPLAY="" expect_run 1 "no file manager was opened; the NVMe is at $DRIVE." quindle show-in-finder
    [ ! -e "$CALLS" ]
}
