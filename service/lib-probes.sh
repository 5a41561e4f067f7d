# shellcheck shell=bash
# What a tick looks at (the drive, the internal disk, idleness, power,
# meetings, quiet hours) and the files it writes for the application. Each
# probe degrades to a neutral value; none may stop a tick.

# 0 when a filesystem is mounted right at PATH. mountpoint is asked only when
# findmnt could not answer (1 is its "no").
q_is_mountpoint() {
    local rc=0
    timeout 10 findmnt -rn --mountpoint "$1" >/dev/null 2>&1 || rc=$?
    ((rc != 1)) || return 1
    ((rc == 0)) || timeout 10 mountpoint -q -- "$1" 2>/dev/null
}

# q_mounted_here PATH -> Q_MOUNT_TARGET and Q_MOUNT_UUID when a filesystem is
# mounted right at PATH, from the kernel's mount table and the udev UUID links
# read with builtins: no program is started on a tick with the drive in place.
q_mounted_here() {
    local table=${QUINDLE_MOUNTINFO:-/proc/self/mountinfo}
    local byuuid=${QUINDLE_DISK_BY_UUID:-/dev/disk/by-uuid}
    local path=${1%/} line written source="" link
    local fields='^[^ ]+ [^ ]+ [^ ]+ [^ ]+ ([^ ]+) .* - [^ ]+ ([^ ]+)'
    [[ -n $path && -r $table ]] || return 1
    # The table writes a mount point with space, tab, newline and backslash as
    # octal escapes: compare it with the path written the same way.
    written=${path//\\/\\134}
    written=${written// /\\040}
    written=${written//$'\t'/\\011}
    written=${written//$'\n'/\\012}
    # Fields: id, parent, device, root, mount point, options…, "-", type, source.
    while IFS= read -r line; do
        [[ $line == *" $written "* && $line =~ $fields && ${BASH_REMATCH[1]} == "$written" ]] || continue
        source=${BASH_REMATCH[2]}
    done <"$table"
    [[ -n $source ]] || return 1
    Q_MOUNT_TARGET=$path Q_MOUNT_UUID=""
    [[ $source == /* && -d $byuuid ]] || return 0
    for link in "$byuuid"/*; do
        [[ $link -ef $source ]] && Q_MOUNT_UUID=${link##*/} && break
    done
    return 0
}

# q_mount_facts PATH -> Q_MOUNT_TARGET (the mount point of the filesystem
# holding PATH) and Q_MOUNT_UUID; fails when it cannot tell.
q_mount_facts() {
    local out
    Q_MOUNT_TARGET="" Q_MOUNT_UUID=""
    q_mounted_here "$1" && return 0
    out=$(timeout 10 findmnt -rn -o TARGET,UUID --target "$1" 2>/dev/null) || return 1
    q_split_raw "${out%%$'\n'*}"
    Q_MOUNT_TARGET=${Q_FIELDS[0]-}
    Q_MOUNT_UUID=${Q_FIELDS[1]-}
    [[ ${Q_MOUNT_UUID//[0-]/} ]] || Q_MOUNT_UUID=""
    [[ -n $Q_MOUNT_TARGET ]]
}

# 0 when PATH counts as the mounted drive.
q_is_mounted() {
    local path=$1
    [[ -n $path && -d $path ]] || return 1
    q_is_mountpoint "$path" && return 0
    [[ $NVME_REQUIRE_MOUNTPOINT == 0 ]]
}

# Fills the Q_NVME_* facts of the configured drive.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_probe_nvme() {
    Q_NVME_MOUNTED=0
    Q_NVME_UUID=""
    Q_NVME_MARKER=""
    Q_NVME_MARKER_UUID=""
    Q_NVME_MARKER_OK=0
    Q_NVME_HAS_SPACE=0
    Q_NVME_FREE_GB=0
    Q_NVME_TOTAL_GB=0
    [[ -n $NVMe && -d $NVMe ]] || return 0
    # One findmnt answers both whether the drive is mounted and its UUID.
    if q_mount_facts "$NVMe"; then
        # A path through a link names the mount point differently: ask about it directly.
        [[ $Q_MOUNT_TARGET == "${NVMe%/}" || $NVME_REQUIRE_MOUNTPOINT == 0 ]] ||
            q_is_mountpoint "$NVMe" || return 0
        Q_NVME_UUID=$Q_MOUNT_UUID
    else
        q_is_mounted "$NVMe" || return 0
    fi
    Q_NVME_MOUNTED=1
    q_marker_path "$NVMe"
    Q_NVME_MARKER=$REPLY
    if [[ -f $Q_NVME_MARKER ]]; then
        Q_NVME_MARKER_OK=1
        if q_marker_value "$Q_NVME_MARKER" volume_uuid; then
            Q_NVME_MARKER_UUID=$REPLY
            if [[ -n $Q_NVME_UUID ]] && ! q_uuid_equal "$Q_NVME_UUID" "$Q_NVME_MARKER_UUID"; then
                Q_NVME_MARKER_OK=0
            fi
        fi
    fi
}

# Room on the internal disk (the filesystem that holds the home folder) and,
# when q_probe_nvme found it mounted, on the drive: one df for both.
q_probe_space() {
    local paths=("$HOME")
    ((Q_NVME_MOUNTED)) && paths+=("$NVMe")
    q_spaces 1000000000 "${paths[@]}"
    Q_INT_FREE_GB=${Q_AVAILS[0]:-0}
    Q_INT_TOTAL_GB=${Q_TOTALS[0]:-0}
    if ((Q_NVME_MOUNTED)) && [[ -n ${Q_TOTALS[1]:-} ]]; then
        Q_NVME_HAS_SPACE=1
        Q_NVME_FREE_GB=${Q_AVAILS[1]}
        Q_NVME_TOTAL_GB=${Q_TOTALS[1]}
    fi
}

# Room on the internal disk alone, when the drive does not matter.
q_probe_internal() {
    q_spaces 1000000000 "$HOME"
    Q_INT_FREE_GB=${Q_AVAILS[0]:-} Q_INT_TOTAL_GB=${Q_TOTALS[0]:-}
    [[ -n $Q_INT_FREE_GB ]]
}

# Q_IDLE_SECS, and Q_IDLE_KNOWN=0 when nothing could tell (no display).
q_probe_idle() {
    local ms
    Q_IDLE_SECS=0
    Q_IDLE_KNOWN=0
    command -v xprintidle >/dev/null 2>&1 || return 0
    ms=$(timeout 5 xprintidle 2>/dev/null) || return 0
    [[ $ms =~ ^[0-9]+$ ]] || return 0
    Q_IDLE_SECS=$((ms / 1000))
    Q_IDLE_KNOWN=1
}

# Q_ON_BATTERY (0/1), Q_BATTERY_PCT (empty when no battery).
q_probe_power() {
    local dir=${QUINDLE_POWER_SUPPLY_DIR:-/sys/class/power_supply}
    local sup type scope status online cap sum=0 count=0 ac_online=0 discharging=0
    Q_ON_BATTERY=0
    Q_BATTERY_PCT=""
    [[ -d $dir ]] || return 0
    for sup in "$dir"/*; do
        [[ -r $sup/type ]] || continue
        read -r type <"$sup/type" || true
        case $type in
            Battery)
                scope=""
                [[ -r $sup/scope ]] && read -r scope <"$sup/scope"
                # Batteries of mice and headsets say nothing about this computer.
                [[ $scope == Device ]] && continue
                status=""
                [[ -r $sup/status ]] && read -r status <"$sup/status"
                [[ $status == Discharging ]] && discharging=1
                if [[ -r $sup/capacity ]]; then
                    read -r cap <"$sup/capacity" || true
                    if [[ $cap =~ ^[0-9]+$ ]]; then
                        sum=$((sum + 10#$cap))
                        count=$((count + 1))
                    fi
                fi
                ;;
            Mains | USB* | Wireless)
                online=0
                [[ -r $sup/online ]] && read -r online <"$sup/online"
                [[ $online == 1 ]] && ac_online=1
                ;;
        esac
    done
    ((count > 0)) && Q_BATTERY_PCT=$((sum / count))
    if ((discharging && !ac_online)); then Q_ON_BATTERY=1; fi
    return 0
}

# Q_MEETING=1 while the application keeps refreshing the meeting flag.
q_probe_meeting() {
    local flag mtime
    Q_MEETING=0
    q_state_dir
    flag="$REPLY/meeting.flag"
    [[ -f $flag ]] || return 0
    mtime=$(stat -c %Y -- "$flag" 2>/dev/null) || return 0
    q_epoch
    local age=$((REPLY - mtime))
    if ((age < 60 && age > -60)); then Q_MEETING=1; fi
    return 0
}

q_current_hour() {
    if [[ -n ${QUINDLE_NOW_HOUR:-} ]]; then
        to_int "$QUINDLE_NOW_HOUR" 0 0 23
    else
        printf -v REPLY '%(%H)T' -1
        REPLY=$((10#$REPLY))
    fi
}

# q_hour_blocked HOUR "9-12,14-18": 0 when HOUR falls in a range. The end is
# exclusive; a range whose end is before its start wraps past midnight.
q_hour_blocked() {
    local hour=$1 part a b parts=()
    IFS=, read -ra parts <<<"$2" || true
    for part in "${parts[@]}"; do
        part=${part//[[:space:]]/}
        if [[ $part =~ ^([0-9]{1,2})-([0-9]{1,2})$ ]]; then
            a=$((10#${BASH_REMATCH[1]}))
            b=$((10#${BASH_REMATCH[2]}))
        elif [[ $part =~ ^([0-9]{1,2})$ ]]; then
            a=$((10#${BASH_REMATCH[1]}))
            b=$((a + 1))
        else
            continue
        fi
        ((a <= 24 && b <= 24)) || continue
        if ((a < b)); then
            ((hour >= a && hour < b)) && return 0
        elif ((a > b)); then
            ((hour >= a || hour < b)) && return 0
        fi
    done
    return 1
}

# Q_QUIET (0/1) and Q_QUIET_REASON for the configured mode.
q_decide_quiet() {
    Q_QUIET=0
    Q_QUIET_REASON=""
    case $QUIET_MODE in
        always-on) ;;
        smart)
            if [[ $SMART_RESPECT_MEETINGS == 1 ]] && ((Q_MEETING)); then
                Q_QUIET=1
                Q_QUIET_REASON="A meeting is in progress."
            elif ((Q_ON_BATTERY)) && [[ -n $Q_BATTERY_PCT ]] && ((Q_BATTERY_PCT < SMART_MIN_BATTERY)); then
                Q_QUIET=1
                Q_QUIET_REASON="The battery is at $Q_BATTERY_PCT %, below the $SMART_MIN_BATTERY % floor."
            elif ((Q_IDLE_KNOWN)) && ((Q_IDLE_SECS < SMART_IDLE_MINUTES * 60)); then
                Q_QUIET=1
                Q_QUIET_REASON="You were active in the last $SMART_IDLE_MINUTES minutes."
            fi
            ;;
        *)
            q_current_hour
            if q_hour_blocked "$REPLY" "$QUIET_HOURS_BLOCKED"; then Q_QUIET=1; fi
            ;;
    esac
}

q_probe_all() {
    q_probe_nvme
    q_probe_space
    q_probe_idle
    q_probe_power
    q_probe_meeting
    q_decide_quiet
    q_state_dir
    Q_PAUSED=0
    [[ -e $REPLY/paused ]] && Q_PAUSED=1
    return 0
}

# ---------------------------------------------------------------------------
# Files the application reads

q_render_status() {
    q_now_utc
    local now=$REPLY
    j_begin
    j_str timestamp "$now"
    j_int version "$Q_VERSION"
    j_str nvme_path "$NVMe"
    j_bool mounted "$Q_NVME_MOUNTED"
    j_bool marker_ok "$Q_NVME_MARKER_OK"
    if ((Q_NVME_MOUNTED && Q_NVME_HAS_SPACE)); then
        j_int nvme_free_gb "$Q_NVME_FREE_GB"
        j_int nvme_total_gb "$Q_NVME_TOTAL_GB"
    fi
    j_str nvme_uuid "$Q_NVME_UUID"
    j_str volume_uuid "$Q_NVME_UUID"
    j_int internal_free_gb "$Q_INT_FREE_GB"
    j_int internal_total_gb "$Q_INT_TOTAL_GB"
    j_int idle_secs "$Q_IDLE_SECS"
    j_bool quiet_hours "$Q_QUIET"
    j_bool paused "$Q_PAUSED"
    j_bool auto_enabled "$ENABLE_AUTO_ACTIONS"
    q_read_private last-run
    [[ -n $REPLY ]] && j_str last_run "$REPLY"
    q_read_private last-event
    [[ -n $REPLY ]] && j_str last_event "$REPLY"
    j_int low_space_warn_gb "$LOW_SPACE_WARN_GB"
    j_int low_space_critical_gb "$LOW_SPACE_CRITICAL_GB"
    j_int auto_relocate_hour "$AUTO_RELOCATE_HOUR"
    j_str quiet_hours_blocked "$QUIET_HOURS_BLOCKED"
    j_int rule_count "${#RULES[@]}"
    j_int app_cache_path_count "${#APP_CACHE_PATHS[@]}"
    j_str quiet_mode "$QUIET_MODE"
    [[ -n $Q_QUIET_REASON ]] && j_str quiet_reason "$Q_QUIET_REASON"
    j_int smart_idle_minutes "$SMART_IDLE_MINUTES"
    j_int smart_min_battery "$SMART_MIN_BATTERY"
    j_bool smart_respect_meetings "$SMART_RESPECT_MEETINGS"
    j_bool on_battery "$Q_ON_BATTERY"
    [[ -n $Q_BATTERY_PCT ]] && j_int battery_pct "$Q_BATTERY_PCT"
    j_bool meeting_active "$Q_MEETING"
    j_end pretty
}

q_write_status() {
    q_render_status
    local json=$REPLY
    q_state_dir
    q_write_atomic "$REPLY/status.json" "$json"$'\n'
}

# One snapshot per UTC day.
q_append_history() {
    q_state_dir
    local file="$REPLY/history.ndjson" line today saved
    q_today_utc
    today=$REPLY
    if [[ -f $file ]]; then
        local re='"ts"[[:space:]]*:[[:space:]]*"'$today
        while IFS= read -r line || [[ -n $line ]]; do
            [[ $line =~ $re ]] && return 0
        done <"$file"
    fi
    q_read_private saved-bytes
    to_int "$REPLY" 0 0
    saved=$REPLY
    q_now_utc
    j_begin
    j_str ts "$REPLY"
    j_int internal_free_gb "$Q_INT_FREE_GB"
    j_int internal_total_gb "$Q_INT_TOTAL_GB"
    j_int nvme_free_gb "$Q_NVME_FREE_GB"
    j_int nvme_total_gb "$Q_NVME_TOTAL_GB"
    j_int cumulative_saved_bytes "$saved"
    q_scan_dirs_mb
    j_raw dirs_mb "$REPLY"
    j_end
    printf '%s\n' "$REPLY" >>"$file"
}

# q_notify TITLE BODY [SOUND]: queued for the application to show. The
# application moves the queue aside holding notifications.lock, so a line is
# appended under that lock, never into a file that is being moved.
q_notify() {
    q_state_dir
    local dir=$REPLY fd line
    j_begin
    j_str title "$1"
    j_str body "$2"
    j_str sound "${3:-}"
    j_end
    line=$REPLY
    mkdir -p -- "$dir" 2>/dev/null || true
    if ! exec {fd}>>"$dir/notifications.lock"; then
        q_log "The notification lock could not be opened; the notification \"$1\" is queued without it."
        printf '%s\n' "$line" >>"$dir/notifications.queue" || true
        return 0
    fi
    # The application holds the lock only for a rename.
    flock -w 10 "$fd" || q_log "The notification lock stayed taken for 10 seconds; the notification \"$1\" is queued without it."
    printf '%s\n' "$line" >>"$dir/notifications.queue" || true
    exec {fd}>&-
    return 0
}

# quindle.sh notify TITLE BODY [SOUND]: queues a notification the way the
# service's own are queued, for rules and scripts of the user's.
cmd_notify() {
    (($# == 2 || $# == 3)) || q_usage_error "notify takes a title, a body and, optionally, a sound name."
    [[ -n $1 ]] || q_usage_error "notify needs a title that is not empty."
    q_notify "$@"
    echo "The notification is queued; Quindle shows it within a few seconds while it runs."
}
