# shellcheck shell=bash
# The configured drive: nvme-info, validate, remount, eject-nvme and
# show-in-finder.

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

# shellcheck disable=SC2154 # NVMe is set by q_load_config
cmd_nvme_info() {
    q_load_config
    q_probe_nvme
    q_probe_space
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
    elif ((Q_NVME_MOUNTED)); then
        echo "✗ UUID: cannot be checked: the marker it is checked against is missing."
    else
        echo "✗ UUID: cannot be checked: no drive is mounted at $NVMe."
    fi
    if ((ok)); then
        echo "Valid: $NVMe is the prepared NVMe."
        return 0
    fi
    echo "Invalid: $NVMe is not a prepared NVMe."
    return 1
}

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
    q_needs_udisks "Mounting the NVMe" || return 1
    if ! q_udisks mount -b "$Q_DEV"; then
        echo "Mounting $Q_DEV failed: ${REPLY:-udisksctl gave no reason}"
        return 1
    fi
    out=$REPLY
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

# q_udisks ARG...: udisksctl under a time limit (without udev some of its
# calls never return); REPLY is its output, passed on as it is.
q_udisks() {
    local rc=0
    REPLY=$(timeout 50 udisksctl "$@" 2>&1) || rc=$?
    ((rc != 124)) || REPLY="udisksctl gave no answer within 50 seconds."
    return "$rc"
}

q_needs_udisks() {
    command -v udisksctl >/dev/null 2>&1 && return 0
    q_install_hint udisks2
    echo "$1 needs udisks2 (\`$REPLY\`)."
    return 1
}

# q_block_chain DEVICE -> Q_CHAIN_DISK (kernel name of the whole disk),
# Q_CHAIN_CRYPT (the device an unlocked LUKS mapping sits on) and
# Q_CHAIN_REMOVABLE (the disk says RM or HOTPLUG).
q_block_chain() {
    local dev=$1 depth out
    Q_CHAIN_DISK="" Q_CHAIN_CRYPT="" Q_CHAIN_REMOVABLE=0
    for ((depth = 0; depth < 6; depth++)); do
        out=$(timeout 10 lsblk -rndo NAME,PKNAME,TRAN,RM,HOTPLUG,TYPE -- "$dev" 2>/dev/null) || return 1
        q_split_raw "${out%%$'\n'*}"
        Q_CHAIN_DISK=${Q_FIELDS[0]-}
        Q_CHAIN_REMOVABLE=0
        [[ ${Q_FIELDS[3]-} == 1 || ${Q_FIELDS[4]-} == 1 ]] && Q_CHAIN_REMOVABLE=1
        [[ -n ${Q_FIELDS[1]-} ]] || return 0
        [[ ${Q_FIELDS[5]-} == crypt && -z $Q_CHAIN_CRYPT ]] && Q_CHAIN_CRYPT=/dev/${Q_FIELDS[1]}
        dev=/dev/${Q_FIELDS[1]}
    done
}

