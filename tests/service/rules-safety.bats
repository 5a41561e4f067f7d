#!/usr/bin/env bats
# What a rule refuses outright, and what keeps a single entry where it is.

load helpers

setup() {
    setup_service
    prep >/dev/null
    HOLDERS=()
}

teardown() {
    local pid
    for pid in "${HOLDERS[@]}"; do kill "$pid" 2>/dev/null || true; done
    teardown_shm
}

# hold_open DIR [FILE]: a process working in DIR, holding FILE open if given.
hold_open() {
    local pid
    if [[ -n ${2:-} ]]; then
        pid=$(cd "$1" && { sleep 600 3<"$2" >/dev/null 2>&1 & echo $!; })
    else
        pid=$(cd "$1" && { sleep 600 >/dev/null 2>&1 3>&- & echo $!; })
    fi
    HOLDERS+=("$pid")
    wait_for 5 grep -qx sleep "/proc/$pid/comm"
    echo "$pid"
}

@test "each refused rule is named with its reason and logged, and changes nothing" {
    mkdir -p "$HOME/.quindle/sub" "$HOME/.local/share/Trash/files/t" /tmp/quindle-outside "$DRIVE/inside"
    old 30 "$HOME/Docs/f" "$HOME/Deep/Drive/f"
    ln -s "$BATS_TEST_TMPDIR/elsewhere" "$HOME/Docs/link-out"
    ln -s /tmp "$HOME/via-link"
    install_config "$HOME/Deep/Drive"
    prep "$HOME/Deep/Drive" >/dev/null
    rules "archive_old | $HOME/Docs" "copy_old | $HOME/Docs | $DRIVE/x | 7" "archive_old | /tmp/quindle-outside | $DRIVE/x | 7" \
        "archive_old | $DRIVE/inside | $DRIVE/x | 7" "archive_old | \$HOME/.quindle/sub | $DRIVE/x | 7" \
        "delete_old | $HOME/.local/share/Trash/files | | 7" "archive_old | $HOME/via-link | $DRIVE/x | 7" \
        "archive_old | $HOME | $DRIVE/x | 7" "archive_old | $HOME/Docs | /tmp/quindle-outside | 7" \
        "archive_old | $HOME/Docs | $HOME/Docs/link-out/../x | 7" "archive_old | $HOME/Deep | $DRIVE/y | 7"
    expect_run 1 "" qlater relocate-now
    local n want=(
        "rule 1: it has fewer than four fields"
        "rule 2: \"copy_old\" is not an action the service knows."
        "rule 3: its source \"/tmp/quindle-outside\" is not a folder inside your home folder."
        "rule 4: its source \"$DRIVE/inside\" is not a folder inside your home folder."
        "rule 5: its source $HOME/.quindle/sub lies in $HOME/.quindle, which rules never touch."
        "rule 6: its source $HOME/.local/share/Trash/files lies in $HOME/.local/share/Trash"
        "rule 7: its source \"$HOME/via-link\" is not a folder inside your home folder."
        "rule 8: its source \"$HOME\" is not a folder inside your home folder."
        "rule 9: its destination \"/tmp/quindle-outside\" is not on the NVMe"
        "rule 10: its destination \"$HOME/Docs/link-out/../x\" is not on the NVMe"
        "rule 11: its source $HOME/Deep holds the NVMe at $HOME/Deep/Drive."
    )
    for n in "${!want[@]}"; do
        [[ $output == *"${want[n]}"* ]] || { echo "missing: ${want[n]}" >&2; return 1; }
        grep -qF "${want[n]}" "$QDIR/quindle.log" || { echo "not logged: ${want[n]}" >&2; return 1; }
    done
    [[ ${lines[-1]} == "The run met 11 problems; see the lines above." && ! -e "$QDIR/quindle.actions.tsv.old" ]]
    jq -e -s 'length == 1 and (.[0].title | test("met a problem"))' "$STATE/notifications.queue"
    [[ -f "$HOME/Docs/f" && -d "$HOME/.quindle/sub" && -z "$(ls /tmp/quindle-outside)" && ! -e "$HOME/Deep/Drive/y" ]]
    rmdir /tmp/quindle-outside

    # A drive formatted without links or permissions takes no moves.
    export FAKE_FS_FSTYPE=vfat
    fake_findmnt
    install_config "$DRIVE"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 7"
    expect_run 1 "rule 1: the NVMe's vfat filesystem cannot hold symbolic links" qlater relocate-now
    [ ! -L "$HOME/Docs/f" ]
}

