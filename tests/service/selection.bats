#!/usr/bin/env bats
# Drive selection: list-drives, assess, benchmark and select-drive.

load helpers

setup() {
    setup_service
}

# The value of NVMe as bash reads the config.
sourced_nvme() {
    bash -c 'source "$1" >/dev/null 2>&1; printf "%s" "$NVMe"' _ "$QDIR/quindle.conf"
}

# The config without its NVMe assignment lines.
conf_without_nvme() {
    grep -v -E '^[[:space:]]*(export )?NVMe=' "$QDIR/quindle.conf" || true
}

@test "list-drives reports the spare folder with every key typed" {
    run quindle list-drives
    [ "$status" -eq 0 ]
    echo "$output" | jq -e --arg p "$DRIVE" '
        length == 1 and (.[0] | keys_unsorted == ["name","path","filesystem","protocol","removable",
            "location","device","uuid","free_mb","total_mb","is_current","has_marker"])
        and (.[0] | .name == "NVMe" and .path == $p and .is_current and (.has_marker | not)
            and (.free_mb | type == "number") and .total_mb > 0 and .location == "Internal")'
    NVMe=$DRIVE bash "$QDIR/2-prep-nvme.sh" --auto
    quindle list-drives | jq -e '.[0].has_marker'
}

@test "list-drives keeps external and removable mounts and drops the rest" {
    export QUINDLE_VOLUMES_ROOT="$BATS_TEST_TMPDIR/media"
    local vr=$QUINDLE_VOLUMES_ROOT mnt="$BATS_TEST_TMPDIR/mnt"
    mkdir -p "$vr/USB Stick" "$vr/.hidden" "$vr/Time Machine Backups" "$vr/old.sparsebundle" \
        "$vr/Home Twin" "$mnt/card" "$mnt/fixed"
    local home_dev
    home_dev=$(findmnt -no SOURCE --target "$HOME")
    export FAKE_MOUNTS="$BATS_TEST_TMPDIR/mounts"
    {
        echo "/proc proc proc "
        printf '%s\n' "${vr// /\\x20}/USB\\x20Stick /dev/sdz1 exfat 1234-ABCD"
        echo "$vr/.hidden /dev/sdz2 ext4 u2"
        printf '%s\n' "$vr/Time\\x20Machine\\x20Backups /dev/sdz3 ext4 u3"
        echo "$vr/old.sparsebundle /dev/sdz4 ext4 u4"
        printf '%s\n' "$vr/Home\\x20Twin $home_dev ext4 "
        echo "$mnt/card /dev/mmcblk9p1 vfat 00000000-0000"
        echo "$mnt/fixed /dev/sdy1 ext4 u5"
    } >"$FAKE_MOUNTS"
    fake_findmnt
    fake_lsblk
    local d=$FAKE_LSBLK_DIR
    echo "sdz1 sdz  1 1" >"$d/sdz1"
    echo "sdz  usb 1 1" >"$d/sdz"
    echo "mmcblk9p1 mmcblk9  0 1" >"$d/mmcblk9p1"
    echo "mmcblk9  mmc 0 1" >"$d/mmcblk9"
    echo "sdy1 sdy  0 0" >"$d/sdy1"
    echo "sdy  sata 0 0" >"$d/sdy"

    run quindle list-drives
    [ "$status" -eq 0 ]
    echo "$output" | jq -e --arg vr "$vr" '
        map(.name) == ["USB Stick", "card", "NVMe"]
        and (.[0] | .path == ($vr + "/USB Stick") and .filesystem == "exfat" and .protocol == "usb"
            and .removable == "Removable" and .location == "External" and .device == "/dev/sdz1"
            and .uuid == "1234-ABCD" and (.is_current | not))
        and (.[1] | .protocol == "mmc" and .removable == "Fixed" and .location == "External" and .uuid == "")
        and ([.[] | select(.is_current)] | length == 1)'
}

@test "assess blocks what cannot hold moved data" {
    run quindle assess "$DRIVE"
    [ "$status" -eq 0 ]
    echo "$output" | jq -e '.verdict == "block" and (.reasons[0] | test("internal disk")) and .warnings == []'

    run quindle assess "$BATS_TEST_TMPDIR/absent"
    echo "$output" | jq -e '.verdict == "block" and (.reasons | length == 1)'

    export FAKE_FS_TARGET=$DRIVE FAKE_FS_SOURCE=/dev/sdz1 FAKE_FS_FSTYPE=ext4 FAKE_FS_OPTIONS=ro,noatime
    fake_findmnt
    run quindle assess "$DRIVE"
    echo "$output" | jq -e '.verdict == "block" and (.reasons[0] | test("read-only"))'

    export FAKE_FS_OPTIONS=rw FAKE_FS_FSTYPE=tmpfs
    run quindle assess "$DRIVE"
    echo "$output" | jq -e '.verdict == "block" and (.reasons[0] | test("memory"))'
}

