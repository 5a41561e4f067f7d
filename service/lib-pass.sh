# shellcheck shell=bash disable=SC2034 # the pass state set here is read by the rules and the rollback
# What a rules pass and a rollback share: the output, the pass lock, the
# action log that journals every step before it runs, and moving one entry to
# the drive. Recovery from the log and detached runs have files of their own.

# Per-entry lines shown before the rest are only counted; the popover keeps
# the whole output in memory.
Q_LIST_MAX=1000
declare -A Q_TAKEN=() Q_NO_AX=()

# ---------------------------------------------------------------------------
# Small helpers.

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

# q_files N [WORD [PLURAL]] -> "1 file", "3 files"
q_files() {
    local word=${2:-file}
    if (($1 == 1)); then REPLY="1 $word"; else REPLY="$1 ${3:-${word}s}"; fi
}

# 0 when PATH is there and is no symbolic link.
q_is_real() { [[ -e $1 && ! -L $1 ]]; }
q_exists() { [[ -e $1 || -L $1 ]]; }

# Where an entry waits while its link is made, and where a rollback copies it
# back; both sit beside the entry, so that a rename puts them in place.
q_aside_path() { REPLY="${1%/*}/.${1##*/}.quindle-aside"; }
q_restore_path() { REPLY="${1%/*}/.${1##*/}.quindle-restore"; }
q_is_temp_name() { [[ $1 == .*.quindle-aside || $1 == .*.quindle-restore ]]; }

q_bytes_of() {
    REPLY=$(du -sb -- "$1" 2>/dev/null) || REPLY=0
    REPLY=${REPLY%%[[:space:]]*}
    [[ $REPLY =~ ^[0-9]+$ ]] || REPLY=0
}

