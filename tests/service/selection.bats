#!/usr/bin/env bats
# Drive selection: list-drives, assess, benchmark and select-drive.

load helpers

setup() { setup_service; }

# The value of NVMe as bash reads the config.
sourced_nvme() { bash -c 'source "$1" >/dev/null 2>&1; printf "%s" "$NVMe"' _ "$QDIR/quindle.conf"; }

# The config without its NVMe assignment lines.
conf_without_nvme() { grep -v -E '^[[:space:]]*(export )?NVMe=' "$QDIR/quindle.conf" || true; }

# The device /dev/NAME on DISK over TRAN, with lsblk's RM and HOTPLUG flags.
blockdev() {
    echo "$1 $2  $4 $5" >"$FAKE_LSBLK_DIR/$1"
    echo "$2  $3 $4 $5" >"$FAKE_LSBLK_DIR/$2"
}

@test "list-drives types every key and keeps only external mounts and the spare folder" {
    # A mount table of our own: whatever the host has mounted must not count.
    export QUINDLE_VOLUMES_ROOT="$BATS_TEST_TMPDIR/media" FAKE_MOUNTS="$BATS_TEST_TMPDIR/mounts"
    : >"$FAKE_MOUNTS"
    fake_findmnt
    fake_lsblk
    expect_run 0 "" quindle list-drives
    jq -e --arg p "$DRIVE" 'length == 1 and (.[0] | keys_unsorted == ["name", "path", "filesystem",
        "protocol", "removable", "location", "device", "uuid", "free_mb", "total_mb", "is_current", "has_marker"]
        and .name == "NVMe" and .path == $p and .is_current and (.has_marker | not)
        and (.free_mb | type == "number") and .total_mb > 0 and .location == "Internal")' <<<"$output"
    prep
    quindle list-drives | jq -e '.[0].has_marker'

    # Hidden, backup and home-disk volumes are dropped, and so are fixed
    # disks outside the volumes folder; removable ones anywhere are kept, and
    # whatever is mounted in the volumes folder.
    local vr=$QUINDLE_VOLUMES_ROOT
    printf '%s\n' "/proc proc proc " "${vr// /\\x20}/USB\\x20Stick /dev/sdz1 exfat 1234-ABCD" \
        "$vr/.hidden /dev/sdz2 ext4 u2" "$vr/Time\\x20Machine\\x20Backups /dev/sdz3 ext4 u3" \
        "$vr/home $(findmnt -no SOURCE --target "$HOME") ext4 " "$BATS_TEST_TMPDIR/fixed /dev/sdy1 ext4 u5" \
        "$BATS_TEST_TMPDIR/card /dev/mmcblk9p1 vfat 00000000-0000" "$vr/Share //nas/share cifs " >"$FAKE_MOUNTS"
    blockdev sdz1 sdz usb 1 1
    blockdev sdy1 sdy sata 0 0
    blockdev mmcblk9p1 mmcblk9 mmc 0 1
    # A share has no block device: nothing is known of where it lives.
    quindle list-drives | jq -e --arg vr "$vr" 'map(.name) == ["USB Stick", "card", "Share", "NVMe"]
        and (.[0] | .path == ($vr + "/USB Stick") and .filesystem == "exfat" and .protocol == "usb"
            and .removable == "Removable" and .location == "External" and .uuid == "1234-ABCD")
        and (.[1] | .protocol == "mmc" and .removable == "Fixed" and .location == "External" and .uuid == "")
        and (.[2] | .protocol == "Unknown" and .removable == "Unknown" and .location == "Unknown")'
}

@test "assess blocks what cannot hold moved data and warns about FAT and USB 2" {
    expect_run 0 "" quindle assess "$DRIVE"
    jq -e '.verdict == "block" and (.reasons[0] | test("internal disk")) and .warnings == []' <<<"$output"
    quindle assess "$BATS_TEST_TMPDIR/absent" | jq -e '.verdict == "block" and (.reasons | length == 1)'

    # The drive as a USB disk whose link speed sysfs reports.
    export FAKE_FS_TARGET=$DRIVE FAKE_FS_SOURCE=/dev/sdz1 QUINDLE_SYSFS="$BATS_TEST_TMPDIR/sys"
    fake_findmnt
    fake_lsblk
    blockdev sdz1 sdz usb 0 1
    local usb="$QUINDLE_SYSFS/devices/pci0/usb2/2-1" row speed verdict why
    mkdir -p "$usb/2-1:1.0/host6/block/sdz" "$QUINDLE_SYSFS/block"
    ln -s "$usb/2-1:1.0/host6/block/sdz" "$QUINDLE_SYSFS/block/sdz"
    for row in 'ext4 ro,noatime 5000 block read-only' 'tmpfs rw 5000 block memory' \
        'exfat rw 5000 warn symbolic links' 'ext4 rw 480 warn USB 2' 'ext4 rw 5000 ok'; do
        read -r FAKE_FS_FSTYPE FAKE_FS_OPTIONS speed verdict why <<<"$row"
        export FAKE_FS_FSTYPE FAKE_FS_OPTIONS
        echo "$speed" >"$usb/speed"
        quindle assess "$DRIVE" | jq -e --arg v "$verdict" --arg why "$why" '.verdict == $v
            and .protocol == "usb" and .location == "External" and .removable == "Fixed"
            and (.reasons + .warnings | if $why != "" then length == 1 and any(test($why)) else . == [] end)' ||
            { echo "$row: wrong" >&2; return 1; }
    done
}

