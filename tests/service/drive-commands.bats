#!/usr/bin/env bats
# eject-nvme, remount and show-in-finder: what they hand to udisksctl and the
# desktop's opener, and what they refuse to touch.

load helpers

setup() {
    setup_service
    prep >/dev/null
    export CALLS="$BATS_TEST_TMPDIR/calls" DISPLAY=:99
    unset WAYLAND_DISPLAY
    BLOCKER=""
}

teardown() {
    if [[ -n $BLOCKER ]]; then kill "$BLOCKER" 2>/dev/null || true; fi
    if [[ -n ${OPENED:-} ]]; then kill "$(cat "$OPENED")" 2>/dev/null || true; fi
}

# The drive mounted from DEVICE (MAJ:MIN) as far as findmnt tells; every
# other question goes to the real one.
mounted_from() {
    fake_bin findmnt 'if [[ $* == *"--mountpoint '"$DRIVE"'" ]]; then
    [[ $* == *SOURCE,MAJ:MIN* ]] && echo "'"$1 $2"'" || echo "'"$DRIVE"'"
    exit 0
fi
exec '"$(real_bin findmnt)"' "$@"'
}

# A disk sdz (hot-plugged on USB) with partition sdz1 and an unlocked LUKS
# mapping on sdz2.
fake_disks() {
    fake_lsblk
    mkdir -p "$FAKE_LSBLK_DIR/mapper"
    echo "sdz  usb 0 ${1:-1} disk" >"$FAKE_LSBLK_DIR/sdz"
    echo "sdz1 sdz usb 0 ${1:-1} part" >"$FAKE_LSBLK_DIR/sdz1"
    echo "sdz2 sdz usb 0 ${1:-1} part" >"$FAKE_LSBLK_DIR/sdz2"
    echo "luks-1 sdz2  0 0 crypt" >"$FAKE_LSBLK_DIR/mapper/luks-1"
}

# udisksctl that records each call and answers with BODY.
recording_udisks() {
    fake_bin udisksctl 'echo "udisksctl $*" >>"$CALLS"
'"${1:-}"
}

# A PATH with every program but udisksctl.
without_udisks() {
    local dir="$BATS_TEST_TMPDIR/no-udisks"
    mkdir -p "$dir"
    cp -rs /usr/bin/. "$dir/"
    rm -f "$dir/udisksctl"
    PATH="$FAKEBIN:$dir" "$@"
}

