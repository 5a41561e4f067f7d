#!/usr/bin/env bash
# Quindle background service. `quindle.sh watch` runs under the per-user
# service manager; the application runs the other sub-commands and reads the
# files written under ~/.quindle/state.
set -euo pipefail

_Q_SELF_DIR=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib-common.sh
source "$_Q_SELF_DIR/lib-common.sh"

Q_VERSION=1

# ---------------------------------------------------------------------------
# Configuration

Q_SCALAR_KEYS=(NVMe ENABLE_AUTO_ACTIONS WATCH_INTERVAL_SECS LOW_SPACE_WARN_GB
    LOW_SPACE_CRITICAL_GB AUTO_RELOCATE_DAILY AUTO_RELOCATE_HOUR QUIET_MODE
    QUIET_HOURS_BLOCKED IDLE_THRESHOLD_SECS SMART_IDLE_MINUTES SMART_MIN_BATTERY
    SMART_RESPECT_MEETINGS NOTIFY_ON_OK_RUN DISABLE_DELETE MIN_ARCHIVE_DAYS
    MIN_DELETE_DAYS MIN_AGE_HARD_FLOOR_DAYS OPTIMISE_CLOUD_PROVIDERS
    INCLUDE_CLOUD_EVICT NVME_REQUIRE_MOUNTPOINT)
Q_ARRAY_KEYS=(RULES APP_CACHE_PATHS APP_CACHE_SAFE_DIRS)

# shellcheck disable=SC2034 # some keys are read only by later stages
q_config_defaults() {
    q_volumes_root
    NVMe="$REPLY/NVMe"
    ENABLE_AUTO_ACTIONS=1
    WATCH_INTERVAL_SECS=30
    LOW_SPACE_WARN_GB=40
    LOW_SPACE_CRITICAL_GB=15
    AUTO_RELOCATE_DAILY=1
    AUTO_RELOCATE_HOUR=3
    QUIET_MODE=schedule
    QUIET_HOURS_BLOCKED=9-19
    IDLE_THRESHOLD_SECS=600
    SMART_IDLE_MINUTES=5
    SMART_MIN_BATTERY=30
    SMART_RESPECT_MEETINGS=1
    NOTIFY_ON_OK_RUN=0
    DISABLE_DELETE=0
    MIN_ARCHIVE_DAYS=0
    MIN_DELETE_DAYS=0
    MIN_AGE_HARD_FLOOR_DAYS=7
    OPTIMISE_CLOUD_PROVIDERS=""
    INCLUDE_CLOUD_EVICT=0
    # A spare folder standing in for the drive counts as mounted only when
    # this is 0.
    NVME_REQUIRE_MOUNTPOINT=1
    RULES=()
    APP_CACHE_PATHS=()
    APP_CACHE_SAFE_DIRS=()
}

# The config is sourced by a separate bash under a time limit so that a syntax
# error, an `exit`, a stray command or a hang in a hand-edited file cannot take
# the service down. The child hands the values back NUL-separated.
# shellcheck disable=SC2016
_Q_CONF_READER='
conf=$1; shift
specs=("$@")
for spec in "${specs[@]}"; do unset "${spec#?:}"; done
dump() {
    local rc=$? spec k n i
    for spec in "${specs[@]}"; do
        k=${spec#?:}
        declare -p "$k" >/dev/null 2>&1 || continue
        declare -n ref=$k
        if [[ ${ref@a} == *[aA]* ]]; then
            n=${#ref[@]}
            printf "A\0%s\0%d\0" "$k" "$n" >&3
            for i in "${ref[@]}"; do printf "%s\0" "$i" >&3; done
        else
            printf "S\0%s\0%s\0" "$k" "${ref-}" >&3
        fi
        unset -n ref
    done
    printf "R\0%d\0" "$rc" >&3
}
trap dump EXIT
exec 3>&1
source "$conf" >/dev/null 2>&1 </dev/null
'

# Sets Q_CONF_STATE to missing, ok or error (the file could not be read to its end).
q_load_config() {
    q_config_defaults
    Q_CONF_STATE=missing
    q_conf_path
    local conf=$REPLY tag k n i e rc="" specs=()
    [[ -f $conf ]] || return 0
    for k in "${Q_SCALAR_KEYS[@]}"; do specs+=("S:$k"); done
    for k in "${Q_ARRAY_KEYS[@]}"; do specs+=("A:$k"); done
    q_user
    local -a items
    while IFS= read -r -d '' tag; do
        case $tag in
            S)
                IFS= read -r -d '' k || break
                IFS= read -r -d '' e || break
                q_set_conf_key "$k" "$e"
                ;;
            A)
                IFS= read -r -d '' k || break
                IFS= read -r -d '' n || break
                items=()
                for ((i = 0; i < n; i++)); do
                    IFS= read -r -d '' e || break
                    items+=("$e")
                done
                q_set_conf_key "$k" "${items[@]}"
                ;;
            R) IFS= read -r -d '' rc || true ;;
        esac
    done < <(USER=$REPLY timeout 10 bash --norc --noprofile -c "$_Q_CONF_READER" quindle-config "$conf" "${specs[@]}" 2>/dev/null)
    if [[ $rc == 0 ]]; then Q_CONF_STATE=ok; else Q_CONF_STATE=error; fi
    q_normalise_config
}

# q_set_conf_key KEY VALUE...: a list key takes all values (a plain string
# becomes one entry); any other key takes the first, as bash would expand it.
# shellcheck disable=SC2034
q_set_conf_key() {
    local k=$1
    shift
    case $k in
        RULES) RULES=("$@") ;;
        APP_CACHE_PATHS) APP_CACHE_PATHS=("$@") ;;
        APP_CACHE_SAFE_DIRS) APP_CACHE_SAFE_DIRS=("$@") ;;
        *) [[ " ${Q_SCALAR_KEYS[*]} " == *" $k "* ]] && printf -v "$k" '%s' "${1-}" ;;
    esac
    return 0
}

