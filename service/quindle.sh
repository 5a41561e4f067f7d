#!/usr/bin/env bash
# Quindle background service. `quindle.sh watch` runs under the per-user
# service manager; the application runs the other sub-commands and reads the
# files written under ~/.quindle/state.
set -euo pipefail

_Q_SELF_DIR=${BASH_SOURCE[0]%/*}
[[ $_Q_SELF_DIR != "${BASH_SOURCE[0]}" ]] || _Q_SELF_DIR=.
[[ $_Q_SELF_DIR == /* ]] || _Q_SELF_DIR=$PWD/$_Q_SELF_DIR
# shellcheck source=lib-common.sh
source "$_Q_SELF_DIR/lib-common.sh"

# The service's functions, by concern; everything below only dispatches.
# shellcheck source=lib-config.sh
source "$_Q_SELF_DIR/lib-config.sh"
# shellcheck source=lib-probes.sh
source "$_Q_SELF_DIR/lib-probes.sh"
# shellcheck source=lib-watch.sh
source "$_Q_SELF_DIR/lib-watch.sh"
# shellcheck source=lib-drive.sh
source "$_Q_SELF_DIR/lib-drive.sh"
# shellcheck source=lib-selection.sh
source "$_Q_SELF_DIR/lib-selection.sh"
# shellcheck source=lib-pass.sh
source "$_Q_SELF_DIR/lib-pass.sh"
# shellcheck source=lib-recover.sh
source "$_Q_SELF_DIR/lib-recover.sh"
# shellcheck source=lib-runs.sh
source "$_Q_SELF_DIR/lib-runs.sh"
# shellcheck source=lib-rules.sh
source "$_Q_SELF_DIR/lib-rules.sh"
# shellcheck source=lib-rollback.sh
source "$_Q_SELF_DIR/lib-rollback.sh"
# shellcheck source=lib-actionable.sh
source "$_Q_SELF_DIR/lib-actionable.sh"
# shellcheck source=lib-scan.sh
source "$_Q_SELF_DIR/lib-scan.sh"
# shellcheck source=lib-move-dir.sh
source "$_Q_SELF_DIR/lib-move-dir.sh"
# shellcheck source=lib-cloud.sh
source "$_Q_SELF_DIR/lib-cloud.sh"
# shellcheck source=lib-free-space.sh
source "$_Q_SELF_DIR/lib-free-space.sh"
# shellcheck source=lib-backup.sh
source "$_Q_SELF_DIR/lib-backup.sh"

Q_VERSION=1

# A sub-command "foo-bar" is the function cmd_foo_bar.

Q_COMMANDS=(watch pause resume nvme-info validate list-drives assess benchmark select-drive
    relocate-now dry-run rollback remount eject-nvme show-in-finder notify scan-storage move-dir
    list-cloud-roots cloud-usage optimize-icloud free-space backup-self)

q_usage() {
    local IFS='|'
    echo "Usage: quindle.sh {${Q_COMMANDS[*]}} [argument]" >&2
}

q_usage_error() {
    echo "quindle.sh: $1" >&2
    q_usage
    exit 2
}

q_main() {
    local cmd=${1:-} known=" ${Q_COMMANDS[*]} "
    [[ -n $cmd ]] || q_usage_error "a sub-command is required."
    shift
    [[ $known == *" $cmd "* ]] || q_usage_error "unknown sub-command \"$cmd\"."
    "cmd_${cmd//-/_}" "$@"
}

q_main "$@"
