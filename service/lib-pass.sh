# shellcheck shell=bash disable=SC2034 # the pass state set here is read by the rules and the rollback
# What a rules pass and a rollback share: the action log, the pass lock, the
# output limits and moving one file. Every file acted on is one line of
# ~/.quindle/quindle.actions.tsv: batch, UTC time, action, path, the path it
# went to (or "-"), bytes. A pass is one batch.

# Per-file lines shown before the rest are only counted; the popover keeps the
# whole output in memory.
Q_LIST_MAX=1000
declare -A Q_TAKEN=()


q_actions_log() {
    q_dir
    REPLY="$REPLY/quindle.actions.tsv"
}

# Tabs and line feeds in names would break the columns. Every backslash is
# doubled first, so printf %b gives back the exact name.
q_tsv_escape() {
    local s=${1//\\/\\\\}
    s=${s//$'\t'/\\t}
    s=${s//$'\n'/\\n}
    REPLY=${s//$'\r'/\\r}
}

q_max() {
    local v
    REPLY=$1
    for v; do ((v <= REPLY)) || REPLY=$v; done
    return 0
}

# Decimal units, as everywhere the user reads a size.
q_human_bytes() {
    local b=$1 units=(B kB MB GB TB PB) i=0 scale=1 tenths
    while ((i < 5 && b >= scale * 1000)); do
        scale=$((scale * 1000))
        i=$((i + 1))
    done
    if ((i == 0)); then
        REPLY="$b B"
    else
        tenths=$(((b * 10 + scale / 2) / scale))
        REPLY="$((tenths / 10)).$((tenths % 10)) ${units[i]}"
    fi
}

# q_files N [WORD] -> "1 file", "3 files"
q_files() {
    local word=${2:-file}
    if (($1 == 1)); then REPLY="1 $word"; else REPLY="$1 ${word}s"; fi
}

q_item() {
    if ((Q_SHOWN < Q_LIST_MAX)); then
        printf '%s\n' "${1//$'\n'/\\n}"
        Q_SHOWN=$((Q_SHOWN + 1))
    else
        Q_HIDDEN=$((Q_HIDDEN + 1))
    fi
}

q_problem() {
    printf '%s\n' "${1//$'\n'/\\n}"
    Q_PROBLEMS=$((Q_PROBLEMS + 1))
}

q_pass_init() {
    Q_DRY=$1
    Q_SHOWN=0 Q_HIDDEN=0 Q_PROBLEMS=0 Q_STOP=0 Q_CHILD=""
    Q_N_MOVED=0 Q_B_MOVED=0 Q_N_DELETED=0 Q_B_DELETED=0 Q_N_CLEANED=0 Q_B_CLEANED=0
    # A dry run changes nothing, so it remembers what earlier rules took.
    Q_TAKEN=()
    q_now_utc
    Q_BATCH="${REPLY//[-:]/}-$$"
    q_actions_log
    Q_ACTIONS_LOG=$REPLY
    q_private_dir
    Q_ERRF="$REPLY/child-error.$$"
}

# The caller's 60-second limit ends a long pass with SIGTERM: stop between
# files, and stop the copy under way so that its original stays.
q_trap_stop() {
    trap 'Q_STOP=1; [[ -n $Q_CHILD ]] && kill "$Q_CHILD" 2>/dev/null' TERM INT
}

# Runs a copy in the background so that a signal is handled at once.
q_child() {
    local rc=0
    "$@" </dev/null >/dev/null 2>"$Q_ERRF" &
    Q_CHILD=$!
    wait "$Q_CHILD" || rc=$?
    if ((Q_STOP)); then
        wait "$Q_CHILD" 2>/dev/null || true
        rc=1
    fi
    Q_CHILD=""
    Q_CHILD_ERR=""
    [[ -s $Q_ERRF ]] && IFS= read -r Q_CHILD_ERR <"$Q_ERRF"
    rm -f -- "$Q_ERRF"
    return "$rc"
}

# q_record ACTION PATH TO BYTES; fails when the line cannot be written.
q_record() {
    local p to
    q_tsv_escape "$2"
    p=$REPLY
    q_tsv_escape "$3"
    to=$REPLY
    q_now_utc
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$Q_BATCH" "$REPLY" "$1" "$p" "$to" "$4" >>"$Q_ACTIONS_LOG" 2>/dev/null
}

# Takes state/service/pass.lock for the rest of the process; children inherit
# it, so a copy outliving a killed pass still keeps the next one out.
q_take_pass_lock() {
    local lock pid=""
    q_private_dir
    mkdir -p -- "$REPLY"
    lock="$REPLY/pass.lock"
    exec {Q_LOCK_FD}>>"$lock"
    if ! flock -n "$Q_LOCK_FD"; then
        IFS= read -r pid <"$lock" || true
        echo "A rules pass or rollback is already running${pid:+ (process $pid)}, so this one did not start; try again when it has finished."
        return 1
    fi
    printf '%s\n' "$$" >"$lock"
}

# q_move_file FROM TO BYTES [FROM_DEV TO_DEV]: a rename within a filesystem,
# else a copy that must match in size and time before the original goes.
# Fails with Q_MOVE_ERR, leaving FROM in place.
q_move_file() {
    local from=$1 to=$2 size=$3 from_dev=${4:-} to_dev=${5:-} dir=${2%/*} st part
    Q_MOVE_ERR=""
    if ! mkdir -p -- "$dir" 2>/dev/null; then
        Q_MOVE_ERR="the folder $dir could not be created."
        return 1
    fi
    if [[ -z $from_dev || -z $to_dev ]]; then
        st=$(stat -c %d -- "$from" "$dir" 2>/dev/null) || st=""
        from_dev=${st%%$'\n'*}
        to_dev=${st#*$'\n'}
    fi
    if [[ -n $from_dev && $from_dev == "$to_dev" ]]; then
        mv -n -T -- "$from" "$to" 2>/dev/null || true
        if [[ -e $from || -L $from ]]; then
            Q_MOVE_ERR="it could not be renamed to $to."
            return 1
        fi
        return 0
    fi
    if command -v rsync >/dev/null 2>&1; then
        q_child rsync -a -- "$from" "$to" || {
            rm -f -- "$to"
            Q_MOVE_ERR="copying it failed${Q_CHILD_ERR:+ ($Q_CHILD_ERR)}."
            return 1
        }
    else
        part="$dir/.${to##*/}.quindle-part"
        if ! q_child cp -a -- "$from" "$part" || ! mv -T -- "$part" "$to" 2>/dev/null; then
            rm -f -- "$part"
            Q_MOVE_ERR="copying it failed${Q_CHILD_ERR:+ ($Q_CHILD_ERR)}."
            return 1
        fi
    fi
    st=$(stat -c '%s %Y' -- "$from" "$to" 2>/dev/null) || st=""
    if [[ $st != "$size "*$'\n'"$size "* || ${st%%$'\n'*} != "${st#*$'\n'}" ]]; then
        rm -f -- "$to"
        Q_MOVE_ERR="the copy did not match the original in size and time, so the original was kept."
        return 1
    fi
    rm -f -- "$from" 2>/dev/null || true
    if [[ -e $from ]]; then
        rm -f -- "$to"
        Q_MOVE_ERR="the original could not be removed, so the copy was taken back."
        return 1
    fi
    return 0
}

q_add_saved_bytes() {
    q_read_private saved-bytes
    to_int "$REPLY" 0 0
    local total=$((REPLY + $1))
    ((total >= 0)) || total=0
    q_write_private saved-bytes "$total"
}

# Refuses, with one line, when the moving rules have no prepared drive to go to.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_require_drive() {
    q_probe_nvme
    if ((!Q_NVME_MOUNTED)); then
        echo "The NVMe is not mounted at $NVMe, so nothing can be moved there; connect the drive and try again."
        return 1
    fi
    if ((!Q_NVME_MARKER_OK)); then
        echo "The drive at $NVMe is not the prepared NVMe (its marker is missing or names another volume), so nothing was moved."
        return 1
    fi
}
