#!/usr/bin/env bats
# Notifications queued for the application: the notify sub-command, its lock,
# and text that is not UTF-8.

load helpers

setup() { setup_service; }

QUEUE_LINE_TYPES='(.title | type == "string") and (.body | type == "string") and (.sound | type == "string")'

@test "notify queues one JSON line per call, any text kept as typed" {
    local body='<b>report.pdf</b> & "quotes" \ back $(id) `id`'$'\n''second line'
    expect_run 0 "queued" quindle notify "Rule finished" "$body" dialog-information
    expect_run 0 "queued" quindle notify "Silent" "No sound."
    jq -e -s --arg b "$body" 'length == 2 and all('"$QUEUE_LINE_TYPES"')
        and .[0] == {title: "Rule finished", body: $b, sound: "dialog-information"}
        and .[1].sound == ""' "$STATE/notifications.queue"

    expect_run 2 "notify takes a title, a body" quindle notify "A title alone"
    expect_run 2 "notify takes a title, a body" quindle notify a b c d
    expect_run 2 "not empty" quindle notify "" "A body without a title."
    [ "$(wc -l <"$STATE/notifications.queue")" -eq 2 ]
}

@test "bytes that are not UTF-8 become U+FFFD, as jq writes them" {
    local raw line want
    for raw in 'a\xffb' '\xe2\x82' '\xe2\x82a' '\xc3\x28' '\xed\xa0\x80' '\xc0\xaf' '\xf4\x90\x80\x80' \
        '\xe0\x80\xe2\x82\xac' 'caf\xc3\xa9 \xe2\x80\x94 ok'; do
        printf -v raw "$raw"
        rm -f "$STATE/notifications.queue"
        quindle notify "$raw" "in $raw" >/dev/null
        line=$(<"$STATE/notifications.queue")
        want=$(printf '%s' "$raw" | jq -R .)
        jq -e --argjson t "$want" '.title == $t and .body == "in " + $t' <<<"$line" >/dev/null || {
            printf 'for %q: %s, jq says %s\n' "$raw" "$line" "$want" >&2
            return 1
        }
        # jq repairs what it reads, so the bytes themselves are checked too.
        iconv -f UTF-8 -t UTF-8 <<<"$line" >/dev/null
    done
}

@test "notify waits while the application moves the queue, then appends" {
    local lock="$STATE/notifications.lock" held="$BATS_TEST_TMPDIR/held"
    bash -c 'exec 9>>"$0" && flock 9 && touch "$1" && exec sleep 60' "$lock" "$held" &
    local holder=$!
    wait_for 10 test -e "$held"
    quindle notify "Waited" "Appended after the lock." >/dev/null &
    local notify=$!
    # It has come to the lock; nothing is written while the lock is held.
    wait_for 10 pgrep -f "flock -w 10" >/dev/null
    [ ! -s "$STATE/notifications.queue" ]
    kill "$holder"
    wait "$notify"
    jq -e '.title == "Waited"' "$STATE/notifications.queue"
}
