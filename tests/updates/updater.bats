#!/usr/bin/env bats
# The updater script on real install trees: the real quindle-swap, real renames, and a fake
# bin/quindle that answers --version and otherwise notes that it started.
#   needs QUINDLE_SWAP (the built quindle-swap) and UPDATER (the script body)

setup() {
    H="$BATS_TEST_TMPDIR/home with 'quote' \$dollar \`tick\`"
    OPT=$H/opt
    INSTALL=$OPT/Quindle
    STAGING=$OPT/.quindle-update-1
    BUILD=$STAGING/quindle-2.1.0
    ARCHIVE=$H/quindle-update-1.tar.gz
    LOG=$H/updater-2.log
    PREVIOUS=$OPT/.quindle-previous-1
    PARENT_CHECKS=5
    START_WAIT=1
    STARTED=$H/started
    mkdir -p "$STARTED"
    make_build "$INSTALL" old 0
    make_build "$BUILD" new 0
    : >"$ARCHIVE"
    # A parent that has already exited.
    bash -c 'exit 0' &
    PARENT=$!
    wait "$PARENT" || true
}

teardown() { pkill -f "$BATS_TEST_TMPDIR" 2>/dev/null || true; }

# make_build FOLDER NAME STATUS: a build whose program notes NAME when started, exits STATUS.
make_build() {
    mkdir -p "$1/bin"
    cp "$QUINDLE_SWAP" "$1/bin/quindle-swap"
    printf '#!/bin/bash\n[[ ${1:-} == --version ]] && exit 0\necho %s >>%q\nexit %s\n' \
        "$2" "$STARTED/log" "$3" >"$1/bin/quindle"
    chmod +x "$1/bin/quindle"
    echo "$2" >"$1/VERSION"
}

# Runs the script as Quindle writes it: the values, each quoted, then the body.
update() {
    local script=$H/updater.sh
    {
        for name in LOG PARENT ARCHIVE STAGING BUILD INSTALL PREVIOUS PARENT_CHECKS START_WAIT; do
            printf '%s=%q\n' "$name" "${!name}"
        done
        cat "$UPDATER"
    } >"$script"
    run bash "$script"
    LOGGED=$(cat "$LOG")
}
@test "an update puts the new build in place, starts it and leaves nothing behind" {
    QT_QPA_PLATFORM=offscreen update
    [ "$status" -eq 0 ]
    [ "$(cat "$INSTALL/VERSION")" = new ]
    [ "$(cat "$STARTED/log")" = new ]
    [ ! -e "$STAGING" ] && [ ! -e "$ARCHIVE" ] && [ ! -e "$PREVIOUS" ]
    [ "$(ls -A "$OPT")" = Quindle ]
    [[ $LOGGED =~ Updater\ started,\ parent\ PID\ $PARENT.*Replaced\ .*Relaunched\ .*Updater\ finished,\ relaunched ]]
}

@test "a parent still running, or a zombie one, decides whether anything is replaced" {
    sleep 30 &
    PARENT=$!
    update
    [ "$status" -eq 1 ]
    [ "$(cat "$INSTALL/VERSION")" = old ]
    [ ! -e "$STAGING" ]
    [[ $LOGGED == *"Quindle (PID $PARENT) is still running; the update was not installed."* ]]
    kill "$PARENT"

    # An exited process its parent has not reaped yet counts as gone.
    make_build "$BUILD" new 0
    bash -c 'sleep 0.1 & echo $! >"$1"; exec sleep 30' _ "$H/zombie" &
    sleep 0.5
    PARENT=$(cat "$H/zombie")
    grep -q '^State:.*Z' "/proc/$PARENT/status"
    update
    [ "$status" -eq 0 ]
    [ "$(cat "$INSTALL/VERSION")" = new ]
}

@test "a new build that exits at once is swapped back and the previous one started" {
    make_build "$BUILD" new 1
    QT_QPA_PLATFORM=offscreen update
    [ "$status" -eq 1 ]
    [ "$(cat "$INSTALL/VERSION")" = old ]
    [ "$(printf '%s ' $(cat "$STARTED/log"))" = "new old " ]
    [[ $LOGGED == *"The new version exited with status 1; restoring the previous version."* ]]
    [ ! -e "$STAGING" ]
}

@test "where the filesystem cannot exchange, two renames end right; without a display nothing starts" {
    printf '#!/bin/bash\nexit 3\n' >"$INSTALL/bin/quindle-swap"
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    update
    [ "$status" -eq 0 ]
    [ "$(cat "$INSTALL/VERSION")" = new ]
    [ ! -e "$STARTED/log" ]
    [ "$(ls -A "$OPT")" = Quindle ]
    [[ $LOGGED == *"Atomic exchange not supported here; if this stops now, the previous version is at $PREVIOUS."* ]]
    [[ $LOGGED == *"No display; Quindle starts at the next login."*"Updater finished, not relaunched"* ]]
}

@test "killed at any moment, the install folder is the whole old or the whole new version" {
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    RANDOM=${QUINDLE_KILL_SEED:-17}
    local round script=$H/updater.sh seen=""
    for ((round = 0; round < ${QUINDLE_KILL_ROUNDS:-20}; round++)); do
        rm -rf "$INSTALL" "$STAGING"
        make_build "$INSTALL" old 0
        make_build "$BUILD" new 0
        {
            for name in LOG PARENT ARCHIVE STAGING BUILD INSTALL PREVIOUS PARENT_CHECKS START_WAIT; do
                printf '%s=%q\n' "$name" "${!name}"
            done
            cat "$UPDATER"
        } >"$script"
        bash "$script" &
        sleep "0.$((RANDOM % 9))$((RANDOM % 10))"
        kill -9 $! 2>/dev/null || true
        wait $! 2>/dev/null || true
        version=$(cat "$INSTALL/VERSION")
        [[ $version == old || $version == new ]]
        [ -x "$INSTALL/bin/quindle" ] && [ -x "$INSTALL/bin/quindle-swap" ]
        seen+=" $version"
    done
    # The rounds caught it before and after the exchange.
    [[ $seen == *old* && $seen == *new* ]]
}
