#!/usr/bin/env bats
# status.json, history and notifications written by a watch tick.

load helpers

setup() { setup_service; }

# Every key of the status file with the type the application decodes.
STATUS_TYPES='(.timestamp | type == "string" and test("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$"))
  and ([.nvme_path, .quiet_hours_blocked, .quiet_mode, .nvme_uuid, .volume_uuid] | all(type == "string"))
  and ([.mounted, .marker_ok, .quiet_hours, .paused, .auto_enabled, .smart_respect_meetings, .on_battery,
        .meeting_active] | all(type == "boolean"))
  and ([.version, .internal_free_gb, .internal_total_gb, .idle_secs, .low_space_warn_gb, .low_space_critical_gb,
        .auto_relocate_hour, .rule_count, .app_cache_path_count, .smart_idle_minutes, .smart_min_battery]
       | all(type == "number" and . == floor))
  and ([.nvme_free_gb, .nvme_total_gb, .battery_pct] | all(. == null or (type == "number" and . == floor)))
  and ([.last_run, .last_event, .quiet_reason] | all(. == null or type == "string"))'

@test "a tick writes every key typed, for a spare folder, an awkward path and a missing drive" {
    tick
    jstatus --arg p "$DRIVE" "$STATUS_TYPES"' and .nvme_path == $p and .mounted and (.marker_ok | not) and .auto_enabled
        and .nvme_free_gb >= 0 and .nvme_total_gb > 0 and .internal_total_gb > 0'
    [[ $(ls -A "$STATE") != *tmp* ]]

    # A drive df cannot answer for costs only the drive's own figures.
    fake_bin df 'for a; do [[ $a == '"$(printf %q "$DRIVE")"' ]] && exit 1; done; exec '"$(real_bin df)"' "$@"'
    tick
    jstatus '.mounted and .internal_total_gb > 0 and (has("nvme_free_gb") or has("nvme_total_gb") | not)'
    rm "$FAKEBIN/df"

    # One that hangs is given up on at the limit and ended, its partial answer unused.
    run bash -c 'source "$1/lib-common.sh"; q_output_within 1 bash -c "echo part; echo \$\$ >\"\$2\"; exec sleep 60" _ "$2"
        echo "rc=$? [$REPLY]"' _ "$QDIR" "$BATS_TEST_TMPDIR/hung"
    [ "$output" = "rc=1 []" ]
    wait_for 5 bash -c '! kill -0 "$(cat "$1")" 2>/dev/null' _ "$BATS_TEST_TMPDIR/hung"

    local odd="$BATS_TEST_TMPDIR/drives/Q\"uo\\te"$'\t'"dé ’x"$'\n\x1f'"2 \$HOME"
    mkdir -p "$odd"
    install_config "$odd"
    tick
    jstatus --arg p "$odd" '.nvme_path == $p and .mounted'

    # A plain folder is not mounted once the config asks for a mount point.
    conf_add NVME_REQUIRE_MOUNTPOINT=1
    tick
    jstatus '.mounted | not'
    rm -rf "$odd"
    tick
    jstatus "$STATUS_TYPES"' and ((.mounted or .marker_ok or has("nvme_free_gb") or has("nvme_total_gb")) | not)'
}

@test "config values are read as bash reads them, odd numbers fall back and a flag is on only for 1 or true" {
    conf_add 'QUIET_HOURS_BLOCKED="9-12 # not a comment"' "QUIET_MODE='smart'" \
        'RULES=( "archive_old | $HOME/Downloads | /x | 30" "delete_old|\"a b\"|c|7" )' \
        'APP_CACHE_PATHS=("a b" c)'
    tick
    jstatus '.quiet_hours_blocked == "9-12 # not a comment" and .quiet_mode == "smart"
        and .rule_count == 2 and .app_cache_path_count == 2'

    install_config "$DRIVE"
    conf_add 'LOW_SPACE_WARN_GB=08' 'AUTO_RELOCATE_HOUR=25' 'SMART_MIN_BATTERY=" 20 "' \
        'LOW_SPACE_CRITICAL_GB=1e3' 'ENABLE_AUTO_ACTIONS=yes' 'QUIET_MODE=sometimes' \
        'RULES=""' 'APP_CACHE_PATHS="only one"'
    tick
    jstatus "$STATUS_TYPES"' and .rule_count == 0 and .app_cache_path_count == 1 and .quiet_mode == "schedule"
        and .low_space_warn_gb == 8 and .auto_relocate_hour == 3 and .smart_min_battery == 20
        and .low_space_critical_gb == 15 and (.auto_enabled | not)'
}

@test "a missing, unfilled or broken config gives the defaults for what it did not set" {
    rm "$QDIR/quindle.conf"
    USER=tester tick
    jstatus "$STATUS_TYPES"' and (.nvme_path | test("^/(run/)?media/tester/NVMe$"))
        and .low_space_warn_gb == 40 and .low_space_critical_gb == 15 and .auto_relocate_hour == 3
        and .quiet_mode == "schedule" and .quiet_hours_blocked == "9-19" and .rule_count == 0
        and .smart_idle_minutes == 5 and .smart_min_battery == 30 and .smart_respect_meetings'

    cp "$SERVICE_SRC/quindle.conf" "$QDIR/quindle.conf"
    USER=tester tick
    jstatus '.nvme_path | test("^/(run/)?media/tester/NVMe$")'

    # Keys read before the fault are kept.
    local broken drive_q
    printf -v drive_q '%q' "$DRIVE"
    for broken in $'if then fi\nAUTO_RELOCATE_HOUR=9' 'exit 3' $'set -e; false\nAUTO_RELOCATE_HOUR=9' \
        $'echo noise; echo more >&2\nQUIET_HOURS_BLOCKED="9-1'; do
        printf 'NVMe=%s\nNVME_REQUIRE_MOUNTPOINT=0\nLOW_SPACE_WARN_GB=77\n%s' "$drive_q" "$broken" \
            >"$QDIR/quindle.conf"
        tick
        jstatus --arg p "$DRIVE" "$STATUS_TYPES"' and .nvme_path == $p and .low_space_warn_gb == 77
            and .auto_relocate_hour == 3 and .quiet_hours_blocked == "9-19"'
    done
    grep -q "could not be read to its end" "$QDIR/quindle.log"
}

