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

source "$(dirname "$0")/../Support/tandry-server.sh"

# The commands, one a line, and how many of them must report "succeeded".
# cadaver's lock carries no owner unless told; the server takes it as it is.
commands='put local.txt a.txt
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
    server_start "$name" "$dir" "$tandry" "${args[@]}" || return 1
    local port=$server_port

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

    local ok=1
    server_stop "$name" || ok=0

    local succeeded
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
    server_log_is_clean "$name" "$dir" || ok=0
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
