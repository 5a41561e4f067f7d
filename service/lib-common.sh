# shellcheck shell=bash disable=SC2034 # globals set here are read by the sourcing scripts
# Helpers shared by quindle.sh and the numbered stage scripts. Installed next
# to them in ~/.quindle; sourced, never run. Functions that compute a value
# return it in REPLY so that hot paths do not fork a subshell per call.

# Paths are derived from $HOME every time: tests and the application point HOME
# at other folders and expect nothing to be remembered.
if [[ -z ${HOME:-} ]]; then
    HOME=$(cd ~ && pwd)
    export HOME
fi

q_dir() { REPLY="$HOME/.quindle"; }
q_state_dir() { REPLY="$HOME/.quindle/state"; }
# Files only the service reads and writes.
q_private_dir() { REPLY="$HOME/.quindle/state/service"; }
q_conf_path() { REPLY="$HOME/.quindle/quindle.conf"; }
q_log_path() { REPLY="$HOME/.quindle/quindle.log"; }

# Asked once per process: the name does not change under a running service.
# Without USER (cron, a bare shell), the local account list answers before id
# is started: that costs more than most sub-commands.
q_user() {
    local name uid
    if [[ -z ${Q_USER_NAME+set} ]]; then
        Q_USER_NAME=${USER:-}
        if [[ -z $Q_USER_NAME && -r /etc/passwd ]]; then
            while IFS=: read -r name _ uid _; do
                [[ $uid == "$EUID" ]] && Q_USER_NAME=$name && break
            done </etc/passwd
        fi
        [[ -n $Q_USER_NAME ]] || Q_USER_NAME=$(id -un 2>/dev/null) || Q_USER_NAME=""
    fi
    REPLY=$Q_USER_NAME
}

# Where the desktop mounts removable drives for this user.
q_volumes_root() {
    if [[ -n ${QUINDLE_VOLUMES_ROOT:-} ]]; then
        REPLY=$QUINDLE_VOLUMES_ROOT
        return 0
    fi
    q_user
    local user=$REPLY
    if [[ -d /run/media/$user ]]; then
        REPLY="/run/media/$user"
    else
        REPLY="/media/$user"
    fi
}

q_now_utc() {
    local TZ=UTC0
    printf -v REPLY '%(%Y-%m-%dT%H:%M:%SZ)T' -1
}

q_today_utc() {
    local TZ=UTC0
    printf -v REPLY '%(%Y-%m-%d)T' -1
}

q_epoch() { printf -v REPLY '%(%s)T' -1; }

