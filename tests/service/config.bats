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
