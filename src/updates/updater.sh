# shellcheck shell=bash
# The updater: started detached by Quindle just before it quits, it waits for Quindle to exit,
# exchanges the installed folder with the checked new build in one rename, starts the new
# version and removes the old one. At every moment the install folder is a whole old or a whole
# new version. Quindle writes the values below in front of this text, each single-quoted:
#   LOG PARENT ARCHIVE STAGING BUILD INSTALL PREVIOUS PARENT_CHECKS START_WAIT
set -u
exec >>"$LOG" 2>&1
echo "[$(date)] Updater started, parent PID $PARENT"

# A process that has exited but was not yet reaped still answers kill -0.
running() {
    local line
    kill -0 "$1" 2>/dev/null || return 1
    while IFS= read -r line; do
        [[ $line == State:* ]] || continue
        [[ $line != *Z* ]]
        return
    done <"/proc/$1/status"
    return 1
} 2>/dev/null

for ((i = 0; i < PARENT_CHECKS; i++)); do
    running "$PARENT" || break
    sleep 0.2
done
if running "$PARENT"; then
    echo "Quindle (PID $PARENT) is still running; the update was not installed."
    rm -rf -- "$STAGING"
    exit 1
fi
sleep 0.5

# exchange A B: one rename where the filesystem can; else two, undone if the second fails.
exchange() {
    local tool=$1/bin/quindle-swap status=0
    [[ -x $tool ]] || tool=$2/bin/quindle-swap
    "$tool" "$1" "$2" || status=$?
    ((status == 3)) || return "$status"
    echo "Atomic exchange not supported here; if this stops now, the previous version is at $PREVIOUS."
    mv -T -- "$1" "$PREVIOUS" || return 1
    if ! mv -T -- "$2" "$1"; then
        mv -T -- "$PREVIOUS" "$1"
        return 1
    fi
    mv -T -- "$PREVIOUS" "$2"
}

sync -f "$INSTALL" 2>/dev/null || sync
if ! exchange "$INSTALL" "$BUILD"; then
    echo "The new version could not be put in place; the previous version stays at $INSTALL."
    rm -rf -- "$STAGING"
    exit 1
fi
echo "Replaced $INSTALL"

relaunched=", not relaunched"
if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} || -n ${QT_QPA_PLATFORM:-} ]]; then
    setsid "$INSTALL/bin/quindle" </dev/null >/dev/null 2>&1 &
    started=$!
    echo "Relaunched $INSTALL (PID $started)"
    for ((i = 0; i < START_WAIT * 5; i++)); do
        running "$started" || break
        sleep 0.2
    done
    if ! running "$started"; then
        status=0
        wait "$started" || status=$?
        if ((status != 0)); then
            echo "The new version exited with status $status; restoring the previous version."
            exchange "$INSTALL" "$BUILD" || echo "Restoring failed; the new version stays at $INSTALL."
            setsid "$INSTALL/bin/quindle" </dev/null >/dev/null 2>&1 &
            echo "Relaunched $INSTALL (PID $!)"
            rm -rf -- "$STAGING"
            exit 1
        fi
    fi
    relaunched=", relaunched"
else
    echo "No display; Quindle starts at the next login."
fi

rm -rf -- "$STAGING" "$ARCHIVE"
echo "[$(date)] Updater finished$relaunched"
exit 0