# Drops trailing slashes so "/media/x/NVMe/" and "/media/x/NVMe" compare equal.
q_strip_slashes() {
    REPLY=$1
    while [[ ${#REPLY} -gt 1 && $REPLY == */ ]]; do REPLY=${REPLY%/}; done
}

q_trim() {
    REPLY=${1#"${1%%[![:space:]]*}"}
    REPLY=${REPLY%"${REPLY##*[![:space:]]}"}
}

# ---------------------------------------------------------------------------
# Integers. Config values reach the JSON files, so "08", " 5", "1e3" or "" must
# never be pasted as a number.
# to_int VALUE DEFAULT [MIN] [MAX]
to_int() {
    local v=$1 def=$2 min=${3:-} max=${4:-}
    v=${v#"${v%%[![:space:]]*}"}
    v=${v%"${v##*[![:space:]]}"}
    if [[ $v =~ ^([+-]?)0*([0-9]{1,18})$ ]]; then
        REPLY=$((10#${BASH_REMATCH[2]}))
        [[ ${BASH_REMATCH[1]} == - ]] && REPLY=$((-REPLY))
    else
        REPLY=$def
    fi
    if [[ -n $min ]] && ((REPLY < min)); then REPLY=$def; fi
    if [[ -n $max ]] && ((REPLY > max)); then REPLY=$def; fi
    return 0
}

# Ages in days stop at a hundred years: a giant one means "never", and capped
# it stays far from overflowing the seconds it becomes.
Q_MAX_AGE_DAYS=36500

# to_age_days VALUE DEFAULT MIN
to_age_days() {
    to_int "$1" "$2" "$3"
    ((REPLY <= Q_MAX_AGE_DAYS)) || REPLY=$Q_MAX_AGE_DAYS
}

# to_flag VALUE: 1 for "1" or, in any case, "true", else 0; the application
# reads a flag the same way, so both agree on every hand-edited value.
to_flag() {
    q_trim "$1"
    [[ $REPLY == 1 || ${REPLY,,} == true ]] && REPLY=1 || REPLY=0
    return 0
}

# ---------------------------------------------------------------------------
# JSON. Every string goes through json_quote; objects are assembled with the
# j_* builder (one object at a time; render nested ones first).

_Q_CTL=()
_q_init_ctl() {
    local i c
    for ((i = 1; i < 32; i++)); do
        printf -v c '\\x%02x' "$i"
        printf -v "_Q_CTL[$i]" '%b' "$c"
    done
}
_q_init_ctl

# One UTF-8 character; anything else becomes U+FFFD in the JSON, as jq writes it:
# one for a lead byte with the continuation bytes it claims, one for a stray byte.
_Q_UTF8_CHAR=$'([\x01-\x7f]|[\xc2-\xdf][\x80-\xbf]|\xe0[\xa0-\xbf][\x80-\xbf]|[\xe1-\xec\xee\xef][\x80-\xbf][\x80-\xbf]|\xed[\x80-\x9f][\x80-\xbf]|\xf0[\x90-\xbf][\x80-\xbf][\x80-\xbf]|[\xf1-\xf3][\x80-\xbf][\x80-\xbf][\x80-\xbf]|\xf4[\x80-\x8f][\x80-\xbf][\x80-\xbf])'
_Q_UTF8_INVALID=$'^([\xc2-\xdf][\x80-\xbf]?|[\xe0-\xef][\x80-\xbf]?[\x80-\xbf]?|[\xf0-\xf4][\x80-\xbf]?[\x80-\xbf]?[\x80-\xbf]?|.)'

# REPLY = $1 with every byte sequence that is not UTF-8 replaced by U+FFFD.
# File names can be any bytes; JSON cannot.
q_utf8_repair() {
    local LC_ALL=C
    local s=$1 out=""
    if [[ $s =~ ^${_Q_UTF8_CHAR}*$ ]]; then
        REPLY=$s
        return 0
    fi
    while [[ -n $s ]]; do
        if [[ $s =~ ^${_Q_UTF8_CHAR}+ ]]; then
            out+=${BASH_REMATCH[0]}
        else
            [[ $s =~ $_Q_UTF8_INVALID ]]
            out+=$'\xef\xbf\xbd'
        fi
        s=${s:${#BASH_REMATCH[0]}}
    done
    REPLY=$out
}

json_quote() {
    local LC_ALL=C
    local s=$1 i c
    if [[ $s == *[$'\x80'-$'\xff']* ]]; then
        q_utf8_repair "$s"
        s=$REPLY
    fi
    s=${s//\\/\\\\}
    s=${s//\"/\\\"}
    if [[ $s == *[[:cntrl:]]* ]]; then
        s=${s//$'\n'/\\n}
        s=${s//$'\t'/\\t}
        s=${s//$'\r'/\\r}
        s=${s//$'\b'/\\b}
        s=${s//$'\f'/\\f}
        for ((i = 1; i < 32; i++)); do
            c=${_Q_CTL[i]}
            [[ $s == *"$c"* ]] || continue
            printf -v c '\\u%04x' "$i"
            s=${s//"${_Q_CTL[i]}"/$c}
        done
    fi
    REPLY="\"$s\""
}

_J=()
j_begin() { _J=(); }
j_raw() {
    json_quote "$1"
    _J+=("$REPLY:$2")
}
j_str() {
    local k=$1
    json_quote "$2"
    j_raw "$k" "$REPLY"
}
# j_int KEY VALUE [DEFAULT]
j_int() {
    to_int "$2" "${3:-0}"
    j_raw "$1" "$REPLY"
}
# Anything but 1/true/yes is false.
j_bool() {
    case $2 in
        1 | true | yes) j_raw "$1" true ;;
        *) j_raw "$1" false ;;
    esac
}
# j_end [pretty]: REPLY = the object; pretty puts one key per line.
j_end() {
    local sep=, open='{' close='}'
    if [[ ${1:-} == pretty ]]; then
        sep=$',\n  ' open=$'{\n  ' close=$'\n}'
    fi
    if ((${#_J[@]} == 0)); then
        REPLY='{}'
        return 0
    fi
    local out=${_J[0]} i
    for ((i = 1; i < ${#_J[@]}; i++)); do out+="$sep${_J[i]}"; done
    REPLY="$open$out$close"
}

# json_array ITEM... (items already JSON) -> REPLY
json_array() {
    local out="" item
    for item in "$@"; do out+=${out:+,}$item; done
    REPLY="[$out]"
}

json_str_array() {
    local items=() s
    for s in "$@"; do
        json_quote "$s"
        items+=("$REPLY")
    done
    json_array "${items[@]}"
}

# ---------------------------------------------------------------------------
# Log: one timestamped line per event; rotated once it passes 256 KiB.
q_log() {
    local dir log size
    q_dir
    dir=$REPLY
    log="$dir/quindle.log"
    mkdir -p -- "$dir" 2>/dev/null || return 0
    if [[ -f $log ]]; then
        size=$(stat -c %s -- "$log" 2>/dev/null) || size=0
        if ((size > 262144)); then mv -f -- "$log" "$log.1" 2>/dev/null || true; fi
    fi
    q_now_utc
    printf '%s %s\n' "$REPLY" "$*" >>"$log" 2>/dev/null || true
}

# Writes CONTENT to PATH through a temporary file in the same folder.
q_write_atomic() {
    local path=$1 content=$2 tmp
    tmp="${path%/*}/.${path##*/}.tmp.$BASHPID"
    if ! printf '%s' "$content" >"$tmp" 2>/dev/null; then
        rm -f -- "$tmp"
        return 1
    fi
    if ! mv -f -- "$tmp" "$path" 2>/dev/null; then
        rm -f -- "$tmp"
        return 1
    fi
}

# ---------------------------------------------------------------------------
# The service's private state: one value per file under state/service.

# First line of a private state file, or empty.
q_read_private() {
    q_private_dir
    local f="$REPLY/$1"
    REPLY=""
    [[ -r $f ]] && IFS= read -r REPLY <"$f"
    return 0
}

q_write_private() {
    q_private_dir
    mkdir -p -- "$REPLY" 2>/dev/null || return 0
    q_write_atomic "$REPLY/$1" "$2"$'\n' || true
}

# Logs an event and remembers it as the status file's last_event.
q_event() {
    q_log "$1"
    q_write_private last-event "$1"
}

# ---------------------------------------------------------------------------
# Machine name and the per-computer working folder on the drive.

# The raw display name: QUINDLE_MACHINE_NAME, else the pretty host name, else
# the network host name.
q_display_name() {
    REPLY=${QUINDLE_MACHINE_NAME:-}
    [[ -n $REPLY ]] && return 0
    if [[ -z ${_Q_DISPLAY_NAME:-} ]]; then
        if ! _q_display_name_kept; then
            _q_display_name_uncached
            local name=$REPLY
            _q_kernel_host_name
            q_write_private display-name "$REPLY"$'\n'"$name"$'\n.'
            REPLY=$name
        fi
        _Q_DISPLAY_NAME=$REPLY
    fi
    REPLY=$_Q_DISPLAY_NAME
}

# Asking the host name service costs two programs and a round trip, and its
# answer changes only with /etc/machine-info or the kernel's host name, so the
# last answer is kept until one of them does.
_q_display_name_kept() {
    local file host name end
    q_private_dir
    file=$REPLY/display-name
    [[ -f $file && ! /etc/machine-info -nt $file ]] || return 1
    { IFS= read -r host && IFS= read -r name && IFS= read -r end; } <"$file" 2>/dev/null || return 1
    [[ $end == . && -n $name ]] || return 1
    _q_kernel_host_name
    [[ $REPLY == "$host" ]] || return 1
    REPLY=$name
}

_q_kernel_host_name() {
    REPLY=""
    { IFS= read -r REPLY </proc/sys/kernel/hostname; } 2>/dev/null || REPLY=""
}

_q_display_name_uncached() {
    local line v
    REPLY=""
    if command -v hostnamectl >/dev/null 2>&1; then
        REPLY=$(timeout 5 hostnamectl --pretty 2>/dev/null) || REPLY=""
        REPLY=${REPLY#"${REPLY%%[![:space:]]*}"}
        REPLY=${REPLY%"${REPLY##*[![:space:]]}"}
        [[ -n $REPLY ]] && return 0
    fi
    if [[ -r /etc/machine-info ]]; then
        while IFS= read -r line || [[ -n $line ]]; do
            [[ $line == PRETTY_HOSTNAME=* ]] || continue
            # Either quote may open or close the value; the first entry counts.
            v=${line#PRETTY_HOSTNAME=}
            v=${v#[\"\']}
            v=${v%[\"\']}
            v=${v#"${v%%[![:space:]]*}"}
            REPLY=${v%"${v##*[![:space:]]}"}
            break
        done </etc/machine-info
        [[ -n $REPLY ]] && return 0
    fi
    _q_kernel_host_name
    [[ -n $REPLY ]] || REPLY=$(uname -n 2>/dev/null) || REPLY=""
    return 0
}

# The folder-name form of a display name; the application derives the same.
q_sanitise_machine() {
    local s=$1
    [[ $s == *.local ]] && s=${s%.local}
    s=${s// /-}
    s=${s//\'/}
    s=${s//’/}
    s=${s//\"/}
    while [[ $s == *--* ]]; do s=${s//--/-}; done
    s=${s#-}
    s=${s%-}
    REPLY=${s:-Computer}
}

q_working_folder() {
    local root=$1
    q_display_name
    q_sanitise_machine "$REPLY"
    REPLY="$root/QNDL-$REPLY"
}

q_marker_path() {
    q_working_folder "$1"
    REPLY="$REPLY/.tarnel-managed"
}

# q_marker_value FILE KEY -> REPLY; fails when the key is absent. Read the way
# the application reads it: split at the first "=", nothing trimmed.
q_marker_value() {
    local file=$1 key=$2 line k v
    REPLY=""
    [[ -r $file ]] || return 1
    while IFS= read -r line || [[ -n $line ]]; do
        [[ $line == *=* ]] || continue
        k=${line%%=*}
        v=${line#*=}
        if [[ -n $k && -n $v && $k == "$key" ]]; then
            REPLY=$v
            return 0
        fi
    done <"$file"
    return 1
}

# ---------------------------------------------------------------------------
# Filesystems.

# q_fs_field PATH COLUMN -> REPLY (findmnt column of the filesystem holding PATH)
q_fs_field() {
    REPLY=$(timeout 10 findmnt -no "$2" --target "$1" 2>/dev/null) || REPLY=""
    REPLY=${REPLY%%$'\n'*}
    REPLY=${REPLY#"${REPLY%%[![:space:]]*}"}
    REPLY=${REPLY%"${REPLY##*[![:space:]]}"}
}

# Filesystem UUID of PATH; empty when there is none. tmpfs and overlay report
# all zeros, which means "unknown", never a different drive.
q_fs_uuid() {
    q_fs_field "$1" UUID
    local digits=${REPLY//[0-]/}
    [[ -n $digits ]] || REPLY=""
}

q_uuid_equal() {
    [[ ${1^^} == "${2^^}" ]]
}

q_new_uuid() {
    local u=""
    if [[ -r /proc/sys/kernel/random/uuid ]]; then
        u=$(</proc/sys/kernel/random/uuid)
    fi
    if [[ ! $u =~ ^[0-9a-fA-F-]{36}$ ]]; then
        local h
        h=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
        u="${h:0:8}-${h:8:4}-4${h:13:3}-a${h:17:3}-${h:20:12}"
    fi
    REPLY=${u^^}
}

# q_output_within SECS COMMAND... -> REPLY, the command's standard output.
# Fails when the command fails or is still running after SECS; it is then
# sent SIGTERM and not waited for. Spares the tick starting timeout(1).
q_output_within() {
    local secs=$1 fd pid rc=0
    shift
    REPLY=""
    exec {fd}< <(exec "$@" 2>/dev/null)
    pid=$!
    IFS= read -r -d '' -t "$secs" -u "$fd" REPLY || rc=$?
    exec {fd}<&-
    if ((rc > 128)); then
        kill "$pid" 2>/dev/null
        REPLY=""
        return 1
    fi
    wait "$pid"
}

# q_space PATH UNIT -> Q_TOTAL Q_AVAIL in UNIT (bytes per unit); 0 on failure.
# "Available" is what an unprivileged user can still write.
q_space() {
    local path=$1 unit=$2 out size avail
    Q_TOTAL=0
    Q_AVAIL=0
    q_output_within 10 df -B1 --output=size,avail -- "$path" || return 1
    out=${REPLY#*$'\n'}
    read -r size avail <<<"$out" || true
    [[ $size =~ ^[0-9]+$ && $avail =~ ^[0-9]+$ ]] || return 1
    Q_TOTAL=$((size / unit))
    Q_AVAIL=$((avail / unit))
}

# q_spaces UNIT PATH... -> Q_TOTALS Q_AVAILS, one entry per path ("" when
# unknown), from one df. Should that fail, each path is asked alone, so a drive
# that hangs costs only its own figures.
q_spaces() {
    local unit=$1 out line size avail i=0
    shift
    Q_TOTALS=() Q_AVAILS=()
    if q_output_within 10 df -B1 --output=size,avail -- "$@"; then
        out=$REPLY
        while IFS= read -r line; do
            read -r size avail <<<"$line" || true
            [[ $size =~ ^[0-9]+$ && $avail =~ ^[0-9]+$ ]] || continue
            Q_TOTALS[i]=$((size / unit))
            Q_AVAILS[i]=$((avail / unit))
            i=$((i + 1))
        done <<<"${out#*$'\n'}"
        ((i == $#)) && return 0
    fi
    Q_TOTALS=() Q_AVAILS=() i=0
    for line; do
        if q_space "$line" "$unit"; then
            Q_TOTALS[i]=$Q_TOTAL Q_AVAILS[i]=$Q_AVAIL
        else
            Q_TOTALS[i]="" Q_AVAILS[i]=""
        fi
        i=$((i + 1))
    done
}

# Splits one line of findmnt/lsblk --raw output into Q_FIELDS. Raw output
# separates columns by one space and writes spaces and other unsafe bytes
# inside a value as \xHH.
q_split_raw() {
    local line=$1 f
    Q_FIELDS=()
    while :; do
        f=${line%% *}
        printf -v f '%b' "$f"
        Q_FIELDS+=("$f")
        [[ $line == *' '* ]] || break
        line=${line#* }
    done
}

# q_block_info DEVICE -> Q_BLK_DISK (kernel name of the whole disk), Q_BLK_TRAN,
# Q_BLK_RM, Q_BLK_HOTPLUG. A partition takes what it lacks from its disk.
q_block_info() {
    local dev=$1 out
    Q_BLK_DISK="" Q_BLK_TRAN="" Q_BLK_RM=0 Q_BLK_HOTPLUG=0
    [[ $dev == /dev/* ]] || return 1
    out=$(timeout 10 lsblk -rndo NAME,PKNAME,TRAN,RM,HOTPLUG -- "$dev" 2>/dev/null) || return 1
    q_split_raw "${out%%$'\n'*}"
    Q_BLK_DISK=${Q_FIELDS[0]-}
    Q_BLK_TRAN=${Q_FIELDS[2]-}
    [[ ${Q_FIELDS[3]-} == 1 ]] && Q_BLK_RM=1
    [[ ${Q_FIELDS[4]-} == 1 ]] && Q_BLK_HOTPLUG=1
    local parent=${Q_FIELDS[1]-}
    if [[ -n $parent ]]; then
        Q_BLK_DISK=$parent
        if out=$(timeout 10 lsblk -rndo NAME,PKNAME,TRAN,RM,HOTPLUG -- "/dev/$parent" 2>/dev/null); then
            q_split_raw "${out%%$'\n'*}"
            [[ -n $Q_BLK_TRAN ]] || Q_BLK_TRAN=${Q_FIELDS[2]-}
            [[ ${Q_FIELDS[3]-} == 1 ]] && Q_BLK_RM=1
            [[ ${Q_FIELDS[4]-} == 1 ]] && Q_BLK_HOTPLUG=1
        fi
    fi
    return 0
}
