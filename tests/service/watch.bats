#!/usr/bin/env bats
# The long-running watch loop.

load helpers

setup() {
    setup_service
    WATCH_PID=""
}

teardown() {
    if [[ -n $WATCH_PID ]] && kill -0 "$WATCH_PID" 2>/dev/null; then
        kill -KILL "$WATCH_PID" 2>/dev/null || true
    fi
}

gone() { ! kill -0 "$WATCH_PID" 2>/dev/null; }

@test "watch re-reads the config every tick and stops promptly on SIGTERM" {
    conf_add WATCH_INTERVAL_SECS=1
    bash "$QDIR/quindle.sh" watch 3>&- >/dev/null 2>&1 &
    WATCH_PID=$!
    wait_for 10 test -s "$STATUS_JSON"
    jstatus '.low_space_warn_gb == 40'

    # The next tick sees the new values; the long interval then keeps the
    # loop asleep, which SIGTERM must cut short.
    conf_add LOW_SPACE_WARN_GB=41 WATCH_INTERVAL_SECS=600
    wait_for 10 jstatus '.low_space_warn_gb == 41'
    kill -TERM "$WATCH_PID"
    wait_for 3 gone
    grep -q "Service stopped" "$QDIR/quindle.log"
}

@test "SIGINT ends the loop too, and a broken config does not" {
    conf_add WATCH_INTERVAL_SECS=1
    # Background jobs start with SIGINT ignored; the service manager does not do that.
    env --default-signal=INT bash "$QDIR/quindle.sh" watch 3>&- >/dev/null 2>&1 &
    WATCH_PID=$!
    wait_for 10 test -s "$STATUS_JSON"
    conf_add 'if then' 'exit 1'
    rm "$STATUS_JSON"
    wait_for 10 test -s "$STATUS_JSON"
    kill -0 "$WATCH_PID"
    jstatus '.mounted'
    kill -INT "$WATCH_PID"
    wait_for 3 gone
}
