#!/usr/bin/env bats
# The popover's actions: rules passes, dry runs, rollback, and the drive
# commands remount, eject-nvme and show-in-finder.

load helpers

setup() {
    setup_service
    NVMe=$DRIVE bash "$QDIR/2-prep-nvme.sh" --auto >/dev/null
    LOG="$QDIR/quindle.actions.tsv"
    CALLS="$BATS_TEST_TMPDIR/calls"
    BLOCKER=""
    export CALLS DISPLAY=:99
    unset WAYLAND_DISPLAY
}

teardown() {
    if [[ -n $BLOCKER ]]; then kill "$BLOCKER" 2>/dev/null || true; fi
    if [[ -n ${SHM:-} ]]; then rm -rf "$SHM"; fi
}

# old FILE DAYS [CONTENT]: a file last modified DAYS days ago.
old() {
    mkdir -p "$(dirname "$1")"
    printf '%s' "${3:-data of $1}" >"$1"
    touch -d "-$2 days" "$1"
}

rules() {
    local r out="RULES=("
    for r; do out+=" \"$r\""; done
    conf_add "$out )"
}

# The column of the action log, names decoded.
logcol() {
    local b a s d n
    while IFS=$'\t' read -r b _ a s d n; do
        case $1 in
            batch) echo "$b" ;; action) echo "$a" ;; bytes) echo "$n" ;;
            from) printf '%b\n' "$s" ;; to) printf '%b\n' "$d" ;;
        esac
    done <"$LOG"
}

# Fake commands append their arguments, one call a line, to $CALLS.
fake_logged() {
    fake_bin "$1" "echo \"$1 \$*\" >>\"\$CALLS\"
$2"
}

@test "relocate-now moves only files past every floor, keeps the tree and logs one batch" {
    local src="$HOME/Work" dst="$DRIVE/Archive"
    old "$src/a/b/old.txt" 40 hello
    old "$src/mid.txt" 10
    old "$src/young.txt" 5
    rules "archive_old | \$HOME/Work | $dst | 3"
    conf_add MIN_ARCHIVE_DAYS=20

    run quindle relocate-now
    [ "$status" -eq 0 ]
    [[ $output == *"Moved $src/a/b/old.txt → $dst/a/b/old.txt (5 B)"* ]]
    [[ ${lines[-1]} == "Done: moved 1 file (5 B), deleted 0 files (0 B) and cleaned 0 cache files (0 B)." ]]
    [ "$(cat "$dst/a/b/old.txt")" = hello ]
    [ ! -e "$src/a/b/old.txt" ] && [ -d "$src/a/b" ]
    [ -f "$src/mid.txt" ] && [ -f "$src/young.txt" ]
    [ "$(logcol action)" = archive_old ] && [ "$(logcol bytes)" = 5 ]
    [ "$(logcol to)" = "$dst/a/b/old.txt" ]
    [[ $(awk -F'\t' '{print NF, $2}' "$LOG") =~ ^6\ [0-9-]{10}T[0-9:]{8}Z$ ]]

    # Without the archive floor the rule's own 3 days meet the 7-day hard floor.
    conf_add MIN_ARCHIVE_DAYS=0
    quindle relocate-now
    [ -f "$dst/mid.txt" ] && [ -f "$src/young.txt" ]
    [ "$(logcol batch | uniq | wc -l)" -eq 2 ]
    jstatus '(.last_run | test("Z$")) and (.last_event | test("moved 1 file"))'
    rm -f "$STATE/history.ndjson"
    tick
    jq -e ".cumulative_saved_bytes == $((5 + ${#src} + 8 + 8))" "$STATE/history.ndjson"
}

