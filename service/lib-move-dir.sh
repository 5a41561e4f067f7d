# shellcheck shell=bash
# move-dir PATH: one folder the storage inspector offered, moved to the
# working folder's Archive as a batch of its own, by the rules engine's move,
# so that recovery after a kill and "Rollback Last Batch" cover it too.

# q_move_dir_refusal PATH DESTINATION: 0 with the refusal in REPLY when the
# move must not start. Needs the drive probed and the mount table loaded.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_move_dir_refusal() {
    local path=$1 dst=$2 fstype bytes need
    if ! q_actionable "$path"; then
        return 0
    fi
    if q_holds_mount "$path"; then
        REPLY="A filesystem is mounted inside $path, so it is not moved."
        return 0
    fi
    if q_holders "$path" first; then
        REPLY="${Q_HOLDERS[0]} has a file open in $path, so it is not moved; quit it and try again."
        return 0
    fi
    q_fs_field "$NVMe" FSTYPE
    fstype=$REPLY
    case ${fstype,,} in
        vfat | msdos | exfat | ntfs | ntfs3 | fuseblk)
            REPLY="The NVMe's $fstype filesystem cannot hold symbolic links or Unix permissions, so nothing is moved there."
            return 0
            ;;
    esac
    if q_exists "$dst"; then
        REPLY="$dst already exists on the NVMe, so $path is not moved."
        return 0
    fi
    q_bytes_of "$path"
    bytes=$REPLY
    q_dev_of_place "$dst"
    if [[ $(stat -c %d -- "$path" 2>/dev/null) != "$REPLY" ]] && q_space "$NVMe" 1; then
        need=$((bytes + bytes / 50 + 1048576))
        if ((Q_AVAIL < need)); then
            q_human_bytes "$bytes"
            local shown=$REPLY
            q_human_bytes "$Q_AVAIL"
            REPLY="$path needs $shown and the NVMe has $REPLY free, so it is not moved."
            return 0
        fi
    fi
    return 1
}

cmd_move_dir() {
    (($# == 1)) || q_usage_error "move-dir takes the path of one folder."
    local rc=0
    # As in a rules pass, a step that fails is handled where it happens.
    q_move_dir_run "$1" || rc=$?
    return "$rc"
}

q_move_dir_run() {
    local path dst home rc=0 bytes
    q_strip_slashes "$1"
    path=$REPLY
    q_load_config
    if ! q_require_drive; then
        return 1
    fi
    q_take_pass_lock >/dev/null || {
        echo "A rules pass or rollback is running, so $path is not moved now; try again when it has finished."
        return 1
    }
    q_pass_init 0
    q_trap_stop
    q_pass_needs_drive
    if ! q_journal_open; then
        echo "The action log $Q_ACTIONS_LOG cannot be written, so nothing was moved."
        return 1
    fi
    # What a killed run left is finished first; it may be this very folder.
    q_recover 1
    home=$(realpath -m -- "$HOME")
    q_working_folder "$(realpath -m -- "$NVMe")"
    dst="$REPLY/Archive/${path#"$home"/}"
    if [[ -L $path && $(readlink -- "$path") == "$dst" ]]; then
        echo "$path is already on the NVMe at $dst."
        return 0
    fi
    q_load_mounts
    if q_move_dir_refusal "$path" "$dst"; then
        echo "$REPLY"
        return 1
    fi
    q_bytes_of "$path"
    bytes=$REPLY
    q_human_bytes "$bytes"
    echo "Moving $path ($REPLY) to $dst."
    if q_move_entry archive_dir "$path" "$dst" "$bytes"; then
        q_human_bytes "$bytes"
        echo "Moved $path to $dst ($REPLY); it is a link to its copy now."
        q_add_saved_bytes "$bytes"
        q_event "Moved $path to the NVMe."
    else
        rc=1
        if ((Q_STOP)); then
            echo "The move of $path was stopped; $path stays where it was."
        else
            echo "Could not move $path: $Q_MOVE_ERR"
        fi
    fi
    q_refresh_status
    return "$rc"
}
