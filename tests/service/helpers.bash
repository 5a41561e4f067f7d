# shellcheck shell=bash
# Shared set-up for the service tests: a fresh HOME per test with the scripts
# installed into ~/.quindle the way the application installs them, and a spare
# folder standing in for the drive.

bats_require_minimum_version 1.5.0

SERVICE_SRC="$(cd "$BATS_TEST_DIRNAME/../../service" && pwd)"

setup_service() {
    export HOME="$BATS_TEST_TMPDIR/home"
    QDIR="$HOME/.quindle"
    STATE="$QDIR/state"
    STATUS_JSON="$STATE/status.json"
    FAKEBIN="$BATS_TEST_TMPDIR/bin"
    DRIVE="$BATS_TEST_TMPDIR/drives/NVMe"
    export PATH="$FAKEBIN:$PATH" QUINDLE_MACHINE_NAME="Test Box" QUINDLE_FSTAB="$BATS_TEST_TMPDIR/fstab" \
        QUINDLE_POWER_SUPPLY_DIR="$BATS_TEST_TMPDIR/power" QUINDLE_DAILY_SCAN=0
    unset QUINDLE_NOW_HOUR NVMe XDG_DATA_HOME XDG_CONFIG_HOME
    mkdir -p "$STATE" "$FAKEBIN" "$QUINDLE_POWER_SUPPLY_DIR" "$DRIVE"
    : >"$QUINDLE_FSTAB"
    cp "$SERVICE_SRC"/*.sh "$QDIR/"
    install_config "$DRIVE"
}

# Writes the template with the drive path filled in, then lets a spare folder
# count as mounted. A tick would start the daily pass; only its own tests
# turn that back on.
install_config() {
    local quoted
    printf -v quoted '%q' "$1"
    grep -vx 'NVMe="__NVME_DEFAULT__"' "$SERVICE_SRC/quindle.conf" >"$QDIR/quindle.conf"
    printf 'NVMe=%s\nNVME_REQUIRE_MOUNTPOINT=0\nAUTO_RELOCATE_DAILY=0\n' "$quoted" >>"$QDIR/quindle.conf"
}

# Appends raw lines to the config; later assignments win when bash sources it.
conf_add() { printf '%s\n' "$@" >>"$QDIR/quindle.conf"; }

quindle() { bash "$QDIR/quindle.sh" "$@"; }
tick() { bash "$QDIR/quindle.sh" watch --once; }
prep() { NVMe=${1:-$DRIVE} bash "$QDIR/2-prep-nvme.sh" --auto; }

# expect_run STATUS TEXT COMMAND...: runs COMMAND (setting status, output and
# lines) and fails unless it exits with STATUS having printed TEXT.
expect_run() {
    run "${@:3}"
    # shellcheck disable=SC2154 # set by run
    [[ $status -eq $1 && $output == *"$2"* ]] || {
        printf 'expected %s and "%s", got %s: %s\n' "$1" "$2" "$status" "$output" >&2
        return 1
    }
}

# jq over the status file; fails when the file is not valid JSON, which
# includes raw control characters that jq lets through.
jstatus() { jq -e "$@" "$STATUS_JSON" && ! LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f]' "$STATUS_JSON"; }

# fake_bin NAME BODY: an executable put first on PATH.
fake_bin() {
    printf '#!/usr/bin/env bash\n%s\n' "$2" >"$FAKEBIN/$1"
    chmod +x "$FAKEBIN/$1"
}

# The real command NAME, behind any fake.
real_bin() { PATH=${PATH#"$FAKEBIN:"} command -v "$1"; }

# A findmnt that answers `-no COLUMN --target PATH` for paths under the drive
# with FAKE_FS_<COLUMN> when that is set (and `-rn -o TARGET,UUID --target` with
# the real mount point and FAKE_FS_UUID), takes FAKE_MP for a mount point, lists
# the raw lines of the file FAKE_MOUNTS when set, and defers everything else to
# the real one.
fake_findmnt() {
    fake_bin findmnt 'v=FAKE_FS_$2 drive='"$(printf %q "$DRIVE")"'
if [[ $1 == -no && $3 == --target && $4 == "$drive"* && -n ${!v+x} ]]; then
    printf "%s\n" "${!v}"
elif [[ $1 == -rn && $3 == TARGET,UUID && $5 == "$drive"* && -n ${FAKE_FS_UUID+x} ]]; then
    printf "%s %s\n" "$('"$(real_bin findmnt)"' -rn -o TARGET --target "$5")" "$FAKE_FS_UUID"
elif [[ $1 == -rn && $2 == --mountpoint && -n ${FAKE_MP:-} && $3 == "$FAKE_MP" ]]; then
    printf "%s\n" "$3"
elif [[ $1 == -rn && $2 == -o && $4 != --target && -n ${FAKE_MOUNTS:-} ]]; then
    cat "$FAKE_MOUNTS"
else
    exec '"$(real_bin findmnt)"' "$@"
fi'
}

fake_fs_uuid() { export FAKE_FS_UUID=$1; fake_findmnt; }

# An lsblk that answers for /dev/NAME from the raw line in $FAKE_LSBLK_DIR/NAME.
fake_lsblk() {
    export FAKE_LSBLK_DIR="$BATS_TEST_TMPDIR/lsblk"
    mkdir -p "$FAKE_LSBLK_DIR"
    fake_bin lsblk 'dev=${!#} f="$FAKE_LSBLK_DIR/${dev#/dev/}"
[[ $dev == /dev/* && -f $f ]] && exec cat "$f"
exec '"$(real_bin lsblk)"' "$@"'
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

# Rules judge age by modification and change times, and only the real clock
# sets change times: tests run the service with the clock LATER days ahead,
# so that whatever they create is that old.
LATER=60

# faked SPEC COMMAND...: runs COMMAND under libfaketime's SPEC ("+60d",
# "@2030-01-02 03:00:00"). Its own launcher would tie detached runs to its
# shared memory; each process here keeps the clock alone. rsync keeps the real
# clock: faked, it shifts the times it copies.
faked() {
    command -v faketime >/dev/null || skip "faketime is not installed"
    # The first program loaded with the library keeps the real clock; the one
    # it becomes by exec does not. $LIB is the dynamic loader's own.
    # shellcheck disable=SC2016
    LD_PRELOAD='/usr/$LIB/faketime/libfaketime.so.1' FAKETIME=$1 FAKETIME_SKIP_CMDS=rsync \
        bash -c 'exec "$@"' faked "${@:2}"
}

# later DAYS COMMAND...: runs COMMAND with the clock DAYS days ahead.
later() { faked "+$1d" "${@:2}"; }
qlater() { later "$LATER" bash "$QDIR/quindle.sh" "$@"; }

# old DAYS FILE...: files holding their own names, modified DAYS days before
# the clock qlater runs at.
old() {
    local f
    for f in "${@:2}"; do
        mkdir -p "${f%/*}"
        printf '%s' "${f##*/}" >"$f"
        later "$LATER" touch -d "-$1 days" "$f"
    done
}

