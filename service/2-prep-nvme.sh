#!/usr/bin/env bash
# Prepares a drive as the NVMe: creates this computer's working folder on it
# and writes the marker that identifies the drive.
#   NVMe=/path/to/mount 2-prep-nvme.sh --auto
# Without --auto it asks for confirmation on a terminal.
set -euo pipefail

_Q_SELF_DIR=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib-common.sh
source "$_Q_SELF_DIR/lib-common.sh"

fail() {
    echo "2-prep-nvme.sh: $1" >&2
    exit "${2:-1}"
}

auto=0
case ${1:-} in
    --auto) auto=1 ;;
    "") ;;
    *) fail "unknown option \"$1\"; the only option is --auto." 2 ;;
esac

root=${NVMe:-}
[[ -n $root ]] || fail "The NVMe path is not set; run it as NVMe=<mount path> 2-prep-nvme.sh --auto." 2
q_strip_slashes "$root"
root=$REPLY
[[ -d $root ]] || fail "The NVMe path $root is not a folder; mount the drive and try again."

q_working_folder "$root"
work=$REPLY
marker="$work/.tarnel-managed"

if ((!auto)); then
    [[ -t 0 ]] || fail "Refusing to prepare $root without --auto when no one can confirm."
    read -r -p "Prepare $root as the NVMe (creates $work)? [y/N] " answer
    [[ $answer == [yY]* ]] || fail "Nothing was changed."
fi

mkdir -p -- "$work" || fail "Could not create $work."
[[ -w $work ]] || fail "The folder $work is not writable."

q_fs_uuid "$root"
fs_uuid=$REPLY
uuid="" initialized=""
if [[ -f $marker ]]; then
    q_marker_value "$marker" volume_uuid && uuid=$REPLY
    q_marker_value "$marker" initialized && initialized=$REPLY
fi
# A marker copied from another filesystem must not keep that drive's identity;
# without a filesystem UUID the marker's own UUID is the identity and stays.
if [[ -n $uuid && -n $fs_uuid ]] && ! q_uuid_equal "$uuid" "$fs_uuid"; then
    echo "The marker named volume $uuid but this filesystem is $fs_uuid; it now names $fs_uuid."
    uuid="" initialized=""
fi
if [[ -z $uuid ]]; then
    uuid=$fs_uuid
    [[ -n $uuid ]] || { q_new_uuid; uuid=$REPLY; }
fi
[[ -n $initialized ]] || { q_now_utc; initialized=$REPLY; }
q_display_name
host=${REPLY//$'\n'/ }

q_write_atomic "$marker" "volume_uuid=$uuid"$'\n'"initialized=$initialized"$'\n'"host=$host"$'\n' ||
    fail "Could not write the marker $marker."

q_log "Prepared $root as the NVMe (volume $uuid)."
echo "Prepared $work as the NVMe's working folder (volume $uuid)."
