#!/usr/bin/env bats
# Drive preparation, the marker, nvme-info, validate, and the shared helpers.

load helpers

setup() {
    setup_service
}

prep() {
    NVMe=$DRIVE bash "$QDIR/2-prep-nvme.sh" --auto
}

marker() {
    echo "$DRIVE/QNDL-Test-Box/.tarnel-managed"
}

@test "machine names become folder names the way the application builds them" {
    # shellcheck source=../../service/lib-common.sh
    source "$SERVICE_SRC/lib-common.sh"
    local name want
    while IFS='|' read -r name want; do
        q_sanitise_machine "$name"
        [ "$REPLY" = "$want" ] || {
            echo "\"$name\" gave \"$REPLY\", expected \"$want\"" >&2
            return 1
        }
    done <<'EOF'
Office's MacBook Pro.local|Offices-MacBook-Pro
Ann’s "Box"|Anns-Box
 ' " ’ |Mac
|Mac
a  -  b|a-b
--edge--|edge
host.local.local|host.local
café lab|café-lab
EOF
}

@test "the display name comes from the pretty host name, else the host name" {
    unset QUINDLE_MACHINE_NAME
    # shellcheck disable=SC1112 # the curly apostrophe is part of the name
    fake_bin hostnamectl '[[ $1 == --pretty ]] && echo "Ann’s Laptop"'
    NVMe=$DRIVE bash "$QDIR/2-prep-nvme.sh" --auto
    # shellcheck disable=SC1112
    grep -qx 'host=Ann’s Laptop' "$DRIVE/QNDL-Anns-Laptop/.tarnel-managed"

    # Where no host name service answers (containers) the network name is used,
    # unless /etc/machine-info names the machine.
    [[ -e /etc/machine-info ]] && skip "this machine has /etc/machine-info"
    fake_bin hostnamectl 'echo "Failed to connect to bus" >&2; exit 1'
    fake_bin hostname 'echo plain-host'
    NVMe=$DRIVE bash "$QDIR/2-prep-nvme.sh" --auto
    [ -f "$DRIVE/QNDL-plain-host/.tarnel-managed" ]
}

@test "json_quote escapes every control character and keeps UTF-8" {
    # shellcheck source=../../service/lib-common.sh
    source "$SERVICE_SRC/lib-common.sh"
    local s="q\"b\\s/é✓" i c
    for ((i = 1; i < 32; i++)); do
        printf -v c '%b' "\\x$(printf %02x "$i")"
        s+="$c"
    done
    s+=$'\x7f end'
    json_quote "$s"
    printf '%s' "$REPLY" >"$BATS_TEST_TMPDIR/q.json"
    [ "$(jq -j . "$BATS_TEST_TMPDIR/q.json")" = "$s" ]
    [[ $REPLY == *'\t'*'\n'*'\u001f'* ]]
}

@test "prep writes the working folder and a marker that the tick accepts" {
    run prep
    [ "$status" -eq 0 ]
    [ -f "$(marker)" ]
    grep -Eq '^volume_uuid=[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$' "$(marker)"
    grep -Eq '^initialized=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z$' "$(marker)"
    grep -qx 'host=Test Box' "$(marker)"
    tick
    jstatus '.marker_ok and .mounted'
}

@test "running prep again keeps the marker's identity" {
    prep
    local before
    before=$(grep -E '^(volume_uuid|initialized)=' "$(marker)")
    prep
    [ "$(grep -E '^(volume_uuid|initialized)=' "$(marker)")" = "$before" ]
}

@test "prep refuses without a usable drive path" {
    run env -u NVMe bash "$QDIR/2-prep-nvme.sh" --auto
    [ "$status" -ne 0 ]
    [[ $output == *"not set"* ]]
    run env NVMe="$BATS_TEST_TMPDIR/nowhere" bash "$QDIR/2-prep-nvme.sh" --auto
    [ "$status" -ne 0 ]
    [[ $output == *"not a folder"* ]]
    touch "$BATS_TEST_TMPDIR/file"
    run env NVMe="$BATS_TEST_TMPDIR/file" bash "$QDIR/2-prep-nvme.sh" --auto
    [ "$status" -ne 0 ]
    [ ! -e "$BATS_TEST_TMPDIR/nowhere" ]
}

