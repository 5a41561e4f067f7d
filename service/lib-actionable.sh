# shellcheck shell=bash
# Which folders of the home folder the storage inspector may offer to move to
# the NVMe, and why the others stay.

# Below this a move frees too little to be worth a link (decimal, allocated).
Q_ACTIONABLE_MIN_BYTES=100000000
Q_KEEP_PLACES=()

# Q_SYNC_DIRS: the folders of sync clients that keep full local copies. A
# client's own configuration names them; without one, its default folder.
q_sync_client_folders() {
    local conf line v found
    Q_SYNC_DIRS=()
    local -A clients=([Nextcloud]=Nextcloud/nextcloud.cfg [ownCloud]=ownCloud/owncloud.cfg)
    for found in "${!clients[@]}"; do
        conf="${XDG_CONFIG_HOME:-$HOME/.config}/${clients[$found]}"
        v=0
        if [[ -r $conf ]]; then
            while IFS= read -r line || [[ -n $line ]]; do
                [[ $line =~ ^[0-9]+\\Folders\\[0-9]+\\localPath=(.+)$ ]] || continue
                q_strip_slashes "${BASH_REMATCH[1]}"
                Q_SYNC_DIRS+=("$REPLY")
                v=1
            done <"$conf"
        fi
        ((v)) || Q_SYNC_DIRS+=("$HOME/$found")
    done
    v=0
    if [[ -r $HOME/.dropbox/info.json ]]; then
        while IFS= read -r line || [[ -n $line ]]; do
            while [[ $line =~ \"path\"[[:space:]]*:[[:space:]]*\"([^\"]+)\"(.*)$ ]]; do
                Q_SYNC_DIRS+=("${BASH_REMATCH[1]}")
                line=${BASH_REMATCH[2]}
                v=1
            done
        done <"$HOME/.dropbox/info.json"
    fi
    ((v)) || Q_SYNC_DIRS+=("$HOME/Dropbox")
    v=0
    conf="${XDG_CONFIG_HOME:-$HOME/.config}/onedrive/config"
    if [[ -r $conf ]]; then
        while IFS= read -r line || [[ -n $line ]]; do
            [[ $line =~ ^[[:space:]]*sync_dir[[:space:]]*=[[:space:]]*\"([^\"]+)\" ]] || continue
            v=${BASH_REMATCH[1]}
            [[ $v == \~/* ]] && v=$HOME/${v#\~/}
            q_strip_slashes "$v"
            Q_SYNC_DIRS+=("$REPLY")
            v=1
        done <"$conf"
    fi
    [[ $v == 1 ]] || Q_SYNC_DIRS+=("$HOME/OneDrive")
}

# q_keep_places HOME: Q_KEEP_PLACES, what a move must neither be, lie in, nor
# contain, each with its name in Q_KEEP_NAMES; and the real paths of the home
# folder and the NVMe in Q_KEEP_HOME and Q_KEEP_NVME. One realpath for all:
# its start-up is most of what the storage scan spends before du.
# shellcheck disable=SC2154 # NVMe and APPS_ROOT are set by q_load_config
q_keep_places() {
    local home=$1 p
    Q_KEEP_PLACES=() Q_KEEP_NAMES=()
    for p in .config .ssh .gnupg .pki .local/share/keyrings; do
        Q_KEEP_PLACES+=("$home/$p") Q_KEEP_NAMES+=("it holds the keys or settings of this computer")
    done
    Q_KEEP_PLACES+=("$home/.quindle") Q_KEEP_NAMES+=("it is Quindle's own folder")
    Q_KEEP_PLACES+=("${XDG_DATA_HOME:-$home/.local/share}/Trash") Q_KEEP_NAMES+=("it is the trash")
    q_sync_client_folders
    for p in "${Q_SYNC_DIRS[@]}"; do
        Q_KEEP_PLACES+=("$p") Q_KEEP_NAMES+=("a sync client keeps it")
    done
    for p in "$home/Applications" "$home/opt" "$home/.local/opt" "$APPS_ROOT"; do
        Q_KEEP_PLACES+=("$p") Q_KEEP_NAMES+=("it holds applications, which move from the Apps window")
    done
    Q_KEEP_PLACES+=("$NVMe") Q_KEEP_NAMES+=("it is the NVMe")
    local real=()
    mapfile -d '' real < <(realpath -zm -- "${Q_KEEP_PLACES[@]}" "$home")
    if ((${#real[@]} != ${#Q_KEEP_PLACES[@]} + 1)); then
        Q_KEEP_PLACES=()
        return 1
    fi
    Q_KEEP_HOME=${real[-1]}
    unset 'real[-1]'
    Q_KEEP_PLACES=("${real[@]}")
    # shellcheck disable=SC2034 # read by the storage scan
    Q_KEEP_NVME=${real[-1]}
}

# q_plain_below HOME PATH: 0 when no part of PATH below HOME (itself a real
# path) is a link, ".", ".." or empty, so PATH is its own real path. Without a
# fork: the storage scan asks this for every row.
q_plain_below() {
    local at=$1 rest=${2#"$1"/} part
    while [[ -n $rest ]]; do
        part=${rest%%/*}
        if [[ $rest == */* ]]; then rest=${rest#*/}; else rest=; fi
        [[ -n $part && $part != . && $part != .. ]] || return 1
        at+=/$part
        [[ ! -L $at ]] || return 1
    done
}

# q_actionable PATH [ALLOCATED_BYTES]: 0 when PATH may be moved; otherwise 1
# with the reason, a sentence, in REPLY. The size is measured when not given.
# Q_KEEP_PLACES is built once per process.
q_actionable() {
    local path=$1 bytes=${2:-} home i keep
    if ((${#Q_KEEP_PLACES[@]} == 0)); then
        q_strip_slashes "$HOME"
        if ! q_keep_places "$REPLY"; then
            REPLY="The home folder's real path is not known, so nothing is moved."
            return 1
        fi
    fi
    home=$Q_KEEP_HOME
    q_strip_slashes "$path"
    path=$REPLY
    if [[ $path != "$home"/* ]]; then
        REPLY="$path is not a folder inside your home folder, so it is not moved."
        return 1
    fi
    if [[ -L $path ]]; then
        REPLY="$path is a symbolic link, so it is not moved."
        return 1
    fi
    if [[ ! -d $path ]]; then
        REPLY="$path is not a folder, so it is not moved."
        return 1
    fi
    if ! q_plain_below "$home" "$path"; then
        REPLY="$path leads elsewhere through a link, so it is not moved."
        return 1
    fi
    q_utf8_repair "$path"
    if [[ $REPLY != "$path" ]]; then
        REPLY="The name of $REPLY is not valid text, so it is not moved."
        return 1
    fi
    for i in "${!Q_KEEP_PLACES[@]}"; do
        keep=${Q_KEEP_PLACES[i]}
        if [[ $path == "$keep" || $path == "$keep"/* || $keep == "$path"/* ]]; then
            REPLY="$path stays where it is: ${Q_KEEP_NAMES[i]}."
            return 1
        fi
    done
    if [[ -z $bytes ]]; then
        bytes=$(du -skx -- "$path" 2>/dev/null) || true
        bytes=${bytes%%[[:space:]]*}
        [[ $bytes =~ ^[0-9]+$ ]] || bytes=0
        bytes=$((bytes * 1024))
    fi
    if ((bytes < Q_ACTIONABLE_MIN_BYTES)); then
        q_human_bytes "$bytes"
        REPLY="$path takes $REPLY, less than 100 MB, so moving it would free too little."
        return 1
    fi
    return 0
}
