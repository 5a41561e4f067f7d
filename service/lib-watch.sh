# shellcheck shell=bash
# The watch loop and what each tick checks, plus pause and resume, which
# rewrite the status file at once.

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
# shellcheck disable=SC2154 # NVMe is set by q_load_config
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
    [[ -d $REPLY ]] || mkdir -p -- "$REPLY"
    q_check_config_state
    q_probe_all
    q_check_mount_change
    q_remember_nvme_uuid
    q_check_low_space
    q_write_status
    q_append_history
    ((${Q_NO_DAILY:-0})) || q_daily_check
    ((${Q_NO_DAILY:-0})) || q_daily_scan_check
}

q_local_day() { printf -v REPLY '%(%Y-%m-%d)T' -1; }

# 0, with the reason in REPLY, while quiet hours hold heavy work back; in
# schedule mode also while the user was active lately. Idle time that cannot
# be measured counts as idle.
q_daily_hold_reason() {
    q_probe_idle
    q_probe_power
    q_probe_meeting
    q_decide_quiet
    if ((Q_QUIET)); then
        REPLY=${Q_QUIET_REASON:-"It is inside the quiet hours $QUIET_HOURS_BLOCKED."}
        return 0
    fi
    if [[ $QUIET_MODE == schedule ]] && ((Q_IDLE_KNOWN && Q_IDLE_SECS < IDLE_THRESHOLD_SECS)); then
        REPLY="You were active in the last $IDLE_THRESHOLD_SECS seconds."
        return 0
    fi
    return 1
}

# The daily pass starts, detached, from the first tick at or after
# AUTO_RELOCATE_HOUR each local day that finds nothing holding it; a held
# pass is tried again every tick, and a day that ends held is logged.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_daily_check() {
    local today done_day held_day="" reason=""
    ((ENABLE_AUTO_ACTIONS && AUTO_RELOCATE_DAILY && ${#RULES[@]})) || return 0
    q_local_day
    today=$REPLY
    q_read_private daily-done
    done_day=$REPLY
    q_private_dir
    [[ -r $REPLY/daily-held ]] && IFS=$'\t' read -r held_day reason <"$REPLY/daily-held"
    if [[ -n $held_day && $held_day != "$today" ]]; then
        [[ $held_day == "$done_day" ]] || q_log "The daily pass of $held_day did not run: it was held all day. $reason"
        rm -f -- "$REPLY/daily-held"
        held_day=""
    fi
    [[ $done_day != "$today" ]] || return 0
    q_current_hour
    ((REPLY >= AUTO_RELOCATE_HOUR)) || return 0
    if ((Q_PAUSED)); then
        REPLY="Automatic actions are paused."
    elif q_rules_move_files && ((!Q_NVME_MOUNTED || !Q_NVME_MARKER_OK)); then
        REPLY="The NVMe is not ready at $NVMe."
    elif q_daily_hold_reason; then
        :
    elif ! q_pass_lock_free; then
        REPLY="Another run is in progress."
    else
        q_log "The daily pass starts."
        q_spawn_run daily relocate-now --wait --daily
        return 0
    fi
    if [[ $held_day != "$today" || $reason != "$REPLY" ]]; then
        reason=$REPLY
        q_log "The daily pass is held: $reason"
        q_write_private daily-held "$today"$'\t'"$reason"
    fi
    return 0
}

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
    (set +e; Q_NO_DAILY=1; q_tick) >/dev/null 2>&1 || true
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
