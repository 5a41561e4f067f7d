# shellcheck shell=bash
# Rollback: brings the entries of the last batch that moved something back
# from the NVMe, each only while its place still holds the link to its copy.

# From the action log read by q_journal_read: Q_RB_BATCH and Q_RB_TIME of the
# last batch with a finished move, the indexes of its moves not yet rolled
# back (Q_RB_TODO), and how many it moved, trashed and cleaned.
# shellcheck disable=SC2153 # the Q_J_* arrays are filled by q_journal_read
q_read_last_batch() {
    local i key
    local -A back=()
    Q_RB_BATCH="" Q_RB_TIME="" Q_RB_MOVES=0 Q_RB_TRASHED=0 Q_RB_CLEANED=0 Q_RB_TODO=()
    for i in "${!Q_J_BATCH[@]}"; do
        [[ ${Q_J_ACTION[i]} == archive_* && ${Q_J_LAST[i]} == 'done' ]] && Q_RB_BATCH=${Q_J_BATCH[i]}
    done
    [[ -n $Q_RB_BATCH ]] || return 0
    for i in "${!Q_J_BATCH[@]}"; do
        [[ ${Q_J_BATCH[i]} == "$Q_RB_BATCH" ]] || continue
        [[ -n $Q_RB_TIME ]] || Q_RB_TIME=${Q_J_TIME[i]}
        if [[ ${Q_J_ACTION[i]} == rollback && ${Q_J_LAST[i]} == 'done' ]]; then
            back["${Q_J_DST[i]}"$'\t'"${Q_J_SRC[i]}"]=1
        fi
    done
    for i in "${!Q_J_BATCH[@]}"; do
        [[ ${Q_J_BATCH[i]} == "$Q_RB_BATCH" ]] || continue
        case ${Q_J_ACTION[i]}:${Q_J_LAST[i]} in
            archive_*:done)
                Q_RB_MOVES=$((Q_RB_MOVES + 1))
                key="${Q_J_SRC[i]}"$'\t'"${Q_J_DST[i]}"
                [[ -n ${back[$key]:-} ]] || Q_RB_TODO+=("$i")
                ;;
            delete_old:trashed) Q_RB_TRASHED=$((Q_RB_TRASHED + 1)) ;;
            app_cache_clean:removed) Q_RB_CLEANED=$((Q_RB_CLEANED + 1)) ;;
        esac
    done
}