@test "entries held open, holding a mount, too big, or already on the drive are skipped with the reason" {
    local src="$HOME/Docs" pid
    use_shm_drive
    old 30 "$src/open file/x" "$src/open cwd/y" "$src/mounted/m/z" "$src/taken" "$src/huge" "$src/free"
    mkdir -p "$DRIVE/A/taken"
    pid=$(hold_open "$BATS_TEST_TMPDIR" "$src/open file/x")
    local cwd_pid
    cwd_pid=$(hold_open "$src/open cwd")
    # The kernel's table, with one more filesystem mounted inside an entry.
    export QUINDLE_MOUNTINFO="$BATS_TEST_TMPDIR/mountinfo"
    { cat /proc/self/mountinfo; printf '99 1 0:99 / %s rw - tmpfs tmpfs rw\n' "${src// /\\040}/mounted/m"; } >"$QUINDLE_MOUNTINFO"
    # The drive has 100 MB free, less than the huge entry needs.
    truncate -s 200M "$src/huge"
    later "$LATER" touch -d '-30 days' "$src/huge"
    fake_bin df 'if [[ ${!#} == '"$(printf %q "$DRIVE")"' ]]; then printf "Size Avail\n%s %s\n" 1000000000 100000000; else exec '"$(real_bin df)"' "$@"; fi'
    rules "archive_old | $src | $DRIVE/A | 7"
    expect_run 0 "" qlater relocate-now
    [[ $output == *"Skipped $src/open file: sleep (process $pid) has it open."* ]]
    [[ $output == *"Skipped $src/open cwd: sleep (process $cwd_pid) has it open."* ]]
    [[ $output == *"Skipped $src/mounted: a filesystem is mounted inside it."* ]]
    [[ $output == *"Skipped $src/taken: $DRIVE/A/taken already exists on the NVMe."* ]]
    [[ $output == *"Skipped $src/huge: it needs 209.7 MB and the NVMe has 100.0 MB free."* ]]
    [[ -L "$src/free" && "$(logcol 5 | sort -u)" == "$src/free" ]]
    [[ -d "$src/open file" && -d "$src/open cwd" && -d "$src/mounted" && -f "$src/taken" && -f "$src/huge" ]]
    [[ $(readlink "/proc/$cwd_pid/cwd") == "$src/open cwd" ]]
}

@test "a run stops between entries once paused, without the drive it started with, or when paused before it starts" {
    old 30 "$HOME/Docs/a" "$HOME/Docs/b"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 7"
    # Pausing while the first entry is copied stops the run before the second.
    fake_bin mv 'if [[ ${*: -2:1} == "'"$HOME/Docs/a"'" ]]; then touch "'"$STATE/paused"'"; fi
exec '"$(real_bin mv)"' "$@"'
    expect_run 1 "Automatic actions were paused, so the run stopped" qlater relocate-now
    [[ -L "$HOME/Docs/a" && -f "$HOME/Docs/b" && ! -L "$HOME/Docs/b" ]]
    expect_run 1 "Automatic actions are paused; resume them to run the rules." qlater relocate-now
    quindle resume >/dev/null

    # The drive's marker goes while the first entry moves.
    rm "$HOME/Docs/a" "$FAKEBIN/mv"
    old 30 "$HOME/Docs/a"
    fake_bin mv 'if [[ ${*: -2:1} == "'"$HOME/Docs/a"'" ]]; then rm -f "'"$DRIVE/QNDL-Test-Box/.tarnel-managed"'"; fi
exec '"$(real_bin mv)"' "$@"'
    rm -rf "$DRIVE/A"
    expect_run 1 "The NVMe is no longer the drive the run started with" qlater relocate-now
    [[ -L "$HOME/Docs/a" && ! -L "$HOME/Docs/b" ]]
    rm -rf "$DRIVE"
    expect_run 1 "not mounted" qlater relocate-now
    expect_run 0 "a real pass would refuse" qlater dry-run
}
