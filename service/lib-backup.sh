# shellcheck shell=bash
# backup-self: the configuration and state, copied into a dated folder of the
# working folder's Quindle-Backup on the NVMe. The credential vault's folder
# is never among them: secrets stay on this computer.

# What a restore puts back, from the same names under ~/.quindle.
Q_BACKUP_ITEMS=(quindle.conf state sync)

# q_backup_folder ROOT -> REPLY, a new folder name "yyyy-MM-dd_HHmmss", with a
# count after it when a backup of the same second exists.
q_backup_folder() {
    local root=$1 stamp n=1
    printf -v stamp '%(%Y-%m-%d_%H%M%S)T' -1
    REPLY="$root/$stamp"
    while q_exists "$REPLY" || q_exists "$root/.${REPLY##*/}.partial"; do
        n=$((n + 1))
        REPLY="$root/$stamp-$n"
    done
}

# shellcheck disable=SC2154 # NVMe is set by q_load_config
cmd_backup_self() {
    (($# == 0)) || q_usage_error "backup-self takes no argument."
    local root dest partial item qdir rc
    q_load_config
    if ! q_require_drive >/dev/null; then
        echo "No prepared NVMe is mounted at $NVMe, so there is nowhere to back up to; connect the drive and try again."
        return 1
    fi
    q_working_folder "$NVMe"
    root="$REPLY/Quindle-Backup"
    q_dir
    qdir=$REPLY
    if ! mkdir -p -- "$root" 2>/dev/null || ! chmod 700 -- "$root"; then
        echo "The backup folder $root could not be created, so nothing was backed up."
        return 1
    fi
    q_backup_folder "$root"
    dest=$REPLY
    # Copied beside the final name and renamed at the end, so that a dated
    # folder is always a whole backup.
    partial="$root/.${dest##*/}.partial"
    mkdir -m 700 -- "$partial" || return 1
    for item in "${Q_BACKUP_ITEMS[@]}"; do
        q_exists "$qdir/$item" || continue
        rc=0
        # The engine's and the pass's locks belong to the running processes,
        # the temporary files to writes under way.
        rsync -a --exclude=/state/engine.lock --exclude=/state/service/pass.lock \
            --exclude='.*.tmp.*' --exclude='*.tmp.[0-9]*' -- "$qdir/$item" "$partial/" 2>/dev/null || rc=$?
        # 24: a file vanished while it was copied, as the service's own
        # temporary files do; what was copied is whole.
        if ((rc != 0 && rc != 24)); then
            rm -rf -- "$partial"
            echo "Copying $qdir/$item to the NVMe failed (rsync status $rc), so nothing was backed up."
            return 1
        fi
    done
    q_display_name
    local host=$REPLY
    q_now_utc
    printf 'host=%s\nversion=%s\ncreated_at=%s\n' "${host//$'\n'/ }" "$Q_VERSION" "$REPLY" >"$partial/manifest.txt"
    if ! mv -T -- "$partial" "$dest" 2>/dev/null; then
        rm -rf -- "$partial"
        echo "The backup could not be put in place at $dest, so nothing was backed up."
        return 1
    fi
    q_event "Backed up the configuration and state to $dest."
    echo "Backed up the configuration and state to $dest."
}
