#!/usr/bin/env bash
# Runs the litmus WebDAV suites against a fresh tandry, first open, then with
# a Digest user and password. Each run must pass every test with no failure,
# skip or warning; the server must end cleanly on SIGTERM and its log must
# hold no sanitizer report.
#
#   tests/litmus/run.sh TANDRY SCRATCH
#
# SCRATCH (under the build tree) holds the homes, the server logs and
# litmus's debug.log; it must sit on a file system with user xattrs, which
# dead properties live in.
set -uo pipefail

tandry=${1:?usage: run.sh TANDRY SCRATCH}
scratch=${2:?usage: run.sh TANDRY SCRATCH}
expected=${LITMUS_EXPECTED_PASSES:-104}
suites=${LITMUS_SUITES:-basic copymove props locks http}

command -v litmus >/dev/null || { echo "litmus is not installed (scripts/install-deps)"; exit 1; }
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

probe="$scratch/xattr-probe"
: >"$probe"
if ! setfattr -n user.tandry -v 1 "$probe" 2>/dev/null; then
    echo "$scratch does not keep user extended attributes; litmus's property tests need them"
    exit 1
fi
rm -f "$probe"

source "$(dirname "$0")/../Support/tandry-server.sh"

# run NAME [tandry arguments...] -- [litmus credentials...]
run() {
    local name=$1
    shift
    local args=() creds=()
    while [[ $# -gt 0 && $1 != -- ]]; do args+=("$1"); shift; done
    [[ $# -gt 0 ]] && shift
    creds=("$@")

    local dir="$scratch/$name"
    server_start "$name" "$dir" "$tandry" "${args[@]}" || return 1
    local port=$server_port

    (cd "$dir/work" && TESTS="$suites" litmus "http://127.0.0.1:$port/Documents/" "${creds[@]}") >"$dir/litmus.out" 2>&1
    local litmus_status=$?

    local ok=1
    server_stop "$name" || ok=0

    local passed failed skipped warnings
    passed=$(grep -o 'tests run: [0-9]* passed' "$dir/litmus.out" | awk '{s += $3} END {print s + 0}')
    failed=$(grep -o 'passed, [0-9]* failed' "$dir/litmus.out" | awk '{s += $2} END {print s + 0}')
    skipped=$(grep -o '[0-9]* tests\? w[a-z]* skipped' "$dir/litmus.out" | awk '{s += $1} END {print s + 0}')
    warnings=$(grep -o '[0-9]* warnings\? w[a-z]* issued' "$dir/litmus.out" | awk '{s += $1} END {print s + 0}')
    echo "[$name] $passed passed, $failed failed, $skipped skipped, $warnings warnings; server exit $server_status"

    if (( litmus_status != 0 || passed != expected || failed != 0 || skipped != 0 || warnings != 0 )); then
        ok=0
        echo "[$name] litmus did not pass cleanly (exit $litmus_status, $expected passes expected):"
        grep -E 'summary|FAIL|WARNING|SKIPPED|warning|skipped' "$dir/litmus.out"
        echo "[$name] tail of debug.log:"
        tail -n 60 "$dir/work/debug.log" 2>/dev/null
    fi
    server_log_is_clean "$name" "$dir" || ok=0
    if grep -qF litmus-secret "$dir/server.log" "$dir/server.out"; then
        ok=0
        echo "[$name] the password appears in the server's output"
    fi
    (( ok ))
}

status=0
run open || status=1

password_file="$scratch/password"
printf 'litmus-secret\n' >"$password_file"
chmod 600 "$password_file"
run digest -VKLoginUsername litmus --password-file "$password_file" -- litmus litmus-secret || status=1

exit $status