@test "schedule mode is quiet inside the blocked ranges, end exclusive, wrapping midnight" {
    local row mode hour ranges want
    for row in 'schedule 9 9-19 true' 'schedule 19 9-19 false' 'schedule 14 9-12,14-18 true' \
        'schedule 12 9-12,14-18 false' 'schedule 23 22-6 true' 'schedule 3 22-6 true' \
        'schedule 6 22-6 false' 'schedule 5 nonsense,5-6 true' 'always-on 12 0-24 false'; do
        read -r mode hour ranges want <<<"$row"
        install_config "$DRIVE"
        conf_add "QUIET_MODE=$mode" "QUIET_HOURS_BLOCKED=\"$ranges\""
        QUINDLE_NOW_HOUR=$hour tick
        jstatus --argjson w "$want" '.quiet_hours == $w' || { echo "$row: wrong" >&2; return 1; }
    done
}

@test "smart mode holds work back for recent input, a low battery or a meeting" {
    conf_add 'QUIET_MODE=smart' 'SMART_IDLE_MINUTES=10'
    tick
    jstatus '(.quiet_hours | not) and .idle_secs == 0'

    fake_bin xprintidle 'echo 2000'
    tick
    jstatus '.quiet_hours and .idle_secs == 2 and (.quiet_reason | test("active"))'

    fake_bin xprintidle 'echo 3600000'
    local bat="$QUINDLE_POWER_SUPPLY_DIR/BAT0" f
    mkdir -p "$bat"
    for f in type:Battery status:Discharging capacity:20; do echo "${f#*:}" >"$bat/${f%%:*}"; done
    tick
    jstatus '.quiet_hours and .on_battery and .battery_pct == 20 and (.quiet_reason | test("battery"))'

    echo Charging >"$bat/status"
    echo meeting >"$STATE/meeting.flag"
    tick
    jstatus '.quiet_hours and .meeting_active and (.on_battery | not) and (.quiet_reason | test("meeting"))'

    # The application refreshes the flag while the meeting lasts.
    touch -d '-5 minutes' "$STATE/meeting.flag"
    tick
    jstatus '(.quiet_hours or .meeting_active or has("quiet_reason")) | not'
}

@test "history gets one snapshot per UTC day" {
    echo "{\"ts\":\"$(date -u -d yesterday +%F)T12:00:00Z\",\"internal_free_gb\":1}" >"$STATE/history.ndjson"
    tick
    tick
    [ "$(wc -l <"$STATE/history.ndjson")" -eq 2 ]
    jq -e -s --arg d "$(date -u +%F)" '.[1] | (.ts | startswith($d))
        and ([.internal_free_gb, .internal_total_gb, .nvme_free_gb, .nvme_total_gb,
              .cumulative_saved_bytes] | all(type == "number"))' "$STATE/history.ndjson"
}

@test "low space is notified once per crossing, not on every tick" {
    local queue="$STATE/notifications.queue" row warn crit want
    # Warning and critical levels, then the notifications queued after two
    # ticks: recovering is logged but not notified; falling again notifies.
    for row in '99999999 0 1' '99999999 99999998 2' '0 0 2' '99999999 0 3'; do
        read -r warn crit want <<<"$row"
        conf_add "LOW_SPACE_WARN_GB=$warn" "LOW_SPACE_CRITICAL_GB=$crit"
        tick
        tick
        [ "$(wc -l <"$queue")" -eq "$want" ]
    done
    grep -q "recovered" "$QDIR/quindle.log"
    jq -e -s 'map(.body | if test("critical") then "c" elif test("warning") then "w" else "?" end) == ["w", "c", "w"]
        and all(.title | length > 0) and all(.sound | type == "string")' "$queue"
}

@test "a drive mounted right at its path is found in the mount table without starting a program" {
    local drive="$BATS_TEST_TMPDIR/drives/My Drive" dev="$BATS_TEST_TMPDIR/dev/sdz1"
    mkdir -p "$drive" "${dev%/*}" "$BATS_TEST_TMPDIR/by-uuid"
    : >"$dev"
    ln -s ../dev/sdz1 "$BATS_TEST_TMPDIR/by-uuid/1234-ABCD"
    printf '36 25 8:17 / %s rw,relatime shared:1 - exfat %s rw\n' "${drive// /\\040}" "$dev" \
        >"$BATS_TEST_TMPDIR/mountinfo"
    export QUINDLE_MOUNTINFO="$BATS_TEST_TMPDIR/mountinfo" QUINDLE_DISK_BY_UUID="$BATS_TEST_TMPDIR/by-uuid"
    install_config "$drive"
    conf_add NVME_REQUIRE_MOUNTPOINT=1
    fake_bin findmnt 'exit 9'
    fake_bin mountpoint 'exit 9'
    tick
    jstatus '.mounted and .nvme_uuid == "1234-ABCD"'

    # Mounted elsewhere: the table does not say, and neither can the failing programs.
    printf '36 25 8:17 / /elsewhere rw - exfat %s rw\n' "$dev" >"$QUINDLE_MOUNTINFO"
    tick
    jstatus '(.mounted | not) and .nvme_uuid == ""'
}
