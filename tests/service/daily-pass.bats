#!/usr/bin/env bats
# The daily pass: started by the first tick at or after its hour each day,
# held back by pause, quiet hours, activity and meetings, tried again each
# tick, and a day that ends held is logged.

load helpers

setup() {
    setup_service
    prep >/dev/null
    old 30 "$HOME/Docs/a" "$HOME/Docs/b"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 7"
    conf_add AUTO_RELOCATE_DAILY=1
}

teardown() {
    local pid
    pid=$(run_pid) && kill -KILL -- "-$pid" 2>/dev/null
    return 0
}

# at "YYYY-MM-DD HH:MM:SS" COMMAND...: runs COMMAND with the clock set there.
at() { faked "@$1" "${@:2}"; }
tick_at() { at "$1" bash "$QDIR/quindle.sh" watch --once; }
done_on() { [[ $(cat "$STATE/service/daily-done" 2>/dev/null) == "$1" ]]; }
logged() { grep -qF "$1" "$QDIR/quindle.log"; }

@test "the daily pass runs from the first tick at its hour, once a day" {
    tick_at "2030-01-02 02:59:00"
    [[ ! -e "$STATE/service/daily-done" && ! -L "$HOME/Docs/a" ]]
    tick_at "2030-01-02 03:00:30"
    wait_for 20 done_on 2030-01-02
    [[ -L "$HOME/Docs/a" && -L "$HOME/Docs/b" ]]
    logged "The daily pass starts."
    logged "Rules pass "

    old 30 "$HOME/Docs/c"
    tick_at "2030-01-02 23:00:00"
    [ -f "$HOME/Docs/c" ]
    conf_add AUTO_RELOCATE_DAILY=0
    tick_at "2030-01-03 04:00:00"
    [[ -f "$HOME/Docs/c" && ! -e "$STATE/service/run-daily.pid" ]]
    done_on 2030-01-02
}

@test "pause, quiet hours, activity and a meeting hold the daily pass; a day that ends held is logged" {
    conf_add AUTO_RELOCATE_HOUR=10
    tick_at "2030-01-02 10:05:00"
    logged "The daily pass is held: It is inside the quiet hours 9-19."
    quindle pause >/dev/null
    tick_at "2030-01-02 19:05:00"
    logged "The daily pass is held: Automatic actions are paused."
    quindle resume >/dev/null
    fake_bin xprintidle 'echo 1000'
    tick_at "2030-01-02 19:10:00"
    logged "The daily pass is held: You were active in the last 600 seconds."
    rm "$FAKEBIN/xprintidle"
    conf_add QUIET_MODE=smart
    touch -d "2030-01-02 19:14:50" "$STATE/meeting.flag"
    tick_at "2030-01-02 19:15:00"
    logged "The daily pass is held: A meeting is in progress."
    [[ ! -L "$HOME/Docs/a" && ! -e "$STATE/service/daily-done" ]]

    tick_at "2030-01-03 01:00:00"
    logged "The daily pass of 2030-01-02 did not run: it was held all day. A meeting is in progress."

    # A meeting that starts during the pass stops it between entries; the
    # next tick after it goes on from there.
    fake_bin mv 'if [[ ${*: -2:1} == "'"$HOME/Docs/a"'" ]]; then touch -d "2030-01-03 10:00:00" "'"$STATE/meeting.flag"'"; fi
exec '"$(real_bin mv)"' "$@"'
    tick_at "2030-01-03 10:00:05"
    wait_for 20 logged "The daily pass is held: A meeting is in progress. It goes on at a later tick."
    wait_for 20 bash -c '! test -e "$1"' _ "$STATE/service/run-daily.pid"
    [[ -L "$HOME/Docs/a" && ! -L "$HOME/Docs/b" && ! -e "$STATE/service/daily-done" ]]
    tick_at "2030-01-03 10:05:00"
    wait_for 20 done_on 2030-01-03
    [ -L "$HOME/Docs/b" ]
}