@test "the filesystem UUID is recorded and compared without regard to case" {
    fake_fs_uuid 0a1b2c3d-1111-2222-3333-444455556666
    prep
    grep -qx 'volume_uuid=0a1b2c3d-1111-2222-3333-444455556666' "$(marker)"
    fake_fs_uuid 0A1B2C3D-1111-2222-3333-444455556666
    tick
    jstatus '.marker_ok and .nvme_uuid == "0A1B2C3D-1111-2222-3333-444455556666" and .volume_uuid == .nvme_uuid'
}

@test "a marker written for another volume is not the NVMe" {
    fake_fs_uuid 11111111-2222-3333-4444-555555555555
    prep
    fake_fs_uuid 99999999-8888-7777-6666-555555555555
    tick
    jstatus '.mounted and (.marker_ok | not)'
    run quindle validate
    [ "$status" -eq 1 ]
    [[ $output == *11111111-2222-3333-4444-555555555555* ]]
    [[ ${lines[-1]} == Invalid* ]]

    # Preparing the new volume takes over its identity.
    prep
    grep -qx 'volume_uuid=99999999-8888-7777-6666-555555555555' "$(marker)"
    quindle validate
}

@test "an all-zero filesystem UUID counts as none" {
    fake_fs_uuid 00000000-0000-0000-0000-000000000000
    prep
    run ! grep -q 'volume_uuid=0000' "$(marker)"
    tick
    jstatus '.marker_ok and .nvme_uuid == ""'
}

@test "nvme-info answers the keys in order, with marker details and the fstab pin" {
    run quindle nvme-info
    [ "$status" -eq 0 ]
    echo "$output" | jq -e '
        keys_unsorted == ["mount_path","mounted","marker_ok","filesystem","volume_uuid","device",
            "free_gb","total_gb","marker_initialized","marker_host","fstab_pin",
            "internal_free_gb","internal_total_gb"]
        and .mounted and (.marker_ok | not) and .marker_host == "" and .marker_initialized == ""
        and (.fstab_pin | not) and (.total_gb | type == "number") and (.internal_total_gb > 0)'

    prep
    local pinned=${DRIVE// /\\040}
    printf '# comment\nUUID=abc %s ext4 defaults 0 2\n' "$pinned" >"$QUINDLE_FSTAB"
    run quindle nvme-info
    echo "$output" | jq -e --arg p "$DRIVE" '.mount_path == $p and .marker_ok and .fstab_pin
        and .marker_host == "Test Box" and (.marker_initialized | test("Z$"))'

    rm -rf "$DRIVE"
    run quindle nvme-info
    [ "$status" -eq 0 ]
    echo "$output" | jq -e '(.mounted | not) and (has("free_gb") | not) and (has("total_gb") | not)
        and .filesystem == "" and .device == "" and (.internal_free_gb | type == "number")'
}

@test "validate passes only for a mounted drive carrying its marker" {
    run quindle validate
    [ "$status" -eq 1 ]
    [[ $output == *"Marker: missing"* ]]

    prep
    run quindle validate
    [ "$status" -eq 0 ]
    [ "${#lines[@]}" -eq 4 ]
    [[ ${lines[-1]} == Valid* ]]

    conf_add NVME_REQUIRE_MOUNTPOINT=1
    run quindle validate
    [ "$status" -eq 1 ]
    [[ $output == *"not mounted"* ]]
}

@test "an unknown or missing sub-command prints usage and exits 2" {
    run --separate-stderr quindle frobnicate
    [ "$status" -eq 2 ]
    [ -z "$output" ]
    # shellcheck disable=SC2154
    [[ $stderr == *Usage:* ]]
    run quindle
    [ "$status" -eq 2 ]
    run quindle watch --forever
    [ "$status" -eq 2 ]
}
