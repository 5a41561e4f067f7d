#!/usr/bin/env bats
# Drive preparation, the marker, nvme-info and validate.

load helpers

setup() { setup_service; MARKER="$DRIVE/QNDL-Test-Box/.tarnel-managed"; }

@test "machine names become the folder names the application builds" {
    # shellcheck source=../../service/lib-common.sh
    source "$SERVICE_SRC/lib-common.sh"
    local name want
    while IFS='|' read -r name want; do
        q_sanitise_machine "$name"
        [ "$REPLY" = "$want" ] || { echo "\"$name\" gave \"$REPLY\", expected \"$want\"" >&2; return 1; }
    done <<'ROWS'
Office’s MacBook "Pro".local.local|Offices-MacBook-Pro.local
 ' " ’ |Computer
-- café  -  lab --|café-lab
ROWS

    # Without a name from the environment, the pretty host name is used.
    unset QUINDLE_MACHINE_NAME
    # shellcheck disable=SC1112 # the curly apostrophe is part of the name
    fake_bin hostnamectl '[[ $1 == --pretty ]] && echo "Ann’s Laptop"'
    prep
    # shellcheck disable=SC1112
    grep -qx 'host=Ann’s Laptop' "$DRIVE/QNDL-Anns-Laptop/.tarnel-managed"

    # The answer is kept for the next process; one torn or missing is asked again.
    display_name() { bash -c 'source "$1/lib-common.sh"; q_display_name; echo "$REPLY"' _ "$QDIR"; }
    fake_bin hostnamectl '[[ $1 == --pretty ]] && echo "Other Name"'
    [ "$(display_name)" = "Ann’s Laptop" ]
    sed -i '$d' "$STATE/service/display-name"
    [ "$(display_name)" = "Other Name" ]
    rm "$STATE/service/display-name"
    fake_bin hostnamectl 'exit 1'
    [[ -e /etc/machine-info ]] || [ "$(display_name)" = "$(cat /proc/sys/kernel/hostname)" ]
}

@test "prep writes a marker that validate and the tick accept, and keeps it when run again" {
    expect_run 1 "Marker: missing" quindle validate
    [[ $output == *"UUID: cannot be checked: the marker it is checked against is missing."* ]]

    prep
    grep -Eq '^volume_uuid=[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$' "$MARKER"
    grep -Eq '^initialized=[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z$' "$MARKER"
    grep -qx 'host=Test Box' "$MARKER"
    cp "$MARKER" "$BATS_TEST_TMPDIR/marker"
    prep
    cmp "$MARKER" "$BATS_TEST_TMPDIR/marker"
    tick
    jstatus '.marker_ok and .mounted'
    expect_run 0 "Valid: $DRIVE is the prepared NVMe." quindle validate

    conf_add NVME_REQUIRE_MOUNTPOINT=1
    expect_run 1 "not mounted" quindle validate
    [[ $output == *"UUID: cannot be checked: no drive is mounted at $DRIVE."* ]]

    # Nothing is created for a path that is not a folder.
    expect_run 1 "not a folder" prep "$BATS_TEST_TMPDIR/nowhere"
    [ ! -e "$BATS_TEST_TMPDIR/nowhere" ]
}

@test "the marker names the filesystem UUID, in any case; another volume's marker is not valid" {
    # An all-zero UUID counts as none.
    fake_fs_uuid 00000000-0000-0000-0000-000000000000
    prep
    run ! grep -q 'volume_uuid=0000' "$MARKER"
    tick
    jstatus '.marker_ok and .nvme_uuid == ""'

    fake_fs_uuid 0a1b2c3d-1111-2222-3333-444455556666
    prep
    grep -qx 'volume_uuid=0a1b2c3d-1111-2222-3333-444455556666' "$MARKER"
    fake_fs_uuid 0A1B2C3D-1111-2222-3333-444455556666
    tick
    jstatus '.marker_ok and .nvme_uuid == "0A1B2C3D-1111-2222-3333-444455556666" and .volume_uuid == .nvme_uuid'

    fake_fs_uuid 99999999-8888-7777-6666-555555555555
    tick
    jstatus '.mounted and (.marker_ok | not)'
    expect_run 1 "marker was written for 0a1b2c3d-1111-2222-3333-444455556666" quindle validate

    # Preparing the new volume takes over its identity.
    prep
    grep -qx 'volume_uuid=99999999-8888-7777-6666-555555555555' "$MARKER"
    quindle validate
}

@test "nvme-info answers the keys in order, with marker details and the fstab pin" {
    expect_run 0 "" quindle nvme-info
    jq -e 'keys_unsorted == ["mount_path", "mounted", "marker_ok", "filesystem", "volume_uuid", "device",
            "free_gb", "total_gb", "marker_initialized", "marker_host", "fstab_pin", "internal_free_gb", "internal_total_gb"]
        and .mounted and (.marker_ok | not) and .marker_host == "" and .marker_initialized == ""
        and (.fstab_pin | not) and (.total_gb | type == "number") and (.internal_total_gb > 0)' <<<"$output"

    prep
    printf '# comment\nUUID=abc %s ext4 defaults 0 2\n' "${DRIVE// /\\040}" >"$QUINDLE_FSTAB"
    quindle nvme-info | jq -e --arg p "$DRIVE" '.mount_path == $p and .marker_ok and .fstab_pin
        and .marker_host == "Test Box" and (.marker_initialized | test("Z$"))'

    rm -rf "$DRIVE"
    expect_run 0 "" quindle nvme-info
    jq -e '(.mounted | not) and (has("free_gb") or has("total_gb") | not)
        and .filesystem == "" and .device == "" and (.internal_free_gb | type == "number")' <<<"$output"
}
