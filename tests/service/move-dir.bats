#!/usr/bin/env bats
# move-dir: an offered folder goes to the drive as a link to a proven copy,
# comes back with a rollback, and is never lost to a refusal or a kill.

load helpers

setup() {
    setup_service
    use_shm_drive
    SRC="$HOME/Projects/Big"
    mkdir -p "$SRC/sub"
    fallocate -l 101M "$SRC/blob"
    printf 'one' >"$SRC/it's \"q\".txt"
    printf 'two' >"$SRC/sub/-x"
    ln -s blob "$SRC/sub/link"
    ARCHIVE="$DRIVE/QNDL-Test-Box/Archive/Projects/Big"
    BEFORE=$(digest "$SRC")
    export HELD="$BATS_TEST_TMPDIR/held"
}

teardown() {
    if [[ -n ${HOLDER:-} ]]; then kill "$HOLDER" 2>/dev/null || true; fi
    if [[ -n ${RAM:-} ]]; then umount "$RAM" 2>/dev/null || true; fi
    teardown_shm
}

whole() {
    [[ -d $SRC && ! -L $SRC ]] && [ "$(digest "$SRC")" = "$BEFORE" ] && [ -z "$(find "$DRIVE" -path '*Archive*' -type f)" ]
}

@test "a folder becomes a link to an identical copy in the Archive, and rollback brings it back" {
    expect_run 0 "Moved $SRC to $ARCHIVE" quindle move-dir "$SRC/"
    [[ -L $SRC && $(readlink "$SRC") == "$ARCHIVE" ]]
    [ "$(digest "$SRC")" = "$BEFORE" ]
    [ "$(logcol 3 | paste -sd' ')" = "start verified linked done" ]
    [ "$(cat "$STATE/service/saved-bytes")" -gt 105000000 ]
    expect_run 0 "is already on the NVMe" quindle move-dir "$SRC"

    expect_run 0 "Restored 1 of 1 entry" quindle rollback --yes --wait
    whole
    # Only folder sizes, which differ between filesystems, are left.
    [ "$(cat "$STATE/service/saved-bytes")" -lt 65536 ]
}

holder_in_sub() { [ "$(readlink "/proc/$HOLDER/cwd")" = "$SRC/sub" ]; }
lock_taken() { ! flock -n "$STATE/service/pass.lock" true; }

@test "each refusal is one sentence, exit 1, and nothing changes" {
    mkdir -p "$BATS_TEST_TMPDIR/outside" "$STATE/service"
    ln -s "$SRC" "$HOME/Alias"
    local drive_before
    drive_before=$(find "$DRIVE" | sort)
    expect_run 1 "is not a folder inside your home folder" quindle move-dir "$BATS_TEST_TMPDIR/outside"
    expect_run 1 "$HOME/Alias is a symbolic link, so it is not moved." quindle move-dir "$HOME/Alias"
    expect_run 1 "$HOME/Alias/sub leads elsewhere through a link, so it is not moved." quindle move-dir "$HOME/Alias/sub"
    expect_run 1 "$SRC/../${SRC##*/} leads elsewhere through a link, so it is not moved." quindle move-dir "$SRC/../${SRC##*/}"
    fake_bin df 'echo "1B-blocks Avail"; echo "999999999999 1000"'
    expect_run 1 "and the NVMe has 1.0 kB free" quindle move-dir "$SRC"
    rm "$FAKEBIN/df"
    (cd "$SRC/sub" && exec sleep 60) 3>&- &
    HOLDER=$!
    wait_for 10 holder_in_sub
    expect_run 1 "sleep (process $HOLDER) has a file open in $SRC" quindle move-dir "$SRC"
    kill "$HOLDER"
    (exec 9>>"$STATE/service/pass.lock" && flock 9 && exec sleep 60) 3>&- &
    HOLDER=$!
    wait_for 10 lock_taken
    expect_run 1 "A rules pass or rollback is running" quindle move-dir "$SRC"
    kill "$HOLDER"
    if mount -t tmpfs -o size=1m none "$SRC/sub" 2>/dev/null; then
        RAM="$SRC/sub"
        expect_run 1 "A filesystem is mounted inside $SRC" quindle move-dir "$SRC"
        umount "$RAM"
    else
        echo "# mounting a tmpfs is not allowed here, so the mount refusal is left out" >&3
    fi
    rm "$DRIVE/QNDL-Test-Box/.tarnel-managed"
    expect_run 1 "is not the prepared NVMe" quindle move-dir "$SRC"
    whole
    [ "$(find "$DRIVE" | sort)" = "$(grep -v .tarnel-managed <<<"$drive_before")" ]
    [ "$(logcol 3 | wc -l)" -eq 0 ]
}

# Starts a move that waits inside the copy, in its own session.
start_held_move() {
    fake_bin rsync 'if [[ " $* " != *" --dry-run "* ]]; then '"$(real_bin rsync)"' "$@"; : >"$HELD"; exec sleep 600; fi
exec '"$(real_bin rsync)"' "$@"'
    setsid bash "$QDIR/quindle.sh" move-dir "$SRC" >"$BATS_TEST_TMPDIR/move.out" 2>&1 3>&- &
    MOVER=$!
    wait_for 30 test -e "$HELD"
}

@test "stopped with TERM, or killed and run again, the source stays whole" {
    start_held_move
    kill -TERM -- "-$MOVER"
    wait "$MOVER" || true
    grep -q "The move of $SRC was stopped; $SRC stays where it was." "$BATS_TEST_TMPDIR/move.out" ||
        { cat "$BATS_TEST_TMPDIR/move.out" >&2; false; }
    whole

    rm "$HELD"
    start_held_move
    [ -n "$(find "$DRIVE" -path '*Archive*' -type f)" ]
    kill -KILL -- "-$MOVER"
    wait "$MOVER" || true
    rm "$FAKEBIN/rsync"
    [[ -d $SRC && ! -L $SRC ]] && [ "$(digest "$SRC")" = "$BEFORE" ]
    expect_run 0 "An interrupted copy of $SRC was removed from the NVMe" quindle move-dir "$SRC"
    [[ -L $SRC ]] && [ "$(digest "$SRC")" = "$BEFORE" ]
}
