#!/usr/bin/env bash
# A cadaver session against a fresh tandry, open and then with a Digest user
# (given to cadaver through a .netrc): put, get, mkcol, copy, move, lock,
# unlock, delete and rmcol, each of which must succeed, with the files read
# back identical and nothing left behind in the store. cadaver ends with 0
# whatever its commands did, so its transcript is what is judged.
#
#   tests/cadaver/run.sh TANDRY SCRATCH
set -uo pipefail

tandry=${1:?usage: run.sh TANDRY SCRATCH}
scratch=${2:?usage: run.sh TANDRY SCRATCH}

command -v cadaver >/dev/null || { echo "cadaver is not installed (scripts/install-deps)"; exit 1; }
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

server_pid=
stop_server() {
    [[ -n $server_pid ]] && kill -KILL "$server_pid" 2>/dev/null
    server_pid=
}
trap stop_server EXIT

# The commands, one a line, and how many of them must report "succeeded".
# The server wants an owner in every lock, which cadaver sends only when told.
commands='set lockowner cadaver-round-trip
put local.txt a.txt
get a.txt back.txt
mkcol sub
copy a.txt sub/b.txt
move sub/b.txt sub/c.txt
get sub/c.txt moved.txt
lock a.txt
unlock a.txt
delete a.txt
delete sub/c.txt
rmcol sub
quit'
expected=11

# run NAME [tandry arguments...] -- [user password]
run() {
    local name=$1
    shift
    local args=()
    while [[ $# -gt 0 && $1 != -- ]]; do args+=("$1"); shift; done
    [[ $# -gt 0 ]] && shift

    local dir="$scratch/$name"
    mkdir -p "$dir/work"
    "$tandry" --home "$dir/home" -VKPortNumber 0 "${args[@]}" >"$dir/server.out" 2>"$dir/server.log" &
    server_pid=$!

    local url= tries=0
    while [[ -z $url ]]; do
        url=$(grep -m1 -o 'http://[^ ]*/' "$dir/server.out" 2>/dev/null || true)
        if [[ -z $url ]]; then
            if ! kill -0 "$server_pid" 2>/dev/null || (( ++tries > 300 )); then
                echo "[$name] the server did not start:"
                tail -n 30 "$dir/server.log"
                return 1
            fi
            sleep 0.1
        fi
    done
    local port=${url##*:}
    port=${port%%/*}

    # Bytes that a text transfer would mangle: NUL, CR LF, high bytes.
    printf 'round trip\r\n\0\377\376 %s\n' "$name" >"$dir/work/local.txt"
    # cadaver logs in from the .netrc in $HOME; an open server never asks.
    if [[ $# -eq 2 ]]; then
        printf 'machine 127.0.0.1\nlogin %s\npassword %s\n' "$1" "$2" >"$dir/work/.netrc"
        chmod 600 "$dir/work/.netrc"
    fi
    (cd "$dir/work" && HOME="$dir/work" timeout 60 cadaver "http://127.0.0.1:$port/Documents/" <<<"$commands") \
        >"$dir/cadaver.out" 2>&1
    local cadaver_status=$?

    # Bounded: a server that does not end (a hang at exit) fails the run
    # rather than the test's time limit.
    kill -TERM "$server_pid"
    local waited=0
    while kill -0 "$server_pid" 2>/dev/null && (( waited++ < 300 )); do sleep 0.1; done
    kill -0 "$server_pid" 2>/dev/null && { echo "[$name] the server did not exit within 30 s of SIGTERM"; kill -KILL "$server_pid"; }
    wait "$server_pid"
    local server_status=$?
    server_pid=

    local ok=1 succeeded
    succeeded=$(grep -c 'succeeded' "$dir/cadaver.out")
    if (( cadaver_status != 0 || succeeded != expected )) || grep -q 'failed' "$dir/cadaver.out"; then
        ok=0
        echo "[$name] cadaver: $succeeded of $expected commands succeeded (exit $cadaver_status):"
        cat "$dir/cadaver.out"
    fi
    for copy in back.txt moved.txt; do
        if ! cmp -s "$dir/work/local.txt" "$dir/work/$copy"; then
            ok=0
            echo "[$name] $copy differs from what was put"
        fi
    done
    local left
    left=$(ls -A "$dir/home/Library/Documents")
    if [[ -n $left ]]; then
        ok=0
        echo "[$name] left in the store: $left"
    fi
    if (( server_status != 0 )); then
        ok=0
        echo "[$name] the server ended with status $server_status on SIGTERM"
    fi
    if grep -qE 'ERROR: (Address|Leak|Thread)Sanitizer|runtime error:|SUMMARY: (Address|Undefined)' "$dir/server.log"; then
        ok=0
        echo "[$name] sanitizer report in the server log:"
        grep -E -A 30 'ERROR: |runtime error:' "$dir/server.log" | head -n 80
    fi
    (( ok )) && echo "[$name] $succeeded commands succeeded"
    (( ok ))
}

status=0
run open || status=1

password_file="$scratch/password"
printf 'cadaver-secret\n' >"$password_file"
chmod 600 "$password_file"
run digest -VKLoginUsername cadaver --password-file "$password_file" -- cadaver cadaver-secret || status=1

exit $status