@test "dry-run lists what relocate-now then does, changing nothing" {
    local src="$HOME/Pics" name
    for name in "a b/it's \"q\".jpg" "café ✓/naïve.png" "-dash" "young.png"; do
        old "$src/$name" 30
    done
    touch "$src/young.png"
    old "$src/big.bin" 30
    truncate -s 3M "$src/big.bin" "$src/-dash"
    touch -d '-30 days' "$src/big.bin" "$src/-dash"
    rules "archive_old | $src | $DRIVE/Old | 8" "archive_big | $src | $DRIVE/Big | 8 | 2"
    local before
    before=$(cd "$HOME" && find . -printf '%p %s %T@\n' | sort)

    run quindle dry-run
    [ "$status" -eq 0 ]
    [[ ${lines[-1]} == "Dry run: would move 4 files (6.3 MB), "*"; nothing was changed." ]]
    [ "$(cd "$HOME" && find . -printf '%p %s %T@\n' | sort)" = "$before" ]
    [ ! -e "$LOG" ] && [ ! -e "$DRIVE/Old" ]
    local listed=() line
    for line in "${lines[@]}"; do
        [[ $line == "Would move "* ]] || continue
        line=${line#Would move }
        listed+=("${line%% → *}")
    done

    quindle relocate-now
    [ "$(printf '%s\n' "${listed[@]}")" = "$(logcol from)" ]
    [ "$(logcol to | grep -c '/Big/')" -eq 0 ]
    [ -f "$DRIVE/Old/a b/it's \"q\".jpg" ] && [ -f "$DRIVE/Old/café ✓/naïve.png" ]
    [ -f "$DRIVE/Old/-dash" ] && [ -f "$src/young.png" ]

    # Now only the large old file is left for the size rule.
    old "$src/big.bin" 30
    truncate -s 3M "$src/big.bin" && touch -d '-30 days' "$src/big.bin"
    old "$src/small.bin" 30
    rules "archive_big | $src | $DRIVE/Big | 8 | 2"
    run quindle relocate-now
    [[ $output == *"files over 2 MB untouched for 8 days"* ]]
    [ -f "$DRIVE/Big/big.bin" ] && [ -f "$src/small.bin" ]
}

@test "rollback --yes restores the last batch only, and says deletes stay deleted" {
    local src="$HOME/Docs" odd=$'tab\there\nnew line é'
    old "$src/first" 30
    rules "archive_old | $src | $DRIVE/A | 7"
    quindle relocate-now
    old "$src/$odd/second" 30
    old "$src/third" 30
    old "$HOME/Tmp/gone" 30
    rules "archive_old | $src | $DRIVE/A | 7" "delete_old | $HOME/Tmp | - | 7"
    quindle relocate-now

    run quindle rollback
    [ "$status" -ne 0 ]
    [[ $output == *"--yes"* ]]
    [ -f "$DRIVE/A/third" ]

    echo occupied >"$src/third"
    run quindle rollback --yes
    [ "$status" -eq 1 ]
    [ -f "$src/$odd/second" ] && [ ! -e "$DRIVE/A/$odd/second" ]
    [ "$(cat "$src/third")" = occupied ] && [ -f "$DRIVE/A/third" ]
    [ -f "$DRIVE/A/first" ] && [ ! -e "$src/first" ]
    [[ $output == *"Could not restore $src/third: something else is there now"* ]]
    [[ $output == *"The 1 file deleted in that batch cannot be brought back"* ]]

    # A second rollback retries only what is still on the drive.
    rm "$src/third"
    run quindle rollback --yes
    [ "$status" -eq 0 ]
    [ "${#lines[@]}" -eq 4 ]
    [ -f "$src/third" ] && [ -f "$DRIVE/A/first" ]
    run quindle rollback --yes
    [[ $output == *"already rolled back"* ]]
    [ "$(cat "$STATE/service/saved-bytes")" -eq "$(stat -c %s "$DRIVE/A/first")" ]
}

@test "a move to another filesystem is a verified copy; stopping it keeps the original" {
    [[ -d /dev/shm && -w /dev/shm ]] || skip "no /dev/shm"
    SHM=$(mktemp -d /dev/shm/quindle-test.XXXXXX)
    [ "$(stat -c %d "$SHM")" != "$(stat -c %d "$HOME")" ] || skip "/dev/shm is on the same filesystem"
    install_config "$SHM"
    NVMe=$SHM bash "$QDIR/2-prep-nvme.sh" --auto >/dev/null
    old "$HOME/Docs/report.pdf" 30 contents
    rules "archive_old | $HOME/Docs | $SHM/Docs | 7"
    quindle relocate-now
    [ "$(cat "$SHM/Docs/report.pdf")" = contents ] && [ ! -e "$HOME/Docs/report.pdf" ]
    [ "$(stat -c %Y "$SHM/Docs/report.pdf")" -lt "$(date -d '-29 days' +%s)" ]
    quindle rollback --yes
    [ "$(cat "$HOME/Docs/report.pdf")" = contents ] && [ ! -e "$SHM/Docs/report.pdf" ]

    # The caller's time limit ends a pass with SIGTERM in the middle of a copy.
    fake_bin rsync 'echo $$ >"$BATS_TEST_TMPDIR/copying"; exec sleep 600'
    bash "$QDIR/quindle.sh" relocate-now >"$BATS_TEST_TMPDIR/out" 2>&1 3>&- &
    local pid=$! rc=0
    wait_for 10 test -s "$BATS_TEST_TMPDIR/copying"
    kill -TERM "$pid"
    wait "$pid" || rc=$?
    [ "$rc" -eq 1 ]
    grep -q "stopped before it finished" "$BATS_TEST_TMPDIR/out"
    [ -f "$HOME/Docs/report.pdf" ] && [ ! -e "$SHM/Docs/report.pdf" ]
    run ! kill -0 "$(cat "$BATS_TEST_TMPDIR/copying")"
    [ "$(grep -c . "$LOG")" -eq 2 ]
}

@test "delete_old honours DISABLE_DELETE and its floor, and runs without the drive" {
    old "$HOME/Tmp/ancient" 60
    old "$HOME/Tmp/older" 40
    rules "delete_old | $HOME/Tmp | | 7"
    rm -rf "$DRIVE"
    conf_add DISABLE_DELETE=1
    run quindle relocate-now
    [ "$status" -eq 0 ]
    [[ $output == *"deleting is turned off"* ]]
    [ -f "$HOME/Tmp/ancient" ]

    conf_add DISABLE_DELETE=0 MIN_DELETE_DAYS=50
    run quindle relocate-now
    [ "$status" -eq 0 ]
    [ ! -e "$HOME/Tmp/ancient" ] && [ -f "$HOME/Tmp/older" ]
    [ "$(logcol action)" = delete_old ] && [ "$(logcol to)" = - ]
}

@test "app_cache_clean clears only old files in caches inside the safe folders" {
    local c="$HOME/.cache/app"
    old "$c/x/old" 30
    old "$c/fresh" 1
    old "$HOME/Documents/letter" 30
    ln -s "$HOME/Documents" "$HOME/.cache/sneaky"
    rules "app_cache_clean | | | 0"
    conf_add 'APP_CACHE_SAFE_DIRS=("$HOME/.cache")' \
        'APP_CACHE_PATHS=("$HOME/.cache/app" "$HOME/.cache/../Documents" "$HOME/.cache/sneaky" "$HOME/.cache")'
    run quindle relocate-now
    [ "$status" -eq 1 ]
    [ ! -e "$c/x/old" ] && [ -d "$c/x" ] && [ -f "$c/fresh" ]
    [ -f "$HOME/Documents/letter" ]
    [ "$(grep -c '^Refused to clean' <<<"$output")" -eq 3 ]
    [ "$(logcol action)" = app_cache_clean ]
}

@test "relocate-now refuses while paused, without its drive, or while another pass runs" {
    old "$HOME/Docs/f" 30
    rules "archive_old | $HOME/Docs | $DRIVE/A | 7"
    quindle pause >/dev/null
    run quindle relocate-now
    [ "$status" -eq 1 ]
    [[ $output == *paused* ]]
    quindle resume >/dev/null

    local fd
    exec {fd}>>"$STATE/service/pass.lock"
    flock -n "$fd"
    run quindle relocate-now
    exec {fd}>&-
    [ "$status" -eq 1 ]
    [[ $output == *"already running"* ]]

    rm "$DRIVE/QNDL-Test-Box/.tarnel-managed"
    run quindle relocate-now
    [ "$status" -eq 1 ]
    [[ $output == *"not the prepared NVMe"* ]]
    rm -rf "$DRIVE"
    run quindle relocate-now
    [ "$status" -eq 1 ]
    [[ $output == *"not mounted"* ]]
    run quindle dry-run
    [ "$status" -eq 0 ]
    [[ $output == *"a real pass would refuse"* ]]
    [ -f "$HOME/Docs/f" ] && [ ! -e "$LOG" ]

    rm "$QDIR/quindle.conf"
    run quindle relocate-now
    [ "$status" -eq 0 ]
    [[ ${lines[-1]} == "No rules are configured"* ]]
}

@test "remount finds the drive by its remembered UUID and mounts it with udisksctl" {
    run quindle remount
    [ "$status" -eq 0 ]
    [[ $output == *"already mounted"* ]]

    fake_fs_uuid 0a1b2c3d-1111-2222-3333-444455556666
    NVMe=$DRIVE bash "$QDIR/2-prep-nvme.sh" --auto >/dev/null
    tick
    # Unplugging takes the drive away; mounting brings it back at MOUNT_AT.
    export UNPLUGGED="$BATS_TEST_TMPDIR/unplugged"
    mv "$DRIVE" "$UNPLUGGED"
    fake_bin lsblk 'printf "%s\n" "/dev/sdz  " "/dev/sdz1 0A1B2C3D-1111-2222-3333-444455556666 "'
    fake_logged udisksctl 'mv "$UNPLUGGED" "$MOUNT_AT"; echo "Mounted $3 at $MOUNT_AT"'
    MOUNT_AT=$DRIVE run quindle remount
    [ "$status" -eq 0 ]
    [ "$(cat "$CALLS")" = "udisksctl mount -b /dev/sdz1" ]
    [[ ${lines[0]} == "Mounted /dev/sdz1 at $DRIVE" ]]
    [[ ${lines[-1]} == "The NVMe is mounted at $DRIVE." ]]

    mv "$DRIVE" "$UNPLUGGED"
    MOUNT_AT="$BATS_TEST_TMPDIR/elsewhere" run quindle remount
    [ "$status" -eq 1 ]
    [[ ${lines[-1]} == "/dev/sdz1 was mounted, but not at $DRIVE; choose its path in Choose Drive." ]]
    fake_bin lsblk 'printf "%s\n" "/dev/sdz1 0A1B2C3D-1111-2222-3333-444455556666 /mnt/x"'
    run quindle remount
    [[ $output == *"mounted at /mnt/x, not at $DRIVE"* ]]
    fake_bin lsblk 'true'
    fake_bin blkid 'exit 2'
    run quindle remount
    [ "$status" -eq 1 ]
    [[ $output == *"No connected drive"* ]]
}

@test "remount without udisksctl mounts by hand only as root" {
    PATH=${PATH#"$FAKEBIN:"} command -v udisksctl >/dev/null && skip "this machine has udisksctl"
    ((EUID == 0)) || skip "needs root"
    mkdir -p "$STATE/service"
    echo 0A1B2C3D >"$STATE/service/nvme-uuid"
    rm -rf "$DRIVE"
    fake_bin lsblk 'echo "/dev/sdz1 0a1b2c3d "'
    fake_logged mount 'mkdir -p "$3"'
    run quindle remount
    [ "$status" -eq 0 ]
    [ "$(cat "$CALLS")" = "mount -- /dev/sdz1 $DRIVE" ]
}

@test "eject pauses, unmounts and powers off, or names what keeps the drive busy" {
    run quindle eject-nvme
    [ "$status" -eq 0 ]
    [[ $output == *"nothing to unmount"* ]]
    [ -e "$STATE/paused" ]
    jstatus .paused

    export FAKE_FS_SOURCE=/dev/sdz1 FAKE_MP=$DRIVE
    fake_findmnt
    fake_bin mountpoint '[[ ${!#} == "$FAKE_MP" ]]'
    fake_logged udisksctl 'echo "Unmounted $3."'
    run quindle eject-nvme
    [ "$status" -eq 0 ]
    [ "$(cat "$CALLS")" = $'udisksctl unmount -b /dev/sdz1\nudisksctl power-off -b /dev/sdz1' ]
    [ "${lines[1]}" = "Unmounted /dev/sdz1." ]
    [[ ${lines[-1]} == *"powered off"* ]]

    (cd "$DRIVE/QNDL-Test-Box" && exec sleep 600) &
    BLOCKER=$!
    wait_for 5 test "$(readlink "/proc/$BLOCKER/cwd")" = "$DRIVE/QNDL-Test-Box"
    fake_logged udisksctl 'echo "Error unmounting $3: target is busy" >&2; exit 1'
    fake_bin fuser 'exit 1'
    run quindle eject-nvme
    [ "$status" -eq 1 ]
    [[ $output == *"Could not unmount $DRIVE: Error unmounting /dev/sdz1: target is busy"* ]]
    [[ $output == *"process $BLOCKER (sleep)"* ]]
}

@test "show-in-finder opens the drive detached, or names it when no display is there" {
    fake_logged xdg-open ''
    run quindle show-in-finder
    [ "$status" -eq 0 ]
    [ "$output" = "Opened $DRIVE in the file manager." ]
    wait_for 5 test -s "$CALLS"
    [ "$(cat "$CALLS")" = "xdg-open $DRIVE" ]

    rm "$CALLS"
    DISPLAY="" run quindle show-in-finder
    [ "$status" -eq 1 ]
    [[ $output == *"no file manager was opened; the NVMe is at $DRIVE."* ]]
    [ ! -e "$CALLS" ]
}
