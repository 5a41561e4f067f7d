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
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_scan_entries() {
    local home=$1 nvme entry mp
    local -A expand=(["$home/.cache"]=1 ["$home/.local"]=1 ["$home/.local/share"]=1) mounted=()
    nvme=$(realpath -m -- "$NVMe")
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

# One du over every row: a hard link counts once, for the first row that
# reaches it, and -x keeps other filesystems mounted inside a row out.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
cmd_scan_storage() {
    (($# == 0)) || q_usage_error "scan-storage takes no argument."
    local home i line kb path bytes small=0 total=0 rows=0 record
    local -A index=() seen=()
    q_load_config
    q_strip_slashes "$HOME"
    home=$(realpath -m -- "$REPLY")
    q_load_mounts
    q_scan_entries "$home"
    for i in "${!Q_SCAN_PATHS[@]}"; do index[${Q_SCAN_PATHS[i]}]=$i; done
    j_begin
    j_str phase scanning
    j_int total_bytes 0
    j_int probed "${#Q_SCAN_PATHS[@]}"
    j_end
    printf '%s\n' "$REPLY"
    record=()
    if ((${#Q_SCAN_PATHS[@]})); then
        while IFS= read -r -d '' line; do
            kb=${line%%$'\t'*}
            path=${line#*$'\t'}
            [[ $kb =~ ^[0-9]+$ && -n ${index[$path]:-} && -z ${seen[$path]:-} ]] || continue
            seen[$path]=1
            bytes=$((kb * 1024))
            total=$((total + bytes))
            if ((bytes < Q_SCAN_FOLD_BYTES)); then
                small=$((small + bytes))
                continue
            fi
            q_scan_row "$path" "$bytes" "$home"
            rows=$((rows + 1))
            record+=("$bytes" "$path")
        done < <(LC_ALL=C du -skx0 -- "${Q_SCAN_PATHS[@]}" 2>/dev/null)
    fi
    if ((small)); then
        j_begin
        j_str path "$home"
        j_str label "Other small items"
        j_int size_bytes "$small"
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
