#!/usr/bin/env bats
# A run goes on detached from the caller; killed at any step, the next run
# finishes or undoes what it left, and nothing is lost.

load helpers

setup() {
    setup_service
    use_shm_drive
    old 30 "$HOME/Docs/tree/a file" "$HOME/Docs/tree/sub/b" "$HOME/Docs/single"
    rules "archive_old | $HOME/Docs | $DRIVE/Docs | 7"
    BEFORE=$(digest "$HOME/Docs")
    export HELD="$BATS_TEST_TMPDIR/held"
}

teardown() {
    local pid
    pid=$(run_pid) && kill -KILL -- "-$pid" 2>/dev/null
    teardown_shm
}

# hold NAME TEST: a fake NAME that, when TEST holds for its arguments, marks
# the moment and waits to be killed; otherwise it is the real one.
hold() {
    fake_bin "$1" 'if '"$2"'; then : >"$HELD"; exec sleep 600; fi
exec '"$(real_bin "$1")"' "$@"'
}

# Starts a run that the caller stops following at once, waits until it is
# held, and kills its whole session.
kill_run_when_held() {
    QUINDLE_FOLLOW_SECS=0 expect_run 0 "goes on in the background" qlater relocate-now
    wait_for 20 test -e "$HELD"
    local pid
    pid=$(run_pid)
    kill -KILL -- "-$pid"
    wait_for 10 bash -c '! kill -0 "$1" 2>/dev/null' _ "$pid"
    rm -f "$FAKEBIN"/* "$STATE"/service/run-*
}

# After the next run: every entry moved, every byte the same, no leftovers.
nothing_lost() {
    expect_run 0 "" qlater relocate-now
    [[ $output == *"$1"* ]] || { echo "missing \"$1\" in: $output" >&2; return 1; }
    [[ -L "$HOME/Docs/tree" && -L "$HOME/Docs/single" ]]
    [ "$(digest "$HOME/Docs")" = "$BEFORE" ]
    [ -z "$(find "$HOME/Docs" "$DRIVE" -name '.*.quindle-*')" ]
}

@test "killed during the copy: the partial copy goes and the entry moves again" {
    hold rsync '[[ " $* " != *" --dry-run "* && $* == *tree* ]]'
    kill_run_when_held
    [[ -d "$HOME/Docs/tree" && ! -L "$HOME/Docs/tree" ]]
    nothing_lost "An interrupted copy of $HOME/Docs/tree was removed from the NVMe"
    [ "$(logcol 3 | grep -c failed)" -eq 1 ]
}

@test "killed after the copy was proven: the next run proves it again and finishes" {
    hold mv '[[ ${!#} == *tree.quindle-aside ]]'
    kill_run_when_held
    [ "$(logcol 3 | tail -1)" = verified ]
    nothing_lost "Finished moving $HOME/Docs/tree to $DRIVE/Docs/tree."
}

@test "killed after the rename aside: the original is found aside, and the link made" {
    hold ln '[[ $1 == -s && ${!#} == */tree ]]'
    kill_run_when_held
    [[ ! -e "$HOME/Docs/tree" && -d "$HOME/Docs/.tree.quindle-aside" ]]
    nothing_lost "Finished moving $HOME/Docs/tree to $DRIVE/Docs/tree."
}

@test "a changed copy found after a kill is not trusted: the original goes back" {
    hold ln '[[ $1 == -s && ${!#} == */tree ]]'
    kill_run_when_held
    echo tampered >"$DRIVE/Docs/tree/a file"
    expect_run 0 "An interrupted move of $HOME/Docs/tree was undone: its copy did not match." qlater relocate-now
    [[ -L "$HOME/Docs/tree" && "$(cat "$HOME/Docs/tree/a file")" == "a file" ]]
    [ "$(digest "$HOME/Docs")" = "$BEFORE" ]
}

@test "a second run while one holds the lock exits 3; a run goes on past its follow time, then says how it ended" {
    hold rsync '[[ " $* " != *" --dry-run "* ]]'
    QUINDLE_FOLLOW_SECS=1 expect_run 0 "The rules pass goes on in the background; quindle.log shows its progress." \
        qlater relocate-now
    wait_for 20 test -e "$HELD"
    expect_run 3 "already running" qlater relocate-now
    expect_run 3 "already running" qlater rollback --yes
    grep -q "Rule 1 (archive_old)" "$QDIR/quindle.log"
    kill -KILL -- "-$(run_pid)"
}