@test "assess warns about FAT-family filesystems and USB 2 links" {
    export FAKE_FS_TARGET=$DRIVE FAKE_FS_SOURCE=/dev/sdz1 FAKE_FS_FSTYPE=exfat FAKE_FS_OPTIONS=rw
    fake_findmnt
    fake_lsblk
    echo "sdz1 sdz  0 1" >"$FAKE_LSBLK_DIR/sdz1"
    echo "sdz  usb 0 1" >"$FAKE_LSBLK_DIR/sdz"
    export QUINDLE_SYSFS="$BATS_TEST_TMPDIR/sys"
    local usb="$QUINDLE_SYSFS/devices/pci0/usb2/2-1"
    mkdir -p "$usb/2-1:1.0/host6/block/sdz" "$QUINDLE_SYSFS/block"
    ln -s "$usb/2-1:1.0/host6/block/sdz" "$QUINDLE_SYSFS/block/sdz"
    echo 5000 >"$usb/speed"

    run quindle assess "$DRIVE"
    [ "$status" -eq 0 ]
    echo "$output" | jq -e '.verdict == "warn" and .reasons == [] and (.warnings | length == 1)
        and (.warnings[0] | test("symbolic links")) and .filesystem == "exfat" and .protocol == "usb"
        and .location == "External" and .removable == "Fixed"'

    export FAKE_FS_FSTYPE=ext4
    quindle assess "$DRIVE" | jq -e '.verdict == "ok" and .warnings == [] and .reasons == []'

    echo 480 >"$usb/speed"
    quindle assess "$DRIVE" | jq -e '.verdict == "warn" and (.warnings[0] | test("USB 2"))'
}

@test "benchmark measures a small file and leaves nothing behind" {
    QUINDLE_BENCH_MB=2 run quindle benchmark "$DRIVE"
    [ "$status" -eq 0 ]
    echo "$output" | jq -e '.size_mb == 2
        and ([.write_mbps, .read_mbps, .min_read_mbps, .min_write_mbps, .warn_read_mbps,
              .warn_write_mbps] | all(type == "number" and . == floor and . >= 0))
        and (.verdict | IN("ok", "warn", "block")) and (.notes | type == "array")'
    [ -z "$(ls -A "$DRIVE")" ]

    run quindle benchmark "$BATS_TEST_TMPDIR/absent"
    [ "$status" -ne 0 ]
    [[ $output == *"not a writable folder"* ]]
}

@test "benchmark falls back when the filesystem refuses direct I/O" {
    local real
    real=$(command -v dd)
    fake_bin dd "[[ \$* == *flag=direct* ]] && exit 1
exec $real \"\$@\""
    QUINDLE_BENCH_MB=2 run quindle benchmark "$DRIVE"
    [ "$status" -eq 0 ]
    echo "$output" | jq -e '.read_mbps > 0 and (.notes | any(test("direct I/O")))'
    [ -z "$(ls -A "$DRIVE")" ]
}

@test "an interrupted benchmark removes its test file" {
    local real
    real=$(command -v dd)
    # The write completes, then dd hangs as on a stalled drive.
    fake_bin dd "if [[ \$* == *of=*speedtest* ]]; then $real \"\$@\"; exec sleep 60; fi
exec $real \"\$@\""
    QUINDLE_BENCH_MB=1 bash "$QDIR/quindle.sh" benchmark "$DRIVE" 3>&- >/dev/null 2>&1 &
    local pid=$!
    wait_for 10 compgen -G "$DRIVE/.quindle-speedtest.*"
    kill -TERM "$pid"
    wait_for 5 bash -c "! kill -0 $pid 2>/dev/null"
    [ -z "$(ls -A "$DRIVE")" ]
}

@test "select-drive writes paths that bash reads back exactly" {
    local before path
    before=$(conf_without_nvme)
    # shellcheck disable=SC1003,SC1112 # the backslash and the curly quote are the point
    for path in "/media/u/My Drive" '/media/u/$HOME' '/media/u/a`id`b' "/media/u/it's \$5" \
        '/media/u/say "hi"' '/media/u/back\slash\' '/media/u/hash # x' '/media/u/é ’ ✓' \
        '/media/u/*glob?[a]' "/media/u/tab"$'\t'"here" '/media/u/!bang'; do
        run quindle select-drive "$path"
        [ "$status" -eq 0 ]
        [ "${#lines[@]}" -eq 1 ]
        [ "$(sourced_nvme)" = "$path" ] || {
            echo "wrote $(grep '^NVMe=' "$QDIR/quindle.conf") for $path" >&2
            return 1
        }
        [ "$(conf_without_nvme)" = "$before" ]
    done
    [ "$(grep -c '^NVMe=' "$QDIR/quindle.conf")" -eq 1 ]
    [ -z "$(find "$QDIR" -name '*.tmp.*')" ]
}

@test "select-drive rewrites only the first assignment and keeps every other line" {
    printf '# top\n  export NVMe="/old" # note\nNVMe=(not a scalar)\nNVMe=/second\n\nRULES=()' >"$QDIR/quindle.conf"
    quindle select-drive /media/u/New
    [ "$(cat "$QDIR/quindle.conf")" = "$(printf '# top\nNVMe="/media/u/New"\nNVMe=(not a scalar)\nNVMe=/second\n\nRULES=()')" ]
    [ -n "$(tail -c1 "$QDIR/quindle.conf")" ]
}

@test "select-drive appends a missing assignment and keeps the final line feed as it was" {
    printf 'A=1\n' >"$QDIR/quindle.conf"
    quindle select-drive /x
    [ "$(od -An -c "$QDIR/quindle.conf" | tr -d ' \n')" = 'A=1\nNVMe="/x"\n' ]

    printf 'A=1' >"$QDIR/quindle.conf"
    quindle select-drive /y
    [ "$(od -An -c "$QDIR/quindle.conf" | tr -d ' \n')" = 'A=1\nNVMe="/y"' ]

    rm "$QDIR/quindle.conf"
    quindle select-drive /z
    [ "$(sourced_nvme)" = /z ]
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
