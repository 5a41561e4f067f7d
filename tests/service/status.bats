#!/usr/bin/env bats
# status.json, history and notifications written by a watch tick.

load helpers

setup() {
    setup_service
}

# Every key of the status file with the type the application decodes.
STATUS_TYPES='
  (.timestamp | type == "string" and test("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$"))
  and (.version | type == "number" and . == floor)
  and ([.nvme_path, .quiet_hours_blocked, .quiet_mode, .nvme_uuid, .volume_uuid] | all(type == "string"))
  and ([.mounted, .marker_ok, .quiet_hours, .paused, .auto_enabled, .smart_respect_meetings,
        .on_battery, .meeting_active] | all(type == "boolean"))
  and ([.internal_free_gb, .internal_total_gb, .idle_secs, .low_space_warn_gb, .low_space_critical_gb,
        .auto_relocate_hour, .rule_count, .app_cache_path_count, .smart_idle_minutes,
        .smart_min_battery] | all(type == "number" and . == floor))
  and ([.nvme_free_gb, .nvme_total_gb, .battery_pct] | all(. == null or (type == "number" and . == floor)))
  and ([.last_run, .last_event, .quiet_reason] | all(. == null or type == "string"))
'

@test "a tick writes every status key with its type and a snapshot" {
    run tick
    [ "$status" -eq 0 ]
    jstatus "$STATUS_TYPES"
    jstatus --arg p "$DRIVE" '.nvme_path == $p and .mounted and (.marker_ok | not)'
    jstatus '.nvme_free_gb >= 0 and .nvme_total_gb > 0 and .internal_total_gb > 0'
    jstatus '.low_space_warn_gb == 40 and .low_space_critical_gb == 15 and .quiet_hours_blocked == "9-19"'
    jstatus '.auto_enabled and (.paused | not) and .version == 1'
    [ "$(jq -s 'length' "$STATE/history.ndjson")" -eq 1 ]
    [[ $(ls -A "$STATE") != *tmp* ]]
}

@test "a missing drive folder is not mounted and has no drive space keys" {
    rm -rf "$DRIVE"
    tick
    jstatus "$STATUS_TYPES"
    jstatus '(.mounted | not) and (.marker_ok | not)'
    jstatus 'has("nvme_free_gb") or has("nvme_total_gb") | not'
    jstatus '.nvme_uuid == "" and .volume_uuid == ""'
}

@test "a plain folder is not mounted unless the config allows spare folders" {
    conf_add NVME_REQUIRE_MOUNTPOINT=1
    tick
    jstatus '.mounted | not'
}

@test "awkward characters in the drive path stay valid JSON" {
    local odd="$BATS_TEST_TMPDIR/drives/Q\"uo\\te"$'\t'"dé ’x"$'\n'"2 \$HOME"
    mkdir -p "$odd"
    install_config "$odd"
    tick
    jstatus --arg p "$odd" '.nvme_path == $p and .mounted'
}

@test "config values with #, quotes and spaces are read as bash reads them" {
    conf_add 'QUIET_HOURS_BLOCKED="9-12 # not a comment"' \
        "QUIET_MODE='smart'" \
        'RULES=( "archive_old | $HOME/Downloads | /x | 30" "delete_old|\"a b\"|c|7" )' \
        'APP_CACHE_PATHS=("a b" c)'
    tick
    jstatus "$STATUS_TYPES"
    jstatus '.quiet_hours_blocked == "9-12 # not a comment" and .quiet_mode == "smart"'
    jstatus '.rule_count == 2 and .app_cache_path_count == 2'
}

@test "a missing config gives the documented defaults" {
    rm "$QDIR/quindle.conf"
    USER=tester run tick
    [ "$status" -eq 0 ]
    jstatus "$STATUS_TYPES"
    jstatus '.nvme_path | test("^/(run/)?media/tester/NVMe$")'
    jstatus '.low_space_warn_gb == 40 and .low_space_critical_gb == 15 and .auto_relocate_hour == 3'
    jstatus '.quiet_mode == "schedule" and .quiet_hours_blocked == "9-19" and .rule_count == 0'
    jstatus '.smart_idle_minutes == 5 and .smart_min_battery == 30 and .smart_respect_meetings'
}

