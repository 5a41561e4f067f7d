# shellcheck shell=bash
# Rules pass: relocate-now, dry-run and rollback. Every file acted on is one
# line of ~/.quindle/quindle.actions.tsv: batch, UTC time, action, path, the
# path it went to (or "-"), bytes. A pass is one batch.

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

# q_take PATH: fails when an earlier rule of this dry run took PATH.
q_take() {
    ((Q_DRY)) || return 0
    [[ -z ${Q_TAKEN[$1]:-} ]] || return 1
    Q_TAKEN[$1]=1
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

# q_rule_parse RECORD -> Q_R_ACTION Q_R_SRC Q_R_DST Q_R_AGE Q_R_EXTRAS; fails
# with fewer than four fields.
q_rule_parse() {
    local f=() i
    IFS='|' read -r -a f <<<"$1" || true
    ((${#f[@]} >= 4)) || return 1
    for i in "${!f[@]}"; do
        q_trim "${f[i]}"
        f[i]=$REPLY
    done
    Q_R_ACTION=${f[0]}
    # Single-quoted records reach us with $HOME unexpanded.
    Q_R_SRC=${f[1]//\$HOME/"$HOME"}
    Q_R_DST=${f[2]//\$HOME/"$HOME"}
    to_int "${f[3]}" 0
    Q_R_AGE=$REPLY
    Q_R_EXTRAS=${f[4]-}
}

q_rules_move_files() {
    local rule
    for rule in "${RULES[@]}"; do
        q_rule_parse "$rule" || continue
        [[ $Q_R_ACTION == archive_old || $Q_R_ACTION == archive_big ]] && return 0
    done
    return 1
}

# q_rule_source N: the rule's source must be an existing absolute folder that
# does not hold the whole home folder. Sets Q_R_SRC_REAL.
q_rule_source() {
    local n=$1 home
    q_strip_slashes "$Q_R_SRC"
    Q_R_SRC=$REPLY
    if [[ $Q_R_SRC != /* ]]; then
        q_problem "Rule $n was skipped: its source \"$Q_R_SRC\" is not an absolute path."
        return 1
    fi
    if [[ ! -d $Q_R_SRC ]] || ! Q_R_SRC_REAL=$(realpath -e -- "$Q_R_SRC"); then
        echo "Rule $n was skipped: $Q_R_SRC does not exist."
        return 1
    fi
    home=$(realpath -m -- "$HOME")
    if [[ $Q_R_SRC_REAL == / || $home == "$Q_R_SRC_REAL" || $home == "$Q_R_SRC_REAL"/* ]]; then
        q_problem "Rule $n was skipped: $Q_R_SRC holds your whole home folder; name a folder inside it."
        return 1
    fi
}

# q_rule_destination N: moves may only go to the NVMe, and never into or out
# of their own tree.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_rule_destination() {
    local n=$1 real nvme
    q_strip_slashes "$Q_R_DST"
    Q_R_DST=$REPLY
    if [[ $Q_R_DST != /* ]]; then
        q_problem "Rule $n was skipped: its destination \"$Q_R_DST\" is not an absolute path."
        return 1
    fi
    real=$(realpath -m -- "$Q_R_DST")
    nvme=$(realpath -m -- "$NVMe")
    if [[ $real != "$nvme" && $real != "$nvme"/* ]]; then
        q_problem "Rule $n was skipped: its destination $Q_R_DST is not on the NVMe at $NVMe."
        return 1
    fi
    if [[ $Q_R_SRC_REAL == "$nvme" || $Q_R_SRC_REAL == "$nvme"/* ]]; then
        q_problem "Rule $n was skipped: its source $Q_R_SRC is on the NVMe already."
        return 1
    fi
    if [[ $real == "$Q_R_SRC_REAL" || $real == "$Q_R_SRC_REAL"/* || $Q_R_SRC_REAL == "$real"/* ]]; then
        q_problem "Rule $n was skipped: its source and destination lie inside each other."
        return 1
    fi
}

# q_find_old DIR DAYS [MIN_BYTES] [links]: NUL-separated "dev size path" of
# the files under DIR not modified for DAYS days, by path. Stays on DIR's
# filesystem, so a drive mounted inside the tree is never walked.
q_find_old() {
    local dir=$1 days=$2 bytes=${3:-0} cutoff kind=(-type f) size=()
    [[ ${4:-} == links ]] && kind=("(" -type f -o -type l ")")
    ((bytes <= 0)) || size=(-size "+${bytes}c")
    q_epoch
    cutoff=$((REPLY - days * 86400))
    LC_ALL=C find -H "$dir" -xdev -mindepth 1 "${kind[@]}" ! -newermt "@$cutoff" "${size[@]}" \
        -printf '%D %s %p\0' 2>/dev/null | LC_ALL=C sort -z -k3
}

q_rule_move() {
    local n=$1 days mb=0 what rec dev size shown path target to_dev=""
    q_max "$Q_R_AGE" "$MIN_ARCHIVE_DAYS" "$MIN_AGE_HARD_FLOOR_DAYS"
    days=$REPLY
    what="files untouched for $days days"
    if [[ $Q_R_ACTION == archive_big ]]; then
        to_int "${Q_R_EXTRAS%[mM][bB]}" -1 0
        mb=$REPLY
        if ((mb < 0)); then
            mb=500
            [[ -z $Q_R_EXTRAS ]] || echo "Rule $n: \"$Q_R_EXTRAS\" is not a size in MB, so 500 MB is used."
        fi
        what="files over $mb MB untouched for $days days"
    fi
    q_rule_source "$n" || return 0
    q_rule_destination "$n" || return 0
    echo "Rule $n ($Q_R_ACTION): $what move from $Q_R_SRC to $Q_R_DST."
    if ((!Q_DRY)); then
        if ! mkdir -p -- "$Q_R_DST" 2>/dev/null; then
            q_problem "Rule $n was skipped: the folder $Q_R_DST could not be created on the NVMe."
            return 0
        fi
        to_dev=$(stat -c %d -- "$Q_R_DST")
    fi
    while IFS= read -r -d '' rec; do
        ((!Q_STOP)) || break
        dev=${rec%% *}
        q_take "${rec#* * }" || continue
        rec=${rec#* }
        size=${rec%% *}
        path=${rec#* }
        target=$Q_R_DST/${path#"$Q_R_SRC"/}
        q_human_bytes "$size"
        shown=$REPLY
        if [[ -e $target || -L $target ]]; then
            q_item "Skipped $path: $target already exists."
        elif ((Q_DRY)); then
            q_item "Would move $path → $target ($shown)"
            Q_N_MOVED=$((Q_N_MOVED + 1))
            Q_B_MOVED=$((Q_B_MOVED + size))
        elif q_move_file "$path" "$target" "$size" "$dev" "$to_dev"; then
            if ! q_record "$Q_R_ACTION" "$path" "$target" "$size"; then
                q_problem "Moved $path → $target but could not record it in $Q_ACTIONS_LOG, so the pass stops here."
                Q_STOP=1
            else
                q_item "Moved $path → $target ($shown)"
            fi
            Q_N_MOVED=$((Q_N_MOVED + 1))
            Q_B_MOVED=$((Q_B_MOVED + size))
        elif ((!Q_STOP)); then
            q_problem "Could not move $path: $Q_MOVE_ERR"
        fi
    done < <(q_find_old "$Q_R_SRC" "$days" $((mb * 1000000)))
    return 0
}

# q_delete_listed ACTION VERB DONE: deletes (or lists) each "dev size path"
# record read from standard input.
q_delete_listed() {
    local action=$1 verb=$2 done_verb=$3 rec size shown path
    while IFS= read -r -d '' rec; do
        ((!Q_STOP)) || break
        q_take "${rec#* * }" || continue
        rec=${rec#* }
        size=${rec%% *}
        path=${rec#* }
        q_human_bytes "$size"
        shown=$REPLY
        if ((Q_DRY)); then
            q_item "Would $verb $path ($shown)"
        else
            rm -f -- "$path" 2>/dev/null || true
            if [[ -e $path || -L $path ]]; then
                q_problem "Could not delete $path."
                continue
            fi
            q_record "$action" "$path" - "$size" ||
                q_problem "$done_verb $path but could not record it in $Q_ACTIONS_LOG."
            q_item "$done_verb $path ($shown)"
        fi
        if [[ $action == delete_old ]]; then
            Q_N_DELETED=$((Q_N_DELETED + 1))
            Q_B_DELETED=$((Q_B_DELETED + size))
        else
            Q_N_CLEANED=$((Q_N_CLEANED + 1))
            Q_B_CLEANED=$((Q_B_CLEANED + size))
        fi
    done
    return 0
}

q_rule_delete() {
    local n=$1 days
    if ((DISABLE_DELETE)); then
        echo "Rule $n (delete_old) was skipped: deleting is turned off (DISABLE_DELETE=1)."
        return 0
    fi
    q_max "$Q_R_AGE" "$MIN_DELETE_DAYS" "$MIN_AGE_HARD_FLOOR_DAYS"
    days=$REPLY
    q_rule_source "$n" || return 0
    echo "Rule $n (delete_old): files under $Q_R_SRC untouched for $days days are deleted."
    q_delete_listed delete_old delete Deleted < <(q_find_old "$Q_R_SRC" "$days")
}

# Clears old files from each APP_CACHE_PATHS entry that lies strictly inside
# an APP_CACHE_SAFE_DIRS entry. The hard floor holds here too: a file written
# this week may belong to a program that is running. Folders stay.
q_rule_cache() {
    local n=$1 days entry real safe sreal ok home
    q_max "$Q_R_AGE" "$MIN_AGE_HARD_FLOOR_DAYS"
    days=$REPLY
    if ((${#APP_CACHE_PATHS[@]} == 0)); then
        echo "Rule $n (app_cache_clean): APP_CACHE_PATHS names no cache folder, so there is nothing to clean."
        return 0
    fi
    echo "Rule $n (app_cache_clean): cache files untouched for $days days are cleaned."
    home=$(realpath -m -- "$HOME")
    for entry in "${APP_CACHE_PATHS[@]}"; do
        ((!Q_STOP)) || break
        q_strip_slashes "${entry//\$HOME/"$HOME"}"
        entry=$REPLY
        if [[ $entry != /* ]]; then
            q_problem "Refused to clean \"$entry\": it is not an absolute path."
            continue
        fi
        if [[ ! -d $entry ]] || ! real=$(realpath -e -- "$entry"); then
            echo "Nothing to clean in $entry: it does not exist."
            continue
        fi
        ok=0
        for safe in "${APP_CACHE_SAFE_DIRS[@]}"; do
            safe=${safe//\$HOME/"$HOME"}
            [[ $safe == /* ]] || continue
            sreal=$(realpath -m -- "$safe")
            # Too wide to vouch for anything inside it.
            [[ $sreal == / || $sreal == "$home" || $home == "$sreal"/* ]] && continue
            if [[ $real == "$sreal"/* ]]; then
                ok=1
                break
            fi
        done
        if ((!ok)); then
            q_problem "Refused to clean $entry: it is not inside any folder of APP_CACHE_SAFE_DIRS."
            continue
        fi
        q_delete_listed app_cache_clean clean Cleaned < <(q_find_old "$real" "$days" 0 links)
    done
    return 0
}

q_run_rules() {
    local n=0 rule
    for rule in "${RULES[@]}"; do
        n=$((n + 1))
        ((!Q_STOP)) || break
        if ! q_rule_parse "$rule"; then
            q_problem "Rule $n was skipped: it is not of the form \"action | source | destination | days\"."
            continue
        fi
        case $Q_R_ACTION in
            archive_old | archive_big) q_rule_move "$n" ;;
            delete_old) q_rule_delete "$n" ;;
            app_cache_clean) q_rule_cache "$n" ;;
            *) q_problem "Rule $n was skipped: \"$Q_R_ACTION\" is not an action the service knows." ;;
        esac
    done
    return 0
}

q_config_note() {
    case $Q_CONF_STATE in
        missing) echo "There is no configuration file, so the defaults apply." ;;
        error) echo "The configuration file could not be read to its end; what follows the fault is left at its defaults." ;;
    esac
    return 0
}

# Prints the closing lines; fails when something went wrong.
q_pass_summary() {
    local m d c
    if ((Q_HIDDEN)); then
        q_files "$Q_HIDDEN"
        if ((Q_DRY)); then echo "$REPLY more are not listed here."; else echo "$REPLY more are not listed here; the action log has every one."; fi
    fi
    q_files "$Q_N_MOVED"
    m=$REPLY
    q_human_bytes "$Q_B_MOVED"
    m+=" ($REPLY)"
    q_files "$Q_N_DELETED"
    d=$REPLY
    q_human_bytes "$Q_B_DELETED"
    d+=" ($REPLY)"
    q_files "$Q_N_CLEANED" "cache file"
    c=$REPLY
    q_human_bytes "$Q_B_CLEANED"
    c+=" ($REPLY)"
    if ((${#RULES[@]} == 0)); then
        echo "No rules are configured, so there is nothing to do."
    elif ((Q_DRY)); then
        echo "Dry run: would move $m, delete $d and clean $c; nothing was changed."
    else
        Q_PASS_TEXT="moved $m, deleted $d and cleaned $c"
        echo "Done: $Q_PASS_TEXT."
    fi
    if ((Q_STOP)); then
        echo "The pass was stopped before it finished; run it again to do the rest."
        return 1
    fi
    if ((Q_PROBLEMS)); then
        q_files "$Q_PROBLEMS" problem
        echo "The pass met $REPLY; see the lines above."
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

cmd_relocate_now() {
    (($# == 0)) || q_usage_error "relocate-now takes no argument."
    local rc=0
    q_load_config
    q_config_note
    q_state_dir
    if [[ -e $REPLY/paused ]]; then
        echo "Automatic actions are paused; resume them to run the rules."
        return 1
    fi
    if q_rules_move_files; then q_require_drive || return 1; fi
    q_take_pass_lock || return 1
    q_pass_init 0
    q_trap_stop
    Q_PASS_TEXT=""
    q_run_rules
    q_pass_summary || rc=$?
    q_add_saved_bytes "$Q_B_MOVED"
    q_now_utc
    q_write_private last-run "$REPLY"
    if [[ -n $Q_PASS_TEXT ]]; then
        q_event "Rules pass $Q_BATCH $Q_PASS_TEXT."
    else
        q_event "Rules pass found no rules to run."
    fi
    q_refresh_status
    return "$rc"
}

cmd_dry_run() {
    (($# == 0)) || q_usage_error "dry-run takes no argument."
    q_load_config
    q_config_note
    if q_rules_move_files && ! q_require_drive >/dev/null; then
        echo "Note: the NVMe is not ready at $NVMe, so a real pass would refuse to run."
    fi
    q_pass_init 1
    q_run_rules
    q_pass_summary
}

# Reads the action log into Q_RB_*: the last batch, its moves not yet rolled
# back, and how many moves and deletions it holds.
q_read_last_batch() {
    local log=$1 batch time action from to bytes extra
    local -A restored=()
    Q_RB_BATCH="" Q_RB_TIME="" Q_RB_MOVES=0 Q_RB_DELETES=0
    Q_RB_FROM=() Q_RB_TO=()
    local moves_from=() moves_to=()
    while IFS=$'\t' read -r batch time action from to bytes extra || [[ -n $batch ]]; do
        [[ -n $bytes && -z $extra ]] || continue
        printf -v from '%b' "$from"
        printf -v to '%b' "$to"
        case $action in
            restore)
                [[ $batch == "$Q_RB_BATCH" ]] && restored[$to]=1
                continue
                ;;
            archive_old | archive_big | delete_old | app_cache_clean) ;;
            *) continue ;;
        esac
        if [[ $batch != "$Q_RB_BATCH" ]]; then
            Q_RB_BATCH=$batch Q_RB_TIME=$time Q_RB_MOVES=0 Q_RB_DELETES=0
            moves_from=() moves_to=()
            restored=()
        fi
        if [[ $action == archive_* ]]; then
            moves_from+=("$from")
            moves_to+=("$to")
            Q_RB_MOVES=$((Q_RB_MOVES + 1))
        else
            Q_RB_DELETES=$((Q_RB_DELETES + 1))
        fi
    done <"$log"
    local i
    for i in "${!moves_from[@]}"; do
        [[ -n ${restored[${moves_from[i]}]:-} ]] && continue
        Q_RB_FROM+=("${moves_from[i]}")
        Q_RB_TO+=("${moves_to[i]}")
    done
    return 0
}

cmd_rollback() {
    local yes=0 log i from to size back=0 back_bytes=0 rc=0 deletes
    case ${1:-} in
        --yes) yes=1 ;;
        "") ;;
        *) q_usage_error "rollback takes no argument but --yes." ;;
    esac
    (($# <= 1)) || q_usage_error "rollback takes no argument but --yes."
    if ((!yes)); then
        echo "Rolling back moves the last batch's files back from the NVMe; run rollback --yes to confirm."
        return 1
    fi
    q_load_config
    q_actions_log
    log=$REPLY
    if [[ ! -s $log ]]; then
        echo "There is nothing to roll back: no rules pass has recorded an action yet."
        return 0
    fi
    q_read_last_batch "$log"
    deletes="Deletes cannot be undone, but that batch deleted nothing."
    if ((Q_RB_DELETES)); then
        q_files "$Q_RB_DELETES"
        deletes="The $REPLY deleted in that batch cannot be brought back; deletes cannot be undone."
    fi
    if ((${#Q_RB_FROM[@]} == 0)); then
        if ((Q_RB_MOVES)); then
            echo "Every move of the last batch ($Q_RB_BATCH, $Q_RB_TIME) is already rolled back."
        else
            echo "The last batch ($Q_RB_BATCH, $Q_RB_TIME) moved nothing, so there is nothing to roll back."
        fi
        echo "$deletes"
        return 0
    fi
    q_require_drive || return 1
    q_take_pass_lock || return 1
    q_pass_init 0
    q_trap_stop
    # Restores are recorded under the batch they undo, so a second rollback
    # retries only what is still on the NVMe.
    Q_BATCH=$Q_RB_BATCH
    echo "Rolling back batch $Q_RB_BATCH from $Q_RB_TIME."
    for i in "${!Q_RB_FROM[@]}"; do
        ((!Q_STOP)) || break
        from=${Q_RB_FROM[i]}
        to=${Q_RB_TO[i]}
        if [[ -e $from || -L $from ]]; then
            q_problem "Could not restore $from: something else is there now, so $to stays on the NVMe."
            continue
        fi
        if [[ ! -f $to ]]; then
            q_problem "Could not restore $from: $to is no longer on the NVMe."
            continue
        fi
        size=$(stat -c %s -- "$to" 2>/dev/null) || size=0
        if ! q_move_file "$to" "$from" "$size"; then
            ((Q_STOP)) || q_problem "Could not restore $from: $Q_MOVE_ERR"
            continue
        fi
        q_record restore "$to" "$from" "$size" ||
            q_problem "Restored $from but could not record it in $Q_ACTIONS_LOG."
        q_human_bytes "$size"
        q_item "Restored $to → $from ($REPLY)"
        back=$((back + 1))
        back_bytes=$((back_bytes + size))
    done
    if ((Q_HIDDEN)); then
        q_files "$Q_HIDDEN"
        echo "$REPLY more are not listed here."
    fi
    q_files "${#Q_RB_FROM[@]}"
    local todo=$REPLY
    q_human_bytes "$back_bytes"
    echo "Restored $back of $todo ($REPLY) to their original places."
    echo "$deletes"
    q_add_saved_bytes $((-back_bytes))
    q_event "Rolled back $back of $todo of batch $Q_RB_BATCH."
    if ((Q_STOP)); then
        echo "The rollback was stopped before it finished; run it again to restore the rest."
        rc=1
    elif ((Q_PROBLEMS)); then
        q_files "$Q_PROBLEMS"
        echo "$REPLY could not be restored; see the lines above."
        rc=1
    fi
    q_refresh_status
    return "$rc"
}
