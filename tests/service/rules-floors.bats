#!/usr/bin/env bats
# How old an entry must be: the newest modification or change time of all it
# holds, against the rule's age raised by the floors.

load helpers

setup() {
    setup_service
    prep >/dev/null
}

# listed COMMAND...: the entries a dry run would act on, by name.
listed() {
    "$@" dry-run | sed -n 's/^Would [a-z]* \(.*\) \(→ .*\|to the trash\) (.*)$/\1/p' | sed 's|.*/||' | sort | paste -sd' '
}

@test "an entry is as young as the newest time inside it, change times included" {
    old 30 "$HOME/Docs/proj/a/old.txt" "$HOME/Docs/proj/b/deep/recent.txt" "$HOME/Docs/quiet/x"
    old 3 "$HOME/Docs/proj/b/deep/recent.txt"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 20"
    [ "$(listed qlater)" = "quiet" ]
    qlater relocate-now
    [[ -L "$HOME/Docs/quiet" && -d "$HOME/Docs/proj" && ! -L "$HOME/Docs/proj" ]]

    # Ten days on, a file touched back to 30 days ago has a change time 10
    # days old: the rule's 20 days are not reached, 8 are.
    LATER=10 old 30 "$HOME/Notes/n/x"
    LATER=10
    rules "archive_old | $HOME/Notes | $DRIVE/N | 20"
    [ "$(listed qlater)" = "" ]
    rules "archive_old | $HOME/Notes | $DRIVE/N | 8"
    [ "$(listed qlater)" = "n" ]
    qlater relocate-now
    [[ -L "$HOME/Notes/n" ]]
}

@test "the archive, delete and hard floors raise a rule's age; a floor that is no number is 7 days" {
    local row key value want
    old 5 "$HOME/Docs/d5" "$HOME/Tmp/t5"
    old 9 "$HOME/Docs/d9" "$HOME/Tmp/t9"
    old 35 "$HOME/Docs/d35" "$HOME/Tmp/t35"
    rules "archive_old | $HOME/Docs | $DRIVE/A | 1" "delete_old | $HOME/Tmp | | 2"
    for row in 'MIN_AGE_HARD_FLOOR_DAYS 7|d35 d9 t35 t9' 'MIN_AGE_HARD_FLOOR_DAYS abc|d35 d9 t35 t9' \
        'MIN_AGE_HARD_FLOOR_DAYS 0|d35 d9 t35 t9' 'MIN_AGE_HARD_FLOOR_DAYS 3|d35 d5 d9 t35 t5 t9' \
        'MIN_ARCHIVE_DAYS 30|d35 t35 t9' 'MIN_DELETE_DAYS 30|d35 d9 t35' 'DISABLE_DELETE 1|d35 d9'; do
        read -r key value <<<"${row%|*}"
        want=${row#*|}
        install_config "$DRIVE"
        rules "archive_old | $HOME/Docs | $DRIVE/A | 1" "delete_old | $HOME/Tmp | | 2"
        conf_add "$key=$value"
        [ "$(listed qlater)" = "$want" ] || { echo "$key=$value: $(listed qlater)" >&2; return 1; }
    done
    expect_run 0 "deleting is turned off (DISABLE_DELETE=1)" qlater relocate-now
    [[ -L "$HOME/Docs/d9" && -f "$HOME/Docs/d5" && -f "$HOME/Tmp/t35" ]]
}

@test "archive_big takes each old file above its size; a size that is no size skips the rule" {
    old 30 "$HOME/Media/a/six.bin" "$HOME/Media/four.bin" "$HOME/Media/two.bin"
    truncate -s 6M "$HOME/Media/a/six.bin"
    truncate -s 4M "$HOME/Media/four.bin"
    truncate -s 2100K "$HOME/Media/two.bin"
    later "$LATER" touch -d '-30 days' "$HOME/Media/a/six.bin" "$HOME/Media/four.bin" "$HOME/Media/two.bin"
    local extras want
    for extras in '5M|six.bin' '5 mb|six.bin' '3|four.bin six.bin' '|' '2000k|four.bin six.bin two.bin' '0.5G|' 'lots|'; do
        want=${extras#*|}
        install_config "$DRIVE"
        rules "archive_big | $HOME/Media | $DRIVE/Big | 7 | ${extras%|*}"
        [ "$(listed qlater)" = "$want" ] || { echo "extras ${extras%|*}: $(listed qlater)" >&2; return 1; }
    done
    expect_run 1 "rule 1: \"lots\" is not a size" qlater relocate-now
    grep -q 'rule 1: "lots" is not a size' "$QDIR/quindle.log"
    [ ! -e "$DRIVE/Big" ]

    install_config "$DRIVE"
    rules "archive_big | $HOME/Media | $DRIVE/Big | 7 | 3M"
    qlater relocate-now
    [[ -L "$HOME/Media/a/six.bin" && -L "$HOME/Media/four.bin" && -f "$HOME/Media/two.bin" && -f "$DRIVE/Big/a/six.bin" ]]
}