rules() {
    local r out="RULES=("
    for r; do out+=" \"$r\""; done
    conf_add "$out )"
}

# logcol N: column N of the action log (1 time, 2 batch, 3 event, 4 action,
# 5 source, 6 destination, 7 bytes), header left out, names decoded.
logcol() {
    local v
    tail -n +2 "$QDIR/quindle.actions.tsv" | cut -f"$1" | while IFS= read -r v; do printf '%b\n' "$v"; done
}

# A drive on a second filesystem: a folder in /dev/shm, prepared.
use_shm_drive() {
    [[ -d /dev/shm && -w /dev/shm ]] || skip "no /dev/shm"
    SHM=$(mktemp -d /dev/shm/quindle-test.XXXXXX)
    [ "$(stat -c %d "$SHM")" != "$(stat -c %d "$HOME")" ] || skip "/dev/shm is on the home folder's filesystem"
    DRIVE=$SHM
    install_config "$DRIVE"
    prep "$DRIVE" >/dev/null
}

teardown_shm() { if [[ -n ${SHM:-} ]]; then rm -rf "$SHM"; fi; }

# digest DIR: every path under DIR with what it holds, links followed, so
# that a tree moved behind links reads the same as before.
digest() {
    (cd "$1" && find -L . -mindepth 1 \( -name '.*.quindle-*' -prune -o -print0 \) | LC_ALL=C sort -z |
        while IFS= read -r -d '' p; do
            if [[ -f $p ]]; then printf '%s %s\n' "$(sha256sum <"$p" | cut -c1-64)" "$p"; else printf 'dir %s\n' "$p"; fi
        done)
}

# The detached run's process id, once it has started.
run_pid() {
    local f
    for f in "$STATE"/service/run-*.pid; do
        [[ -s $f ]] && cat "$f" && return 0
    done
    return 1
}
