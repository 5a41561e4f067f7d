#!/usr/bin/env bats
# rollback --yes: the last batch that moved something comes back, byte for
# byte, and only where the link still leads to its copy.

load helpers

setup() {
    setup_service
    use_shm_drive
}
teardown() { teardown_shm; }

@test "rollback restores the last moving batch byte for byte, says where deletes went, then has nothing left to do" {
    local src="$HOME/Docs" odd=$'tab\there\nnew line é' before
    old 30 "$src/first"
    rules "archive_old | $src | $DRIVE/A | 7"
    qlater relocate-now
    old 30 "$src/$odd/second" "$src/sub dir/third" "$src/changed" "$HOME/Tmp/gone"
    truncate -s 2M "$src/sub dir/big"
    before=$(digest "$src" | grep -v first)
    rules "archive_old | $src | $DRIVE/A | 7" "delete_old | $HOME/Tmp | | 7"
    qlater relocate-now
    # A later batch that only deletes is not the one rolled back.
    old 30 "$HOME/Tmp/later"
    rules "delete_old | $HOME/Tmp | | 7"
    qlater relocate-now
    expect_run 1 "--yes" quindle rollback

    # One link now leads elsewhere: that entry is left as it is.
    rm "$src/changed"
    ln -s "$DRIVE/elsewhere" "$src/changed"
    expect_run 0 "$src/changed changed since the move; left alone." qlater rollback --yes
    [[ $output == *"The entry this batch deleted is in the trash; restore it from there."* ]]
    [[ $output == *"Restored 2 of 3 entries"* && -L "$src/first" && -f "$DRIVE/A/changed" ]]
    [[ -d "$src/$odd" && ! -L "$src/$odd" && -d "$src/sub dir" && ! -L "$src/sub dir" ]]
    [[ ! -e "$DRIVE/A/$odd" && ! -e "$DRIVE/A/sub dir" ]]
    [ "$(digest "$src" | grep -v -e first -e changed)" = "$(grep -v changed <<<"$before")" ]
    [ -z "$(find "$src" -name '.*.quindle-*')" ]

    # The second time only the changed entry is left, and left alone again.
    local log
    log=$(cat "$QDIR/quindle.actions.tsv")
    expect_run 0 "Restored 0 of 1 entry (0 B)" qlater rollback --yes
    [[ -L "$src/first" && "$(logcol 4 | grep -c rollback)" -eq 8 ]]
    [ "$log" = "$(cat "$QDIR/quindle.actions.tsv")" ]

    rm "$src/changed"
    ln -s "$DRIVE/A/changed" "$src/changed"
    qlater rollback --yes
    expect_run 0 "Every move of the last batch" qlater rollback --yes
    [ "$(cat "$src/changed")" = changed ]
}

@test "rollback is refused without the drive, and finishes a rollback killed half way" {
    old 30 "$HOME/Docs/folder/file"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 7"
    qlater relocate-now
    mv "$DRIVE" "$DRIVE.away"
    expect_run 1 "not mounted" qlater rollback --yes
    [ -L "$HOME/Docs/folder" ]
    mv "$DRIVE.away" "$DRIVE"

    # Killed once its copy is back and proven, before the link is replaced.
    export HELD="$BATS_TEST_TMPDIR/held"
    fake_bin mv 'if [[ $3 == *.quindle-restore ]]; then : >"$HELD"; exec sleep 600; fi
exec '"$(real_bin mv)"' "$@"'
    QUINDLE_FOLLOW_SECS=0 qlater rollback --yes
    wait_for 20 test -e "$HELD"
    kill -KILL -- "-$(run_pid)"
    rm "$FAKEBIN/mv"
    # A folder cannot replace a link in one step: the link went first.
    [[ ! -e "$HOME/Docs/folder" && -d "$HOME/Docs/.folder.quindle-restore" ]]
    expect_run 0 "Finished restoring $HOME/Docs/folder." qlater rollback --yes
    [[ -d "$HOME/Docs/folder" && ! -L "$HOME/Docs/folder" && ! -e "$DRIVE/A/folder" ]]
    [ "$(cat "$HOME/Docs/folder/file")" = file ]
}