# q_restore_entry PLACE COPY BYTES: the copy comes back beside the link, is
# proven, replaces the link, and only then leaves the drive.
q_restore_entry() {
    local place=$1 copy=$2 bytes=$3 back t0 fdev
    Q_MOVE_ERR=""
    q_restore_path "$place"
    back=$REPLY
    if q_exists "$back"; then
        Q_MOVE_ERR="$back is in the way."
        return 1
    fi
    fdev=$(stat -c %d -- "$copy" 2>/dev/null) || fdev=""
    if [[ -n $fdev && $fdev == "$(stat -c %d -- "${place%/*}" 2>/dev/null)" ]]; then
        q_journaled rename rollback "$copy" "$place" "$bytes" || return 1
        [[ -d $copy ]] && rm -f -- "$place"
        if ! mv -T -- "$copy" "$place" 2>/dev/null; then
            [[ -e $place || -L $place ]] || ln -s -- "$copy" "$place" 2>/dev/null
            q_journal failed rollback "$copy" "$place" "$bytes"
            Q_MOVE_ERR="it could not be renamed back."
            return 1
        fi
        q_journal restored rollback "$copy" "$place" "$bytes"
        q_journal 'done' rollback "$copy" "$place" "$bytes"
        return 0
    fi
    q_journaled start rollback "$copy" "$place" "$bytes" || return 1
    t0=${EPOCHREALTIME/,/.}
    if ! q_copy "$copy" "$back" || ! q_same "$copy" "$back"; then
        rm -rf -- "$back" 2>/dev/null
        q_journal failed rollback "$copy" "$place" "$bytes"
        Q_MOVE_ERR="copying it back failed${Q_CHILD_ERR:+ ($Q_CHILD_ERR)}, so it still links to the NVMe."
        return 1
    fi
    q_journaled verified rollback "$copy" "$place" "$bytes" || {
        rm -rf -- "$back" 2>/dev/null
        return 1
    }
    # A folder cannot be renamed over a link; the log covers the moment between.
    [[ -d $back ]] && rm -f -- "$place"
    if ! mv -T -- "$back" "$place" 2>/dev/null; then
        [[ -e $place || -L $place ]] || ln -s -- "$copy" "$place" 2>/dev/null
        rm -rf -- "$back" 2>/dev/null
        q_journal failed rollback "$copy" "$place" "$bytes"
        Q_MOVE_ERR="its copy could not be put in place of the link."
        return 1
    fi
    q_journal restored rollback "$copy" "$place" "$bytes"
    if q_changed_since "$copy" "$t0"; then
        q_problem "$copy changed on the NVMe while it was copied back, so it is kept there too."
    else
        q_remove_drive_copy "$copy" || q_problem "$place is back, but $copy could not be removed from the NVMe."
    fi
    q_journal 'done' rollback "$copy" "$place" "$bytes"
}

# rollback --yes [--wait]: without --wait it runs detached and is followed.
cmd_rollback() {
    local yes=0 wait=0 arg rc=0
    for arg; do
        case $arg in
            --yes) yes=1 ;;
            --wait) wait=1 ;;
            *) q_usage_error "rollback takes no argument but --yes." ;;
        esac
    done
    if ((!yes)); then
        echo "Rolling back moves the last batch's entries back from the NVMe; run rollback --yes to confirm."
        return 1
    fi
    if ((!wait)); then
        q_detach_and_follow rollback rollback --yes
        return
    fi
    [[ -z ${QUINDLE_RUN_ID:-} ]] || q_detached_begin
    q_rollback_run || rc=$?
    [[ -z ${QUINDLE_RUN_ID:-} ]] || q_detached_end "$rc"
    return "$rc"
}

q_rollback_run() {
    local i place copy size back=0 back_bytes=0 left=0 rc=0 todo
    q_load_config
    q_take_pass_lock || return 3
    q_pass_init 0
    q_trap_stop
    q_journal_read
    q_read_last_batch
    if [[ -z $Q_RB_BATCH ]]; then
        echo "There is nothing to roll back: no rules pass has moved anything yet."
        return 0
    fi
    q_require_drive || return 1
    q_pass_needs_drive
    if ! q_journal_open; then
        echo "The action log $Q_ACTIONS_LOG cannot be written, so nothing was rolled back."
        return 1
    fi
    q_recover 1
    q_journal_read
    q_read_last_batch
    # Rollback steps are logged under the batch they undo, so a second
    # rollback retries only what is still on the NVMe.
    # shellcheck disable=SC2034 # read by q_journal
    Q_BATCH=$Q_RB_BATCH
    if ((${#Q_RB_TODO[@]} == 0)); then
        echo "Every move of the last batch ($Q_RB_BATCH, $Q_RB_TIME) is already rolled back."
        q_rollback_deletes
        return 0
    fi
    echo "Rolling back batch $Q_RB_BATCH from $Q_RB_TIME."
    for i in "${Q_RB_TODO[@]}"; do
        q_keep_going || break
        place=${Q_J_SRC[i]} copy=${Q_J_DST[i]}
        if [[ ! -L $place || $(readlink -- "$place") != "$copy" ]] || ! q_exists "$copy"; then
            q_item "$place changed since the move; left alone."
            left=$((left + 1))
            continue
        fi
        q_bytes_of "$copy"
        size=$REPLY
        if ! q_restore_entry "$place" "$copy" "$size"; then
            if ((!Q_STOP)) || [[ -n $Q_MOVE_ERR ]]; then q_problem "Could not restore $place: $Q_MOVE_ERR"; fi
            continue
        fi
        q_human_bytes "$size"
        q_item "Restored $place from $copy ($REPLY)"
        back=$((back + 1))
        back_bytes=$((back_bytes + size))
    done
    if ((Q_HIDDEN)); then
        q_files "$Q_HIDDEN" entry entries
        echo "$REPLY more are not listed here."
    fi
    q_files "${#Q_RB_TODO[@]}" entry entries
    todo=$REPLY
    q_human_bytes "$back_bytes"
    echo "Restored $back of $todo ($REPLY) to their places."
    if ((left == 1)); then
        echo "1 entry changed since the move and was left alone."
    elif ((left)); then
        echo "$left entries changed since the move and were left alone."
    fi
    q_rollback_deletes
    q_add_saved_bytes $((-back_bytes))
    q_event "Rolled back $back of $todo of batch $Q_RB_BATCH."
    if ((Q_STOP)); then
        ((Q_HELD)) || echo "The rollback was stopped before it finished; run it again to restore the rest."
        rc=1
    elif ((Q_PROBLEMS)); then
        q_files "$Q_PROBLEMS" problem
        echo "The rollback met $REPLY; see the lines above."
        rc=1
    fi
    q_notify_run rollback "$rc" "restored $back of $todo"
    q_refresh_status
    return "$rc"
}

q_rollback_deletes() {
    if ((Q_RB_TRASHED == 1)); then
        echo "The entry this batch deleted is in the trash; restore it from there."
    elif ((Q_RB_TRASHED)); then
        echo "The $Q_RB_TRASHED entries this batch deleted are in the trash; restore them from there."
    fi
    if ((Q_RB_CLEANED)); then
        q_files "$Q_RB_CLEANED" "cache entry" "cache entries"
        echo "Cleaning $REPLY cannot be undone; caches refill themselves."
    fi
    return 0
}
