# shellcheck shell=bash
# quindle.conf: its keys and defaults, a guarded read of the file and the
# clamping of every value.

Q_SCALAR_KEYS=(NVMe ENABLE_AUTO_ACTIONS WATCH_INTERVAL_SECS LOW_SPACE_WARN_GB
    LOW_SPACE_CRITICAL_GB AUTO_RELOCATE_DAILY AUTO_RELOCATE_HOUR QUIET_MODE
    QUIET_HOURS_BLOCKED IDLE_THRESHOLD_SECS SMART_IDLE_MINUTES SMART_MIN_BATTERY
    SMART_RESPECT_MEETINGS NOTIFY_ON_OK_RUN DISABLE_DELETE MIN_ARCHIVE_DAYS
    MIN_DELETE_DAYS MIN_AGE_HARD_FLOOR_DAYS OPTIMISE_CLOUD_PROVIDERS
    INCLUDE_CLOUD_EVICT NVME_REQUIRE_MOUNTPOINT APPS_ROOT)
Q_ARRAY_KEYS=(RULES APP_CACHE_PATHS APP_CACHE_SAFE_DIRS)

# shellcheck disable=SC2034 # some keys are read only by later stages
q_config_defaults() {
    q_volumes_root
    NVMe="$REPLY/NVMe"
    ENABLE_AUTO_ACTIONS=1
    WATCH_INTERVAL_SECS=30
    LOW_SPACE_WARN_GB=40
    LOW_SPACE_CRITICAL_GB=15
    AUTO_RELOCATE_DAILY=1
    AUTO_RELOCATE_HOUR=3
    QUIET_MODE=schedule
    QUIET_HOURS_BLOCKED=9-19
    IDLE_THRESHOLD_SECS=600
    SMART_IDLE_MINUTES=5
    SMART_MIN_BATTERY=30
    SMART_RESPECT_MEETINGS=1
    NOTIFY_ON_OK_RUN=0
    DISABLE_DELETE=0
    MIN_ARCHIVE_DAYS=0
    MIN_DELETE_DAYS=0
    MIN_AGE_HARD_FLOOR_DAYS=7
    OPTIMISE_CLOUD_PROVIDERS=""
    INCLUDE_CLOUD_EVICT=0
    # A spare folder standing in for the drive counts as mounted only when
    # this is 0.
    NVME_REQUIRE_MOUNTPOINT=1
    # Where applications are installed for everyone; Free Up Space reports its size.
    APPS_ROOT=/opt
    RULES=()
    APP_CACHE_PATHS=()
    APP_CACHE_SAFE_DIRS=()
}

