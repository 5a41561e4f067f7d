# shellcheck shell=bash disable=SC2034 # the copy flags set here are read by the proof in lib-pass.sh
# Finishing what a killed run left half done. Nothing is removed unless the
# log names it as our copy and its original is in place.

# q_recover NEEDS_DRIVE_OK: every step sequence not closed, in log order, is
# finished or undone under its own batch. Moves wait for the drive.
q_recover() {
    local drive_ok=$1 i n=0
    q_journal_read
    for i in "${!Q_J_BATCH[@]}"; do
        q_journal_closed "${Q_J_LAST[i]}" && continue
        case ${Q_J_ACTION[i]} in
            archive_* | rollback)
                if ((!drive_ok)); then
                    echo "An interrupted step on ${Q_J_SRC[i]} is finished once the NVMe is back."
                    continue
                fi
                ;;
        esac
        n=$((n + 1))
        case ${Q_J_ACTION[i]} in
            rollback) q_recover_restore "$i" ;;
            delete_old) q_recover_simple "$i" trashed "moved to the trash" ;;
            app_cache_clean) q_recover_simple "$i" removed "cleaned" ;;
            *) q_recover_move "$i" ;;
        esac
    done
    ((n == 0)) || echo "Finished $n step(s) an interrupted run left open."
    return 0
}

# A delete or cache clean whose entry is gone was done; one still there not.
q_recover_simple() {
    local i=$1 src=${Q_J_SRC[$1]}
    if q_exists "$src"; then
        q_rjournal "$i" failed
    else
        q_rjournal "$i" "$2"
        echo "An interrupted run had $3 $src."
    fi
}

q_rjournal() {
    q_journal "$2" "${Q_J_ACTION[$1]}" "${Q_J_SRC[$1]}" "${Q_J_DST[$1]}" "${Q_J_BYTES[$1]}" "${Q_J_BATCH[$1]}"
}

q_recover_move() {
    local i=$1 src=${Q_J_SRC[$1]} dst=${Q_J_DST[$1]} aside from
    q_aside_path "$src"
    aside=$REPLY
    case ${Q_J_LAST[i]} in
        start)
            if q_is_real "$src" && q_remove_drive_copy "$dst"; then
                q_rjournal "$i" failed
                echo "An interrupted copy of $src was removed from the NVMe; $src stays where it was."
            else
                q_rjournal "$i" failed
                q_problem "An interrupted copy of $src was left at $dst: $src is no longer where it was."
            fi
            ;;
        rename)
            if ! q_exists "$src" && q_exists "$dst" && ln -s -- "$dst" "$src" 2>/dev/null; then
                q_rjournal "$i" linked
                q_rjournal "$i" 'done'
                echo "Finished moving $src to $dst."
            else
                q_rjournal "$i" failed
                q_exists "$dst" && q_is_real "$src" &&
                    q_problem "An interrupted move left both $src and $dst; both are left alone."
            fi
            ;;
        verified)
            if q_is_real "$aside"; then
                from=$aside
            elif q_is_real "$src"; then
                from=$src
            else
                q_rjournal "$i" failed
                q_problem "An interrupted move of $src finds neither it nor its aside copy; $dst is left alone."
                return 0
            fi
            Q_COPY_FLAGS=(-aH)
            if q_same "$from" "$dst"; then
                q_recover_link "$i" "$from" "$aside"
            else
                q_recover_unproven "$i" "$from" "$aside"
            fi
            ;;
        linked)
            rm -rf -- "$aside" 2>/dev/null
            q_rjournal "$i" 'done'
            echo "Finished moving $src to $dst."
            ;;
    esac
}

# The copy proved good again: finish the move from wherever the original is.
q_recover_link() {
    local i=$1 from=$2 aside=$3 src=${Q_J_SRC[$1]} dst=${Q_J_DST[$1]}
    if [[ $from == "$src" ]] && ! mv -T -- "$src" "$aside" 2>/dev/null; then
        q_rjournal "$i" failed
        q_problem "An interrupted move of $src could not be finished: it could not be renamed aside."
        return 0
    fi
    if [[ -L $src && $(readlink -- "$src") == "$dst" ]] || { ! q_exists "$src" && ln -s -- "$dst" "$src" 2>/dev/null; }; then
        q_rjournal "$i" linked
        rm -rf -- "$aside" 2>/dev/null
        q_rjournal "$i" 'done'
        echo "Finished moving $src to $dst."
        return 0
    fi
    [[ ! -e $src ]] && mv -T -- "$aside" "$src" 2>/dev/null
    q_rjournal "$i" failed
    q_problem "An interrupted move of $src could not be finished; its original is at ${aside} or $src, its copy at $dst."
}

# The copy no longer matches: the original goes back, the copy goes, unless
# the link was already in use.
q_recover_unproven() {
    local i=$1 from=$2 aside=$3 src=${Q_J_SRC[$1]} dst=${Q_J_DST[$1]}
    if [[ -L $src ]]; then
        q_rjournal "$i" failed
        q_problem "An interrupted move of $src left its original at $aside and a changed copy at $dst; both are left alone."
        return 0
    fi
    if [[ $from == "$aside" ]] && { q_exists "$src" || ! mv -T -- "$aside" "$src" 2>/dev/null; }; then
        q_rjournal "$i" failed
        q_problem "An interrupted move of $src left its original at $aside; it could not be put back."
        return 0
    fi
    q_remove_drive_copy "$dst"
    q_rjournal "$i" failed
    echo "An interrupted move of $src was undone: its copy did not match."
}

q_recover_restore() {
    local i=$1 copy=${Q_J_SRC[$1]} place=${Q_J_DST[$1]} back
    q_restore_path "$place"
    back=$REPLY
    case ${Q_J_LAST[i]} in
        start)
            rm -rf -- "$back" 2>/dev/null
            q_rjournal "$i" failed
            echo "An interrupted rollback of $place was undone; it still links to $copy."
            ;;
        rename)
            if q_is_real "$place" && ! q_exists "$copy"; then
                :
            elif ! q_exists "$place" && q_exists "$copy" && mv -T -- "$copy" "$place" 2>/dev/null; then
                :
            else
                q_rjournal "$i" failed
                return 0
            fi
            q_rjournal "$i" restored
            q_rjournal "$i" 'done'
            echo "Finished restoring $place."
            ;;
        verified)
            Q_COPY_FLAGS=(-aH)
            if q_is_real "$back"; then
                if ! q_same "$copy" "$back"; then
                    rm -rf -- "$back" 2>/dev/null
                    q_rjournal "$i" failed
                    echo "An interrupted rollback of $place was undone: its copy did not match."
                    return 0
                fi
                [[ -L $place ]] && rm -f -- "$place"
                if q_exists "$place" || ! mv -T -- "$back" "$place" 2>/dev/null; then
                    q_rjournal "$i" failed
                    q_problem "An interrupted rollback left $back beside $place; it could not be put in place."
                    return 0
                fi
            elif ! q_is_real "$place" || ! q_same "$copy" "$place"; then
                q_rjournal "$i" failed
                q_problem "An interrupted rollback of $place could not be finished; $copy is left alone."
                return 0
            fi
            q_rjournal "$i" restored
            q_remove_drive_copy "$copy"
            q_rjournal "$i" 'done'
            echo "Finished restoring $place."
            ;;
        restored)
            q_remove_drive_copy "$copy"
            q_rjournal "$i" 'done'
            echo "Finished restoring $place."
            ;;
    esac
}
