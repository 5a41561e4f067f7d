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
