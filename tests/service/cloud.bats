#!/usr/bin/env bats
# Cloud folders on a real rclone mount of a local folder: listing, what
# their cache holds, and dropping the clean copies without losing a byte.

load helpers

setup() {
    setup_service
    command -v rclone >/dev/null || skip "rclone is not installed"
    if [[ ! -e /dev/fuse ]] || ! command -v fusermount3 >/dev/null; then
        skip "FUSE is not available here (no /dev/fuse or fusermount3)"
    fi
    REMOTE="$BATS_TEST_TMPDIR/remote"
    MNT="$BATS_TEST_TMPDIR/my cloud"
    CACHE="$BATS_TEST_TMPDIR/rclone cache"
    mkdir -p "$REMOTE/sub" "$MNT"
    local f
    for f in a b sub/c open; do head -c 300000 /dev/urandom >"$REMOTE/$f"; done
    mount_cloud "$MNT" full
    DATA="$CACHE/vfs/local/${REMOTE#/}"
}

teardown() {
    if [[ -n ${READER:-} ]]; then kill "$READER" 2>/dev/null || true; fi
    local mp
    for mp in "${MOUNTS[@]}"; do fusermount3 -uz "$mp" 2>/dev/null || true; done
}

# mount_cloud MOUNT_POINT MODE: the remote folder served by rclone, changes
# held back for an hour so that a written file stays unsynced.
mount_cloud() {
    (cd "$BATS_TEST_TMPDIR" && rclone mount "$REMOTE" "$1" --vfs-cache-mode "$2" --cache-dir "${CACHE#"$BATS_TEST_TMPDIR"/}" \
        --vfs-write-back 1h --dir-cache-time 1s --daemon --daemon-wait 10s 2>/dev/null) ||
        skip "rclone mount fails here, so FUSE cannot be used"
    MOUNTS+=("$1")
    wait_for 10 mountpoint -q "$1"
}

@test "cloud roots are this user's rclone mounts, escapes decoded; usage reads the cache, never the mount" {
    expect_run 0 "" quindle list-cloud-roots
    grep -qxF "$REMOTE"$'\t'"$MNT" <<<"$output"
    local table="$BATS_TEST_TMPDIR/mountinfo"
    {
        printf '%s\n' "50 1 0:51 / /home/x/G\\040Drive rw - fuse.rclone gdrive:Photos,\\011Work rw,user_id=$EUID,group_id=0"
        echo "51 1 0:52 / /home/y/Box rw - fuse.rclone box: rw,user_id=4242,group_id=0"
        echo "52 1 0:53 / /mnt/disk rw - ext4 /dev/sda1 rw"
    } >"$table"
    QUINDLE_MOUNTINFO=$table expect_run 0 "" quindle list-cloud-roots
    [ "$output" = $'gdrive:Photos  Work\t/home/x/G Drive' ]

    fake_bin du 'for a; do [[ $a == "$MNT"* ]] && { echo "du ran on the mount" >&2; exit 9; }; done; exec '"$(real_bin du)"' "$@"'
    export MNT
    expect_run 0 "" quindle cloud-usage "$MNT"
    local empty=${output%%$'\t'*}
    cat "$MNT/a" "$MNT/b" >/dev/null
    expect_run 0 "" quindle cloud-usage "$MNT/"
    [ "$output" = "$(du -sk "$DATA" | cut -f1)"$'\t'"$MNT" ] && ((${output%%$'\t'*} >= empty + 580))
    expect_run 1 "is not a cloud folder" quindle cloud-usage "$HOME"
}

@test "eviction drops clean closed copies, keeps the changed and the open one, and all read back the same" {
    local f before
    for f in a b sub/c open; do cat "$MNT/$f" >/dev/null; done
    printf 'written here' >"$MNT/new"
    # A reader holding the file open, with rclone's copy open behind it.
    (exec 3<"$MNT/open" && head -c 10 <&3 >/dev/null && : >"$BATS_TEST_TMPDIR/reading" && exec sleep 600) &
    READER=$!
    wait_for 10 test -e "$BATS_TEST_TMPDIR/reading"
    before=$(quindle cloud-usage "$MNT" | cut -f1)
    expect_run 0 "Evicted 3 files" quindle optimize-icloud "$MNT"
    [[ $output == *"Kept $MNT/new: it holds changes not yet uploaded."* && $output == *"Kept $MNT/open: it is open."* ]]
    [[ ! -e $DATA/a && ! -e $DATA/b && ! -e $DATA/sub/c && -e $DATA/open && -e $DATA/new ]]
    (($(quindle cloud-usage "$MNT" | cut -f1) < before - 800))
    kill "$READER"
    READER=""
    for f in a b sub/c open; do cmp "$REMOTE/$f" "$MNT/$f"; done
    [ "$(cat "$MNT/new")" = "written here" ]
    [ ! -e "$REMOTE/new" ]
}

@test "a cloud folder is left alone when it is not whole, not served, or keeps no copies" {
    cat "$MNT/a" >/dev/null
    expect_run 1 "$MNT/sub lies inside the cloud folder $MNT" quindle optimize-icloud "$MNT/sub"
    expect_run 1 "is not a cloud folder" quindle optimize-icloud "$HOME"
    local table="$BATS_TEST_TMPDIR/mountinfo"
    echo "50 1 0:51 / /nowhere rw - fuse.rclone gone: rw,user_id=$EUID,group_id=0" >"$table"
    QUINDLE_MOUNTINFO=$table expect_run 1 "No rclone process of yours serves the cloud folder /nowhere" \
        quindle optimize-icloud /nowhere
    local plain="$BATS_TEST_TMPDIR/plain"
    mkdir -p "$plain"
    mount_cloud "$plain" off
    expect_run 1 "with --vfs-cache-mode off" quindle optimize-icloud "$plain"
    [ -e "$DATA/a" ]
}

@test "free-space evicts the cloud folders chosen in Settings, and only those" {
    cat "$MNT/a" >/dev/null
    conf_add "OPTIMISE_CLOUD_PROVIDERS=\"other, $REMOTE\""
    expect_run 0 "Evicted 1 file" quindle free-space
    [ ! -e "$DATA/a" ]
    cat "$MNT/a" >/dev/null
    conf_add 'OPTIMISE_CLOUD_PROVIDERS=other' INCLUDE_CLOUD_EVICT=1
    expect_run 0 "" quindle free-space
    [ -e "$DATA/a" ]
}
