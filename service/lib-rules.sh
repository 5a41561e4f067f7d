# shellcheck shell=bash
# Rules pass: relocate-now and dry-run, each rule checked and applied in turn.

# q_take PATH: fails when an earlier rule of this dry run took PATH.
q_take() {
    ((Q_DRY)) || return 0
    [[ -z ${Q_TAKEN[$1]:-} ]] || return 1
    Q_TAKEN[$1]=1
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
