#!/usr/bin/env bats
# Deleting goes to the trash, never past it; caches lose only their old
# entries, in the subfolders named safe.

load helpers

setup() {
    setup_service
    prep >/dev/null
    TRASH="$HOME/.local/share/Trash"
}

# A PATH with every program but gio.
without_gio() {
    local dir="$BATS_TEST_TMPDIR/no-gio"
    mkdir -p "$dir"
    cp -rs /usr/bin/. "$dir/"
    rm -f "$dir/gio"
    PATH="$FAKEBIN:$dir" "$@"
}

@test "delete_old moves old entries to the real trash, links as they are found, and never removes without gio" {
    old 30 "$HOME/Tmp/a folder/inner" "$HOME/Tmp/it's.txt" "$HOME/Keep/target"
    old 2 "$HOME/Tmp/young"
    ln -s "$HOME/Keep/target" "$HOME/Tmp/a link"
    rules "delete_old | $HOME/Tmp | | 7"
    expect_run 1 "rule 1: moving to the trash needs gio" without_gio qlater relocate-now
    [[ -d "$HOME/Tmp/a folder" && -f "$HOME/Tmp/it's.txt" && ! -e "$TRASH" ]]

    expect_run 0 "Moved $HOME/Tmp/a folder to the trash" qlater relocate-now
    [[ $output == *"Skipped $HOME/Tmp/a link: it is a symbolic link."* ]]
    [[ -f "$TRASH/files/a folder/inner" && -f "$TRASH/files/it's.txt" && -f "$TRASH/info/it's.txt.trashinfo" ]]
    [[ -L "$HOME/Tmp/a link" && -f "$HOME/Tmp/young" && -f "$HOME/Keep/target" ]]
    [ "$(logcol 3 | sort | uniq -c | awk '{print $2 "=" $1}' | paste -sd' ')" = "start=2 trashed=2" ]
}

@test "a trash that refuses leaves the entry and says why" {
    old 30 "$HOME/Tmp/stuck"
    fake_bin gio 'echo "gio: file://$3: Trashing on system internal mounts is not supported" >&2; exit 1'
    rules "delete_old | $HOME/Tmp | | 7"
    expect_run 1 "Could not move $HOME/Tmp/stuck to the trash: file://$HOME/Tmp/stuck: Trashing on system internal mounts is not supported" \
        qlater relocate-now
    [[ -f "$HOME/Tmp/stuck" && "$(logcol 3 | paste -sd' ')" == "start failed" ]]
}

@test "app_cache_clean removes old entries of the safe subfolders, or of the cache itself, and spares a cache in use" {
    local c="$HOME/.cache/app" pid
    old 30 "$c/Cache/old/x" "$c/Cache/old2" "$c/Data/keep" "$HOME/.cache/plain/stale" "$HOME/.cache/busy/Cache/old"
    old 1 "$c/Cache/fresh"
    rules "app_cache_clean | | | 0"
    conf_add 'APP_CACHE_SAFE_DIRS=(Cache "../Data" Missing)' \
        'APP_CACHE_PATHS=("$HOME/.cache/app" "$HOME/.cache/busy" "$HOME/.cache/../Documents" "$HOME/.cache/sneaky" "/tmp")'
    ln -s "$HOME/Documents" "$HOME/.cache/sneaky"
    mkdir -p "$HOME/Documents"
    pid=$(cd "$HOME/.cache/busy" && { sleep 600 >/dev/null 2>&1 3>&- & echo $!; })
    wait_for 5 grep -qx sleep "/proc/$pid/comm"
    expect_run 1 "" qlater relocate-now
    kill "$pid"
    [[ ! -e "$c/Cache/old" && ! -e "$c/Cache/old2" && -f "$c/Cache/fresh" && -f "$c/Data/keep" ]]
    [[ -f "$HOME/.cache/busy/Cache/old" && -d "$HOME/Documents" ]]
    [[ $output == *"Skipped the cache $HOME/.cache/busy: sleep (process $pid) has a file open in it."* ]]
    [[ $output == *'rule 1: "../Data" in APP_CACHE_SAFE_DIRS is not the name of a subfolder.'* ]]
    [[ $output == *"rule 1: the cache folder \"$HOME/.cache/../Documents\" is not written as a folder inside your home folder."* ]]
    [[ $output == *"rule 1: the cache folder $HOME/.cache/sneaky leads elsewhere through a link."* ]]
    [[ $output == *'rule 1: the cache folder "/tmp" is not written'* ]]

    # Without safe subfolders the cache's own entries are what goes.
    install_config "$DRIVE"
    rules "app_cache_clean | | | 0"
    conf_add 'APP_CACHE_PATHS=("$HOME/.cache/plain")'
    expect_run 0 "Cleaned $HOME/.cache/plain/stale" qlater relocate-now
    [[ -d "$HOME/.cache/plain" && ! -e "$HOME/.cache/plain/stale" ]]
}
