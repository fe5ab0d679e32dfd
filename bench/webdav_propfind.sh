#!/usr/bin/env bash
# PROPFIND Depth 1: on folders of 1,000 and 10,000 files with curl (median
# of BENCH_RUNS, 5, warm cache, the servers taking turns), and on a folder of
# 10 files under load (wrk, 8 connections kept alive, with an allprop body
# and with none, the servers taking turns BENCH_ROUNDS times, 3), tandry
# against Apache httpd serving a copy of the same folders on the same CPU.
# Each server's answer is checked first: 207 listing the folder and each of
# its files with its length. Targets: at 10,000 files tandry's speed at least
# 1.5x Apache's, on the small folder at least 1.0x, and 10,000 files within
# 12x the time of 1,000.
#
#   bench/webdav_propfind.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: webdav_propfind.sh BUILD}"
runs=${BENCH_RUNS:-5}
rounds=${BENCH_ROUNDS:-3}

tandry_start
for count in 10 1000 10000; do
    mkdir -p "$TANDRY_DOCS/f$count"
    (cd "$TANDRY_DOCS/f$count" && seq -f "file%05g.txt" 1 "$count" | xargs -n 1000 touch)
    echo "some text" >"$TANDRY_DOCS/f$count/file00001.txt"
done
peers_mirror
apache_start

allprop='<?xml version="1.0" encoding="utf-8"?><D:propfind xmlns:D="DAV:"><D:allprop/></D:propfind>'
for count in 10 1000 10000; do
    folder_entries "$TANDRY_DOCS/f$count" >"$BENCH_SCRATCH/expected"
    for body in "$allprop" ""; do
        check_propfind tandry "$TANDRY_URL/Documents/f$count/" "$body" "$BENCH_SCRATCH/expected"
        check_propfind Apache "$APACHE_URL/f$count/" "$body" "$BENCH_SCRATCH/expected"
    done
done

propfind_seconds() {
    client curl -s -o /dev/null -w '%{time_total}\n' -X PROPFIND -H 'Depth: 1' \
        -H 'Content-Type: text/xml' --data "$allprop" "$1"
}

echo "load average before: $(load_average)"
declare -A tandry_time
printf '%-8s %10s %10s %9s %10s\n' files tandry_s apache_s x_apache bytes
for count in 1000 10000; do
    propfind_seconds "$TANDRY_URL/Documents/f$count/" >/dev/null # warm both
    propfind_seconds "$APACHE_URL/f$count/" >/dev/null
    ts=() as=()
    for (( run = 0; run < runs; run++ )); do
        ts+=("$(propfind_seconds "$TANDRY_URL/Documents/f$count/")")
        as+=("$(propfind_seconds "$APACHE_URL/f$count/")")
    done
    t=$(printf '%s\n' "${ts[@]}" | median)
    a=$(printf '%s\n' "${as[@]}" | median)
    bytes=$(curl -s -X PROPFIND -H 'Depth: 1' -H 'Content-Type: text/xml' --data "$allprop" "$TANDRY_URL/Documents/f$count/" | wc -c)
    tandry_time[$count]=$t
    printf '%-8s %10.4f %10.4f %9s %10d\n' "$count" "$t" "$a" "$(ratio "$a" "$t")" "$bytes"
done
echo "tandry 10,000 / 1,000 files: $(ratio "${tandry_time[10000]}" "${tandry_time[1000]}")x (target <= 12)"
report_at_most "PROPFIND Depth 1, 10,000 / 1,000 files" "$(ratio "${tandry_time[10000]}" "${tandry_time[1000]}")" 12 x
report_at_least "PROPFIND Depth 1 of 10,000 files, speed / Apache" "$(ratio "$a" "${tandry_time[10000]}")" 1.5 x \
    "tandry ${tandry_time[10000]} s, Apache $a s"

# The small folder under load: the servers take turns, the median counts.
lua_file() {
    {
        echo 'wrk.method = "PROPFIND"'
        echo 'wrk.headers["Depth"] = "1"'
        if [[ -n $2 ]]; then
            echo "wrk.body = '$2'"
            echo 'wrk.headers["Content-Type"] = "text/xml"'
        fi
    } >"$1"
}
lua_file "$BENCH_SCRATCH/allprop.lua" "$allprop"
lua_file "$BENCH_SCRATCH/empty.lua" ""
for kind in allprop empty; do
    ts=() as=()
    for (( round = 0; round < rounds; round++ )); do
        rate=$(wrk_rate tandry "$TANDRY_URL/Documents/f10/" 8 "$BENCH_SCRATCH/$kind.lua")
        ts+=("$rate")
        rate=$(wrk_rate Apache "$APACHE_URL/f10/" 8 "$BENCH_SCRATCH/$kind.lua")
        as+=("$rate")
    done
    t=$(printf '%s\n' "${ts[@]}" | median)
    a=$(printf '%s\n' "${as[@]}" | median)
    printf '10 files, 8 connections, %-7s body: tandry %.0f req/s, Apache %.0f req/s: %sx (target at least 1.0)\n' \
        "$kind" "$t" "$a" "$(ratio "$t" "$a")"
    report_at_least "PROPFIND of 10 files, 8 connections, $kind body / Apache" "$(ratio "$t" "$a")" 1.0 x \
        "$(printf '%.0f and %.0f req/s' "$t" "$a")"
done
echo "load average after: $(load_average)"
report_end