# An empty plain string in a list key means no entries.
q_normalise_config() {
    local k
    for k in RULES APP_CACHE_PATHS APP_CACHE_SAFE_DIRS; do
        declare -n arr=$k
        if ((${#arr[@]} == 1)) && [[ -z ${arr[0]} ]]; then arr=(); fi
        unset -n arr
    done
    [[ $NVMe != __NVME_DEFAULT__ ]] || { q_volumes_root; NVMe="$REPLY/NVMe"; }
    q_strip_slashes "$NVMe"
    NVMe=$REPLY
    to_int "$ENABLE_AUTO_ACTIONS" 1 0 1; ENABLE_AUTO_ACTIONS=$REPLY
    to_int "$WATCH_INTERVAL_SECS" 30 1 86400; WATCH_INTERVAL_SECS=$REPLY
    to_int "$LOW_SPACE_WARN_GB" 40 0; LOW_SPACE_WARN_GB=$REPLY
    to_int "$LOW_SPACE_CRITICAL_GB" 15 0; LOW_SPACE_CRITICAL_GB=$REPLY
    to_int "$AUTO_RELOCATE_DAILY" 1 0 1; AUTO_RELOCATE_DAILY=$REPLY
    to_int "$AUTO_RELOCATE_HOUR" 3 0 23; AUTO_RELOCATE_HOUR=$REPLY
    to_int "$IDLE_THRESHOLD_SECS" 600 0; IDLE_THRESHOLD_SECS=$REPLY
    to_int "$SMART_IDLE_MINUTES" 5 0; SMART_IDLE_MINUTES=$REPLY
    to_int "$SMART_MIN_BATTERY" 30 0 100; SMART_MIN_BATTERY=$REPLY
    to_int "$SMART_RESPECT_MEETINGS" 1 0 1; SMART_RESPECT_MEETINGS=$REPLY
    to_int "$NOTIFY_ON_OK_RUN" 0 0 1; NOTIFY_ON_OK_RUN=$REPLY
    to_int "$DISABLE_DELETE" 0 0 1; DISABLE_DELETE=$REPLY
    to_int "$MIN_ARCHIVE_DAYS" 0 0; MIN_ARCHIVE_DAYS=$REPLY
    to_int "$MIN_DELETE_DAYS" 0 0; MIN_DELETE_DAYS=$REPLY
    to_int "$MIN_AGE_HARD_FLOOR_DAYS" 7 1; MIN_AGE_HARD_FLOOR_DAYS=$REPLY
    to_int "$INCLUDE_CLOUD_EVICT" 0 0 1; INCLUDE_CLOUD_EVICT=$REPLY
    to_int "$NVME_REQUIRE_MOUNTPOINT" 1 0 1; NVME_REQUIRE_MOUNTPOINT=$REPLY
    case $QUIET_MODE in
        schedule | smart | always-on) ;;
        *) QUIET_MODE=schedule ;;
    esac
}

# ---------------------------------------------------------------------------
# Probes. Each degrades to a neutral value; none may stop a tick.

# 0 when a filesystem is mounted right at PATH.
q_is_mountpoint() {
    timeout 10 findmnt -rn --mountpoint "$1" >/dev/null 2>&1 && return 0
    timeout 10 mountpoint -q -- "$1" 2>/dev/null
}

# 0 when PATH counts as the mounted drive.
q_is_mounted() {
    local path=$1
    [[ -n $path && -d $path ]] || return 1
    q_is_mountpoint "$path" && return 0
    [[ $NVME_REQUIRE_MOUNTPOINT == 0 ]]
}

# Fills the Q_NVME_* facts of the configured drive.
q_probe_nvme() {
    Q_NVME_MOUNTED=0
    Q_NVME_UUID=""
    Q_NVME_MARKER=""
    Q_NVME_MARKER_UUID=""
    Q_NVME_MARKER_OK=0
    Q_NVME_HAS_SPACE=0
    Q_NVME_FREE_GB=0
    Q_NVME_TOTAL_GB=0
    q_is_mounted "$NVMe" || return 0
    Q_NVME_MOUNTED=1
    q_fs_uuid "$NVMe"
    Q_NVME_UUID=$REPLY
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
    if q_space "$NVMe" 1000000000; then
        Q_NVME_HAS_SPACE=1
        Q_NVME_FREE_GB=$Q_AVAIL
        Q_NVME_TOTAL_GB=$Q_TOTAL
    fi
}

# The internal disk is the filesystem that holds the home folder.
q_probe_internal() {
    q_space "$HOME" 1000000000 || true
    Q_INT_FREE_GB=$Q_AVAIL
    Q_INT_TOTAL_GB=$Q_TOTAL
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
        type=$(<"$sup/type")
        case $type in
            Battery)
                scope=""
                [[ -r $sup/scope ]] && scope=$(<"$sup/scope")
                # Batteries of mice and headsets say nothing about this computer.
                [[ $scope == Device ]] && continue
                status=""
                [[ -r $sup/status ]] && status=$(<"$sup/status")
                [[ $status == Discharging ]] && discharging=1
                if [[ -r $sup/capacity ]]; then
                    cap=$(<"$sup/capacity")
                    if [[ $cap =~ ^[0-9]+$ ]]; then
                        sum=$((sum + 10#$cap))
                        count=$((count + 1))
                    fi
                fi
                ;;
            Mains | USB* | Wireless)
                online=0
                [[ -r $sup/online ]] && online=$(<"$sup/online")
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
    q_probe_internal
    q_probe_idle
    q_probe_power
    q_probe_meeting
    q_decide_quiet
    q_state_dir
    Q_PAUSED=0
    [[ -e $REPLY/paused ]] && Q_PAUSED=1
    return 0
}

# First line of a private state file, or empty.
q_read_private() {
    q_private_dir
    local f="$REPLY/$1"
    REPLY=""
    [[ -r $f ]] && IFS= read -r REPLY <"$f"
    return 0
}

q_write_private() {
    q_private_dir
    mkdir -p -- "$REPLY" 2>/dev/null || return 0
    q_write_atomic "$REPLY/$1" "$2"$'\n' || true
}

# Logs an event and remembers it as the status file's last_event.
q_event() {
    q_log "$1"
    q_write_private last-event "$1"
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
    j_raw dirs_mb '{}'
    j_end
    printf '%s\n' "$REPLY" >>"$file"
}

# q_notify TITLE BODY [SOUND]: queued for the application to show.
q_notify() {
    q_state_dir
    local queue="$REPLY/notifications.queue"
    j_begin
    j_str title "$1"
    j_str body "$2"
    j_str sound "${3:-}"
    j_end
    printf '%s\n' "$REPLY" >>"$queue"
}

# Notifies when free internal space falls into a worse band than last time.
# Climbing back out needs one GB of headroom so that space hovering at a
# threshold does not notify on every tick.
q_check_low_space() {
    local free=$Q_INT_FREE_GB level prev
    local -A rank=([ok]=0 [warn]=1 [critical]=2)
    ((Q_INT_TOTAL_GB > 0)) || return 0
    q_read_private low-space
    prev=${REPLY:-ok}
    case $prev in ok | warn | critical) ;; *) prev=ok ;; esac
    if ((free < LOW_SPACE_CRITICAL_GB)); then
        level=critical
    elif ((free < LOW_SPACE_WARN_GB)); then
        level=warn
    else
        level=ok
    fi
    if [[ $prev == critical && $level == warn ]] && ((free < LOW_SPACE_CRITICAL_GB + 1)); then level=critical; fi
    if [[ $prev != ok && $level == ok ]] && ((free < LOW_SPACE_WARN_GB + 1)); then level=$prev; fi
    [[ $level == "$prev" ]] && return 0
    q_write_private low-space "$level"
    if ((rank[$level] > rank[$prev])); then
        if [[ $level == critical ]]; then
            q_notify "Internal disk is almost full" \
                "Only $free GB are free on the internal disk, below the critical level of $LOW_SPACE_CRITICAL_GB GB. Move folders to the NVMe or free up space now." \
                dialog-error
            q_event "Internal disk free space fell to $free GB, below the critical level of $LOW_SPACE_CRITICAL_GB GB."
        else
            q_notify "Internal disk is running low on space" \
                "Only $free GB are free on the internal disk, below the warning level of $LOW_SPACE_WARN_GB GB. Consider moving folders to the NVMe." \
                dialog-warning
            q_event "Internal disk free space fell to $free GB, below the warning level of $LOW_SPACE_WARN_GB GB."
        fi
    else
        q_event "Internal disk free space recovered to $free GB."
    fi
}

# Logs the drive coming and going.
q_check_mount_change() {
    local now="$Q_NVME_MOUNTED $Q_NVME_MARKER_OK"
    q_read_private nvme-state
    [[ $REPLY == "$now" ]] && return 0
    q_write_private nvme-state "$now"
    if ((!Q_NVME_MOUNTED)); then
        q_event "The NVMe at $NVMe is not mounted."
    elif ((Q_NVME_MARKER_OK)); then
        q_event "The NVMe is mounted at $NVMe and carries the marker."
    else
        q_event "A drive is mounted at $NVMe but it is not the prepared NVMe."
    fi
}

q_check_config_state() {
    local prev
    q_read_private config-state
    prev=$REPLY
    [[ $prev == "$Q_CONF_STATE" ]] && return 0
    q_write_private config-state "$Q_CONF_STATE"
    case $Q_CONF_STATE in
        error) q_log "The configuration file could not be read to its end; missing keys use their defaults." ;;
        missing) q_log "The configuration file is missing; using defaults." ;;
        ok) [[ -z $prev ]] || q_log "The configuration file reads cleanly again." ;;
    esac
}

# remount finds the drive again by the filesystem UUID it had when last seen
# with its marker.
q_remember_nvme_uuid() {
    ((Q_NVME_MARKER_OK)) && [[ -n $Q_NVME_UUID ]] || return 0
    q_read_private nvme-uuid
    [[ $REPLY == "$Q_NVME_UUID" ]] || q_write_private nvme-uuid "$Q_NVME_UUID"
}

q_tick() {
    q_state_dir
    mkdir -p -- "$REPLY"
    q_check_config_state
    q_probe_all
    q_check_mount_change
    q_remember_nvme_uuid
    q_check_low_space
    q_write_status
    q_append_history
}

# ---------------------------------------------------------------------------
# Sub-commands

cmd_watch() {
    local once=0
    case ${1:-} in
        --once) once=1 ;;
        "") ;;
        *) q_usage_error "watch takes no argument but --once." ;;
    esac
    set +e
    if ((once)); then
        q_load_config
        (q_tick)
        return
    fi
    local stop=0 sleeper="" rc
    trap 'stop=1; [[ -n $sleeper ]] && kill "$sleeper" 2>/dev/null' TERM INT
    q_log "Service started (pid $$)."
    while ((!stop)); do
        q_load_config
        # A subshell per tick: an unexpected failure ends the tick, not the service.
        (q_tick)
        rc=$?
        ((rc == 0)) || q_log "A watch tick failed with status $rc."
        ((stop)) && break
        sleep "$WATCH_INTERVAL_SECS" &
        sleeper=$!
        wait "$sleeper"
        sleeper=""
    done
    q_log "Service stopped."
    return 0
}

# Rewrites status.json so the popover shows the change without waiting for a tick.
q_refresh_status() {
    q_load_config
    (set +e; q_tick) >/dev/null 2>&1 || true
}

q_pause_actions() {
    q_state_dir
    mkdir -p -- "$REPLY"
    : >"$REPLY/paused"
    q_event "Automatic actions paused."
}

cmd_pause() {
    q_pause_actions
    q_refresh_status
    echo "Automatic actions are paused."
}

cmd_resume() {
    q_state_dir
    rm -f -- "$REPLY/paused"
    q_event "Automatic actions resumed."
    q_refresh_status
    echo "Automatic actions are resumed."
}