# The filesystem a path will land on: its nearest existing ancestor's.
q_dev_of_place() {
    local p=$1
    while [[ -n $p && ! -e $p ]]; do p=${p%/*}; done
    REPLY=$(stat -c %d -- "${p:-/}" 2>/dev/null) || REPLY=""
}

# ---------------------------------------------------------------------------
# Output. In a detached run standard output is the run's file and the log.

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

# A problem that a real run also writes to quindle.log when no detached run
# copies its output there already.
q_refuse() {
    q_problem "$1"
    ((Q_DRY || ${Q_TEED:-0})) || q_log "$1"
}

q_skip() { q_item "Skipped $1: $2."; }

# Stops the pass before the next entry.
q_stop() {
    ((Q_STOP)) || printf '%s\n' "$1"
    Q_STOP=1
}

# q_pass_init DRY [DAILY]
q_pass_init() {
    Q_DRY=$1
    Q_SHOWN=0 Q_HIDDEN=0 Q_PROBLEMS=0 Q_STOP=0 Q_HELD=0 Q_CHILD=""
    Q_DAILY=${2:-0} Q_PASS_DRIVE=0 Q_PASS_UUID=""
    Q_N_MOVED=0 Q_B_MOVED=0 Q_N_DELETED=0 Q_B_DELETED=0 Q_N_CLEANED=0 Q_B_CLEANED=0
    # A dry run changes nothing, so it remembers what earlier rules took.
    Q_TAKEN=()
    q_now_utc
    Q_BATCH="${REPLY//[-:]/}-$$"
    q_actions_log
    Q_ACTIONS_LOG=$REPLY
    q_private_dir
    Q_ERRF="$REPLY/child-error.$$"
    Q_OUTF="$REPLY/child-output.$$"
    Q_MOUNTS=()
}

# The caller's time limit or the service manager ends a run with SIGTERM: stop
# between entries, and stop the copy under way; the action log lets the next
# run finish or undo it. The copy may have had the signal already, as when
# the whole process group is stopped; a failed kill must not end the run.
q_trap_stop() {
    trap 'Q_STOP=1; if [[ -n $Q_CHILD ]]; then kill "$Q_CHILD" 2>/dev/null || true; fi' TERM INT
}

# Runs a program in the background so that a signal is handled at once; its
# output is left in Q_CHILD_OUT, its first error line in Q_CHILD_ERR.
q_child() {
    local rc=0
    mkdir -p -- "${Q_ERRF%/*}" 2>/dev/null
    "$@" </dev/null >"$Q_OUTF" 2>"$Q_ERRF" &
    Q_CHILD=$!
    wait "$Q_CHILD" || rc=$?
    if ((Q_STOP)); then
        wait "$Q_CHILD" 2>/dev/null || true
        rc=1
    fi
    Q_CHILD=""
    Q_CHILD_OUT="" Q_CHILD_ERR="" Q_CHILD_ERRS=""
    [[ -s $Q_OUTF ]] && Q_CHILD_OUT=$(<"$Q_OUTF")
    [[ -s $Q_ERRF ]] && Q_CHILD_ERRS=$(<"$Q_ERRF")
    Q_CHILD_ERR=${Q_CHILD_ERRS%%$'\n'*}
    rm -f -- "$Q_OUTF" "$Q_ERRF"
    return "$rc"
}

# Takes state/service/pass.lock for the rest of the process; children inherit
# it, so a copy outliving a killed pass still keeps the next one out. Fails
# with 3 when another run holds it.
q_take_pass_lock() {
    local lock pid=""
    q_private_dir
    mkdir -p -- "$REPLY"
    lock="$REPLY/pass.lock"
    exec {Q_LOCK_FD}>>"$lock"
    if ! flock -n "$Q_LOCK_FD"; then
        IFS= read -r pid <"$lock" || true
        echo "A rules pass or rollback is already running${pid:+ (process $pid)}, so this one did not start; try again when it has finished."
        return 3
    fi
    printf '%s\n' "$$" >"$lock"
}

# 0 when no run holds the lock right now.
q_pass_lock_free() {
    local fd rc=0
    q_private_dir
    [[ -e $REPLY/pass.lock ]] || return 0
    exec {fd}>>"$REPLY/pass.lock"
    flock -n "$fd" || rc=1
    exec {fd}>&-
    return "$rc"
}

# ---------------------------------------------------------------------------
# The action log, ~/.quindle/quindle.actions.tsv: a header, then one line per
# step, written before the step runs. A move is start (or rename, within one
# filesystem), verified, linked, done; a rollback the same with restored in
# place of linked; a delete start, trashed; a cache entry start, removed;
# failed closes any of them.

Q_JOURNAL_HEADER=$'time\tbatch\tevent\taction\tsource\tdestination\tbytes'

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

# Starts the log with its header; a log of another layout is kept beside it.
q_journal_open() {
    local first=""
    q_actions_log
    Q_ACTIONS_LOG=$REPLY
    if [[ -s $Q_ACTIONS_LOG ]]; then
        IFS= read -r first <"$Q_ACTIONS_LOG" || true
        [[ $first == "$Q_JOURNAL_HEADER" ]] && return 0
        mv -f -- "$Q_ACTIONS_LOG" "$Q_ACTIONS_LOG.old" 2>/dev/null || return 1
        q_log "The action log had an older layout; it is kept as $Q_ACTIONS_LOG.old."
    fi
    printf '%s\n' "$Q_JOURNAL_HEADER" >>"$Q_ACTIONS_LOG" 2>/dev/null
}

# q_journal EVENT ACTION SOURCE DESTINATION BYTES [BATCH]; fails when the line
# cannot be written, and then the step must not run.
q_journal() {
    local s d
    q_tsv_escape "$3"
    s=$REPLY
    q_tsv_escape "$4"
    d=$REPLY
    q_now_utc
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$REPLY" "${6:-$Q_BATCH}" "$1" "$2" "$s" "$d" "$5" \
        >>"$Q_ACTIONS_LOG" 2>/dev/null
}

# Reads the log into one record per step sequence (batch, action, source,
# destination): Q_J_BATCH, Q_J_ACTION, Q_J_SRC, Q_J_DST, Q_J_BYTES, Q_J_TIME
# (of its first line) and Q_J_LAST (its last event), in order of first line.
q_journal_read() {
    local time batch event action src dst bytes extra key i
    local -A index=()
    Q_J_BATCH=() Q_J_ACTION=() Q_J_SRC=() Q_J_DST=() Q_J_BYTES=() Q_J_TIME=() Q_J_LAST=()
    q_actions_log
    [[ -r $REPLY ]] || return 0
    while IFS=$'\t' read -r time batch event action src dst bytes extra || [[ -n $time ]]; do
        [[ -n $bytes && -z $extra && $time != time ]] || continue
        printf -v src '%b' "$src"
        printf -v dst '%b' "$dst"
        key="$batch"$'\t'"$action"$'\t'"$src"$'\t'"$dst"
        i=${index[$key]:-}
        if [[ -z $i ]]; then
            i=${#Q_J_BATCH[@]}
            index[$key]=$i
            Q_J_BATCH[i]=$batch Q_J_ACTION[i]=$action Q_J_SRC[i]=$src Q_J_DST[i]=$dst
            Q_J_BYTES[i]=$bytes Q_J_TIME[i]=$time
        fi
        Q_J_LAST[i]=$event
    done <"$REPLY"
}

q_journal_closed() {
    case $1 in done | failed | trashed | removed) return 0 ;; esac
    return 1
}

# ---------------------------------------------------------------------------
# Copying and proving.

# Q_RS: rsync's operands for an entry, a folder's contents onto the folder.
q_rsync_pair() {
    if [[ -d $1 && ! -L $1 ]]; then Q_RS=("$1/" "$2/"); else Q_RS=("$1" "$2"); fi
}

# q_copy FROM TO: keeps ACLs and extended attributes where the destination's
# filesystem takes them; Q_COPY_FLAGS are the flags the copy succeeded with.
q_copy() {
    local dev
    q_rsync_pair "$1" "$2"
    q_dev_of_place "$2"
    dev=$REPLY
    if [[ -z ${Q_NO_AX[$dev]:-} ]]; then
        Q_COPY_FLAGS=(-aHAX)
        q_child rsync "${Q_COPY_FLAGS[@]}" -- "${Q_RS[@]}" && return 0
        ((!Q_STOP)) && [[ $Q_CHILD_ERRS == *"Operation not supported"* ]] || return 1
        Q_NO_AX[$dev]=1
    fi
    Q_COPY_FLAGS=(-aH)
    q_child rsync "${Q_COPY_FLAGS[@]}" -- "${Q_RS[@]}"
}

# q_same FROM TO: 0 when rsync, comparing every file's content, finds nothing
# to change. Size and time alone would let a same-size rewrite through.
q_same() {
    q_rsync_pair "$1" "$2"
    q_child rsync "${Q_COPY_FLAGS[@]}" --dry-run --checksum --delete --itemize-changes -- "${Q_RS[@]}" &&
        [[ -z $Q_CHILD_OUT ]]
}

# 0 when something under PATH was modified after EPOCH (seconds, fractions
# allowed); a write between the proof and the rename shows up here.
q_changed_since() {
    local out
    out=$(find -P "$1" -newermt "@$2" -print -quit 2>/dev/null) || return 0
    [[ -n $out ]]
}

# Removes a copy of ours from the drive; refuses anything outside it.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_remove_drive_copy() {
    local real nvme
    q_exists "$1" || return 0
    real=$(realpath -m -- "${1%/*}") || return 1
    nvme=$(realpath -m -- "$NVMe") || return 1
    [[ $real == "$nvme" || $real == "$nvme"/* ]] || return 1
    rm -rf -- "$1" 2>/dev/null
    ! q_exists "$1"
}

# q_move_entry ACTION FROM TO BYTES: within one filesystem a rename; else a
# copy proven against the original, the original renamed aside, the link
# made, the aside copy removed. Fails with Q_MOVE_ERR, the original in place.
q_move_entry() {
    local action=$1 from=$2 to=$3 bytes=$4 aside t0 fdev
    Q_MOVE_ERR=""
    q_aside_path "$from"
    aside=$REPLY
    if q_exists "$aside"; then
        Q_MOVE_ERR="$aside is in the way."
        return 1
    fi
    if ! mkdir -p -- "${to%/*}" 2>/dev/null; then
        Q_MOVE_ERR="the folder ${to%/*} could not be created."
        return 1
    fi
    fdev=$(stat -c %d -- "$from" 2>/dev/null) || fdev=""
    q_dev_of_place "$to"
    if [[ -n $fdev && $fdev == "$REPLY" ]]; then
        q_journaled rename "$action" "$from" "$to" "$bytes" || return 1
        if ! mv -n -T -- "$from" "$to" 2>/dev/null || q_exists "$from"; then
            q_journal failed "$action" "$from" "$to" "$bytes"
            Q_MOVE_ERR="it could not be renamed to $to."
            return 1
        fi
        q_link_moved "$action" "$from" "$to" "$bytes"
        return
    fi
    q_journaled start "$action" "$from" "$to" "$bytes" || return 1
    # The fraction comes with the locale's decimal mark; find reads a point.
    t0=${EPOCHREALTIME/,/.}
    if ! q_copy "$from" "$to"; then
        q_move_undo "$action" "$from" "$to" "$bytes" "copying it failed${Q_CHILD_ERR:+ ($Q_CHILD_ERR)}."
        return 1
    fi
    if ! q_same "$from" "$to"; then
        q_move_undo "$action" "$from" "$to" "$bytes" "the copy on the NVMe does not match it, so it stays."
        return 1
    fi
    q_journaled verified "$action" "$from" "$to" "$bytes" || {
        q_remove_drive_copy "$to"
        return 1
    }
    if ! mv -T -- "$from" "$aside" 2>/dev/null; then
        q_move_undo "$action" "$from" "$to" "$bytes" "it could not be renamed aside."
        return 1
    fi
    # Held open elsewhere, it may have been written after the proof.
    if q_changed_since "$aside" "$t0"; then
        mv -T -- "$aside" "$from" 2>/dev/null
        q_move_undo "$action" "$from" "$to" "$bytes" "it changed while it was copied, so it stays."
        return 1
    fi
    q_link_moved "$action" "$from" "$to" "$bytes" "$aside"
}

# Writes a journal line, stopping the pass when that is impossible.
q_journaled() {
    q_journal "$@" && return 0
    Q_MOVE_ERR="the action log $Q_ACTIONS_LOG cannot be written, so nothing more is done."
    Q_STOP=1
    return 1
}

q_move_undo() {
    Q_MOVE_ERR=$5
    q_remove_drive_copy "$3" || Q_MOVE_ERR+=" Its partial copy $3 could not be removed."
    q_journal failed "$1" "$2" "$3" "$4"
    return 0
}

# q_link_moved ACTION FROM TO BYTES [ASIDE]: the entry's data is at TO; put
# the link in its place and remove the aside copy.
q_link_moved() {
    local action=$1 from=$2 to=$3 bytes=$4 aside=${5:-}
    if ! ln -s -- "$to" "$from" 2>/dev/null; then
        if [[ -n $aside ]] && mv -T -- "$aside" "$from" 2>/dev/null; then
            q_move_undo "$action" "$from" "$to" "$bytes" "its link could not be made."
        else
            q_journal failed "$action" "$from" "$to" "$bytes"
            Q_MOVE_ERR="it is now at $to, but the link to it could not be made."
        fi
        return 1
    fi
    q_journal linked "$action" "$from" "$to" "$bytes"
    [[ -z $aside ]] || rm -rf -- "$aside" 2>/dev/null
    q_journal 'done' "$action" "$from" "$to" "$bytes"
    return 0
}

# ---------------------------------------------------------------------------
# What stands in a move's way.

# Q_MOUNTS: every mount point, from the kernel's table, and Q_MOUNT_DEVS
# beside it, each one's device (major:minor).
q_load_mounts() {
    local table=${QUINDLE_MOUNTINFO:-/proc/self/mountinfo} line dev mp
    Q_MOUNTS=() Q_MOUNT_DEVS=()
    [[ -r $table ]] || return 0
    while IFS= read -r line; do
        read -r _ _ dev _ mp _ <<<"$line"
        printf -v mp '%b' "${mp//\\/\\0}"
        Q_MOUNTS+=("$mp")
        Q_MOUNT_DEVS+=("$dev")
    done <"$table"
}

# 0 when a filesystem is mounted at PATH or inside it.
q_holds_mount() {
    local mp
    for mp in "${Q_MOUNTS[@]}"; do
        [[ $mp == "$1" || $mp == "$1"/* ]] && return 0
    done
    return 1
}

q_glob_escape() {
    local s=$1 i c
    REPLY=""
    for ((i = 0; i < ${#s}; i++)); do
        c=${s:i:1}
        case $c in \[ | \] | \* | \? | \\) REPLY+="\\$c" ;; *) REPLY+=$c ;; esac
    done
}

# q_holders PATH [first]: Q_HOLDERS, one "program (process PID)" per process
# with a file, its working folder or its root at PATH or inside it, and
# Q_HOLDER_PIDS and Q_HOLDER_COMMS beside it.
q_holders() {
    local link pid comm seen=" "
    Q_HOLDERS=() Q_HOLDER_PIDS=() Q_HOLDER_COMMS=()
    q_glob_escape "$1"
    while IFS= read -r -d '' link; do
        pid=${link#/proc/}
        pid=${pid%%/*}
        [[ $pid == "$$" || $pid == "$BASHPID" || $seen == *" $pid "* ]] && continue
        seen+="$pid "
        comm=""
        [[ -r /proc/$pid/comm ]] && comm=$(<"/proc/$pid/comm")
        Q_HOLDERS+=("${comm:-a program} (process $pid)")
        Q_HOLDER_PIDS+=("$pid") Q_HOLDER_COMMS+=("$comm")
        [[ ${2:-} == first ]] && break
    done < <(find /proc/[0-9]*/cwd /proc/[0-9]*/root /proc/[0-9]*/fd -maxdepth 1 \
        \( -lname "$REPLY" -o -lname "$REPLY/*" \) -print0 2>/dev/null)
    ((${#Q_HOLDERS[@]}))
}

q_add_saved_bytes() {
    q_read_private saved-bytes
    to_int "$REPLY" 0 0
    local total=$((REPLY + $1))
    ((total >= 0)) || total=0
    q_write_private saved-bytes "$total"
}

# Between entries the run checks that the drive it started with is still there.
q_pass_needs_drive() {
    Q_PASS_DRIVE=1
    Q_PASS_UUID=$Q_NVME_UUID
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

# Between entries: stop when paused, when the drive went away or changed, or
# when the daily pass is held.
q_keep_going() {
    ((!Q_STOP)) || return 1
    ((!Q_DRY)) || return 0
    q_state_dir
    if [[ -e $REPLY/paused ]]; then
        q_stop "Automatic actions were paused, so the run stopped; it goes on from here when they are resumed."
        Q_HELD=1
        return 1
    fi
    if ((Q_PASS_DRIVE)); then
        q_probe_nvme
        if ((!Q_NVME_MOUNTED || !Q_NVME_MARKER_OK)) || [[ $Q_NVME_UUID != "$Q_PASS_UUID" ]]; then
            q_stop "The NVMe is no longer the drive the run started with, so it stopped."
            Q_HELD=1
            return 1
        fi
    fi
    if ((${Q_DAILY:-0})) && q_daily_hold_reason; then
        q_stop "The daily pass is held: $REPLY It goes on at a later tick."
        Q_HELD=1
        return 1
    fi
    return 0
}
