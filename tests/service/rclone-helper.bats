#!/usr/bin/env bats
# The account helper against real rclone: its own configuration file, a local
# SFTP server, and a fake rclone where a narrower rclone is needed.

load helpers

setup() {
    setup_service
    command -v rclone >/dev/null || skip "rclone is not installed"
    unset QUINDLE_RCLONE
    export RCLONE_CONFIG="$BATS_TEST_TMPDIR/rclone.conf"
    : >"$RCLONE_CONFIG"
}

teardown() {
    if [[ -n ${SERVER:-} ]]; then kill "$SERVER" 2>/dev/null || true; fi
}

helper() { bash "$QDIR/rclone-helper.sh" "$@"; }

# A real listremotes line per remote, written as rclone writes its own file.
add_remote() { printf '[%s]\ntype = %s\nremote = /tmp\n\n' "$1" "$2" >>"$RCLONE_CONFIG"; }

# serve_sftp USER PASSWORD: SFTP_PORT of a server for a fresh folder.
serve_sftp() {
    local log="$BATS_TEST_TMPDIR/sftp.log"
    mkdir -p "$BATS_TEST_TMPDIR/served/inside"
    rclone serve sftp "$BATS_TEST_TMPDIR/served" --addr 127.0.0.1:0 --user "$1" --pass "$2" \
        --config /dev/null >"$log" 2>&1 &
    SERVER=$!
    wait_for 20 grep -q 'listening on' "$log"
    SFTP_PORT=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
}

# sftp_remote NAME PORT PASSWORD
sftp_remote() {
    printf '[%s]\ntype = sftp\nhost = 127.0.0.1\nport = %s\nuser = alice\npass = %s\nshell_type = none\n\n' \
        "$1" "$2" "$(rclone obscure "$3")" >>"$RCLONE_CONFIG"
}

@test "remotes-list keeps odd names whole and reports Google Photos however it was made" {
    expect_run 0 "" helper remotes-list
    [[ $(jq -c . <<<"$output") == '[]' ]]

    add_remote "my dav" alias
    add_remote "v1.2 backup" alias
    add_remote "gp one" "google photos"
    add_remote gp2 gphotos
    add_remote gp3 googlephotos
    expect_run 0 "" helper remotes-list
    [[ $(jq -r '.[] | "\(.name)=\(.type)"' <<<"$output" | sort | paste -sd,) == \
        'gp one=googlephotos,gp2=googlephotos,gp3=googlephotos,my dav=alias,v1.2 backup=alias' ]]
}

@test "remote-types offers only the kinds rclone has, Google ones with browser sign-in" {
    expect_run 0 "" helper remote-types
    [[ $(jq -r '.[] | "\(.id):\(.oauth)"' <<<"$output" | paste -sd,) == \
        'drive:true,googlephotos:true,s3:false,sftp:false,ftp:false' ]]

    fake_bin rclone 'printf "All rclone backends:\n\n  alias        Alias\n  drivex       Not it\n  sftp         SSH/SFTP\n"'
    export QUINDLE_RCLONE="$FAKEBIN/rclone"
    expect_run 0 "" helper remote-types
    [[ $(jq -r '.[].id' <<<"$output" | paste -sd,) == sftp ]]
}

@test "without rclone the lists are empty and a test says why" {
    export QUINDLE_RCLONE="$BATS_TEST_TMPDIR/none"
    expect_run 0 "" helper remotes-list
    [[ $output == '[]' ]]
    expect_run 0 "" helper remote-types
    [[ $output == '[]' ]]
    expect_run 0 "" helper remote-test anything
    [[ $(jq -r '"\(.ok) \(.message)"' <<<"$output") == "false rclone is not installed." ]]
}

@test "remote-test passes with the right password and fails at once otherwise" {
    serve_sftp alice 'pa ss"word'
    sftp_remote good "$SFTP_PORT" 'pa ss"word'
    sftp_remote "bad pass" "$SFTP_PORT" wrong
    sftp_remote closed 1 'pa ss"word'

    expect_run 0 "" helper remote-test good
    [[ $(jq -c . <<<"$output") == '{"ok":true,"message":"Connected."}' ]]

    expect_run 0 "" helper remote-test "bad pass"
    jq -e '.ok == false and (.message | test("auth|password|handshake"; "i"))' <<<"$output"
    jq -e '.message | test("^[0-9]{4}/") | not' <<<"$output"

    expect_run 0 "" helper remote-test closed
    jq -e '.ok == false and (.message | test("refused"))' <<<"$output"
    expect_run 0 "" helper remote-test nowhere
    jq -e '.ok == false and (.message | test("didn.t find section"))' <<<"$output"
}

@test "remote-remove deletes only the named remote" {
    add_remote "my dav" alias
    add_remote "my dav2" alias
    expect_run 0 "" helper remote-remove "my dav"
    expect_run 0 "" helper remotes-list
    [[ $(jq -r '.[].name' <<<"$output") == "my dav2" ]]
}

@test "a wrong call prints the usage and exits 2" {
    expect_run 2 "Usage: rclone-helper.sh {remotes-list|remote-types|remote-test|remote-remove}" helper frobnicate
    expect_run 2 "Usage:" helper
    expect_run 2 "Usage:" helper remote-test
    expect_run 2 "Usage:" helper remotes-list extra
}