@test "the template is fourteen lines without a final line feed" {
    [ "$(wc -l <"$SERVICE_SRC/quindle.conf")" -eq 13 ]
    [ -n "$(tail -c1 "$SERVICE_SRC/quindle.conf")" ]
    [ "$(grep -c '__NVME_DEFAULT__' "$SERVICE_SRC/quindle.conf")" -eq 1 ]
}

@test "the unfilled template placeholder means the default drive path" {
    cp "$SERVICE_SRC/quindle.conf" "$QDIR/quindle.conf"
    USER=tester tick
    jstatus '.nvme_path | test("^/(run/)?media/tester/NVMe$")'
}

@test "a broken config keeps the keys read before the fault and defaults the rest" {
    local drive_q
    printf -v drive_q '%q' "$DRIVE"
    local broken
    for broken in 'LOW_SPACE_WARN_GB=77
if then fi
AUTO_RELOCATE_HOUR=9' 'LOW_SPACE_WARN_GB=77
exit 3' 'LOW_SPACE_WARN_GB=77
set -e; false
AUTO_RELOCATE_HOUR=9' 'LOW_SPACE_WARN_GB=77
echo noise; echo more >&2
QUIET_HOURS_BLOCKED="9-1'; do
        printf 'NVMe=%s\nNVME_REQUIRE_MOUNTPOINT=0\n%s' "$drive_q" "$broken" >"$QDIR/quindle.conf"
        run tick
        [ "$status" -eq 0 ]
        jstatus "$STATUS_TYPES"
        jstatus --arg p "$DRIVE" '.nvme_path == $p and .low_space_warn_gb == 77'
        jstatus '.auto_relocate_hour == 3 and .quiet_hours_blocked == "9-19"'
    done
    grep -q "could not be read to its end" "$QDIR/quindle.log"
}

@test "numbers that are not plain decimals never reach the JSON as written" {
    conf_add 'LOW_SPACE_WARN_GB=08' 'AUTO_RELOCATE_HOUR=25' 'SMART_MIN_BATTERY=" 20 "' \
        'LOW_SPACE_CRITICAL_GB=1e3' 'ENABLE_AUTO_ACTIONS=yes' 'QUIET_MODE=sometimes' \
        'RULES=""' 'APP_CACHE_PATHS="only one"'
    tick
    jstatus "$STATUS_TYPES"
    jstatus '.rule_count == 0 and .app_cache_path_count == 1'
    jstatus '.low_space_warn_gb == 8 and .auto_relocate_hour == 3 and .smart_min_battery == 20'
    jstatus '.low_space_critical_gb == 15 and .auto_enabled and .quiet_mode == "schedule"'
}

@test "schedule mode is quiet inside the blocked ranges, end exclusive, wrapping midnight" {
    local row hour ranges want
    for row in '9 9-19 true' '19 9-19 false' '8 9-19 false' '12 9-12,14-18 false' \
        '14 9-12,14-18 true' '23 22-6 true' '3 22-6 true' '6 22-6 false' '12 22-6 false' \
        '0 0-24 true' '5 nonsense,5-6 true' '5 ,, false'; do
        read -r hour ranges want <<<"$row"
        install_config "$DRIVE"
        conf_add "QUIET_HOURS_BLOCKED=\"$ranges\""
        QUINDLE_NOW_HOUR=$hour tick
        jstatus --argjson w "$want" '.quiet_hours == $w' || {
            echo "hour $hour in $ranges: expected $want" >&2
            return 1
        }
    done
}

@test "always-on is never quiet, even inside the blocked hours" {
    conf_add 'QUIET_MODE=always-on' 'QUIET_HOURS_BLOCKED="0-24"'
    QUINDLE_NOW_HOUR=12 tick
    jstatus '.quiet_mode == "always-on" and (.quiet_hours | not)'
}

