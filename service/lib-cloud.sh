# shellcheck shell=bash disable=SC2034 # the listing counters are read by q_item
# Cloud folders: the rclone mounts of this user, the local copies their
# cache holds (cloud-usage) and dropping the clean ones (optimize-icloud).
# Only rclone's file cache can drop a copy that reads back on demand; du of
# the mount itself would walk the remote, so nothing here looks inside it.

declare -A Q_CLOUD_OPEN=()

# q_cloud_roots: Q_CR_SOURCES, Q_CR_LABELS and Q_CR_PATHS of every fuse.rclone
# mount of this user, from the kernel's table with its octal escapes decoded.
# The label is the source with tabs and commas as spaces; it is also the
# provider id OPTIMISE_CLOUD_PROVIDERS lists.
q_cloud_roots() {
    local table=${QUINDLE_MOUNTINFO:-/proc/self/mountinfo} line left right mp fstype source opts
    Q_CR_SOURCES=() Q_CR_LABELS=() Q_CR_PATHS=()
    [[ -r $table ]] || return 0
    while IFS= read -r line; do
        [[ $line == *" - fuse.rclone "* ]] || continue
        left=${line%% - *} right=${line#* - }
        read -r _ _ _ _ mp _ <<<"$left"
        read -r fstype source opts <<<"$right"
        [[ $fstype == fuse.rclone && ,$opts, == *,user_id=$EUID,* ]] || continue
        printf -v mp '%b' "${mp//\\/\\0}"
        printf -v source '%b' "${source//\\/\\0}"
        Q_CR_SOURCES+=("$source") Q_CR_PATHS+=("$mp")
        source=${source//$'\t'/ }
        Q_CR_LABELS+=("${source//,/ }")
    done <"$table"
}

cmd_list_cloud_roots() {
    (($# == 0)) || q_usage_error "list-cloud-roots takes no argument."
    local i
    q_cloud_roots
    for i in "${!Q_CR_PATHS[@]}"; do
        # A line cannot carry a path that holds its separators.
        [[ ${Q_CR_PATHS[i]} == *[$'\t\n']* || ${Q_CR_LABELS[i]} == *$'\n'* ]] && continue
        printf '%s\t%s\n' "${Q_CR_LABELS[i]}" "${Q_CR_PATHS[i]}"
    done
}

# q_cloud_root PATH: Q_CR_INDEX of the root mounted at PATH; fails, with the
# refusal in REPLY, when PATH is no cloud folder or lies inside one.
q_cloud_root() {
    local path i
    q_strip_slashes "$1"
    path=$REPLY
    q_cloud_roots
    for i in "${!Q_CR_PATHS[@]}"; do
        if [[ ${Q_CR_PATHS[i]} == "$path" ]]; then
            Q_CR_INDEX=$i
            return 0
        fi
    done
    for i in "${!Q_CR_PATHS[@]}"; do
        if [[ $path == "${Q_CR_PATHS[i]}"/* ]]; then
            REPLY="$path lies inside the cloud folder ${Q_CR_PATHS[i]}; only a whole cloud folder is optimised."
            return 1
        fi
    done
    REPLY="$path is not a cloud folder that rclone serves on this computer."
    return 1
}

# q_proc_arg_path PID ARG -> REPLY, ARG resolved as the process saw it.
q_proc_arg_path() {
    local p=$2 parent
    [[ $p == /* ]] || p="$(readlink -- "/proc/$1/cwd" 2>/dev/null)/$p"
    q_strip_slashes "$p"
    p=$REPLY
    parent=$(realpath -e -- "${p%/*}/" 2>/dev/null) || parent=${p%/*}
    REPLY="${parent%/}/${p##*/}"
}

# q_cloud_server MOUNT_POINT: Q_CS_CACHE (its cache folder) and
# Q_CS_MODE (its --vfs-cache-mode) of this user's rclone process serving the
# mount; fails when none is found. Flags win over the RCLONE_* environment,
# which wins over rclone's defaults.
q_cloud_server() {
    local mp=$1 dir pid comm args env i a cache="" mode="" found cwd
    Q_CS_CACHE="" Q_CS_MODE=""
    for dir in /proc/[0-9]*; do
        [[ -O $dir && -r $dir/comm ]] || continue
        comm=$(<"$dir/comm") 2>/dev/null || continue
        [[ $comm == rclone ]] || continue
        pid=${dir#/proc/}
        mapfile -d '' args <"$dir/cmdline" 2>/dev/null || continue
        found=0
        for a in "${args[@]:1}"; do
            [[ $a == -* ]] && continue
            q_proc_arg_path "$pid" "$a"
            [[ $REPLY == "$mp" ]] && found=1 && break
        done
        ((found)) || continue
        for ((i = 1; i < ${#args[@]}; i++)); do
            a=${args[i]}
            case $a in
                --cache-dir=*) cache=${a#*=} ;;
                --cache-dir) cache=${args[i + 1]:-} ;;
                --vfs-cache-mode=*) mode=${a#*=} ;;
                --vfs-cache-mode) mode=${args[i + 1]:-} ;;
            esac
        done
        local -A penv=()
        mapfile -d '' env <"$dir/environ" 2>/dev/null || env=()
        for a in "${env[@]}"; do
            case $a in RCLONE_CACHE_DIR=* | RCLONE_VFS_CACHE_MODE=* | XDG_CACHE_HOME=* | HOME=*) penv[${a%%=*}]=${a#*=} ;; esac
        done
        [[ -n $cache ]] || cache=${penv[RCLONE_CACHE_DIR]:-}
        [[ -n $mode ]] || mode=${penv[RCLONE_VFS_CACHE_MODE]:-off}
        if [[ -z $cache ]]; then
            cache=${penv[XDG_CACHE_HOME]:-${penv[HOME]:-$HOME}/.cache}/rclone
        fi
        cwd=$(readlink -- "$dir/cwd" 2>/dev/null) || cwd=/
        [[ $cache == /* ]] || cache=$cwd/$cache
        Q_CS_CACHE=$cache Q_CS_MODE=${mode,,}
        return 0
    done
    return 1
}

# q_cloud_cache_paths SOURCE CACHE -> Q_CC_DATA and Q_CC_META, the folders
# where rclone keeps the mount's file copies and their state: a remote
# "name:path" under its name, a plain path under "local".
q_cloud_cache_paths() {
    local source=$1 cache=$2 remote path
    if [[ $source =~ ^([^/:]+):(.*)$ ]]; then
        remote=${BASH_REMATCH[1]} path=${BASH_REMATCH[2]}
    else
        remote=local path=$source
    fi
    while [[ $path == /* ]]; do path=${path#/}; done
    q_strip_slashes "$cache/vfs/$remote/$path"
    Q_CC_DATA=$REPLY
    q_strip_slashes "$cache/vfsMeta/$remote/$path"
    Q_CC_META=$REPLY
}

cmd_cloud_usage() {
    (($# == 1)) || q_usage_error "cloud-usage takes the path of one cloud folder."
    local kb=0 cache
    if ! q_cloud_root "$1"; then
        echo "$REPLY" >&2
        return 1
    fi
    if q_cloud_server "${Q_CR_PATHS[Q_CR_INDEX]}"; then
        cache=$Q_CS_CACHE
    else
        cache=${XDG_CACHE_HOME:-$HOME/.cache}/rclone
    fi
    q_cloud_cache_paths "${Q_CR_SOURCES[Q_CR_INDEX]}" "$cache"
    if [[ -d $Q_CC_DATA ]]; then
        kb=$(du -sk -- "$Q_CC_DATA" 2>/dev/null) || true
        kb=${kb%%[[:space:]]*}
        [[ $kb =~ ^[0-9]+$ ]] || kb=0
    fi
    printf '%s\t%s\n' "$kb" "${Q_CR_PATHS[Q_CR_INDEX]}"
}

# Q_CLOUD_OPEN: every cache file an rclone process of this user holds open.
q_cloud_open_files() {
    local dir f
    Q_CLOUD_OPEN=()
    for dir in /proc/[0-9]*; do
        [[ -O $dir && -r $dir/comm && $(<"$dir/comm") == rclone ]] 2>/dev/null || continue
        while IFS= read -r -d '' f; do
            Q_CLOUD_OPEN[$f]=1
        done < <(find "$dir/fd" -mindepth 1 -maxdepth 1 -type l -printf '%l\0' 2>/dev/null)
    done
}

# 0 when rclone's state for a cached file says it holds changes not yet
# uploaded. Unknown state counts as changed: nothing unproven is dropped.
q_cloud_dirty() {
    local meta=$1 text
    [[ -r $meta ]] || return 0
    text=$(<"$meta") || return 0
    [[ $text =~ \"Dirty\"[[:space:]]*:[[:space:]]*(true|false) ]] || return 0
    [[ ${BASH_REMATCH[1]} == true ]]
}

# q_cloud_evict_file DATA META: drops one cached copy when it is clean and
# closed. It is renamed aside first and checked again, so a writer that
# opened it in between gets it back. Q_EV_WHY says why a file stays.
q_cloud_evict_file() {
    local data=$1 meta=$2 aside="${1%/*}/.${1##*/}.quindle-evict"
    Q_EV_WHY=""
    if q_cloud_dirty "$meta"; then
        Q_EV_WHY=changed
        return 1
    fi
    if [[ -n ${Q_CLOUD_OPEN[$data]:-} ]]; then
        Q_EV_WHY=open
        return 1
    fi
    if ! mv -n -T -- "$data" "$aside" 2>/dev/null || [[ -e $data ]]; then
        Q_EV_WHY=open
        return 1
    fi
    q_cloud_open_files
    if q_cloud_dirty "$meta" || [[ -n ${Q_CLOUD_OPEN[$aside]:-} ]]; then
        mv -n -T -- "$aside" "$data" 2>/dev/null
        Q_EV_WHY=changed
        return 1
    fi
    rm -f -- "$aside"
}

# q_cloud_evict MOUNT_POINT: drops every clean, closed cached copy of the
# cloud folder and says what it dropped and kept; fails, having said why,
# when it leaves the folder untouched.
q_cloud_evict() {
    local mp=$1 source file rel bytes=0 size evicted=0 changed=0 open=0
    if ! q_cloud_root "$mp"; then
        echo "$REPLY"
        return 1
    fi
    mp=${Q_CR_PATHS[Q_CR_INDEX]} source=${Q_CR_SOURCES[Q_CR_INDEX]}
    if ! q_cloud_server "$mp"; then
        echo "No rclone process of yours serves the cloud folder $mp, so it is left untouched."
        return 1
    fi
    if [[ $Q_CS_MODE == off ]]; then
        echo "rclone serves the cloud folder $mp with --vfs-cache-mode off, so it keeps no local copies and is left untouched."
        return 1
    fi
    q_cloud_cache_paths "$source" "$Q_CS_CACHE"
    echo "Dropping the local copies of the cloud folder $mp ($source) kept in $Q_CC_DATA."
    q_cloud_open_files
    Q_SHOWN=0 Q_HIDDEN=0
    while IFS= read -r -d '' file; do
        rel=${file#"$Q_CC_DATA"/}
        if [[ ${file##*/} == .*.quindle-evict ]]; then
            rel="$Q_CC_META/$rel"
            q_cloud_leftover "$file" "${rel%/*}"
            continue
        fi
        size=$(stat -c '%b %B' -- "$file" 2>/dev/null) || size="0 0"
        size=$((${size% *} * ${size#* }))
        if q_cloud_evict_file "$file" "$Q_CC_META/$rel"; then
            evicted=$((evicted + 1))
            bytes=$((bytes + size))
        elif [[ $Q_EV_WHY == changed ]]; then
            changed=$((changed + 1))
            q_item "Kept $mp/$rel: it holds changes not yet uploaded."
        else
            open=$((open + 1))
            q_item "Kept $mp/$rel: it is open."
        fi
    done < <([[ -d $Q_CC_DATA ]] && find "$Q_CC_DATA" -type f -print0 2>/dev/null)
    ((Q_HIDDEN == 0)) || echo "$Q_HIDDEN more kept files are not listed."
    q_files "$evicted"
    local what=$REPLY
    q_human_bytes "$bytes"
    echo "Evicted $what ($REPLY) from the cloud folder $mp; evicted files download again when opened."
    q_files $((changed + open))
    echo "Kept $REPLY: $changed with changes not yet uploaded, $open open."
    Q_EV_TOTAL=$((${Q_EV_TOTAL:-0} + evicted))
    return 0
}

# A copy a killed eviction left aside: put back when it holds changes and
# its place is free, else dropped.
q_cloud_leftover() {
    local aside=$1 dir=${1%/*} name=${1##*/}
    name=${name#.}
    name=${name%.quindle-evict}
    if q_cloud_dirty "$2/$name" && [[ ! -e $dir/$name ]]; then
        mv -n -T -- "$aside" "$dir/$name" 2>/dev/null
    else
        rm -f -- "$aside"
    fi
}

cmd_optimize_icloud() {
    (($# == 1)) || q_usage_error "optimize-icloud takes the path of one cloud folder."
    q_cloud_evict "$1"
}