@test "a spare folder, or the system's disk behind a bind mount, is never ejected, and nothing is called" {
    recording_udisks
    expect_run 1 "$DRIVE is not a mount point, so there is no drive to eject." quindle eject-nvme
    local root
    read -r root _ < <(findmnt -rno SOURCE,MAJ:MIN --target /)
    [[ $root == /dev/* ]] || skip "the system's filesystem is not on a block device here"
    mounted_from "$root[/srv/nvme]" "$(findmnt -no MAJ:MIN --target /)"
    expect_run 1 "The filesystem at $DRIVE is the one that holds the system, so nothing was ejected." quindle eject-nvme
    [[ ! -e $CALLS && ! -e "$STATE/paused" ]]
}

@test "eject pauses, unmounts, locks an encrypted drive and powers off only a removable one" {
    fake_disks
    mounted_from /dev/sdz1 8:17
    recording_udisks 'echo "Unmounted $3."'
    expect_run 0 "The NVMe is unmounted and powered off; it can be disconnected now." quindle eject-nvme
    [[ $output == *"Unmounted /dev/sdz1."* && -e "$STATE/paused" ]]
    [ "$(cat "$CALLS")" = $'udisksctl unmount -b /dev/sdz1\nudisksctl power-off -b /dev/sdz' ]

    rm "$CALLS"
    mounted_from /dev/mapper/luks-1 254:3
    expect_run 0 "The encrypted drive /dev/sdz2 is locked." quindle eject-nvme
    [ "$(cat "$CALLS")" = $'udisksctl unmount -b /dev/mapper/luks-1\nudisksctl lock -b /dev/sdz2\nudisksctl power-off -b /dev/sdz' ]

    rm "$CALLS"
    fake_disks 0
    mounted_from /dev/sdz1 8:17
    expect_run 0 "its drive is fixed in this computer, so it stays powered." quindle eject-nvme
    [ "$(cat "$CALLS")" = "udisksctl unmount -b /dev/sdz1" ]
}

@test "a busy drive: each holder is named and left running; udisksctl's own words are passed on" {
    fake_disks
    mounted_from /dev/sdz1 8:17
    BLOCKER=$(cd "$DRIVE/QNDL-Test-Box" && { sleep 600 >/dev/null 2>&1 3>&- & echo $!; })
    wait_for 5 grep -qx sleep "/proc/$BLOCKER/comm"
    recording_udisks 'echo "Error unmounting $3: GDBus.Error:org.freedesktop.UDisks2.Error.DeviceBusy: target is busy" >&2; exit 1'
    expect_run 1 "  sleep (process $BLOCKER)" quindle eject-nvme
    [[ $output == *"Could not unmount $DRIVE: Error unmounting /dev/sdz1: GDBus.Error:org.freedesktop.UDisks2.Error.DeviceBusy: target is busy"* ]]
    kill -0 "$BLOCKER"
    [ "$(cat "$CALLS")" = "udisksctl unmount -b /dev/sdz1" ]

    recording_udisks 'echo "Error unmounting $3: GDBus.Error:org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain: Not authorized to perform operation" >&2; exit 1'
    expect_run 1 "Not authorized to perform operation" quindle eject-nvme
}

@test "eject asks the dependent tools holding the drive to quit and leaves every other program running" {
    fake_disks
    mounted_from /dev/sdz1 8:17
    cp "$(command -v sleep)" "$BATS_TEST_TMPDIR/podman"
    BLOCKER=$(cd "$DRIVE/QNDL-Test-Box" && { sleep 600 >/dev/null 2>&1 3>&- & echo $!; })
    local tool
    tool=$(cd "$DRIVE/QNDL-Test-Box" && { "$BATS_TEST_TMPDIR/podman" 600 >/dev/null 2>&1 3>&- & echo $!; })
    wait_for 5 grep -qx podman "/proc/$tool/comm"
    recording_udisks 'echo "Unmounted $3."'
    expect_run 0 "Asked podman (process $tool) to quit." quindle eject-nvme
    [[ $output != *"sleep (process"* ]]
    ! kill -0 "$tool" 2>/dev/null
    kill -0 "$BLOCKER"
}

@test "without udisksctl eject and remount say what to install; the real one without its daemon says so" {
    fake_disks
    mounted_from /dev/sdz1 8:17
    expect_run 1 "Ejecting the NVMe needs udisks2 (\`" without_udisks quindle eject-nvme
    [ ! -e "$STATE/paused" ]
    mkdir -p "$STATE/service"
    echo 0A1B2C3D-1111-2222-3333-444455556666 >"$STATE/service/nvme-uuid"
    rm "$FAKEBIN/findmnt"
    mv "$DRIVE" "$DRIVE.away"
    fake_bin lsblk 'printf "%s\n" "/dev/sdz  " "/dev/sdz1 0A1B2C3D-1111-2222-3333-444455556666 "'
    expect_run 1 "Mounting the NVMe needs udisks2 (\`" without_udisks quindle remount

    command -v udisksctl >/dev/null || skip "udisksctl is not installed"
    mv "$DRIVE.away" "$DRIVE"
    fake_disks
    mounted_from /dev/sdz1 8:17
    expect_run 1 "Could not unmount $DRIVE: Error connecting to the udisks daemon" quindle eject-nvme
}

@test "remount finds the drive by its remembered UUID and mounts it with udisksctl" {
    expect_run 0 "already mounted" quindle remount
    mkdir -p "$STATE/service"
    echo 0A1B2C3D-1111-2222-3333-444455556666 >"$STATE/service/nvme-uuid"
    export UNPLUGGED="$BATS_TEST_TMPDIR/unplugged" DRIVE
    mv "$DRIVE" "$UNPLUGGED"
    fake_bin lsblk 'printf "%s\n" "/dev/sdz  " "/dev/sdz1 0A1B2C3D-1111-2222-3333-444455556666 "'
    recording_udisks 'mv "$UNPLUGGED" "$DRIVE"; echo "Mounted $3 at $DRIVE"'
    expect_run 0 "The NVMe is mounted at $DRIVE." quindle remount
    [[ $output == *"Mounted /dev/sdz1 at $DRIVE"* && "$(cat "$CALLS")" == "udisksctl mount -b /dev/sdz1" ]]
}

@test "show-in-finder hands the drive to the desktop's opener and returns while the file manager stays open" {
    command -v xdg-open >/dev/null || skip "xdg-open is not installed"
    export OPENED="$BATS_TEST_TMPDIR/opened"
    local apps="$HOME/.local/share/applications"
    mkdir -p "$apps" "$HOME/.config"
    printf '#!/bin/sh\necho $$ >"%s"\necho "$@" >>"%s"\nexec sleep 600\n' "$OPENED" "$CALLS" >"$BATS_TEST_TMPDIR/files"
    chmod +x "$BATS_TEST_TMPDIR/files"
    printf '[Desktop Entry]\nType=Application\nName=Files\nExec=%s %%f\nMimeType=inode/directory;\n' \
        "$BATS_TEST_TMPDIR/files" >"$apps/files.desktop"
    printf '[Default Applications]\ninode/directory=files.desktop\n' >"$HOME/.config/mimeapps.list"
    expect_run 0 "Opened $DRIVE in the file manager." quindle show-in-finder
    wait_for 10 test -s "$CALLS"
    [ "$(cat "$CALLS")" = "$DRIVE" ]
    kill -0 "$(cat "$OPENED")"

    fake_bin xdg-open 'exit 4'
    expect_run 3 "The file manager could not be started (xdg-open ended with status 4)" quindle show-in-finder
    DISPLAY="" expect_run 1 "no file manager was opened; the NVMe is at $DRIVE." quindle show-in-finder
    conf_add NVME_REQUIRE_MOUNTPOINT=1
    expect_run 1 "The NVMe is not mounted at $DRIVE" quindle show-in-finder
}