# Fails, having said why, when the filesystem mounted at the NVMe's path is
# the system's or the home folder's, directly or through a bind mount, or
# lies on the same disk.
q_eject_target() {
    local out src majmin where path sdisk
    if ! out=$(timeout 10 findmnt -rn -o SOURCE,MAJ:MIN --mountpoint "$NVMe" 2>/dev/null) || [[ -z $out ]]; then
        echo "$NVMe is not a mount point, so there is no drive to eject."
        return 1
    fi
    q_split_raw "${out%%$'\n'*}"
    src=${Q_FIELDS[0]-} majmin=${Q_FIELDS[1]-}
    # A bind mount names its device with the folder behind it: /dev/sda2[/srv].
    Q_EJECT_DEV=${src%%\[*}
    if [[ $Q_EJECT_DEV != /dev/* ]] || ! q_block_chain "$Q_EJECT_DEV"; then
        echo "$NVMe is mounted from $src, which is no drive, so there is nothing to eject."
        return 1
    fi
    Q_EJECT_DISK=$Q_CHAIN_DISK Q_EJECT_CRYPT=$Q_CHAIN_CRYPT Q_EJECT_REMOVABLE=$Q_CHAIN_REMOVABLE
    for path in / "$HOME"; do
        where="the system"
        [[ $path == / ]] || where="your home folder"
        q_fs_field "$path" MAJ:MIN
        if [[ -n $majmin && $REPLY == "$majmin" ]]; then
            echo "The filesystem at $NVMe is the one that holds $where, so nothing was ejected."
            return 1
        fi
        q_fs_field "$path" SOURCE
        sdisk=""
        [[ ${REPLY%%\[*} == /dev/* ]] && q_block_chain "${REPLY%%\[*}" && sdisk=$Q_CHAIN_DISK
        if [[ -n $sdisk && $sdisk == "$Q_EJECT_DISK" ]]; then
            echo "The drive behind $NVMe ($Q_EJECT_DISK) also holds $where, so nothing was ejected."
            return 1
        fi
    done
}

# Container engines, emulators and IDEs keep images and indexes on the
# drive; they save their work when asked to quit.
q_is_dependent_tool() {
    case $1 in
    docker | dockerd | com.docker.* | podman | conmon | qemu-system-* | emulator | emulator64-* | \
        idea | studio | pycharm | clion | goland | webstorm | rider | phpstorm | rubymine | datagrip | \
        dataspell | rustrover) return 0 ;;
    esac
    return 1
}

# Asks the user's own dependent tools that hold the drive to quit, the way
# closing their window would, and waits up to ten seconds for them. Nothing
# is killed: a tool still running is named with the other holders.
q_quit_dependent_tools() {
    local i pid asked=() deadline
    q_holders "$NVMe" || return 0
    for i in "${!Q_HOLDER_PIDS[@]}"; do
        pid=${Q_HOLDER_PIDS[i]}
        if q_is_dependent_tool "${Q_HOLDER_COMMS[i]}" && [[ -O /proc/$pid ]] &&
            kill -TERM "$pid" 2>/dev/null; then
            asked+=("$pid")
            echo "Asked ${Q_HOLDERS[i]} to quit."
        fi
    done
    ((${#asked[@]})) || return 0
    deadline=$((SECONDS + 10))
    for pid in "${asked[@]}"; do
        while kill -0 "$pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
    done
}

# Pauses, quits the dependent tools, flushes, unmounts, locks an encrypted
# drive and powers off a removable one. Any other program keeping the drive
# busy is named, never signalled: ended from here it could lose unsaved work.
cmd_eject_nvme() {
    (($# == 0)) || q_usage_error "eject-nvme takes no argument."
    q_load_config
    q_eject_target || return 1
    q_needs_udisks "Ejecting the NVMe" || return 1
    q_pause_actions
    echo "Automatic actions are paused."
    q_quit_dependent_tools
    timeout 60 sync -f -- "$NVMe" 2>/dev/null || true
    if ! q_udisks unmount -b "$Q_EJECT_DEV"; then
        echo "Could not unmount $NVMe: ${REPLY:-udisksctl gave no reason}"
        if q_holders "$NVMe"; then
            echo "These programs use the drive; quit them and eject again:"
            printf '  %s\n' "${Q_HOLDERS[@]}"
        fi
        q_refresh_status
        return 1
    fi
    [[ -z $REPLY ]] || printf '%s\n' "$REPLY"
    q_event "The NVMe was unmounted from $NVMe."
    if [[ -n $Q_EJECT_CRYPT ]]; then
        if q_udisks lock -b "$Q_EJECT_CRYPT"; then
            echo "The encrypted drive $Q_EJECT_CRYPT is locked."
        else
            echo "The encrypted drive $Q_EJECT_CRYPT could not be locked: ${REPLY:-udisksctl gave no reason}"
        fi
    fi
    if ((!Q_EJECT_REMOVABLE)); then
        echo "The NVMe is unmounted; its drive is fixed in this computer, so it stays powered."
    elif q_udisks power-off -b "/dev/$Q_EJECT_DISK"; then
        echo "The NVMe is unmounted and powered off; it can be disconnected now."
    else
        echo "The NVMe is unmounted but could not be powered off (${REPLY:-no reason given}); it can be disconnected once its light is off."
    fi
    q_refresh_status
}

# "Show in the file manager": the application keeps the name it was given.
# The opener runs detached; on a desktop it does not recognise it waits for
# the file manager, so only a failure within two seconds is reported.
cmd_show_in_finder() {
    (($# == 0)) || q_usage_error "show-in-finder takes no argument."
    local opener=() pid i rc=0
    q_load_config
    if ! q_is_mounted "$NVMe"; then
        echo "The NVMe is not mounted at $NVMe, so there is nothing to show; connect the drive first."
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
    (
        q_close_inherited
        exec setsid "${opener[@]}" </dev/null >>"$REPLY" 2>&1
    ) &
    pid=$!
    for ((i = 0; i < 20; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" || rc=$?
        if ((rc)); then
            echo "The file manager could not be started (${opener[0]} ended with status $rc); the NVMe is at $NVMe."
            return 3
        fi
    fi
    echo "Opened $NVMe in the file manager."
}