@test "benchmark reports typed figures, copes without direct I/O and never leaves its test file" {
    QUINDLE_BENCH_MB=2 expect_run 0 "" quindle benchmark "$DRIVE"
    jq -e '.size_mb == 2
        and ([.write_mbps, .read_mbps, .min_read_mbps, .min_write_mbps, .warn_read_mbps,
              .warn_write_mbps] | all(type == "number" and . == floor and . >= 0))
        and (.verdict | IN("ok", "warn", "block")) and (.notes | type == "array")' <<<"$output"
    [ -z "$(ls -A "$DRIVE")" ]
    expect_run 1 "not a writable folder" quindle benchmark "$BATS_TEST_TMPDIR/absent"

    local dd
    dd=$(real_bin dd)
    fake_bin dd "[[ \$* == *flag=direct* ]] && exit 1; exec $dd \"\$@\""
    QUINDLE_BENCH_MB=2 quindle benchmark "$DRIVE" | jq -e '.read_mbps > 0 and (.notes | any(test("direct I/O")))'
    [ -z "$(ls -A "$DRIVE")" ]

    # The write completes, then dd hangs as on a stalled drive until SIGTERM.
    fake_bin dd "[[ \$* == *of=*speedtest* ]] && $dd \"\$@\" && exec sleep 60; exec $dd \"\$@\""
    QUINDLE_BENCH_MB=1 bash "$QDIR/quindle.sh" benchmark "$DRIVE" 3>&- >/dev/null 2>&1 &
    local pid=$!
    wait_for 10 compgen -G "$DRIVE/.quindle-speedtest.*"
    kill -TERM "$pid"
    wait_for 5 bash -c "! kill -0 $pid 2>/dev/null"
    [ -z "$(ls -A "$DRIVE")" ]
}

@test "select-drive writes paths that bash reads back exactly, touching no other line" {
    local before path
    before=$(conf_without_nvme)
    # shellcheck disable=SC1003,SC1112 # the backslash and the curly quote are the point
    for path in "/media/u/My Drive" '/media/u/$HOME' '/media/u/a`id`b' "/media/u/it's \$5" \
        '/media/u/say "hi"' '/media/u/back\slash\' '/media/u/hash # x' '/media/u/é ’ ✓' \
        '/media/u/*glob?[a]' "/media/u/tab"$'\t'"here" '/media/u/!bang'; do
        expect_run 0 "" quindle select-drive "$path"
        [ "${#lines[@]}" -eq 1 ]
        [ "$(sourced_nvme)" = "$path" ] || {
            echo "wrote $(grep '^NVMe=' "$QDIR/quindle.conf") for $path" >&2
            return 1
        }
        [ "$(conf_without_nvme)" = "$before" ]
    done
    [ "$(grep -c '^NVMe=' "$QDIR/quindle.conf")" -eq 1 ]

    # Only the first assignment is rewritten and a missing one is appended;
    # either way the file ends with a line feed.
    printf '# top\n  export NVMe="/old" # note\nNVMe=(not a scalar)\nNVMe=/second\n\nRULES=()' >"$QDIR/quindle.conf"
    quindle select-drive /media/u/New
    cmp "$QDIR/quindle.conf" <(printf '# top\nNVMe="/media/u/New"\nNVMe=(not a scalar)\nNVMe=/second\n\nRULES=()\n')
    local pair
    for pair in 'A=1\n|A=1\nNVMe="/x"\n' 'A=1|A=1\nNVMe="/x"\n' '|NVMe="/x"\n'; do
        printf "${pair%%|*}" >"$QDIR/quindle.conf"
        quindle select-drive /x
        cmp "$QDIR/quindle.conf" <(printf "${pair#*|}")
    done
    [ -z "$(find "$QDIR" -name '*.tmp.*')" ]
}

@test "a line appended by hand to the template or to select-drive's rewrite is read" {
    cp "$SERVICE_SRC/quindle.conf" "$QDIR/quindle.conf"
    echo 'LOW_SPACE_WARN_GB=41' >>"$QDIR/quindle.conf"
    quindle select-drive "$DRIVE"
    echo 'LOW_SPACE_CRITICAL_GB=9' >>"$QDIR/quindle.conf"
    tick
    jstatus --arg p "$DRIVE" '.nvme_path == $p and .low_space_warn_gb == 41 and .low_space_critical_gb == 9'
}

@test "select-drive refuses paths it cannot write safely and leaves the file alone" {
    cp "$QDIR/quindle.conf" "$BATS_TEST_TMPDIR/orig"
    local path
    for path in "/media/u/it's \"both\"" "/media/u/two"$'\n'"lines" "relative/path" ""; do
        run quindle select-drive "$path"
        [ "$status" -ne 0 ]
        cmp "$QDIR/quindle.conf" "$BATS_TEST_TMPDIR/orig"
    done
    [ -z "$(find "$QDIR" -name '*.tmp.*')" ]
}
