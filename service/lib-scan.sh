# shellcheck shell=bash
# scan-storage: where the home folder's space goes, one JSON line per row as
# du reaches it, and the daily low-priority scan whose rows the history
# snapshot reports.

# Entries smaller than this fold into one row (decimal, allocated).
Q_SCAN_FOLD_BYTES=1000000
# A snapshot reports a scan only while it is this recent.
Q_SCAN_FRESH_SECS=$((2 * 86400))

q_scan_rows_file() {
    q_private_dir
    REPLY="$REPLY/scan-rows"
}

# Q_SCAN_PATHS: the entries of the home folder, with ~/.cache, ~/.local and
# ~/.local/share replaced by theirs. Links, mount points and the NVMe are
# left out; a container that is a mount point is left out whole.
q_scan_entries() {
    local home=$1 nvme=$2 entry mp
    local -A expand=(["$home/.cache"]=1 ["$home/.local"]=1 ["$home/.local/share"]=1) mounted=()
    for mp in "${Q_MOUNTS[@]}"; do mounted[$mp]=1; done
    Q_SCAN_PATHS=()
    local queue=("$home") dir restore
    restore=$(shopt -p nullglob dotglob || true)
    shopt -s nullglob dotglob
    while ((${#queue[@]})); do
        dir=${queue[0]}
        queue=("${queue[@]:1}")
        for entry in "$dir"/*; do
            [[ -L $entry || -n ${mounted[$entry]:-} || $entry == "$nvme" ]] && continue
            if [[ -n ${expand[$entry]:-} && -d $entry ]]; then
                queue+=("$entry")
            else
                Q_SCAN_PATHS+=("$entry")
            fi
        done
    done
    eval "$restore"
}

# q_scan_row PATH BYTES: prints one row line.
q_scan_row() {
    local path=$1 bytes=$2 home=$3 actionable=0
    q_actionable "$path" "$bytes" && actionable=1
    j_begin
    j_str path "$path"
    j_str label "${path#"$home"/}"
    j_int size_bytes "$bytes"
    j_bool actionable "$actionable"
    j_end
    printf '%s\n' "$REPLY"
}

# q_scan_excludes HOME NVME: Q_SCAN_EXCLUDES, du options leaving out the NVMe
# and the mounts of home's own device inside home (bind mounts, which -x does
# not skip). Usually none, and that matters: du matches every file against a
# pattern.
q_scan_excludes() {
    local home=$1 nvme=$2 i mp dev="" longest=""
    Q_SCAN_EXCLUDES=()
    for i in "${!Q_MOUNTS[@]}"; do
        mp=${Q_MOUNTS[i]}
        [[ $home == "$mp" || $home == "${mp%/}"/* ]] || continue
        ((${#mp} >= ${#longest})) && longest=$mp dev=${Q_MOUNT_DEVS[i]}
    done
    [[ $nvme == "$home"/* ]] && q_glob_escape "$nvme" && Q_SCAN_EXCLUDES+=("--exclude=$REPLY")
    for i in "${!Q_MOUNTS[@]}"; do
        mp=${Q_MOUNTS[i]}
        [[ $mp == "$home"/* && ${Q_MOUNT_DEVS[i]} == "$dev" && $mp != "$nvme" ]] || continue
        q_glob_escape "$mp"
        Q_SCAN_EXCLUDES+=("--exclude=$REPLY")
    done
}

# One du over the home folder, not one argument per row: given several, du
# remembers every inode to count each once, about a sixth slower. A hard link
# still counts once, for the first row du reaches it through, and -x keeps
# other filesystems out. du prints entries of a megabyte or more down to the
# deepest row (~/.local/share/*); the rest, with the folders' own blocks, is
# "Other small items". du starts before the rows are listed, which then costs
# nothing on a second core.
cmd_scan_storage() {
    (($# == 0)) || q_usage_error "scan-storage takes no argument."
    local home nvme i line kb path bytes rows_bytes=0 total=-1 rows=0 record du_out
    local -A index=()
    q_load_config
    q_strip_slashes "$HOME"
    if ! q_keep_places "$REPLY"; then
        echo "quindle.sh: the real path of the home folder is not known." >&2
        exit 1
    fi
    home=$Q_KEEP_HOME nvme=$Q_KEEP_NVME
    q_load_mounts
    q_scan_excludes "$home" "$nvme"
    exec {du_out}< <(LC_ALL=C du -akx0 -d 3 -t $((Q_SCAN_FOLD_BYTES - 1023)) "${Q_SCAN_EXCLUDES[@]}" -- "$home" 2>/dev/null)
    q_scan_entries "$home" "$nvme"
    for i in "${!Q_SCAN_PATHS[@]}"; do index[${Q_SCAN_PATHS[i]}]=$i; done
    j_begin
    j_str phase scanning
    j_int total_bytes 0
    j_int probed "${#Q_SCAN_PATHS[@]}"
    j_end
    printf '%s\n' "$REPLY"
    record=()
    while IFS= read -r -d '' line; do
        kb=${line%%$'\t'*}
        path=${line#*$'\t'}
        [[ $kb =~ ^[0-9]+$ ]] || continue
        bytes=$((kb * 1024))
        if [[ $path == "$home" ]]; then
            total=$bytes
            continue
        fi
        [[ -n ${index[$path]:-} ]] || continue
        ((bytes >= Q_SCAN_FOLD_BYTES)) || continue
        q_scan_row "$path" "$bytes" "$home"
        rows=$((rows + 1))
        rows_bytes=$((rows_bytes + bytes))
        record+=("$bytes" "$path")
    done <&"$du_out"
    exec {du_out}<&-
    # A home under the threshold printed no total of its own.
    if ((total < 0)); then
        line=$(LC_ALL=C du -skx "${Q_SCAN_EXCLUDES[@]}" -- "$home" 2>/dev/null) || line=0
        kb=${line%%[!0-9]*}
        total=$((${kb:-0} * 1024))
    fi
    ((total >= rows_bytes)) || total=$rows_bytes
    if ((total > rows_bytes)); then
        j_begin
        j_str path "$home"
        j_str label "Other small items"
        j_int size_bytes "$((total - rows_bytes))"
        j_bool actionable 0
        j_end
        printf '%s\n' "$REPLY"
        rows=$((rows + 1))
    fi
    j_begin
    j_str phase 'done'
    j_int total_bytes "$total"
    j_int probed "${#Q_SCAN_PATHS[@]}"
    j_int rows "$rows"
    j_end
    printf '%s\n' "$REPLY"
    q_scan_record "${record[@]}"
    return 0
}

# q_scan_record BYTES PATH ...: the rows, "bytes<TAB>path" NUL-terminated,
# written whole. A home without the service's state is not recreated by a
# late scan.
q_scan_record() {
    local file tmp
    q_state_dir
    [[ -d $REPLY ]] || return 0
    q_scan_rows_file
    file=$REPLY
    tmp="${file%/*}/.${file##*/}.tmp.$BASHPID"
    [[ -d ${file%/*} ]] || mkdir -- "${file%/*}" 2>/dev/null || return 0
    : >"$tmp" 2>/dev/null || return 0
    (($# == 0)) || printf '%s\t%s\0' "$@" >"$tmp"
    mv -f -- "$tmp" "$file" 2>/dev/null || rm -f -- "$tmp"
}

# The history snapshot's dirs_mb: the newest scan's rows in MB, keyed by
# path; nothing when no scan finished in the last two days.
q_scan_dirs_mb() {
    local file mtime bytes path items=()
    REPLY='{}'
    q_scan_rows_file
    file=$REPLY
    REPLY='{}'
    [[ -f $file ]] || return 0
    mtime=$(stat -c %Y -- "$file" 2>/dev/null) || return 0
    q_epoch
    ((REPLY - mtime <= Q_SCAN_FRESH_SECS)) || { REPLY='{}'; return 0; }
    while IFS= read -r -d '' path; do
        bytes=${path%%$'\t'*}
        path=${path#*$'\t'}
        [[ $bytes =~ ^[0-9]+$ && -n $path ]] || continue
        json_quote "$path"
        items+=("$REPLY:$((bytes / 1048576))")
    done <"$file"
    local IFS=,
    REPLY="{${items[*]}}"
}

# Once per UTC day the tick starts a scan in its own session at the lowest
# CPU and disk priority; it outlives the tick, and a second one never starts
# while one runs.
q_daily_scan_check() {
    local fd lock prio=()
    [[ ${QUINDLE_DAILY_SCAN:-1} != 0 ]] || return 0
    q_today_utc
    local today=$REPLY
    q_read_private scan-day
    [[ $REPLY != "$today" ]] || return 0
    q_private_dir
    lock="$REPLY/scan.lock"
    mkdir -p -- "$REPLY" 2>/dev/null || return 0
    exec {fd}>>"$lock" || return 0
    if ! flock -n "$fd"; then
        exec {fd}>&-
        return 0
    fi
    exec {fd}>&-
    q_write_private scan-day "$today"
    command -v nice >/dev/null 2>&1 && prio+=(nice -n 19)
    command -v ionice >/dev/null 2>&1 && prio+=(ionice -c3 -t)
    (
        q_close_inherited
        cd / || exit 1
        exec setsid flock -n "$lock" "${prio[@]}" bash "$_Q_SELF_DIR/quindle.sh" scan-storage </dev/null >/dev/null 2>&1
    ) &
    q_log "The daily storage scan started."
}