# 0 when /etc/fstab has an entry mounted at PATH.
q_fstab_pins() {
    local path=$1 fstab=${QUINDLE_FSTAB:-/etc/fstab} line _src mnt
    [[ -r $fstab && -n $path ]] || return 1
    while IFS= read -r line || [[ -n $line ]]; do
        [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
        read -r _src mnt _ <<<"$line" || true
        # fstab writes a space as \040 and a tab as \011.
        printf -v mnt '%b' "${mnt//\\/\\0}"
        q_strip_slashes "$mnt"
        [[ $REPLY == "$path" ]] && return 0
    done <"$fstab"
    return 1
}

cmd_nvme_info() {
    q_load_config
    q_probe_nvme
    q_probe_internal
    local fstype="" device="" initialized="" host="" pin=0
    if ((Q_NVME_MOUNTED)); then
        q_fs_field "$NVMe" FSTYPE
        fstype=$REPLY
        q_fs_field "$NVMe" SOURCE
        device=$REPLY
        if [[ -f $Q_NVME_MARKER ]]; then
            q_marker_value "$Q_NVME_MARKER" initialized && initialized=$REPLY
            q_marker_value "$Q_NVME_MARKER" host && host=$REPLY
        fi
    fi
    q_fstab_pins "$NVMe" && pin=1
    j_begin
    j_str mount_path "$NVMe"
    j_bool mounted "$Q_NVME_MOUNTED"
    j_bool marker_ok "$Q_NVME_MARKER_OK"
    j_str filesystem "$fstype"
    j_str volume_uuid "$Q_NVME_UUID"
    j_str device "$device"
    if ((Q_NVME_MOUNTED && Q_NVME_HAS_SPACE)); then
        j_int free_gb "$Q_NVME_FREE_GB"
        j_int total_gb "$Q_NVME_TOTAL_GB"
    fi
    j_str marker_initialized "$initialized"
    j_str marker_host "$host"
    j_bool fstab_pin "$pin"
    j_int internal_free_gb "$Q_INT_FREE_GB"
    j_int internal_total_gb "$Q_INT_TOTAL_GB"
    j_end pretty
    printf '%s\n' "$REPLY"
}

cmd_validate() {
    q_load_config
    q_probe_nvme
    local ok=1
    if ((Q_NVME_MOUNTED)); then
        echo "✓ Mounted: $NVMe is mounted."
    else
        echo "✗ Mounted: $NVMe is not mounted."
        ok=0
    fi
    if ((Q_NVME_MOUNTED)) && [[ -f $Q_NVME_MARKER ]]; then
        echo "✓ Marker: present at $Q_NVME_MARKER."
    else
        q_marker_path "$NVMe"
        echo "✗ Marker: missing at $REPLY."
        ok=0
    fi
    if ((Q_NVME_MOUNTED)) && [[ -f $Q_NVME_MARKER ]]; then
        if [[ -z $Q_NVME_UUID ]]; then
            echo "✓ UUID: the filesystem reports no UUID, so the marker is trusted."
        elif [[ -z $Q_NVME_MARKER_UUID ]]; then
            echo "✓ UUID: the marker records no UUID, so it is trusted."
        elif q_uuid_equal "$Q_NVME_UUID" "$Q_NVME_MARKER_UUID"; then
            echo "✓ UUID: the drive and the marker agree ($Q_NVME_UUID)."
        else
            echo "✗ UUID: the drive is $Q_NVME_UUID but the marker was written for $Q_NVME_MARKER_UUID."
            ok=0
        fi
    else
        echo "✗ UUID: cannot be checked without a mounted drive and its marker."
    fi
    if ((ok)); then
        echo "Valid: $NVMe is the prepared NVMe."
        return 0
    fi
    echo "Invalid: $NVMe is not a prepared NVMe."
    return 1
}

# ---------------------------------------------------------------------------
# Drive selection

# Names that belong to backups, never to a drive to move data onto.
q_is_backup_name() {
    local n=${1,,}
    [[ $n == "time machine"* || $n == "backups of "* || $n == *.sparsebundle || $n == *.backupbundle ]]
}

# q_describe_device DEVICE -> Q_DEV_PROTOCOL, Q_DEV_REMOVABLE, Q_DEV_LOCATION
q_describe_device() {
    Q_DEV_PROTOCOL=Unknown Q_DEV_REMOVABLE=Fixed Q_DEV_LOCATION=Internal
    q_block_info "$1" || return 0
    [[ -n $Q_BLK_TRAN ]] && Q_DEV_PROTOCOL=$Q_BLK_TRAN
    ((Q_BLK_RM)) && Q_DEV_REMOVABLE=Removable
    if ((Q_BLK_RM || Q_BLK_HOTPLUG)) || [[ $Q_BLK_TRAN == usb ]]; then
        Q_DEV_LOCATION=External
    fi
    return 0
}

# Appends one Drive object to Q_DRIVES.
q_add_drive() {
    local path=$1 device=$2 fstype=$3 uuid=$4 free=0 total=0 current=0 marker=0
    [[ ${uuid//[0-]/} ]] || uuid=""
    q_describe_device "$device"
    if q_space "$path" 1048576; then
        free=$Q_AVAIL
        total=$Q_TOTAL
    fi
    [[ $path == "$NVMe" ]] && current=1
    q_marker_path "$path"
    [[ -f $REPLY ]] && marker=1
    j_begin
    j_str name "${path##*/}"
    j_str path "$path"
    j_str filesystem "$fstype"
    j_str protocol "$Q_DEV_PROTOCOL"
    j_str removable "$Q_DEV_REMOVABLE"
    j_str location "$Q_DEV_LOCATION"
    j_str device "$device"
    j_str uuid "$uuid"
    j_int free_mb "$free"
    j_int total_mb "$total"
    j_bool is_current "$current"
    j_bool has_marker "$marker"
    j_end
    Q_DRIVES+=("$REPLY")
}

cmd_list_drives() {
    q_load_config
    local roots=() line target source fstype uuid name seen=" " home_src home_disk=""
    q_volumes_root
    roots+=("$REPLY")
    if [[ -z ${QUINDLE_VOLUMES_ROOT:-} ]]; then
        q_user
        roots=("/run/media/$REPLY" "/media/$REPLY")
    fi
    q_fs_field "$HOME" SOURCE
    home_src=$REPLY
    q_block_info "$home_src" && home_disk=$Q_BLK_DISK
    Q_DRIVES=()
    while IFS= read -r line; do
        q_split_raw "$line"
        target=${Q_FIELDS[0]-} source=${Q_FIELDS[1]-} fstype=${Q_FIELDS[2]-} uuid=${Q_FIELDS[3]-}
        name=${target##*/}
        [[ -n $target && $target != / && $seen != *" $target "* ]] || continue
        [[ $name != .* ]] || continue
        q_is_backup_name "$name" && continue
        # The disk that holds the home folder is the one being relieved.
        [[ $source != "$home_src" ]] || continue
        local under_root=0 r
        for r in "${roots[@]}"; do [[ ${target%/*} == "$r" ]] && under_root=1; done
        if ((!under_root)); then
            q_block_info "$source" || continue
            ((Q_BLK_RM || Q_BLK_HOTPLUG)) || continue
        fi
        if [[ -n $home_disk && $source == /dev/* ]] && q_block_info "$source" && [[ $Q_BLK_DISK == "$home_disk" ]]; then
            continue
        fi
        seen+="$target "
        q_add_drive "$target" "$source" "$fstype" "$uuid"
    done < <(timeout 10 findmnt -rn -o TARGET,SOURCE,FSTYPE,UUID 2>/dev/null)
    # A spare folder standing in for the drive.
    if [[ $NVME_REQUIRE_MOUNTPOINT == 0 && -d $NVMe && $seen != *" $NVMe "* ]]; then
        q_fs_field "$NVMe" SOURCE
        source=$REPLY
        q_fs_field "$NVMe" FSTYPE
        fstype=$REPLY
        q_fs_uuid "$NVMe"
        q_add_drive "$NVMe" "$source" "$fstype" "$REPLY"
    fi
    json_array "${Q_DRIVES[@]}"
    printf '%s\n' "$REPLY"
}

# The USB link speed in Mbit/s of a disk, from the first ancestor in sysfs
# that reports one; empty when unknown.
q_usb_speed() {
    local sys=${QUINDLE_SYSFS:-/sys} dir
    REPLY=""
    [[ -n $1 && -e $sys/block/$1 ]] || return 0
    dir=$(readlink -f -- "$sys/block/$1") || return 0
    while [[ -n $dir && $dir != / && $dir != "$sys" ]]; do
        if [[ -r $dir/speed ]]; then
            REPLY=$(<"$dir/speed")
            REPLY=${REPLY%%.*}
            return 0
        fi
        dir=${dir%/*}
    done
    return 0
}

cmd_assess() {
    local path=${1:-} reasons=() warnings=() verdict=ok fstype device target options home_target speed
    [[ -n $path ]] || q_usage_error "assess needs a drive path."
    q_strip_slashes "$path"
    path=$REPLY
    j_begin
    if [[ ! -d $path ]]; then
        reasons+=("The path $path does not exist or is not a folder.")
        j_str verdict block
        json_str_array "${reasons[@]}"
        j_raw reasons "$REPLY"
        j_raw warnings '[]'
        j_end
        printf '%s\n' "$REPLY"
        return 0
    fi
    q_fs_field "$path" FSTYPE
    fstype=$REPLY
    q_fs_field "$path" SOURCE
    device=$REPLY
    q_fs_field "$path" TARGET
    target=$REPLY
    q_fs_field "$path" OPTIONS
    options=$REPLY
    q_fs_field "$HOME" TARGET
    home_target=$REPLY
    q_describe_device "$device"

    if [[ -n $target && $target == "$home_target" ]]; then
        reasons+=("$path is on the internal disk that holds your home folder, so moving data there frees no space.")
    fi
    if [[ ,$options, == *,ro,* ]]; then
        reasons+=("$path is mounted read-only.")
    fi
    if ((${#reasons[@]} == 0)) && [[ ! -w $path ]]; then
        reasons+=("You cannot write to $path.")
    fi
    case $fstype in
        tmpfs | ramfs) reasons+=("$path is held in memory and is emptied at every restart.") ;;
    esac
    case ${fstype,,} in
        vfat | exfat | ntfs | ntfs3 | msdos | fuseblk)
            warnings+=("The $fstype filesystem has no symbolic links, Unix permissions or hard links, so moved folders cannot leave links behind; ext4, btrfs or xfs avoid that.")
            ;;
        nfs | nfs4 | cifs | smb3 | fuse.sshfs)
            warnings+=("$path is a network share ($fstype); moved data is unreachable whenever the network is.")
            ;;
    esac
    if [[ $Q_DEV_PROTOCOL == usb ]]; then
        q_usb_speed "$Q_BLK_DISK"
        speed=$REPLY
        if [[ $speed =~ ^[0-9]+$ ]] && ((speed <= 480)); then
            warnings+=("The drive is connected at USB 2 speed (${speed} Mbit/s); use a USB 3 port or cable for usable transfer rates.")
        fi
    fi
    if ((${#reasons[@]})); then
        verdict=block
    elif ((${#warnings[@]})); then
        verdict=warn
    fi
    j_str verdict "$verdict"
    j_str filesystem "$fstype"
    j_str protocol "$Q_DEV_PROTOCOL"
    j_str removable "$Q_DEV_REMOVABLE"
    j_str location "$Q_DEV_LOCATION"
    json_str_array "${reasons[@]}"
    j_raw reasons "$REPLY"
    json_str_array "${warnings[@]}"
    j_raw warnings "$REPLY"
    j_end
    printf '%s\n' "$REPLY"
}

# Throughput thresholds in MB/s: below the minimum the drive is unsuitable,
# below the warning level it is usable but slow.
Q_BENCH_MIN_READ=100 Q_BENCH_MIN_WRITE=80 Q_BENCH_WARN_READ=400 Q_BENCH_WARN_WRITE=300

q_ns() { REPLY=$(date +%s%N); }

# Runs dd in the background so that a signal is handled at once; the trap
# kills it and removes the test file.
q_bench_dd() {
    dd "$@" status=none 2>/dev/null &
    Q_BENCH_DD=$!
    local rc=0
    wait "$Q_BENCH_DD" || rc=$?
    Q_BENCH_DD=""
    return "$rc"
}

q_bench_cleanup() {
    [[ -n ${Q_BENCH_DD:-} ]] && kill "$Q_BENCH_DD" 2>/dev/null
    [[ -n ${Q_BENCH_FILE:-} ]] && rm -f -- "$Q_BENCH_FILE"
    return 0
}

cmd_benchmark() {
    local path=${1:-} mb bytes t0 t1 write_mbps read_mbps direct=1 notes=() verdict=ok fstype
    [[ -n $path ]] || q_usage_error "benchmark needs a drive path."
    q_strip_slashes "$path"
    path=$REPLY
    to_int "${QUINDLE_BENCH_MB:-256}" 256 1 65536
    mb=$REPLY
    bytes=$((mb * 1048576))
    if [[ ! -d $path || ! -w $path ]]; then
        echo "Cannot run a speed test: $path is not a writable folder." >&2
        return 1
    fi
    if q_space "$path" 1048576 && ((Q_AVAIL < mb + 64)); then
        echo "Cannot run a speed test: $path has less than $((mb + 64)) MB free." >&2
        return 1
    fi
    Q_BENCH_FILE="$path/.quindle-speedtest.$$"
    Q_BENCH_DD=""
    trap q_bench_cleanup EXIT
    trap 'q_bench_cleanup; trap - EXIT; exit 130' INT
    trap 'q_bench_cleanup; trap - EXIT; exit 143' TERM

    q_ns; t0=$REPLY
    if ! q_bench_dd if=/dev/zero of="$Q_BENCH_FILE" bs=1M count="$mb" oflag=direct conv=fsync; then
        # Some filesystems refuse direct I/O; measure through the cache and flush.
        direct=0
        q_ns; t0=$REPLY
        if ! q_bench_dd if=/dev/zero of="$Q_BENCH_FILE" bs=1M count="$mb" conv=fdatasync; then
            echo "Cannot run a speed test: writing the test file on $path failed." >&2
            return 1
        fi
    fi
    q_ns; t1=$REPLY
    write_mbps=$((bytes * 1000 / ((t1 - t0) > 0 ? (t1 - t0) : 1)))

    if ((direct)); then
        q_ns; t0=$REPLY
        q_bench_dd if="$Q_BENCH_FILE" of=/dev/null bs=1M iflag=direct || direct=0
    fi
    if ((!direct)); then
        # Ask the kernel to drop the cached pages before reading them back.
        dd if="$Q_BENCH_FILE" iflag=nocache count=0 status=none 2>/dev/null || true
        q_ns; t0=$REPLY
        if ! q_bench_dd if="$Q_BENCH_FILE" of=/dev/null bs=1M; then
            echo "Cannot run a speed test: reading the test file on $path failed." >&2
            return 1
        fi
    fi
    q_ns; t1=$REPLY
    read_mbps=$((bytes * 1000 / ((t1 - t0) > 0 ? (t1 - t0) : 1)))
    q_bench_cleanup

    if ((read_mbps < Q_BENCH_MIN_READ || write_mbps < Q_BENCH_MIN_WRITE)); then
        verdict=block
        notes+=("At $read_mbps MB/s read and $write_mbps MB/s write the drive is below the minimum of $Q_BENCH_MIN_READ MB/s read and $Q_BENCH_MIN_WRITE MB/s write.")
    elif ((read_mbps < Q_BENCH_WARN_READ || write_mbps < Q_BENCH_WARN_WRITE)); then
        verdict=warn
        notes+=("The drive works but is slower than $Q_BENCH_WARN_READ MB/s read and $Q_BENCH_WARN_WRITE MB/s write; large moves will take a while.")
    fi
    ((direct)) || notes+=("The filesystem does not allow direct I/O, so the figures include caching and may be optimistic.")
    q_fs_field "$path" FSTYPE
    fstype=$REPLY
    case $fstype in
        tmpfs | ramfs) notes+=("$path is held in memory, so the figures do not describe a drive.") ;;
    esac
    ((mb < 64)) && notes+=("A $mb MB test file is small; the figures are rough.")

    j_begin
    j_int size_mb "$mb"
    j_int write_mbps "$write_mbps"
    j_int read_mbps "$read_mbps"
    j_int min_read_mbps "$Q_BENCH_MIN_READ"
    j_int min_write_mbps "$Q_BENCH_MIN_WRITE"
    j_int warn_read_mbps "$Q_BENCH_WARN_READ"
    j_int warn_write_mbps "$Q_BENCH_WARN_WRITE"
    j_str verdict "$verdict"
    json_str_array "${notes[@]}"
    j_raw notes "$REPLY"
    j_end
    printf '%s\n' "$REPLY"
}

# The value as bash source that reads back exactly the same text.
q_shell_quote() {
    local v=$1
    if [[ $v == *[\$\`]* && $v != *\'* ]]; then
        REPLY="'$v'"
        return 0
    fi
    v=${v//\\/\\\\}
    v=${v//\"/\\\"}
    v=${v//\$/\\\$}
    v=${v//\`/\\\`}
    REPLY="\"$v\""
}

cmd_select_drive() {
    local path=${1:-} conf content="" lines=() i line trimmed key rest new found=0 out tmp
    [[ -n $path ]] || q_usage_error "select-drive needs a drive path."
    if [[ $path == *$'\n'* || $path == *$'\r'* ]]; then
        echo "The drive path cannot contain a line break, so the configuration was left unchanged." >&2
        return 1
    fi
    if [[ $path == *\'* && $path == *\"* ]]; then
        echo "The drive path cannot contain both kinds of quote, so the configuration was left unchanged." >&2
        return 1
    fi
    if [[ $path != /* ]]; then
        echo "The drive path must be absolute, so the configuration was left unchanged." >&2
        return 1
    fi
    q_strip_slashes "$path"
    path=$REPLY
    q_load_config
    q_shell_quote "$path"
    new="NVMe=$REPLY"

    q_conf_path
    conf=$REPLY
    mkdir -p -- "${conf%/*}"
    [[ -f $conf ]] && { IFS= read -r -d '' content <"$conf" || true; }
    # Split at each line feed, keeping empty pieces so a final line feed survives.
    local rest_text=$content
    while [[ $rest_text == *$'\n'* ]]; do
        lines+=("${rest_text%%$'\n'*}")
        rest_text=${rest_text#*$'\n'}
    done
    lines+=("$rest_text")
    for ((i = 0; i < ${#lines[@]}; i++)); do
        line=${lines[i]}
        trimmed=${line#"${line%%[![:space:]]*}"}
        [[ $trimmed == export\ * ]] && trimmed=${trimmed#export }
        [[ $trimmed == *=* ]] || continue
        key=${trimmed%%=*}
        key=${key%"${key##*[![:space:]]}"}
        key=${key#"${key%%[![:space:]]*}"}
        rest=${trimmed#*=}
        [[ $key == NVMe && $rest != \(* ]] || continue
        lines[i]=$new
        found=1
        break
    done
    if ((!found)); then
        if [[ -z $content ]]; then
            lines=("$new")
        elif [[ ${lines[-1]} == "" ]]; then
            lines[-1]=$new
            lines+=("")
        else
            lines+=("$new")
        fi
    fi
    out=${lines[0]}
    for ((i = 1; i < ${#lines[@]}; i++)); do out+=$'\n'"${lines[i]}"; done
    tmp="$conf.tmp.$$"
    if ! printf '%s' "$out" >"$tmp" || ! mv -f -- "$tmp" "$conf"; then
        rm -f -- "$tmp"
        echo "Could not rewrite $conf, so the drive was not switched." >&2
        return 1
    fi
    q_log "The NVMe is now $path."
    echo "The NVMe is now $path; the service picks it up within $WATCH_INTERVAL_SECS seconds."
}

# ---------------------------------------------------------------------------
# Rules pass: relocate-now, dry-run and rollback. Every file acted on is one
# line of ~/.quindle/quindle.actions.tsv: batch, UTC time, action, path, the
# path it went to (or "-"), bytes. A pass is one batch.

# Per-file lines shown before the rest are only counted; the popover keeps the
# whole output in memory.
Q_LIST_MAX=1000
declare -A Q_TAKEN=()

q_actions_log() {
    q_dir
    REPLY="$REPLY/quindle.actions.tsv"
}

# Tabs and line feeds in names would break the columns. Every backslash is
# doubled first, so printf %b gives back the exact name.
q_tsv_escape() {
    local s=${1//\\/\\\\}
    s=${s//$'\t'/\\t}
    s=${s//$'\n'/\\n}
    REPLY=${s//$'\r'/\\r}
}

q_max() {
    local v
    REPLY=$1
    for v; do ((v <= REPLY)) || REPLY=$v; done
    return 0
}

# Decimal units, as everywhere the user reads a size.
q_human_bytes() {
    local b=$1 units=(B kB MB GB TB PB) i=0 scale=1 tenths
    while ((i < 5 && b >= scale * 1000)); do
        scale=$((scale * 1000))
        i=$((i + 1))
    done
    if ((i == 0)); then
        REPLY="$b B"
    else
        tenths=$(((b * 10 + scale / 2) / scale))
        REPLY="$((tenths / 10)).$((tenths % 10)) ${units[i]}"
    fi
}

# q_files N [WORD] -> "1 file", "3 files"
q_files() {
    local word=${2:-file}
    if (($1 == 1)); then REPLY="1 $word"; else REPLY="$1 ${word}s"; fi
}

q_item() {
    if ((Q_SHOWN < Q_LIST_MAX)); then
        printf '%s\n' "${1//$'\n'/\\n}"
        Q_SHOWN=$((Q_SHOWN + 1))
    else
        Q_HIDDEN=$((Q_HIDDEN + 1))
    fi
}

# q_take PATH: fails when an earlier rule of this dry run took PATH.
q_take() {
    ((Q_DRY)) || return 0
    [[ -z ${Q_TAKEN[$1]:-} ]] || return 1
    Q_TAKEN[$1]=1
}

q_problem() {
    printf '%s\n' "${1//$'\n'/\\n}"
    Q_PROBLEMS=$((Q_PROBLEMS + 1))
}

q_pass_init() {
    Q_DRY=$1
    Q_SHOWN=0 Q_HIDDEN=0 Q_PROBLEMS=0 Q_STOP=0 Q_CHILD=""
    Q_N_MOVED=0 Q_B_MOVED=0 Q_N_DELETED=0 Q_B_DELETED=0 Q_N_CLEANED=0 Q_B_CLEANED=0
    # A dry run changes nothing, so it remembers what earlier rules took.
    Q_TAKEN=()
    q_now_utc
    Q_BATCH="${REPLY//[-:]/}-$$"
    q_actions_log
    Q_ACTIONS_LOG=$REPLY
    q_private_dir
    Q_ERRF="$REPLY/child-error.$$"
}

# The caller's 60-second limit ends a long pass with SIGTERM: stop between
# files, and stop the copy under way so that its original stays.
q_trap_stop() {
    trap 'Q_STOP=1; [[ -n $Q_CHILD ]] && kill "$Q_CHILD" 2>/dev/null' TERM INT
}

# Runs a copy in the background so that a signal is handled at once.
q_child() {
    local rc=0
    "$@" </dev/null >/dev/null 2>"$Q_ERRF" &
    Q_CHILD=$!
    wait "$Q_CHILD" || rc=$?
    if ((Q_STOP)); then
        wait "$Q_CHILD" 2>/dev/null || true
        rc=1
    fi
    Q_CHILD=""
    Q_CHILD_ERR=""
    [[ -s $Q_ERRF ]] && IFS= read -r Q_CHILD_ERR <"$Q_ERRF"
    rm -f -- "$Q_ERRF"
    return "$rc"
}

# q_record ACTION PATH TO BYTES; fails when the line cannot be written.
q_record() {
    local p to
    q_tsv_escape "$2"
    p=$REPLY
    q_tsv_escape "$3"
    to=$REPLY
    q_now_utc
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$Q_BATCH" "$REPLY" "$1" "$p" "$to" "$4" >>"$Q_ACTIONS_LOG" 2>/dev/null
}

# Takes state/service/pass.lock for the rest of the process; children inherit
# it, so a copy outliving a killed pass still keeps the next one out.
q_take_pass_lock() {
    local lock pid=""
    q_private_dir
    mkdir -p -- "$REPLY"
    lock="$REPLY/pass.lock"
    exec {Q_LOCK_FD}>>"$lock"
    if ! flock -n "$Q_LOCK_FD"; then
        IFS= read -r pid <"$lock" || true
        echo "A rules pass or rollback is already running${pid:+ (process $pid)}, so this one did not start; try again when it has finished."
        return 1
    fi
    printf '%s\n' "$$" >"$lock"
}

# q_move_file FROM TO BYTES [FROM_DEV TO_DEV]: a rename within a filesystem,
# else a copy that must match in size and time before the original goes.
# Fails with Q_MOVE_ERR, leaving FROM in place.
q_move_file() {
    local from=$1 to=$2 size=$3 from_dev=${4:-} to_dev=${5:-} dir=${2%/*} st part
    Q_MOVE_ERR=""
    if ! mkdir -p -- "$dir" 2>/dev/null; then
        Q_MOVE_ERR="the folder $dir could not be created."
        return 1
    fi
    if [[ -z $from_dev || -z $to_dev ]]; then
        st=$(stat -c %d -- "$from" "$dir" 2>/dev/null) || st=""
        from_dev=${st%%$'\n'*}
        to_dev=${st#*$'\n'}
    fi
    if [[ -n $from_dev && $from_dev == "$to_dev" ]]; then
        mv -n -T -- "$from" "$to" 2>/dev/null || true
        if [[ -e $from || -L $from ]]; then
            Q_MOVE_ERR="it could not be renamed to $to."
            return 1
        fi
        return 0
    fi
    if command -v rsync >/dev/null 2>&1; then
        q_child rsync -a -- "$from" "$to" || {
            rm -f -- "$to"
            Q_MOVE_ERR="copying it failed${Q_CHILD_ERR:+ ($Q_CHILD_ERR)}."
            return 1
        }
    else
        part="$dir/.${to##*/}.quindle-part"
        if ! q_child cp -a -- "$from" "$part" || ! mv -T -- "$part" "$to" 2>/dev/null; then
            rm -f -- "$part"
            Q_MOVE_ERR="copying it failed${Q_CHILD_ERR:+ ($Q_CHILD_ERR)}."
            return 1
        fi
    fi
    st=$(stat -c '%s %Y' -- "$from" "$to" 2>/dev/null) || st=""
    if [[ $st != "$size "*$'\n'"$size "* || ${st%%$'\n'*} != "${st#*$'\n'}" ]]; then
        rm -f -- "$to"
        Q_MOVE_ERR="the copy did not match the original in size and time, so the original was kept."
        return 1
    fi
    rm -f -- "$from" 2>/dev/null || true
    if [[ -e $from ]]; then
        rm -f -- "$to"
        Q_MOVE_ERR="the original could not be removed, so the copy was taken back."
        return 1
    fi
    return 0
}

# q_rule_parse RECORD -> Q_R_ACTION Q_R_SRC Q_R_DST Q_R_AGE Q_R_EXTRAS; fails
# with fewer than four fields.
q_rule_parse() {
    local f=() i
    IFS='|' read -r -a f <<<"$1" || true
    ((${#f[@]} >= 4)) || return 1
    for i in "${!f[@]}"; do
        q_trim "${f[i]}"
        f[i]=$REPLY
    done
    Q_R_ACTION=${f[0]}
    # Single-quoted records reach us with $HOME unexpanded.
    Q_R_SRC=${f[1]//\$HOME/"$HOME"}
    Q_R_DST=${f[2]//\$HOME/"$HOME"}
    to_int "${f[3]}" 0
    Q_R_AGE=$REPLY
    Q_R_EXTRAS=${f[4]-}
}

q_rules_move_files() {
    local rule
    for rule in "${RULES[@]}"; do
        q_rule_parse "$rule" || continue
        [[ $Q_R_ACTION == archive_old || $Q_R_ACTION == archive_big ]] && return 0
    done
    return 1
}

# q_rule_source N: the rule's source must be an existing absolute folder that
# does not hold the whole home folder. Sets Q_R_SRC_REAL.
q_rule_source() {
    local n=$1 home
    q_strip_slashes "$Q_R_SRC"
    Q_R_SRC=$REPLY
    if [[ $Q_R_SRC != /* ]]; then
        q_problem "Rule $n was skipped: its source \"$Q_R_SRC\" is not an absolute path."
        return 1
    fi
    if [[ ! -d $Q_R_SRC ]] || ! Q_R_SRC_REAL=$(realpath -e -- "$Q_R_SRC"); then
        echo "Rule $n was skipped: $Q_R_SRC does not exist."
        return 1
    fi
    home=$(realpath -m -- "$HOME")
    if [[ $Q_R_SRC_REAL == / || $home == "$Q_R_SRC_REAL" || $home == "$Q_R_SRC_REAL"/* ]]; then
        q_problem "Rule $n was skipped: $Q_R_SRC holds your whole home folder; name a folder inside it."
        return 1
    fi
}

# q_rule_destination N: moves may only go to the NVMe, and never into or out
# of their own tree.
q_rule_destination() {
    local n=$1 real nvme
    q_strip_slashes "$Q_R_DST"
    Q_R_DST=$REPLY
    if [[ $Q_R_DST != /* ]]; then
        q_problem "Rule $n was skipped: its destination \"$Q_R_DST\" is not an absolute path."
        return 1
    fi
    real=$(realpath -m -- "$Q_R_DST")
    nvme=$(realpath -m -- "$NVMe")
    if [[ $real != "$nvme" && $real != "$nvme"/* ]]; then
        q_problem "Rule $n was skipped: its destination $Q_R_DST is not on the NVMe at $NVMe."
        return 1
    fi
    if [[ $Q_R_SRC_REAL == "$nvme" || $Q_R_SRC_REAL == "$nvme"/* ]]; then
        q_problem "Rule $n was skipped: its source $Q_R_SRC is on the NVMe already."
        return 1
    fi
    if [[ $real == "$Q_R_SRC_REAL" || $real == "$Q_R_SRC_REAL"/* || $Q_R_SRC_REAL == "$real"/* ]]; then
        q_problem "Rule $n was skipped: its source and destination lie inside each other."
        return 1
    fi
}

# q_find_old DIR DAYS [MIN_BYTES] [links]: NUL-separated "dev size path" of
# the files under DIR not modified for DAYS days, by path. Stays on DIR's
# filesystem, so a drive mounted inside the tree is never walked.
q_find_old() {
    local dir=$1 days=$2 bytes=${3:-0} cutoff kind=(-type f) size=()
    [[ ${4:-} == links ]] && kind=("(" -type f -o -type l ")")
    ((bytes <= 0)) || size=(-size "+${bytes}c")
    q_epoch
    cutoff=$((REPLY - days * 86400))
    LC_ALL=C find -H "$dir" -xdev -mindepth 1 "${kind[@]}" ! -newermt "@$cutoff" "${size[@]}" \
        -printf '%D %s %p\0' 2>/dev/null | LC_ALL=C sort -z -k3
}

q_rule_move() {
    local n=$1 days mb=0 what rec dev size shown path target to_dev=""
    q_max "$Q_R_AGE" "$MIN_ARCHIVE_DAYS" "$MIN_AGE_HARD_FLOOR_DAYS"
    days=$REPLY
    what="files untouched for $days days"
    if [[ $Q_R_ACTION == archive_big ]]; then
        to_int "${Q_R_EXTRAS%[mM][bB]}" -1 0
        mb=$REPLY
        if ((mb < 0)); then
            mb=500
            [[ -z $Q_R_EXTRAS ]] || echo "Rule $n: \"$Q_R_EXTRAS\" is not a size in MB, so 500 MB is used."
        fi
        what="files over $mb MB untouched for $days days"
    fi
    q_rule_source "$n" || return 0
    q_rule_destination "$n" || return 0
    echo "Rule $n ($Q_R_ACTION): $what move from $Q_R_SRC to $Q_R_DST."
    if ((!Q_DRY)); then
        if ! mkdir -p -- "$Q_R_DST" 2>/dev/null; then
            q_problem "Rule $n was skipped: the folder $Q_R_DST could not be created on the NVMe."
            return 0
        fi
        to_dev=$(stat -c %d -- "$Q_R_DST")
    fi
    while IFS= read -r -d '' rec; do
        ((!Q_STOP)) || break
        dev=${rec%% *}
        q_take "${rec#* * }" || continue
        rec=${rec#* }
        size=${rec%% *}
        path=${rec#* }
        target=$Q_R_DST/${path#"$Q_R_SRC"/}
        q_human_bytes "$size"
        shown=$REPLY
        if [[ -e $target || -L $target ]]; then
            q_item "Skipped $path: $target already exists."
        elif ((Q_DRY)); then
            q_item "Would move $path → $target ($shown)"
            Q_N_MOVED=$((Q_N_MOVED + 1))
            Q_B_MOVED=$((Q_B_MOVED + size))
        elif q_move_file "$path" "$target" "$size" "$dev" "$to_dev"; then
            if ! q_record "$Q_R_ACTION" "$path" "$target" "$size"; then
                q_problem "Moved $path → $target but could not record it in $Q_ACTIONS_LOG, so the pass stops here."
                Q_STOP=1
            else
                q_item "Moved $path → $target ($shown)"
            fi
            Q_N_MOVED=$((Q_N_MOVED + 1))
            Q_B_MOVED=$((Q_B_MOVED + size))
        elif ((!Q_STOP)); then
            q_problem "Could not move $path: $Q_MOVE_ERR"
        fi
    done < <(q_find_old "$Q_R_SRC" "$days" $((mb * 1000000)))
    return 0
}

# q_delete_listed ACTION VERB DONE: deletes (or lists) each "dev size path"
# record read from standard input.
q_delete_listed() {
    local action=$1 verb=$2 done_verb=$3 rec size shown path
    while IFS= read -r -d '' rec; do
        ((!Q_STOP)) || break
        q_take "${rec#* * }" || continue
        rec=${rec#* }
        size=${rec%% *}
        path=${rec#* }
        q_human_bytes "$size"
        shown=$REPLY
        if ((Q_DRY)); then
            q_item "Would $verb $path ($shown)"
        else
            rm -f -- "$path" 2>/dev/null || true
            if [[ -e $path || -L $path ]]; then
                q_problem "Could not delete $path."
                continue
            fi
            q_record "$action" "$path" - "$size" ||
                q_problem "$done_verb $path but could not record it in $Q_ACTIONS_LOG."
            q_item "$done_verb $path ($shown)"
        fi
        if [[ $action == delete_old ]]; then
            Q_N_DELETED=$((Q_N_DELETED + 1))
            Q_B_DELETED=$((Q_B_DELETED + size))
        else
            Q_N_CLEANED=$((Q_N_CLEANED + 1))
            Q_B_CLEANED=$((Q_B_CLEANED + size))
        fi
    done
    return 0
}

q_rule_delete() {
    local n=$1 days
    if ((DISABLE_DELETE)); then
        echo "Rule $n (delete_old) was skipped: deleting is turned off (DISABLE_DELETE=1)."
        return 0
    fi
    q_max "$Q_R_AGE" "$MIN_DELETE_DAYS" "$MIN_AGE_HARD_FLOOR_DAYS"
    days=$REPLY
    q_rule_source "$n" || return 0
    echo "Rule $n (delete_old): files under $Q_R_SRC untouched for $days days are deleted."
    q_delete_listed delete_old delete Deleted < <(q_find_old "$Q_R_SRC" "$days")
}

# Clears old files from each APP_CACHE_PATHS entry that lies strictly inside
# an APP_CACHE_SAFE_DIRS entry. The hard floor holds here too: a file written
# this week may belong to a program that is running. Folders stay.
q_rule_cache() {
    local n=$1 days entry real safe sreal ok home
    q_max "$Q_R_AGE" "$MIN_AGE_HARD_FLOOR_DAYS"
    days=$REPLY
    if ((${#APP_CACHE_PATHS[@]} == 0)); then
        echo "Rule $n (app_cache_clean): APP_CACHE_PATHS names no cache folder, so there is nothing to clean."
        return 0
    fi
    echo "Rule $n (app_cache_clean): cache files untouched for $days days are cleaned."
    home=$(realpath -m -- "$HOME")
    for entry in "${APP_CACHE_PATHS[@]}"; do
        ((!Q_STOP)) || break
        q_strip_slashes "${entry//\$HOME/"$HOME"}"
        entry=$REPLY
        if [[ $entry != /* ]]; then
            q_problem "Refused to clean \"$entry\": it is not an absolute path."
            continue
        fi
        if [[ ! -d $entry ]] || ! real=$(realpath -e -- "$entry"); then
            echo "Nothing to clean in $entry: it does not exist."
            continue
        fi
        ok=0
        for safe in "${APP_CACHE_SAFE_DIRS[@]}"; do
            safe=${safe//\$HOME/"$HOME"}
            [[ $safe == /* ]] || continue
            sreal=$(realpath -m -- "$safe")
            # Too wide to vouch for anything inside it.
            [[ $sreal == / || $sreal == "$home" || $home == "$sreal"/* ]] && continue
            if [[ $real == "$sreal"/* ]]; then
                ok=1
                break
            fi
        done
        if ((!ok)); then
            q_problem "Refused to clean $entry: it is not inside any folder of APP_CACHE_SAFE_DIRS."
            continue
        fi
        q_delete_listed app_cache_clean clean Cleaned < <(q_find_old "$real" "$days" 0 links)
    done
    return 0
}

q_run_rules() {
    local n=0 rule
    for rule in "${RULES[@]}"; do
        n=$((n + 1))
        ((!Q_STOP)) || break
        if ! q_rule_parse "$rule"; then
            q_problem "Rule $n was skipped: it is not of the form \"action | source | destination | days\"."
            continue
        fi
        case $Q_R_ACTION in
            archive_old | archive_big) q_rule_move "$n" ;;
            delete_old) q_rule_delete "$n" ;;
            app_cache_clean) q_rule_cache "$n" ;;
            *) q_problem "Rule $n was skipped: \"$Q_R_ACTION\" is not an action the service knows." ;;
        esac
    done
    return 0
}

q_config_note() {
    case $Q_CONF_STATE in
        missing) echo "There is no configuration file, so the defaults apply." ;;
        error) echo "The configuration file could not be read to its end; what follows the fault is left at its defaults." ;;
    esac
    return 0
}

# Prints the closing lines; fails when something went wrong.
q_pass_summary() {
    local m d c
    if ((Q_HIDDEN)); then
        q_files "$Q_HIDDEN"
        if ((Q_DRY)); then echo "$REPLY more are not listed here."; else echo "$REPLY more are not listed here; the action log has every one."; fi
    fi
    q_files "$Q_N_MOVED"
    m=$REPLY
    q_human_bytes "$Q_B_MOVED"
    m+=" ($REPLY)"
    q_files "$Q_N_DELETED"
    d=$REPLY
    q_human_bytes "$Q_B_DELETED"
    d+=" ($REPLY)"
    q_files "$Q_N_CLEANED" "cache file"
    c=$REPLY
    q_human_bytes "$Q_B_CLEANED"
    c+=" ($REPLY)"
    if ((${#RULES[@]} == 0)); then
        echo "No rules are configured, so there is nothing to do."
    elif ((Q_DRY)); then
        echo "Dry run: would move $m, delete $d and clean $c; nothing was changed."
    else
        Q_PASS_TEXT="moved $m, deleted $d and cleaned $c"
        echo "Done: $Q_PASS_TEXT."
    fi
    if ((Q_STOP)); then
        echo "The pass was stopped before it finished; run it again to do the rest."
        return 1
    fi
    if ((Q_PROBLEMS)); then
        q_files "$Q_PROBLEMS" problem
        echo "The pass met $REPLY; see the lines above."
        return 1
    fi
    return 0
}

q_add_saved_bytes() {
    q_read_private saved-bytes
    to_int "$REPLY" 0 0
    local total=$((REPLY + $1))
    ((total >= 0)) || total=0
    q_write_private saved-bytes "$total"
}

# Refuses, with one line, when the moving rules have no prepared drive to go to.
q_require_drive() {
    q_probe_nvme
    if ((!Q_NVME_MOUNTED)); then
        echo "The NVMe is not mounted at $NVMe, so nothing can be moved there; connect the drive and try again."
        return 1
    fi
    if ((!Q_NVME_MARKER_OK)); then
        echo "The drive at $NVMe is not the prepared NVMe (its marker is missing or names another volume), so nothing was moved."
        return 1
    fi
}

cmd_relocate_now() {
    (($# == 0)) || q_usage_error "relocate-now takes no argument."
    local rc=0
    q_load_config
    q_config_note
    q_state_dir
    if [[ -e $REPLY/paused ]]; then
        echo "Automatic actions are paused; resume them to run the rules."
        return 1
    fi
    if q_rules_move_files; then q_require_drive || return 1; fi
    q_take_pass_lock || return 1
    q_pass_init 0
    q_trap_stop
    Q_PASS_TEXT=""
    q_run_rules
    q_pass_summary || rc=$?
    q_add_saved_bytes "$Q_B_MOVED"
    q_now_utc
    q_write_private last-run "$REPLY"
    if [[ -n $Q_PASS_TEXT ]]; then
        q_event "Rules pass $Q_BATCH $Q_PASS_TEXT."
    else
        q_event "Rules pass found no rules to run."
    fi
    q_refresh_status
    return "$rc"
}

cmd_dry_run() {
    (($# == 0)) || q_usage_error "dry-run takes no argument."
    q_load_config
    q_config_note
    if q_rules_move_files && ! q_require_drive >/dev/null; then
        echo "Note: the NVMe is not ready at $NVMe, so a real pass would refuse to run."
    fi
    q_pass_init 1
    q_run_rules
    q_pass_summary
}

# Reads the action log into Q_RB_*: the last batch, its moves not yet rolled
# back, and how many moves and deletions it holds.
q_read_last_batch() {
    local log=$1 batch time action from to bytes extra
    local -A restored=()
    Q_RB_BATCH="" Q_RB_TIME="" Q_RB_MOVES=0 Q_RB_DELETES=0
    Q_RB_FROM=() Q_RB_TO=()
    local moves_from=() moves_to=()
    while IFS=$'\t' read -r batch time action from to bytes extra || [[ -n $batch ]]; do
        [[ -n $bytes && -z $extra ]] || continue
        printf -v from '%b' "$from"
        printf -v to '%b' "$to"
        case $action in
            restore)
                [[ $batch == "$Q_RB_BATCH" ]] && restored[$to]=1
                continue
                ;;
            archive_old | archive_big | delete_old | app_cache_clean) ;;
            *) continue ;;
        esac
        if [[ $batch != "$Q_RB_BATCH" ]]; then
            Q_RB_BATCH=$batch Q_RB_TIME=$time Q_RB_MOVES=0 Q_RB_DELETES=0
            moves_from=() moves_to=()
            restored=()
        fi
        if [[ $action == archive_* ]]; then
            moves_from+=("$from")
            moves_to+=("$to")
            Q_RB_MOVES=$((Q_RB_MOVES + 1))
        else
            Q_RB_DELETES=$((Q_RB_DELETES + 1))
        fi
    done <"$log"
    local i
    for i in "${!moves_from[@]}"; do
        [[ -n ${restored[${moves_from[i]}]:-} ]] && continue
        Q_RB_FROM+=("${moves_from[i]}")
        Q_RB_TO+=("${moves_to[i]}")
    done
    return 0
}

cmd_rollback() {
    local yes=0 log i from to size back=0 back_bytes=0 rc=0 deletes
    case ${1:-} in
        --yes) yes=1 ;;
        "") ;;
        *) q_usage_error "rollback takes no argument but --yes." ;;
    esac
    (($# <= 1)) || q_usage_error "rollback takes no argument but --yes."
    if ((!yes)); then
        echo "Rolling back moves the last batch's files back from the NVMe; run rollback --yes to confirm."
        return 1
    fi
    q_load_config
    q_actions_log
    log=$REPLY
    if [[ ! -s $log ]]; then
        echo "There is nothing to roll back: no rules pass has recorded an action yet."
        return 0
    fi
    q_read_last_batch "$log"
    deletes="Deletes cannot be undone, but that batch deleted nothing."
    if ((Q_RB_DELETES)); then
        q_files "$Q_RB_DELETES"
        deletes="The $REPLY deleted in that batch cannot be brought back; deletes cannot be undone."
    fi
    if ((${#Q_RB_FROM[@]} == 0)); then
        if ((Q_RB_MOVES)); then
            echo "Every move of the last batch ($Q_RB_BATCH, $Q_RB_TIME) is already rolled back."
        else
            echo "The last batch ($Q_RB_BATCH, $Q_RB_TIME) moved nothing, so there is nothing to roll back."
        fi
        echo "$deletes"
        return 0
    fi
    q_require_drive || return 1
    q_take_pass_lock || return 1
    q_pass_init 0
    q_trap_stop
    # Restores are recorded under the batch they undo, so a second rollback
    # retries only what is still on the NVMe.
    Q_BATCH=$Q_RB_BATCH
    echo "Rolling back batch $Q_RB_BATCH from $Q_RB_TIME."
    for i in "${!Q_RB_FROM[@]}"; do
        ((!Q_STOP)) || break
        from=${Q_RB_FROM[i]}
        to=${Q_RB_TO[i]}
        if [[ -e $from || -L $from ]]; then
            q_problem "Could not restore $from: something else is there now, so $to stays on the NVMe."
            continue
        fi
        if [[ ! -f $to ]]; then
            q_problem "Could not restore $from: $to is no longer on the NVMe."
            continue
        fi
        size=$(stat -c %s -- "$to" 2>/dev/null) || size=0
        if ! q_move_file "$to" "$from" "$size"; then
            ((Q_STOP)) || q_problem "Could not restore $from: $Q_MOVE_ERR"
            continue
        fi
        q_record restore "$to" "$from" "$size" ||
            q_problem "Restored $from but could not record it in $Q_ACTIONS_LOG."
        q_human_bytes "$size"
        q_item "Restored $to → $from ($REPLY)"
        back=$((back + 1))
        back_bytes=$((back_bytes + size))
    done
    if ((Q_HIDDEN)); then
        q_files "$Q_HIDDEN"
        echo "$REPLY more are not listed here."
    fi
    q_files "${#Q_RB_FROM[@]}"
    local todo=$REPLY
    q_human_bytes "$back_bytes"
    echo "Restored $back of $todo ($REPLY) to their original places."
    echo "$deletes"
    q_add_saved_bytes $((-back_bytes))
    q_event "Rolled back $back of $todo of batch $Q_RB_BATCH."
    if ((Q_STOP)); then
        echo "The rollback was stopped before it finished; run it again to restore the rest."
        rc=1
    elif ((Q_PROBLEMS)); then
        q_files "$Q_PROBLEMS"
        echo "$REPLY could not be restored; see the lines above."
        rc=1
    fi
    q_refresh_status
    return "$rc"
}

# ---------------------------------------------------------------------------
# Drive actions: remount, eject-nvme, show-in-finder

q_install_hint() {
    local pkg=$1 ids="" line
    if [[ -r /etc/os-release ]]; then
        while IFS= read -r line || [[ -n $line ]]; do
            case $line in ID=* | ID_LIKE=*) ids+=" ${line#*=}" ;; esac
        done </etc/os-release
    fi
    ids=" ${ids//[\"\']/} "
    case $ids in
        *" debian "* | *" ubuntu "*) REPLY="sudo apt install $pkg" ;;
        *" fedora "* | *" rhel "*) REPLY="sudo dnf install $pkg" ;;
        *" arch "*) REPLY="sudo pacman -S $pkg" ;;
        *" suse "* | *" opensuse"*) REPLY="sudo zypper install $pkg" ;;
        *) REPLY="install $pkg with your package manager" ;;
    esac
}

# q_find_device UUID -> Q_DEV (block device) and Q_DEV_MOUNT (where it is
# mounted, if anywhere); fails when no device has that filesystem UUID.
q_find_device() {
    local uuid=$1 line
    Q_DEV="" Q_DEV_MOUNT=""
    while IFS= read -r line; do
        q_split_raw "$line"
        if [[ -n ${Q_FIELDS[1]-} ]] && q_uuid_equal "${Q_FIELDS[1]}" "$uuid"; then
            Q_DEV=${Q_FIELDS[0]}
            Q_DEV_MOUNT=${Q_FIELDS[2]-}
            return 0
        fi
    done < <(timeout 10 lsblk -rpno NAME,UUID,MOUNTPOINT 2>/dev/null)
    # Without udev, lsblk may not know UUIDs that blkid can still probe.
    Q_DEV=$(timeout 10 blkid -U "$uuid" 2>/dev/null || timeout 10 blkid -U "${uuid,,}" 2>/dev/null) || Q_DEV=""
    [[ -n $Q_DEV ]] || return 1
    Q_DEV_MOUNT=$(timeout 10 findmnt -rno TARGET --source "$Q_DEV" 2>/dev/null) || Q_DEV_MOUNT=""
    Q_DEV_MOUNT=${Q_DEV_MOUNT%%$'\n'*}
    return 0
}

cmd_remount() {
    (($# == 0)) || q_usage_error "remount takes no argument."
    local uuid out where
    q_load_config
    if q_is_mounted "$NVMe"; then
        echo "The NVMe is already mounted at $NVMe."
        return 0
    fi
    q_read_private nvme-uuid
    uuid=$REPLY
    if [[ -z $uuid ]]; then
        echo "The NVMe's filesystem UUID is not known yet, so its drive cannot be found; mount it once from the file manager."
        return 1
    fi
    if ! q_find_device "$uuid"; then
        echo "No connected drive holds the NVMe's filesystem (UUID $uuid); connect the drive and try again."
        return 1
    fi
    if [[ -n $Q_DEV_MOUNT ]]; then
        echo "The NVMe's filesystem on $Q_DEV is mounted at $Q_DEV_MOUNT, not at $NVMe; choose that path in Choose Drive or unmount it first."
        return 1
    fi
    if command -v udisksctl >/dev/null 2>&1; then
        if ! out=$(timeout 50 udisksctl mount -b "$Q_DEV" 2>&1); then
            echo "Mounting $Q_DEV failed: ${out:-udisksctl gave no reason}"
            return 1
        fi
    elif ((EUID == 0)); then
        mkdir -p -- "$NVMe" 2>/dev/null || true
        if ! out=$(timeout 50 mount -- "$Q_DEV" "$NVMe" 2>&1); then
            echo "Mounting $Q_DEV at $NVMe failed: ${out:-mount gave no reason}"
            return 1
        fi
    else
        q_install_hint udisks2
        echo "Cannot mount $Q_DEV: udisksctl is not installed and mounting by hand needs root; install it ($REPLY) or mount the drive from the file manager."
        return 1
    fi
    [[ -n $out ]] && printf '%s\n' "$out"
    if ! q_is_mounted "$NVMe"; then
        where=$(timeout 10 findmnt -rno TARGET --source "$Q_DEV" 2>/dev/null) || where=""
        echo "$Q_DEV was mounted${where:+ at ${where%%$'\n'*}}, but not at $NVMe; choose its path in Choose Drive."
        return 1
    fi
    q_event "The NVMe was mounted at $NVMe."
    q_probe_nvme
    if ((Q_NVME_MARKER_OK)); then
        echo "The NVMe is mounted at $NVMe."
    else
        echo "A drive is mounted at $NVMe, but it does not carry the NVMe's marker."
    fi
    q_refresh_status
}

q_glob_escape() {
    local s=$1 i c
    REPLY=""
    for ((i = 0; i < ${#s}; i++)); do
        c=${s:i:1}
        case $c in \[ | \] | \* | \? | \\) REPLY+="\\$c" ;; *) REPLY+=$c ;; esac
    done
}

# Prints the processes that hold files or folders under PATH.
q_show_blockers() {
    local path=$1 out pat link pid comm seen=" " found=0
    if command -v fuser >/dev/null 2>&1 && out=$(timeout 10 fuser -vm -- "$path" 2>&1) && [[ -n $out ]]; then
        echo "These processes use the drive; quit them and try again:"
        printf '%s\n' "$out"
        return 0
    fi
    q_glob_escape "$path"
    pat=$REPLY
    while IFS= read -r -d '' link; do
        pid=${link#/proc/}
        pid=${pid%%/*}
        [[ $pid == "$$" || $pid == "$BASHPID" || $seen == *" $pid "* ]] && continue
        seen+="$pid "
        comm=""
        [[ -r /proc/$pid/comm ]] && comm=$(<"/proc/$pid/comm")
        ((found)) || echo "These processes use the drive; quit them and try again:"
        found=1
        echo "  process $pid (${comm:-unknown})"
    done < <(find /proc/[0-9]*/cwd /proc/[0-9]*/root /proc/[0-9]*/fd -maxdepth 1 \
        \( -lname "$pat" -o -lname "$pat/*" \) -print0 2>/dev/null)
    ((found)) || echo "No process could be found holding it; try again in a moment."
    return 0
}

cmd_eject_nvme() {
    (($# == 0)) || q_usage_error "eject-nvme takes no argument."
    local dev out pout
    q_load_config
    q_pause_actions
    echo "Automatic actions are paused."
    if ! q_is_mountpoint "$NVMe"; then
        if [[ -d $NVMe && $NVME_REQUIRE_MOUNTPOINT == 0 ]]; then
            echo "$NVMe is a folder, not a mounted drive, so there is nothing to unmount."
        else
            echo "The NVMe is not mounted at $NVMe, so there is nothing to unmount."
        fi
        q_refresh_status
        return 0
    fi
    q_fs_field "$NVMe" SOURCE
    # btrfs names the subvolume after the device: /dev/sdb1[/@data].
    dev=${REPLY%%\[*}
    if [[ $dev == /dev/* ]] && command -v udisksctl >/dev/null 2>&1; then
        if out=$(timeout 50 udisksctl unmount -b "$dev" 2>&1); then
            [[ -n $out ]] && printf '%s\n' "$out"
            q_event "The NVMe was unmounted from $NVMe."
            if pout=$(timeout 20 udisksctl power-off -b "$dev" 2>&1); then
                echo "The NVMe is unmounted and powered off; it can be disconnected now."
            else
                echo "The NVMe is unmounted but could not be powered off (${pout:-no reason given}); it can be disconnected once its light is off."
            fi
            q_refresh_status
            return 0
        fi
    elif out=$(timeout 50 umount -- "$NVMe" 2>&1); then
        q_event "The NVMe was unmounted from $NVMe."
        echo "The NVMe is unmounted from $NVMe; it can be disconnected now."
        q_refresh_status
        return 0
    fi
    echo "Could not unmount $NVMe: ${out:-no reason given}"
    q_show_blockers "$NVMe"
    q_refresh_status
    return 1
}

# "Show in the file manager": the application keeps the name it was given.
cmd_show_in_finder() {
    (($# == 0)) || q_usage_error "show-in-finder takes no argument."
    local opener=()
    q_load_config
    if [[ ! -d $NVMe ]]; then
        echo "The NVMe folder $NVMe does not exist, so there is nothing to show; connect the drive first."
        return 1
    fi
    if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
        echo "No graphical session can be reached, so no file manager was opened; the NVMe is at $NVMe."
        return 1
    fi
    if command -v xdg-open >/dev/null 2>&1; then
        opener=(xdg-open "$NVMe")
    elif command -v gio >/dev/null 2>&1; then
        opener=(gio open "$NVMe")
    else
        q_install_hint xdg-utils
        echo "Neither xdg-open nor gio is installed, so no file manager was opened ($REPLY to get one); the NVMe is at $NVMe."
        return 1
    fi
    q_log_path
    # Detached and off our output: the caller reads that pipe to its end.
    if ! setsid -f "${opener[@]}" </dev/null >>"$REPLY" 2>&1; then
        echo "The file manager could not be started; the NVMe is at $NVMe."
        return 1
    fi
    echo "Opened $NVMe in the file manager."
}

# ---------------------------------------------------------------------------
# Dispatch. A sub-command "foo-bar" is the function cmd_foo_bar.

Q_COMMANDS=(watch pause resume nvme-info validate list-drives assess benchmark select-drive
    relocate-now dry-run rollback remount eject-nvme show-in-finder)

q_usage() {
    local IFS='|'
    echo "Usage: quindle.sh {${Q_COMMANDS[*]}} [argument]" >&2
}

q_usage_error() {
    echo "quindle.sh: $1" >&2
    q_usage
    exit 2
}

q_main() {
    local cmd=${1:-} known=" ${Q_COMMANDS[*]} "
    [[ -n $cmd ]] || q_usage_error "a sub-command is required."
    shift
    [[ $known == *" $cmd "* ]] || q_usage_error "unknown sub-command \"$cmd\"."
    "cmd_${cmd//-/_}" "$@"
}

q_main "$@"
