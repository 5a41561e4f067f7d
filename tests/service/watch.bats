#!/usr/bin/env bats
# The command line and the long-running watch loop.

load helpers

setup() { setup_service; WATCH_PID=""; }
teardown() { if [[ -n $WATCH_PID ]]; then kill -KILL "$WATCH_PID" 2>/dev/null || true; fi; }

gone() { ! kill -0 "$WATCH_PID" 2>/dev/null; }

@test "an unknown or missing sub-command prints usage to stderr and exits 2" {
    local args
    for args in frobnicate "" "watch --forever"; do
        # shellcheck disable=SC2086 # split into words on purpose
        run --separate-stderr quindle $args
        # shellcheck disable=SC2154 # set by run
        [[ $status -eq 2 && -z "$output" && $stderr == *Usage:* ]]
    done
}

@test "watch re-reads the config every tick, outlives a broken one and stops promptly on SIGTERM" {
    conf_add WATCH_INTERVAL_SECS=1
    bash "$QDIR/quindle.sh" watch 3>&- >/dev/null 2>&1 &
    WATCH_PID=$!
    wait_for 10 test -s "$STATUS_JSON"
    jstatus '.low_space_warn_gb == 40'

    # The next tick sees the new values before the fault; the long interval
    # then keeps the loop asleep, which SIGTERM must cut short.
    conf_add LOW_SPACE_WARN_GB=41 WATCH_INTERVAL_SECS=600 'if then' 'exit 1'
    wait_for 10 jstatus '.low_space_warn_gb == 41 and .mounted'
    kill -0 "$WATCH_PID"
    kill -TERM "$WATCH_PID"
    wait_for 3 gone
    grep -q "Service stopped" "$QDIR/quindle.log"
}
