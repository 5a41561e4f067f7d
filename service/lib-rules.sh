# shellcheck shell=bash
# Rules pass: relocate-now, dry-run and the daily pass. archive_old and
# delete_old act on each direct child of the source old enough as a whole,
# archive_big on each large old file under it; a moved entry leaves a link.

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
    to_age_days "${f[3]}" 0 0
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

# q_parse_size TEXT -> REPLY bytes: a whole number with an optional K, M, G
# or T (decimal; a trailing B is allowed); bare means MB, empty 500 MB.
q_parse_size() {
    local -A scale=([k]=1000 [m]=1000000 [g]=1000000000 [t]=1000000000000)
    q_trim "$1"
    if [[ -z $REPLY ]]; then
        REPLY=500000000
        return 0
    fi
    [[ $REPLY =~ ^([0-9]{1,12})[[:space:]]*(([kKmMgGtT])[bB]?)?$ ]] || return 1
    local number=$((10#${BASH_REMATCH[1]})) unit=${BASH_REMATCH[3],,}
    local factor=${scale[${unit:-m}]}
    ((number <= 9223372036854775807 / factor)) || return 1
    REPLY=$((number * factor))
}

# Places no rule may take anything from: the service's own folder, the trash
# and the drive.
q_forbidden_place() {
    local real=$1 home=$2 nvme=$3 p
    for p in "$home/.quindle" "${XDG_DATA_HOME:-$home/.local/share}/Trash" "$nvme"; do
        p=$(realpath -m -- "$p")
        if [[ $real == "$p" || $real == "$p"/* ]]; then
            REPLY=$p
            return 0
        fi
    done
    return 1
}

# q_rule_source N: the source must lie strictly inside the home folder once
# links are resolved, away from the service's folder, the trash and the drive,
# and must not hold the drive. Sets Q_R_SRC_REAL; fails, having said why.
# shellcheck disable=SC2154 # NVMe is set by q_load_config
q_rule_source() {
    local n=$1 home nvme
    q_strip_slashes "$Q_R_SRC"
    Q_R_SRC=$REPLY
    home=$(realpath -m -- "$HOME")
    nvme=$(realpath -m -- "$NVMe")
    Q_R_SRC_REAL=$(realpath -m -- "$Q_R_SRC")
    if [[ $Q_R_SRC != /* || $Q_R_SRC_REAL != "$home"/* ]]; then
        q_refuse "rule $n: its source \"$Q_R_SRC\" is not a folder inside your home folder."
        return 1
    fi
    if q_forbidden_place "$Q_R_SRC_REAL" "$home" "$nvme"; then
        q_refuse "rule $n: its source $Q_R_SRC lies in $REPLY, which rules never touch."
        return 1
    fi
    if [[ $nvme == "$Q_R_SRC_REAL"/* ]]; then
        q_refuse "rule $n: its source $Q_R_SRC holds the NVMe at $NVMe."
        return 1
    fi
    if [[ ! -d $Q_R_SRC_REAL ]]; then
        echo "rule $n: its source $Q_R_SRC does not exist, so there is nothing to do."
        return 1
    fi
}

# q_rule_destination N: a move goes to the NVMe, by default to the working
# folder's Archive under the source's path in the home folder; never to a
# filesystem that cannot hold links. Sets Q_R_DST to the resolved folder.
q_rule_destination() {
    local n=$1 real nvme home fstype
    nvme=$(realpath -m -- "$NVMe")
    if [[ -z $Q_R_DST ]]; then
        home=$(realpath -m -- "$HOME")
        q_working_folder "$nvme"
        Q_R_DST="$REPLY/Archive/${Q_R_SRC_REAL#"$home"/}"
    fi
    q_strip_slashes "$Q_R_DST"
    Q_R_DST=$REPLY
    real=$(realpath -m -- "$Q_R_DST")
    if [[ $Q_R_DST != /* || ($real != "$nvme" && $real != "$nvme"/*) ]]; then
        q_refuse "rule $n: its destination \"$Q_R_DST\" is not on the NVMe at $NVMe once links are resolved."
        return 1
    fi
    Q_R_DST=$real
    q_fs_field "$nvme" FSTYPE
    fstype=$REPLY
    case ${fstype,,} in
        vfat | msdos | exfat | ntfs | ntfs3 | fuseblk)
            q_refuse "rule $n: the NVMe's $fstype filesystem cannot hold symbolic links or Unix permissions, so nothing is moved there."
            return 1
            ;;
    esac
}

# 0 when ENTRY or anything inside it was modified or changed after Q_CUTOFF.
# Links are not followed; what cannot be read counts as recent.
q_recent() {
    local out
    out=$(find -P "$1" \( -newermt "@$Q_CUTOFF" -o -newerct "@$Q_CUTOFF" \) -print -quit 2>/dev/null) || return 0
    [[ -n $out ]]
}

q_set_cutoff() {
    q_epoch
    Q_CUTOFF=$((REPLY - $1 * 86400))
}

# Direct children of a folder, NUL-separated, by name.
q_children() {
    LC_ALL=C find "$1" -mindepth 1 -maxdepth 1 -print0 2>/dev/null | LC_ALL=C sort -z
}

# q_move_one ENTRY TARGET: one entry to the drive, unless something in its
# way is named.
q_move_one() {
    local entry=$1 target=$2 bytes shown free
    if q_holds_mount "$entry"; then
        q_skip "$entry" "a filesystem is mounted inside it"
        return 0
    fi
    if q_exists "$target"; then
        q_skip "$entry" "$target already exists on the NVMe"
        return 0
    fi
    if q_holders "$entry" first; then
        q_skip "$entry" "${Q_HOLDERS[0]} has it open"
        return 0
    fi
    q_bytes_of "$entry"
    bytes=$REPLY
    q_human_bytes "$bytes"
    shown=$REPLY
    q_dev_of_place "$target"
    if [[ $(stat -c %d -- "$entry" 2>/dev/null) != "$REPLY" ]]; then
        q_space "$NVMe" 1
        free=$Q_AVAIL
        if ((free < bytes + bytes / 50 + 1048576)); then
            q_human_bytes "$free"
            q_skip "$entry" "it needs $shown and the NVMe has $REPLY free"
            return 0
        fi
    fi
    if ((Q_DRY)); then
        q_item "Would move $entry → $target ($shown)"
    elif q_move_entry "$Q_R_ACTION" "$entry" "$target" "$bytes"; then
        q_item "Moved $entry → $target ($shown)"
    else
        if ((!Q_STOP)) || [[ -n $Q_MOVE_ERR ]]; then q_problem "Could not move $entry: $Q_MOVE_ERR"; fi
        return 0
    fi
    Q_N_MOVED=$((Q_N_MOVED + 1))
    Q_B_MOVED=$((Q_B_MOVED + bytes))
}

q_rule_move() {
    local n=$1 days bytes=0 what entry name
    q_max "$Q_R_AGE" "$MIN_ARCHIVE_DAYS" "$MIN_AGE_HARD_FLOOR_DAYS" 1
    days=$REPLY
    what="entries untouched for $days days"
    if [[ $Q_R_ACTION == archive_big ]]; then
        if ! q_parse_size "$Q_R_EXTRAS"; then
            q_refuse "rule $n: \"$Q_R_EXTRAS\" is not a size (a whole number with an optional K, M, G or T; bare numbers are MB)."
            return 0
        fi
        bytes=$REPLY
        q_human_bytes "$bytes"
        what="files over $REPLY untouched for $days days"
    fi
    q_rule_source "$n" || return 0
    q_rule_destination "$n" || return 0
    echo "Rule $n ($Q_R_ACTION): $what move from $Q_R_SRC to $Q_R_DST."
    q_set_cutoff "$days"
    if [[ $Q_R_ACTION == archive_big ]]; then
        while IFS= read -r -d '' entry; do
            q_keep_going || break
            q_take "$entry" || continue
            q_move_one "$entry" "$Q_R_DST/${entry#"$Q_R_SRC_REAL"/}"
        done < <(LC_ALL=C find -P "$Q_R_SRC_REAL" -xdev \( -name '.*.quindle-aside' -o -name '.*.quindle-restore' \) -prune \
            -o -type f -size "+${bytes}c" ! -newermt "@$Q_CUTOFF" ! -newerct "@$Q_CUTOFF" -print0 2>/dev/null |
            LC_ALL=C sort -z)
        return 0
    fi
    while IFS= read -r -d '' entry; do
        q_keep_going || break
        name=${entry##*/}
        q_is_temp_name "$name" && continue
        if [[ -L $entry ]]; then
            q_skip "$entry" "it is a symbolic link"
            continue
        fi
        q_recent "$entry" && continue
        q_take "$entry" || continue
        q_move_one "$entry" "$Q_R_DST/$name"
    done < <(q_children "$Q_R_SRC_REAL")
    return 0
}

q_rule_delete() {
    local n=$1 days entry name bytes shown
    if ((DISABLE_DELETE)); then
        echo "Rule $n (delete_old) was skipped: deleting is turned off (DISABLE_DELETE=1)."
        return 0
    fi
    q_max "$Q_R_AGE" "$MIN_DELETE_DAYS" "$MIN_AGE_HARD_FLOOR_DAYS" 1
    days=$REPLY
    q_rule_source "$n" || return 0
    if ! command -v gio >/dev/null 2>&1; then
        q_install_hint libglib2.0-bin
        q_refuse "rule $n: moving to the trash needs gio (\`$REPLY\`), so nothing was deleted."
        return 0
    fi
    echo "Rule $n (delete_old): entries under $Q_R_SRC untouched for $days days go to the trash."
    q_set_cutoff "$days"
    while IFS= read -r -d '' entry; do
        q_keep_going || break
        name=${entry##*/}
        q_is_temp_name "$name" && continue
        if [[ -L $entry ]]; then
            q_skip "$entry" "it is a symbolic link"
            continue
        fi
        q_recent "$entry" && continue
        q_take "$entry" || continue
        if q_holds_mount "$entry"; then
            q_skip "$entry" "a filesystem is mounted inside it"
            continue
        fi
        if q_holders "$entry" first; then
            q_skip "$entry" "${Q_HOLDERS[0]} has it open"
            continue
        fi
        q_bytes_of "$entry"
        bytes=$REPLY
        q_human_bytes "$bytes"
        shown=$REPLY
        if ((Q_DRY)); then
            q_item "Would move $entry to the trash ($shown)"
        elif q_trash "$entry" "$bytes"; then
            q_item "Moved $entry to the trash ($shown)"
        else
            continue
        fi
        Q_N_DELETED=$((Q_N_DELETED + 1))
        Q_B_DELETED=$((Q_B_DELETED + bytes))
    done < <(q_children "$Q_R_SRC_REAL")
    return 0
}

q_trash() {
    local entry=$1 bytes=$2
    q_journaled start delete_old "$entry" - "$bytes" || {
        q_problem "Could not delete $entry: $Q_MOVE_ERR"
        return 1
    }
    q_child gio trash -- "$entry"
    if q_exists "$entry"; then
        q_journal failed delete_old "$entry" - "$bytes"
        q_problem "Could not move $entry to the trash${Q_CHILD_ERR:+: ${Q_CHILD_ERR#gio: }}"
        return 1
    fi
    q_journal trashed delete_old "$entry" - "$bytes"
}

# q_cache_folder ENTRY -> REPLY, the cache folder; fails, having said why,
# unless it is written without "." or ".." inside the home folder, no link
# on its way, and away from the service's folder, the trash and the drive.
q_cache_folder() {
    local n=$1 entry=$2 home rest real
    q_strip_slashes "${entry//\$HOME/"$HOME"}"
    entry=$REPLY
    home=$(realpath -m -- "$HOME")
    rest=${entry#"$HOME"/}
    if [[ $entry != "$HOME"/* || /$rest/ == */./* || /$rest/ == */../* ]]; then
        q_refuse "rule $n: the cache folder \"$entry\" is not written as a folder inside your home folder."
        return 1
    fi
    if ! real=$(realpath -e -- "$entry" 2>/dev/null); then
        echo "rule $n: the cache folder $entry does not exist, so there is nothing to clean."
        return 1
    fi
    if [[ $real != "$home/$rest" || ! -d $real ]]; then
        q_refuse "rule $n: the cache folder $entry leads elsewhere through a link."
        return 1
    fi
    if q_forbidden_place "$real" "$home" "$(realpath -m -- "$NVMe")"; then
        q_refuse "rule $n: the cache folder $entry lies in $REPLY, which rules never touch."
        return 1
    fi
    REPLY=$real
}

# Each APP_CACHE_PATHS entry is cleaned in its APP_CACHE_SAFE_DIRS subfolders
# (in itself when that list is empty): what is old enough as a whole is
# removed, staying on its filesystem. A cache with a file open is left alone.
q_rule_cache() {
    local n=$1 days entry cache safe dirs dir item bytes shown
    q_max "$Q_R_AGE" "$MIN_AGE_HARD_FLOOR_DAYS" 1
    days=$REPLY
    if ((${#APP_CACHE_PATHS[@]} == 0)); then
        echo "Rule $n (app_cache_clean): APP_CACHE_PATHS names no cache folder, so there is nothing to clean."
        return 0
    fi
    echo "Rule $n (app_cache_clean): cache entries untouched for $days days are cleaned."
    q_set_cutoff "$days"
    for entry in "${APP_CACHE_PATHS[@]}"; do
        q_keep_going || break
        q_cache_folder "$n" "$entry" || continue
        cache=$REPLY
        if q_holders "$cache" first; then
            q_skip "the cache $cache" "${Q_HOLDERS[0]} has a file open in it"
            continue
        fi
        dirs=("$cache")
        if ((${#APP_CACHE_SAFE_DIRS[@]})); then
            dirs=()
            for safe in "${APP_CACHE_SAFE_DIRS[@]}"; do
                if [[ -z $safe || $safe == *"/"* || $safe == . || $safe == .. ]]; then
                    q_refuse "rule $n: \"$safe\" in APP_CACHE_SAFE_DIRS is not the name of a subfolder."
                    continue
                fi
                q_is_real "$cache/$safe" && [[ -d $cache/$safe ]] && dirs+=("$cache/$safe")
            done
        fi
        for dir in "${dirs[@]}"; do
            while IFS= read -r -d '' item; do
                q_keep_going || break
                q_recent "$item" && continue
                q_take "$item" || continue
                q_bytes_of "$item"
                bytes=$REPLY
                q_human_bytes "$bytes"
                shown=$REPLY
                if ((Q_DRY)); then
                    q_item "Would clean $item ($shown)"
                elif q_remove_cache_item "$item" "$bytes"; then
                    q_item "Cleaned $item ($shown)"
                else
                    continue
                fi
                Q_N_CLEANED=$((Q_N_CLEANED + 1))
                Q_B_CLEANED=$((Q_B_CLEANED + bytes))
            done < <(q_children "$dir")
        done
    done
    return 0
}

q_remove_cache_item() {
    q_journaled start app_cache_clean "$1" - "$2" || {
        q_problem "Could not clean $1: $Q_MOVE_ERR"
        return 1
    }
    q_child rm -rf --one-file-system -- "$1"
    if q_exists "$1"; then
        q_journal failed app_cache_clean "$1" - "$2"
        q_problem "Could not clean $1${Q_CHILD_ERR:+: ${Q_CHILD_ERR#rm: }}"
        return 1
    fi
    q_journal removed app_cache_clean "$1" - "$2"
}

q_run_rules() {
    local n=0 rule
    for rule in "${RULES[@]}"; do
        n=$((n + 1))
        ((!Q_STOP)) || break
        if ! q_rule_parse "$rule"; then
            q_refuse "rule $n: it has fewer than four fields (action | source | destination | days)."
            continue
        fi
        case $Q_R_ACTION in
            archive_old | archive_big) q_rule_move "$n" ;;
            delete_old)
                if ((${Q_NO_DELETE:-0})); then
                    echo "Rule $n (delete_old) is left to the rules pass: this run never deletes."
                else
                    q_rule_delete "$n"
                fi
                ;;
            app_cache_clean) q_rule_cache "$n" ;;
            *) q_refuse "rule $n: \"$Q_R_ACTION\" is not an action the service knows." ;;
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
        q_files "$Q_HIDDEN" entry entries
        if ((Q_DRY)); then echo "$REPLY more are not listed here."; else echo "$REPLY more are not listed here; the action log has every one."; fi
    fi
    q_files "$Q_N_MOVED" entry entries
    m=$REPLY
    q_human_bytes "$Q_B_MOVED"
    m+=" ($REPLY)"
    q_files "$Q_N_DELETED" entry entries
    d=$REPLY
    q_human_bytes "$Q_B_DELETED"
    d+=" ($REPLY)"
    q_files "$Q_N_CLEANED" "cache entry" "cache entries"
    c=$REPLY
    q_human_bytes "$Q_B_CLEANED"
    c+=" ($REPLY)"
    if ((${#RULES[@]} == 0)); then
        echo "No rules are configured, so there is nothing to do."
    elif ((Q_DRY)); then
        echo "Dry run: would move $m, trash $d and clean $c; nothing was changed."
    else
        Q_PASS_TEXT="moved $m, trashed $d and cleaned $c"
        echo "Done: $Q_PASS_TEXT."
    fi
    if ((Q_STOP)); then
        ((Q_HELD)) || echo "The run was stopped before it finished; run it again to do the rest."
        return 1
    fi
    if ((Q_PROBLEMS)); then
        q_files "$Q_PROBLEMS" problem
        echo "The run met $REPLY; see the lines above."
        return 1
    fi
    return 0
}

# relocate-now [--wait] [--daily]: without --wait the pass runs detached and
# is followed for a while. --daily is the tick's pass, held by quiet hours.
cmd_relocate_now() {
    local wait=0 daily=0 arg rc=0
    for arg; do
        case $arg in
            --wait) wait=1 ;;
            --daily) daily=1 ;;
            *) q_usage_error "relocate-now takes no argument but --wait." ;;
        esac
    done
    if ((!wait)); then
        q_detach_and_follow "rules pass" relocate-now
        return
    fi
    [[ -z ${QUINDLE_RUN_ID:-} ]] || q_detached_begin
    Q_HELD=0
    q_rules_pass "$daily" || rc=$?
    if ((daily && rc != 3 && !Q_HELD)); then
        q_local_day
        q_write_private daily-done "$REPLY"
    fi
    [[ -z ${QUINDLE_RUN_ID:-} ]] || q_detached_end "$rc"
    return "$rc"
}

q_rules_pass() {
    local daily=$1 rc=0 drive_ok=0
    q_load_config
    q_config_note
    q_take_pass_lock || return 3
    q_pass_init 0 "$daily"
    q_trap_stop
    q_state_dir
    if [[ -e $REPLY/paused ]]; then
        echo "Automatic actions are paused; resume them to run the rules."
        Q_HELD=1
        return 1
    fi
    q_require_drive >/dev/null && drive_ok=1
    if q_rules_move_files; then
        if ! q_require_drive; then
            Q_HELD=1
            return 1
        fi
        q_pass_needs_drive
    fi
    if ! q_journal_open; then
        echo "The action log $Q_ACTIONS_LOG cannot be written, so nothing was done."
        return 1
    fi
    q_recover "$drive_ok"
    # shellcheck disable=SC2034 # read by free-space
    Q_PASS_STARTED=1
    q_load_mounts
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
    q_notify_run "${Q_RUN_NAME:-rules pass}" "$rc" "$Q_PASS_TEXT"
    q_refresh_status
    return "$rc"
}

# Failures are always notified, a clean run only with NOTIFY_ON_OK_RUN=1; a
# run held back is tried again and says nothing.
q_notify_run() {
    if (($2 != 0)); then
        ((Q_HELD)) && return 0
        q_notify "Quindle's $1 met a problem" "The $1 did not finish cleanly; the popover's log has the details." dialog-warning
    elif ((NOTIFY_ON_OK_RUN)); then
        q_notify "Quindle's $1 finished" "The $1 ${3:-finished without a problem}." ""
    fi
    return 0
}

cmd_dry_run() {
    (($# == 0)) || q_usage_error "dry-run takes no argument."
    q_load_config
    q_config_note
    if q_rules_move_files && ! q_require_drive >/dev/null; then
        echo "Note: the NVMe is not ready at $NVMe, so a real pass would refuse to run."
    fi
    q_pass_init 1
    q_load_mounts
    q_run_rules
    q_pass_summary
}
