#!/usr/bin/env bats
# The configuration template the application writes on first installation.

load helpers

# `declare -p` of every key the template sets (the drive's line aside): once as the
# template sets them, once as the service assumes them when the file lacks them.
template_keys() { grep -oE '^[A-Z_]+=' "$SERVICE_SRC/quindle.conf" | tr -d = | grep -vx NVMe; }
declared() { for k in "$@"; do declare -p "$k"; done; }

@test "the template sets every key to the value the service assumes without it" {
    mapfile -t keys < <(template_keys)
    [ "${#keys[@]}" -ge 10 ]
    run bash -c 'source "$1"; shift; '"$(declare -f declared)"'; declared "$@"' \
        _ "$SERVICE_SRC/quindle.conf" "${keys[@]}"
    [ "$status" -eq 0 ]
    from_template=$output
    run bash -c 'cd "$1" && source lib-common.sh && source lib-config.sh && q_config_defaults; shift; '"$(declare -f declared)"'; declared "$@"' \
        _ "$SERVICE_SRC" "${keys[@]}"
    [ "$status" -eq 0 ]
    [ "$output" = "$from_template" ]
}

# Both readers of the file, each leaving `declare -p` of every key; the plain
# one prints "declined" when it leaves the file to the guarded one.
read_both() {
    bash -c 'cd "$1" && source lib-common.sh && source lib-config.sh
        keys=("${Q_SCALAR_KEYS[@]}" "${Q_ARRAY_KEYS[@]}")
        dump() { _q_apply_conf_records; for k in "${keys[@]}"; do declare -p "$k"; done; }
        q_config_defaults
        if _q_read_plain_config "$2"; then dump; else echo declined; fi
        echo ---
        q_config_defaults
        _q_read_config_guarded "$2"; echo "rc=$?"; dump' _ "$SERVICE_SRC" "$1"
}

@test "plain assignments are read without a child exactly as bash sources them" {
    local conf=$BATS_TEST_TMPDIR/q.conf plain guarded
    local accepted=(
        "$(cat "$SERVICE_SRC/quindle.conf")"
        $'# c\nNVMe="/media/$USER/NVMe"  # drive\n\tLOW_SPACE_WARN_GB=08\nQUIET_MODE=\'sm$art\'\nQUIET_HOURS_BLOCKED= # empty'
        $'RULES=(\n  "archive_old | $HOME/Down loads | ${HOME}/x | 30" # one\n  \'delete | $HOME\' bare-word.x:y\n)\nAPP_CACHE_PATHS=( "a b" c ) # c'
        $'RULES=()\nRULES="one"\nNVMe=(a b)\nAPP_CACHE_PATHS=(#c\n"x")\nMIN_DELETE_DAYS=1\nMIN_DELETE_DAYS=2'
        $'QUIET_HOURS_BLOCKED="9-12 # not a comment"\nNVMe="${USER}@$HOME/"'
    )
    local declined=(
        'NVMe=$HOME/x' 'NVMe="$HOMEX"' 'NVMe="`id`"' 'NVMe="a\"b"' 'NVMe=~/x' 'NVMe=a b'
        'NVMe= x' 'NVMe="a"b' 'NVMe=#x' 'HOME=/x' 'OTHER=1' 'export NVMe=1' 'NVMe+=x'
        $'NVMe="a\nb"' $'RULES=(\n"a"' 'RULES=(a) b' 'RULES=("a"b)' $'NVMe=a\r' 'NVMe=a;b'
        'NVMe="${HOME:-x}"' 'RULES=(a)#c' 'exit 3' 'if then fi'
    )
    for text in "${accepted[@]}"; do
        printf '%s\n' "$text" >"$conf"
        run read_both "$conf"
        plain=${output%%$'\n'---*}
        guarded=${output#*---$'\n'}
        [[ $plain != declined ]] || { echo "declined: $text"; return 1; }
        [[ $guarded == "rc=0"$'\n'"$plain" ]] || { echo "differs for: $text"; diff <(echo "$plain") <(echo "$guarded"); return 1; }
    done
    for text in "${declined[@]}"; do
        printf '%s\n' "$text" >"$conf"
        run read_both "$conf"
        [[ ${output%%$'\n'*} == declined ]] || { echo "read: $text"; return 1; }
    done
}

@test "flags read as the application reads them; giant ages, floors and sizes cannot overflow" {
    run bash -c 'cd "$1" && source lib-common.sh && source lib-config.sh && source lib-pass.sh && source lib-rules.sh
        q_config_defaults
        DISABLE_DELETE=true SMART_RESPECT_MEETINGS=yes ENABLE_AUTO_ACTIONS=" TRUE "
        NOTIFY_ON_OK_RUN=1 INCLUDE_CLOUD_EVICT=2 AUTO_RELOCATE_DAILY=""
        MIN_ARCHIVE_DAYS=999999999999999999 MIN_AGE_HARD_FLOOR_DAYS=-3
        q_normalise_config
        echo "$DISABLE_DELETE $SMART_RESPECT_MEETINGS $ENABLE_AUTO_ACTIONS $NOTIFY_ON_OK_RUN $INCLUDE_CLOUD_EVICT $AUTO_RELOCATE_DAILY"
        echo "$MIN_ARCHIVE_DAYS $MIN_AGE_HARD_FLOOR_DAYS"
        q_rule_parse "archive_old|\$HOME/a|\$HOME/b|123456789012345678"; echo "$Q_R_AGE"
        q_parse_size 999999999999T || echo "no size"
        q_parse_size 9000000T && echo "$REPLY"' _ "$SERVICE_SRC"
    [ "$status" -eq 0 ]
    [ "$output" = $'1 0 1 1 0 0\n36500 7\n36500\nno size\n9000000000000000000' ]
}