@test "smart mode holds work back for recent input, a low battery or a meeting" {
    conf_add 'QUIET_MODE=smart' 'SMART_IDLE_MINUTES=10'

    fake_bin xprintidle 'echo 2000'
    tick
    jstatus '.quiet_hours and .idle_secs == 2 and (.quiet_reason | test("active"))'

    fake_bin xprintidle 'echo 3600000'
    tick
    jstatus '(.quiet_hours | not) and .idle_secs == 3600 and (has("quiet_reason") | not)'

    local bat="$QUINDLE_POWER_SUPPLY_DIR/BAT0" ac="$QUINDLE_POWER_SUPPLY_DIR/AC"
    mkdir -p "$bat" "$ac"
    echo Battery >"$bat/type"
    echo Discharging >"$bat/status"
    echo 20 >"$bat/capacity"
    echo Mains >"$ac/type"
    echo 0 >"$ac/online"
    tick
    jstatus '.quiet_hours and .on_battery and .battery_pct == 20 and (.quiet_reason | test("battery"))'

    echo 1 >"$ac/online"
    tick
    jstatus '(.quiet_hours | not) and (.on_battery | not) and .battery_pct == 20'

    echo meeting >"$STATE/meeting.flag"
    tick
    jstatus '.quiet_hours and .meeting_active and (.quiet_reason | test("meeting"))'

    touch -d '-5 minutes' "$STATE/meeting.flag"
    tick
    jstatus '(.quiet_hours | not) and (.meeting_active | not)'

    touch "$STATE/meeting.flag"
    conf_add 'SMART_RESPECT_MEETINGS=0'
    tick
    jstatus '(.quiet_hours | not) and .meeting_active and (.smart_respect_meetings | not)'
}

@test "smart mode without any idle source does not count the user as active" {
    conf_add 'QUIET_MODE=smart'
    tick
    jstatus '(.quiet_hours | not) and .idle_secs == 0'
}

@test "pause and resume flip the status at once" {
    tick
    run quindle pause
    [ "$status" -eq 0 ]
    [ "${#lines[@]}" -eq 1 ]
    [ -e "$STATE/paused" ]
    jstatus '.paused and (.last_event | test("paused"))'
    run quindle resume
    [ "$status" -eq 0 ]
    [ "${#lines[@]}" -eq 1 ]
    [ ! -e "$STATE/paused" ]
    jstatus '.paused | not'
}

@test "history gets one snapshot per UTC day" {
    local today yesterday
    today=$(date -u +%F)
    yesterday=$(date -u -d yesterday +%F)
    echo "{\"ts\":\"${yesterday}T12:00:00Z\",\"internal_free_gb\":1}" >"$STATE/history.ndjson"
    tick
    tick
    [ "$(wc -l <"$STATE/history.ndjson")" -eq 2 ]
    jq -e -s --arg d "$today" '.[1] | (.ts | startswith($d))
        and ([.internal_free_gb, .internal_total_gb, .nvme_free_gb, .nvme_total_gb,
              .cumulative_saved_bytes] | all(type == "number"))
        and .dirs_mb == {}' "$STATE/history.ndjson"

    echo "{\"ts\": \"${today}T00:00:01Z\"}" >"$STATE/history.ndjson"
    tick
    [ "$(wc -l <"$STATE/history.ndjson")" -eq 1 ]
}

@test "low space is notified once per crossing, not on every tick" {
    local queue="$STATE/notifications.queue"
    conf_add 'LOW_SPACE_WARN_GB=99999999' 'LOW_SPACE_CRITICAL_GB=0'
    tick
    tick
    tick
    [ "$(wc -l <"$queue")" -eq 1 ]
    jq -e -s '.[0] | (.title | length > 0) and (.body | test("warning")) and (.sound | type == "string")' "$queue"

    conf_add 'LOW_SPACE_CRITICAL_GB=99999998'
    tick
    tick
    [ "$(wc -l <"$queue")" -eq 2 ]
    jq -e -s '.[1].body | test("critical")' "$queue"

    # Recovering is logged but not notified; falling again notifies again.
    conf_add 'LOW_SPACE_WARN_GB=0' 'LOW_SPACE_CRITICAL_GB=0'
    tick
    [ "$(wc -l <"$queue")" -eq 2 ]
    grep -q "recovered" "$QDIR/quindle.log"
    conf_add 'LOW_SPACE_WARN_GB=99999999'
    tick
    [ "$(wc -l <"$queue")" -eq 3 ]
}
