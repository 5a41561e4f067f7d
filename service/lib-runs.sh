# shellcheck shell=bash disable=SC2034 # Q_TEED is read by the output in lib-pass.sh
# Detached runs. The popover gives a command 60 seconds; a pass may take
# hours. The run goes on in its own session, writing to quindle.log, while
# the command shows its lines for up to QUINDLE_FOLLOW_SECS seconds.

q_run_files() {
    q_private_dir
    Q_RUN_DIR=$REPLY
    Q_RUN_OUT="$REPLY/run-$1.out" Q_RUN_RC="$REPLY/run-$1.rc" Q_RUN_PID="$REPLY/run-$1.pid"
}

# Output no one followed to its end is kept a day; a process id file, while
# its run lives.
q_prune_runs() {
    local f pid
    for f in "$Q_RUN_DIR"/run-*.pid; do
        [[ -e $f ]] || continue
        pid=""
        IFS= read -r pid <"$f"
        [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && continue
        rm -f -- "$f"
    done
    find "$Q_RUN_DIR" -maxdepth 1 \( -name 'run-*.out' -o -name 'run-*.rc' \) -mmin +1440 -delete 2>/dev/null
    return 0
}

# Closes every inherited descriptor but the standard three, so that nothing
# the caller reads to its end stays open in a detached process.
q_close_inherited() {
    local fd
    for fd in "/proc/$BASHPID/fd"/*; do
        fd=${fd##*/}
        ((fd > 2)) && exec {fd}>&-
    done
    return 0
}

# q_spawn_run ID SUB-COMMAND ARG...: starts quindle.sh in its own session.
q_spawn_run() {
    local id=$1
    shift
    q_run_files "$id"
    mkdir -p -- "$Q_RUN_DIR"
    q_prune_runs
    rm -f -- "$Q_RUN_OUT" "$Q_RUN_RC" "$Q_RUN_PID"
    : >"$Q_RUN_OUT"
    (
        q_close_inherited
        cd / || exit 1
        QUINDLE_RUN_ID=$id exec setsid bash "$_Q_SELF_DIR/quindle.sh" "$@" </dev/null >/dev/null 2>&1
    ) &
}

# Inside the detached run: output to the run's file and to quindle.log, the
# process id where the follower finds it.
q_detached_begin() {
    q_run_files "$QUINDLE_RUN_ID"
    printf '%s\n' "$$" >"$Q_RUN_PID"
    exec > >(q_tee_log "$Q_RUN_OUT") 2>&1
    Q_TEE_PID=$!
    Q_TEED=1
}

q_tee_log() {
    local line log
    q_log_path
    log=$REPLY
    while IFS= read -r line || [[ -n $line ]]; do
        printf '%s\n' "$line" >>"$1"
        q_now_utc
        printf '%s %s\n' "$REPLY" "$line" >>"$log"
    done
}

q_detached_end() {
    exec >&- 2>&-
    wait "$Q_TEE_PID" 2>/dev/null
    q_write_atomic "$Q_RUN_RC" "$1"$'\n'
    rm -f -- "$Q_RUN_PID"
}

# Shows the run's lines until it ends (its status is returned) or the time is
# up (0: it goes on).
q_follow_run() {
    local what=$1 secs pid="" rc="" line part="" fd
    to_int "${QUINDLE_FOLLOW_SECS:-50}" 50 0
    secs=$((SECONDS + REPLY))
    exec {fd}<"$Q_RUN_OUT"
    while :; do
        while IFS= read -r -u "$fd" line; do
            printf '%s\n' "$part$line"
            part=""
        done
        part+=$line
        if [[ -s $Q_RUN_RC ]]; then
            while IFS= read -r -u "$fd" line || [[ -n $line ]]; do printf '%s\n' "$part$line"; part=""; done
            IFS= read -r rc <"$Q_RUN_RC" || rc=1
            rm -f -- "$Q_RUN_OUT" "$Q_RUN_RC"
            exec {fd}<&-
            return "$rc"
        fi
        [[ -n $pid ]] || { [[ -s $Q_RUN_PID ]] && IFS= read -r pid <"$Q_RUN_PID"; }
        if [[ -n $pid ]] && ! kill -0 "$pid" 2>/dev/null && [[ ! -s $Q_RUN_RC ]]; then
            echo "The $what ended before it finished; quindle.log has its last lines, and the next run completes it."
            exec {fd}<&-
            return 1
        fi
        if ((SECONDS >= secs)); then
            echo "The $what goes on in the background; quindle.log shows its progress."
            exec {fd}<&-
            return 0
        fi
        sleep 0.2
    done
}

# q_detach_and_follow WHAT SUB-COMMAND ARG...: the run, detached, followed.
q_detach_and_follow() {
    local what=$1 id=$$
    shift
    q_spawn_run "$id" "$@" --wait
    q_follow_run "$what"
}
