#!/usr/bin/env bats
# Moving entries to the drive: what a dry run promises, what a run does, and
# that every byte reads the same through the links left behind.

load helpers

setup() {
    setup_service
    prep >/dev/null
}
teardown() { teardown_shm; }

# Names that trip up quoting, globbing and option parsing.
odd_tree() {
    local src=$1
    old 30 "$src/a b/it's \"q\".txt" "$src/café ✓/naïve.txt" "$src/-x" "$src/*" "$src/deep/er/est.txt"
    truncate -s 3M "$src/deep/big.bin"
    later "$LATER" touch -d '-30 days' "$src/deep/big.bin"
    old 2 "$src/young.txt"
}

@test "a dry run changes nothing; the run then moves a subset of it, every byte readable through links" {
    use_shm_drive
    local src="$HOME/Docs" before tree_before listed moved
    odd_tree "$src"
    rules "archive_big | $src | $DRIVE/Big | 8 | 2M" "archive_old | $src | $DRIVE/Old | 8"
    tree_before=$(digest "$src")
    before=$(cd "$BATS_TEST_TMPDIR" && find . -printf '%p %s %T@ %C@\n' | sort && cat "$QDIR/quindle.log" 2>/dev/null)
    expect_run 0 "" qlater dry-run
    [[ ${lines[-1]} == "Dry run: would move 6 entries ("*"; nothing was changed." ]]
    listed=$(sed -n 's/^Would move \(.*\) → .*/\1/p' <<<"$output" | sort)
    [ "$before" = "$(cd "$BATS_TEST_TMPDIR" && find . -printf '%p %s %T@ %C@\n' | sort && cat "$QDIR/quindle.log" 2>/dev/null)" ]

    expect_run 0 "Done: moved " qlater relocate-now
    moved=$(logcol 5 | sort -u)
    [ -n "$moved" ] && [ -z "$(comm -13 <(echo "$listed") <(echo "$moved"))" ]
    [[ -L "$src/-x" && -L "$src/*" && -f "$DRIVE/Big/deep/big.bin" && -f "$DRIVE/Old/café ✓/naïve.txt" ]]
    [[ -f "$src/young.txt" && ! -L "$src/young.txt" ]]
    [ "$(digest "$src")" = "$tree_before" ]
    [ "$(logcol 3 | sort | uniq -c | awk '{print $2 "=" $1}' | paste -sd' ')" = "done=6 linked=6 start=6 verified=6" ]
    [[ $(head -1 "$QDIR/quindle.actions.tsv") == $'time\tbatch\tevent\taction\tsource\tdestination\tbytes' ]]
    [ -z "$(find "$src" -name '.*.quindle-*')" ]

    # Entries already moved are links now, skipped with the reason.
    expect_run 0 "Skipped $src/-x: it is a symbolic link." qlater relocate-now
    [ "$(digest "$src")" = "$tree_before" ]
}

@test "within one filesystem a move is a rename; an empty destination is the working folder's Archive" {
    old 30 "$HOME/Work/Reports/q1.txt"
    local inode
    inode=$(stat -c %i "$HOME/Work/Reports")
    rules "archive_old | \$HOME/Work | | 7"
    conf_add NOTIFY_ON_OK_RUN=1
    expect_run 0 "" qlater relocate-now
    local dst="$DRIVE/QNDL-Test-Box/Archive/Work/Reports"
    [[ $(readlink "$HOME/Work/Reports") == "$dst" && $(stat -c %i "$dst") == "$inode" ]]
    [ "$(logcol 3 | paste -sd' ')" = "rename linked done" ]
    [ "$(cat "$HOME/Work/Reports/q1.txt")" = q1.txt ]
    jq -e -s 'length == 1 and (.[0].body | test("moved 1 entry"))' "$STATE/notifications.queue"
}

@test "a copy that differs only in content is caught, and the original stays" {
    use_shm_drive
    old 30 "$HOME/Docs/same size.txt"
    rules "archive_old | $HOME/Docs | $DRIVE/Docs | 7"
    # The copy is flipped after it is written, keeping its size and time.
    fake_bin rsync 'real='"$(real_bin rsync)"'
"$real" "$@" || exit
[[ " $* " == *" --dry-run "* ]] && exit 0
f=${!#}; [[ -d $f ]] && f=$f/same\ size.txt
t=$(stat -c %y "$f"); printf "SAME SIZE.TXT" >"$f"; touch -d "$t" "$f"'
    expect_run 1 "Could not move $HOME/Docs/same size.txt: the copy on the NVMe does not match it, so it stays." \
        qlater relocate-now
    [[ -f "$HOME/Docs/same size.txt" && ! -L "$HOME/Docs/same size.txt" && ! -e "$DRIVE/Docs/same size.txt" ]]
    [ "$(cat "$HOME/Docs/same size.txt")" = "same size.txt" ]
    [ "$(logcol 3 | paste -sd' ')" = "start failed" ]
}
