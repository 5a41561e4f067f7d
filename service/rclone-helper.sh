#!/usr/bin/env bash
# shellcheck disable=SC2119 # j_end without "pretty" is the compact form
# Account housekeeping for the application: the configured rclone remotes,
# the kinds of account it can add, a connection test and removal. rclone's
# configuration is only ever changed through rclone itself.
set -euo pipefail

_Q_SELF_DIR=${BASH_SOURCE[0]%/*}
[[ $_Q_SELF_DIR != "${BASH_SOURCE[0]}" ]] || _Q_SELF_DIR=.
[[ $_Q_SELF_DIR == /* ]] || _Q_SELF_DIR=$PWD/$_Q_SELF_DIR
# shellcheck source=lib-common.sh
source "$_Q_SELF_DIR/lib-common.sh"

# Never a prompt: a configuration password cannot be typed in here.
export RCLONE_ASK_PASSWORD=false

RH_COMMANDS=(remotes-list remote-types remote-test remote-remove)

rh_usage() {
    local IFS='|'
    echo "Usage: rclone-helper.sh {${RH_COMMANDS[*]}} [remote name]" >&2
    exit 2
}

# REPLY = the rclone to run; fails when there is none.
rh_rclone() {
    REPLY=${QUINDLE_RCLONE:-}
    [[ -n $REPLY ]] || REPLY=$(command -v rclone 2>/dev/null) || return 1
    [[ -x $REPLY ]]
}

rh_run() { "$RH_RCLONE" "$@" </dev/null; }

# Google Photos remotes carry whichever type name they were created with.
rh_type_id() {
    case $1 in
        'google photos' | gphotos | googlephotos) REPLY=googlephotos ;;
        *) REPLY=$1 ;;
    esac
}

cmd_remotes_list() {
    (($# == 0)) || rh_usage
    local items=() line name type
    if rh_rclone; then
        RH_RCLONE=$REPLY
        # "name:   type" a line; a name holds no colon, but may hold spaces and dots.
        while IFS= read -r line; do
            [[ $line == ?*:* ]] || continue
            name=${line%%:*}
            q_trim "${line#*:}"
            rh_type_id "$REPLY"
            type=$REPLY
            j_begin
            j_str name "$name"
            j_str type "$type"
            j_end
            items+=("$REPLY")
        done < <(rh_run listremotes --long 2>/dev/null || true)
    fi
    json_array "${items[@]}"
    printf '%s\n' "$REPLY"
}

cmd_remote_types() {
    (($# == 0)) || rh_usage
    local items=() backends="" row id backend name icon oauth
    if rh_rclone; then
        RH_RCLONE=$REPLY
        backends=$(rh_run help backends 2>/dev/null || true)
    fi
    for row in 'drive drive Google Drive|drive|true' 'googlephotos gphotos Google Photos|photos|true' \
        's3 s3 S3-compatible storage|bucket|false' 'sftp sftp SFTP server|server|false' \
        'ftp ftp FTP server|server|false'; do
        IFS='|' read -r name icon oauth <<<"$row"
        read -r id backend name <<<"$name"
        [[ $backends =~ (^|$'\n')[[:space:]]+"$backend"[[:space:]] ]] || continue
        j_begin
        j_str id "$id"
        j_str name "$name"
        j_str icon "$icon"
        j_bool oauth "$oauth"
        j_end
        items+=("$REPLY")
    done
    json_array "${items[@]}"
    printf '%s\n' "$REPLY"
}

# rh_result OK MESSAGE: the object the application reads.
rh_result() {
    j_begin
    j_bool ok "$1"
    j_str message "$2"
    j_end
    printf '%s\n' "$REPLY"
}

cmd_remote_test() {
    [[ $# -eq 1 && -n $1 ]] || rh_usage
    rh_rclone || {
        rh_result false "rclone is not installed."
        return 0
    }
    RH_RCLONE=$REPLY
    local errors last="" line
    # One try with short limits: a wrong password should fail at once, not after retries.
    if errors=$(rh_run lsjson --dirs-only --max-depth 1 --low-level-retries 1 --retries 1 \
        --contimeout 10s --timeout 20s -- "$1:" 2>&1 >/dev/null); then
        rh_result true "Connected."
        return 0
    fi
    while IFS= read -r line; do
        [[ -n ${line//[[:space:]]/} ]] && last=$line
    done <<<"$errors"
    # rclone starts each line with the date and time.
    [[ $last =~ ^[0-9]{4}/[0-9]{2}/[0-9]{2}\ [0-9:]{8}\ (.*)$ ]] && last=${BASH_REMATCH[1]}
    rh_result false "${last:-rclone could not reach the account.}"
}

cmd_remote_remove() {
    [[ $# -eq 1 && -n $1 ]] || rh_usage
    rh_rclone || {
        echo "rclone is not installed." >&2
        return 1
    }
    RH_RCLONE=$REPLY
    rh_run config delete -- "$1"
}

rh_main() {
    local cmd=${1:-} known=" ${RH_COMMANDS[*]} "
    [[ -n $cmd && $known == *" $cmd "* ]] || rh_usage
    shift
    "cmd_${cmd//-/_}" "$@"
}

rh_main "$@"
