# shellcheck shell=bash
# Shared set-up for the service tests: a fresh HOME per test with the scripts
# installed into ~/.quindle the way the application installs them, and a spare
# folder standing in for the drive.

bats_require_minimum_version 1.5.0

SERVICE_SRC="$(cd "$BATS_TEST_DIRNAME/../../service" && pwd)"

setup_service() {
    export HOME="$BATS_TEST_TMPDIR/home"
    # shellcheck disable=SC2034 # used by the test files
    QDIR="$HOME/.quindle"
    STATE="$QDIR/state"
    STATUS_JSON="$STATE/status.json"
    mkdir -p "$STATE"
    cp "$SERVICE_SRC"/*.sh "$QDIR/"

    FAKEBIN="$BATS_TEST_TMPDIR/bin"
    mkdir -p "$FAKEBIN"
    export PATH="$FAKEBIN:$PATH"

    export QUINDLE_MACHINE_NAME="Test Box"
    export QUINDLE_POWER_SUPPLY_DIR="$BATS_TEST_TMPDIR/power"
    mkdir -p "$QUINDLE_POWER_SUPPLY_DIR"
    export QUINDLE_FSTAB="$BATS_TEST_TMPDIR/fstab"
    : >"$QUINDLE_FSTAB"
    unset QUINDLE_NOW_HOUR NVMe

    DRIVE="$BATS_TEST_TMPDIR/drives/NVMe"
    mkdir -p "$DRIVE"
    install_config "$DRIVE"
}

# Writes the template with the drive path filled in, then lets a spare folder
# count as mounted.
install_config() {
    local drive=$1 line quoted out=""
    printf -v quoted '%q' "$drive"
    while IFS= read -r line || [[ -n $line ]]; do
        [[ $line == 'NVMe="__NVME_DEFAULT__"' ]] && line="NVMe=$quoted"
        out+="$line"$'\n'
    done <"$SERVICE_SRC/quindle.conf"
    printf '%sNVME_REQUIRE_MOUNTPOINT=0\n' "$out" >"$QDIR/quindle.conf"
}

# Appends raw lines to the config; later assignments win when bash sources it.
conf_add() {
    printf '%s\n' "$@" >>"$QDIR/quindle.conf"
}

quindle() {
    bash "$QDIR/quindle.sh" "$@"
}

tick() {
    bash "$QDIR/quindle.sh" watch --once
}

# jq over the status file; fails when the file is not valid JSON.
jstatus() {
    jq -e "$@" "$STATUS_JSON"
}

# fake_bin NAME BODY: an executable put first on PATH.
fake_bin() {
    printf '#!/usr/bin/env bash\n%s\n' "$2" >"$FAKEBIN/$1"
    chmod +x "$FAKEBIN/$1"
}

# A findmnt that reports FAKE_FS_UUID as the filesystem UUID and defers
# everything else to the real one.
fake_fs_uuid() {
    export FAKE_FS_UUID=$1
    local real
    real=$(PATH=${PATH#"$FAKEBIN:"} command -v findmnt)
    fake_bin findmnt "for a; do [[ \$a == UUID ]] && { printf '%s\\n' \"\$FAKE_FS_UUID\"; exit 0; }; done
exec $real \"\$@\""
}

# wait_for SECONDS COMMAND...: polls until COMMAND succeeds or time runs out.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}
