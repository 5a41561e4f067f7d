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
