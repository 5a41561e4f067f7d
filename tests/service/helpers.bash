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

# A findmnt that answers for paths under FAKE_FS_PATH (default: the drive)
# with FAKE_FS_<COLUMN> when that is set, lists the mounts in FAKE_MOUNTS (a
# file of raw lines) when set, and defers everything else to the real one.
fake_findmnt() {
    local real
    real=$(PATH=${PATH#"$FAKEBIN:"} command -v findmnt)
    export FAKE_FS_PATH=${FAKE_FS_PATH:-$DRIVE}
    fake_bin findmnt 'col="" target="" list=0
for a; do
    case $a in -rn) list=1 ;; esac
done
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
    case ${args[i]} in
        -no) col=${args[i + 1]} ;;
        --target) target=${args[i + 1]} ;;
    esac
done
if [[ -n $col && $target == "$FAKE_FS_PATH"* ]]; then
    v=FAKE_FS_$col
    if [[ -n ${!v+x} ]]; then printf "%s\n" "${!v}"; exit 0; fi
fi
if ((list)) && [[ -z $target && -n ${FAKE_MOUNTS:-} ]]; then cat "$FAKE_MOUNTS"; exit 0; fi
exec '"$real"' "$@"'
}

fake_fs_uuid() {
    export FAKE_FS_UUID=$1
    fake_findmnt
}

# An lsblk that answers for /dev/NAME from the raw line in $FAKE_LSBLK_DIR/NAME.
fake_lsblk() {
    local real
    real=$(PATH=${PATH#"$FAKEBIN:"} command -v lsblk)
    export FAKE_LSBLK_DIR="$BATS_TEST_TMPDIR/lsblk"
    mkdir -p "$FAKE_LSBLK_DIR"
    fake_bin lsblk 'dev=${!#}
f="$FAKE_LSBLK_DIR/${dev#/dev/}"
if [[ $dev == /dev/* && -f $f ]]; then cat "$f"; exit 0; fi
exec '"$real"' "$@"'
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
