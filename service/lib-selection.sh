# shellcheck shell=bash
# Choosing the drive: list-drives, assess, benchmark and select-drive.

# Names that belong to backups, never to a drive to move data onto. A disk formatted on another
# system keeps that system's backup names ("Time Machine…", "Backups of …", the bundle folders).
q_is_backup_name() {
    local n=${1,,}
    [[ $n == "time machine"* || $n == "backups of "* || $n == *.sparsebundle || $n == *.backupbundle ]]
}

# q_describe_device DEVICE -> Q_DEV_PROTOCOL, Q_DEV_REMOVABLE, Q_DEV_LOCATION.
# A mount with no block device behind it (a share, a bind mount) is Unknown on
# every count, as the application's own listing says.
q_describe_device() {
    Q_DEV_PROTOCOL=Unknown Q_DEV_REMOVABLE=Unknown Q_DEV_LOCATION=Unknown
    q_block_info "$1" || return 0
    Q_DEV_REMOVABLE=Fixed Q_DEV_LOCATION=Internal
    [[ -n $Q_BLK_TRAN ]] && Q_DEV_PROTOCOL=$Q_BLK_TRAN
    ((Q_BLK_RM)) && Q_DEV_REMOVABLE=Removable
    if ((Q_BLK_RM || Q_BLK_HOTPLUG)) || [[ $Q_BLK_TRAN == usb ]]; then
        Q_DEV_LOCATION=External
    fi
    return 0
}

# Appends one Drive object to Q_DRIVES.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
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
        [[ ${lines[-1]} == "" ]] && unset 'lines[-1]'
        lines+=("$new")
    fi
    # Without a final line feed, a line appended later would join the last one.
    [[ ${lines[-1]} == "" ]] || lines+=("")
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