# The config is sourced by a separate bash under a time limit so that a syntax
# error, an `exit`, a stray command or a hang in a hand-edited file cannot take
# the service down. The child hands the values back NUL-separated.
# shellcheck disable=SC2016
_Q_CONF_READER='
conf=$1; shift
specs=("$@")
for spec in "${specs[@]}"; do unset "${spec#?:}"; done
dump() {
    local rc=$? spec k n i
    for spec in "${specs[@]}"; do
        k=${spec#?:}
        declare -p "$k" >/dev/null 2>&1 || continue
        declare -n ref=$k
        if [[ ${ref@a} == *[aA]* ]]; then
            n=${#ref[@]}
            printf "A\0%s\0%d\0" "$k" "$n" >&3
            for i in "${ref[@]}"; do printf "%s\0" "$i" >&3; done
        else
            printf "S\0%s\0%s\0" "$k" "${ref-}" >&3
        fi
        unset -n ref
    done
    printf "R\0%d\0" "$rc" >&3
}
trap dump EXIT
exec 3>&1
source "$conf" >/dev/null 2>&1 </dev/null
'

# Sets Q_CONF_STATE to missing, ok or error (the file could not be read to its end).
# shellcheck disable=SC2034 # Q_CONF_STATE is read by the tick and the rules pass
q_load_config() {
    q_config_defaults
    Q_CONF_STATE=missing
    q_conf_path
    local conf=$REPLY rc=0
    [[ -f $conf ]] || return 0
    _q_read_plain_config "$conf" || _q_read_config_guarded "$conf" || rc=$?
    _q_apply_conf_records
    if ((rc == 0)); then Q_CONF_STATE=ok; else Q_CONF_STATE=error; fi
    q_normalise_config
}

# Q_CONF_RECORDS holds what a reader found, in file order: "S" key value, or
# "A" key count values...
_q_apply_conf_records() {
    local i=0 k n
    while ((i < ${#Q_CONF_RECORDS[@]})); do
        k=${Q_CONF_RECORDS[i + 1]}
        if [[ ${Q_CONF_RECORDS[i]} == S ]]; then
            q_set_conf_key "$k" "${Q_CONF_RECORDS[i + 2]}"
            ((i += 3))
        else
            n=${Q_CONF_RECORDS[i + 2]}
            q_set_conf_key "$k" "${Q_CONF_RECORDS[@]:i+3:n}"
            ((i += 3 + n))
        fi
    done
}

# Sources the file in the guarded child; fails with its status when the file
# could not be read to its end.
_q_read_config_guarded() {
    local conf=$1 tag k n i e rc="" specs=()
    for k in "${Q_SCALAR_KEYS[@]}"; do specs+=("S:$k"); done
    for k in "${Q_ARRAY_KEYS[@]}"; do specs+=("A:$k"); done
    q_user
    Q_CONF_RECORDS=()
    while IFS= read -r -d '' tag; do
        case $tag in
            S)
                IFS= read -r -d '' k || break
                IFS= read -r -d '' e || break
                Q_CONF_RECORDS+=(S "$k" "$e")
                ;;
            A)
                IFS= read -r -d '' k || break
                IFS= read -r -d '' n || break
                local -a items=()
                for ((i = 0; i < n; i++)); do
                    IFS= read -r -d '' e || break
                    items+=("$e")
                done
                Q_CONF_RECORDS+=(A "$k" "${#items[@]}" "${items[@]}")
                ;;
            R) IFS= read -r -d '' rc || true ;;
        esac
    done < <(USER=$REPLY timeout 10 bash --norc --noprofile -c "$_Q_CONF_READER" quindle-config "$conf" "${specs[@]}" 2>/dev/null)
    [[ $rc == 0 ]] || return "${rc:-1}"
}

# A file of plain assignments to known keys (what the application and most
# people write) is read here, sparing a tick two programs. Anything else, even
# a stray word, declines, and the guarded child reads the file as bash would.
_q_read_plain_config() {
    local conf=$1 line key rest open=""
    local assign='^[[:blank:]]*([A-Za-z_][A-Za-z0-9_]*)=(.*)$' blank='^[[:blank:]]*(#.*)?$'
    local -a values
    Q_CONF_RECORDS=()
    while IFS= read -r line || [[ -n $line ]]; do
        if [[ -n $open ]]; then
            _q_plain_words "$line" array || return 1
            values+=("${Q_WORDS[@]}")
            ((Q_CLOSED)) || continue
            Q_CONF_RECORDS+=(A "$open" "${#values[@]}" "${values[@]}")
            open=""
            continue
        fi
        [[ $line =~ $blank ]] && continue
        [[ $line =~ $assign ]] || return 1
        key=${BASH_REMATCH[1]} rest=${BASH_REMATCH[2]}
        [[ " ${Q_SCALAR_KEYS[*]} ${Q_ARRAY_KEYS[*]} " == *" $key "* ]] || return 1
        if [[ $rest == '('* ]]; then
            _q_plain_words "${rest:1}" array || return 1
            values=("${Q_WORDS[@]}")
            if ((Q_CLOSED)); then
                Q_CONF_RECORDS+=(A "$key" "${#values[@]}" "${values[@]}")
            else
                open=$key
            fi
        else
            # A space before the value would make it a command; a "#" right
            # after "=" is part of the value.
            [[ $rest != [[:blank:]]* ]] || [[ $rest =~ $blank ]] || return 1
            [[ $rest != '#'* ]] || return 1
            _q_plain_words "$rest" scalar || return 1
            ((${#Q_WORDS[@]} <= 1)) || return 1
            Q_CONF_RECORDS+=(S "$key" "${Q_WORDS[0]-}")
        fi
    done <"$conf"
    [[ -z $open ]]
}

# _q_plain_words TEXT MODE -> Q_WORDS and Q_CLOSED (an array's ")" was met).
# Words are double-quoted (only $HOME and $USER expand), single-quoted, or
# bare characters that bash takes literally; a "#" starting a word begins a
# comment. Fails on anything else.
_q_plain_words() {
    local text=$1 mode=$2 word length
    local dq='^"([^"\\`]*)"' sq="^'([^']*)'" bare='^[A-Za-z0-9_./:@%+,=-]+'
    Q_WORDS=() Q_CLOSED=0
    while :; do
        text=${text#"${text%%[![:blank:]]*}"}
        [[ -z $text || $text == '#'* ]] && return 0
        if [[ $text == ')'* && $mode == array ]]; then
            Q_CLOSED=1
            text=${text:1}
            [[ -z $text ]] && return 0
            [[ $text == [[:blank:]]* ]] || return 1
            text=${text#"${text%%[![:blank:]]*}"}
            [[ -z $text || $text == '#'* ]]
            return
        fi
        if [[ $text =~ $dq ]]; then
            length=${#BASH_REMATCH[0]}
            _q_expand_home_user "${BASH_REMATCH[1]}" || return 1
            word=$REPLY
        elif [[ $text =~ $sq ]]; then
            length=${#BASH_REMATCH[0]} word=${BASH_REMATCH[1]}
        elif [[ $text =~ $bare ]]; then
            length=${#BASH_REMATCH[0]} word=${BASH_REMATCH[0]}
        else
            return 1
        fi
        text=${text:length}
        [[ -z $text || $text == [[:blank:]]* || ($mode == array && $text == ')'*) ]] || return 1
        Q_WORDS+=("$word")
    done
}

# Expands $HOME, ${HOME}, $USER and ${USER} in TEXT into REPLY; fails on any
# other "$".
_q_expand_home_user() {
    local text=$1 out="" name
    while [[ $text == *'$'* ]]; do
        out+=${text%%\$*}
        text=${text#*\$}
        if [[ $text =~ ^\{(HOME|USER)\} ]]; then
            name=${BASH_REMATCH[1]}
            text=${text:${#BASH_REMATCH[0]}}
        elif [[ $text =~ ^(HOME|USER)([^A-Za-z0-9_]|$) ]]; then
            name=${BASH_REMATCH[1]}
            text=${text:${#name}}
        else
            return 1
        fi
        if [[ $name == HOME ]]; then out+=$HOME; else q_user; out+=$REPLY; fi
    done
    REPLY=$out$text
}

# q_set_conf_key KEY VALUE...: a list key takes all values (a plain string
# becomes one entry); any other key takes the first, as bash would expand it.
# shellcheck disable=SC2034
q_set_conf_key() {
    local k=$1
    shift
    case $k in
        RULES) RULES=("$@") ;;
        APP_CACHE_PATHS) APP_CACHE_PATHS=("$@") ;;
        APP_CACHE_SAFE_DIRS) APP_CACHE_SAFE_DIRS=("$@") ;;
        *) [[ " ${Q_SCALAR_KEYS[*]} " == *" $k "* ]] && printf -v "$k" '%s' "${1-}" ;;
    esac
    return 0
}

# An empty plain string in a list key means no entries.
q_normalise_config() {
    local k
    for k in RULES APP_CACHE_PATHS APP_CACHE_SAFE_DIRS; do
        declare -n arr=$k
        if ((${#arr[@]} == 1)) && [[ -z ${arr[0]} ]]; then arr=(); fi
        unset -n arr
    done
    [[ $NVMe != __NVME_DEFAULT__ ]] || { q_volumes_root; NVMe="$REPLY/NVMe"; }
    q_strip_slashes "$NVMe"
    NVMe=$REPLY
    q_strip_slashes "${APPS_ROOT:-/opt}"
    APPS_ROOT=$REPLY
    to_flag "$ENABLE_AUTO_ACTIONS"; ENABLE_AUTO_ACTIONS=$REPLY
    to_int "$WATCH_INTERVAL_SECS" 30 1 86400; WATCH_INTERVAL_SECS=$REPLY
    to_int "$LOW_SPACE_WARN_GB" 40 0; LOW_SPACE_WARN_GB=$REPLY
    to_int "$LOW_SPACE_CRITICAL_GB" 15 0; LOW_SPACE_CRITICAL_GB=$REPLY
    to_flag "$AUTO_RELOCATE_DAILY"; AUTO_RELOCATE_DAILY=$REPLY
    to_int "$AUTO_RELOCATE_HOUR" 3 0 23; AUTO_RELOCATE_HOUR=$REPLY
    to_int "$IDLE_THRESHOLD_SECS" 600 0; IDLE_THRESHOLD_SECS=$REPLY
    to_int "$SMART_IDLE_MINUTES" 5 0; SMART_IDLE_MINUTES=$REPLY
    to_int "$SMART_MIN_BATTERY" 30 0 100; SMART_MIN_BATTERY=$REPLY
    to_flag "$SMART_RESPECT_MEETINGS"; SMART_RESPECT_MEETINGS=$REPLY
    to_flag "$NOTIFY_ON_OK_RUN"; NOTIFY_ON_OK_RUN=$REPLY
    to_flag "$DISABLE_DELETE"; DISABLE_DELETE=$REPLY
    to_age_days "$MIN_ARCHIVE_DAYS" 0 0; MIN_ARCHIVE_DAYS=$REPLY
    to_age_days "$MIN_DELETE_DAYS" 0 0; MIN_DELETE_DAYS=$REPLY
    to_age_days "$MIN_AGE_HARD_FLOOR_DAYS" 7 1; MIN_AGE_HARD_FLOOR_DAYS=$REPLY
    to_flag "$INCLUDE_CLOUD_EVICT"; INCLUDE_CLOUD_EVICT=$REPLY
    to_flag "$NVME_REQUIRE_MOUNTPOINT"; NVME_REQUIRE_MOUNTPOINT=$REPLY
    case $QUIET_MODE in
        schedule | smart | always-on) ;;
        *) QUIET_MODE=schedule ;;
    esac
}
