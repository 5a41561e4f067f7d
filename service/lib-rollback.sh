# shellcheck shell=bash
# Rollback: moves the files of the last batch back from the NVMe.

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
    # shellcheck disable=SC2034 # read by q_record
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
