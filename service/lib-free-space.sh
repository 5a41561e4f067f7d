# shellcheck shell=bash disable=SC2034 # the pass's switches are read by the rules
# free-space: the popover's Free Up Space, in the foreground. The moving and
# cache rules run as in a rules pass (deleting is left to the pass), the
# chosen cloud folders drop their local copies, and state/last-free-space.txt
# tells the application what changed.

q_free_space_file() {
    q_state_dir
    REPLY="$REPLY/last-free-space.txt"
}

# q_size_gb PATH -> REPLY, what PATH takes on its filesystem in whole GB; 0
# when it is missing.
q_size_gb() {
    local kb
    REPLY=0
    [[ -d $1 ]] || return 0
    kb=$(du -skx -- "$1" 2>/dev/null) || true
    kb=${kb%%[[:space:]]*}
    [[ $kb =~ ^[0-9]+$ ]] && REPLY=$((kb * 1024 / 1000000000))
    return 0
}

# q_user_dir NAME DEFAULT -> REPLY, an XDG user folder ("DOCUMENTS") as
# user-dirs.dirs sets it; empty when it is the home folder itself.
q_user_dir() {
    local file="${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs" line v
    REPLY="$HOME/$2"
    if [[ -r $file ]]; then
        while IFS= read -r line || [[ -n $line ]]; do
            [[ $line =~ ^XDG_$1_DIR=\"(.*)\"[[:space:]]*$ ]] || continue
            v=${BASH_REMATCH[1]}
            v=${v//\$HOME/$HOME}
            REPLY=$v
        done <"$file"
    fi
    q_strip_slashes "$REPLY"
    [[ $REPLY != "${HOME%/}" ]] || REPLY=""
}

# Evicts the cloud folders OPTIMISE_CLOUD_PROVIDERS names (each by its label);
# the older INCLUDE_CLOUD_EVICT=1 alone means all of them.
# shellcheck disable=SC2154 # the keys are set by q_load_config
q_free_space_clouds() {
    local parts=() p i all=0 chosen=0
    local -A wanted=()
    IFS=, read -ra parts <<<"$OPTIMISE_CLOUD_PROVIDERS" || true
    for p in "${parts[@]}"; do
        q_trim "$p"
        [[ -z $REPLY ]] || wanted[$REPLY]=1
    done
    ((${#wanted[@]} || !INCLUDE_CLOUD_EVICT)) || all=1
    q_cloud_roots
    local labels=("${Q_CR_LABELS[@]}") paths=("${Q_CR_PATHS[@]}")
    for i in "${!paths[@]}"; do
        ((all)) || [[ -n ${wanted[${labels[i]}]:-} ]] || continue
        chosen=1
        q_keep_going || break
        q_cloud_evict "${paths[i]}" || true
    done
    if ((!chosen && ${#paths[@]})); then
        echo "No cloud folder is chosen for eviction in Settings, so their local copies stay."
    fi
    return 0
}

q_free_space_summary() {
    local started=$1 before=$2 after=$3 cache_rule=0 rule apps docs desk file text
    for rule in "${RULES[@]}"; do
        q_rule_parse "$rule" && [[ $Q_R_ACTION == app_cache_clean ]] && cache_rule=1
    done
    q_size_gb "$APPS_ROOT"
    apps=$REPLY
    q_user_dir DOCUMENTS Documents
    q_size_gb "$REPLY"
    docs=$REPLY
    q_user_dir DESKTOP Desktop
    q_size_gb "$REPLY"
    desk=$REPLY
    q_now_utc
    text="started_at=$started
finished_at=$REPLY
before_free_gb=$before
after_free_gb=$after
delta_gb=$((after - before))
files_moved=$Q_N_MOVED
caches_cleaned=$Q_N_CLEANED
apps_gb=$apps
documents_gb=$docs
desktop_gb=$desk
apfs_snapshot_count=0
user_has_cache_rule=$cache_rule
"
    q_free_space_file
    file=$REPLY
    mkdir -p -- "${file%/*}" 2>/dev/null || true
    q_write_atomic "$file" "$text" || echo "The summary $file could not be written."
}

cmd_free_space() {
    (($# == 0)) || q_usage_error "free-space takes no argument."
    local started before rc=0
    q_now_utc
    started=$REPLY
    if ! q_probe_internal; then
        echo "The free space of the internal disk could not be measured, so Free Up Space did not start."
        return 1
    fi
    before=$Q_INT_FREE_GB
    Q_NO_DELETE=1 Q_RUN_NAME="Free Up Space run" Q_PASS_STARTED=0
    q_rules_pass 0 || rc=$?
    ((Q_PASS_STARTED)) || return "$rc"
    ((Q_STOP)) || q_free_space_clouds
    q_probe_internal || Q_INT_FREE_GB=$before
    q_free_space_summary "$started" "$before" "$Q_INT_FREE_GB"
    q_files "$Q_N_MOVED" entry entries
    local moved=$REPLY
    q_files "$Q_N_CLEANED" "cache entry" "cache entries"
    echo "Free Up Space finished: $moved moved and $REPLY cleaned; $Q_INT_FREE_GB GB are free now, $before GB before."
    return "$rc"
}
