#!/usr/bin/env bash
# PROPFIND Depth 1 allprop: on folders of 1,000 and 10,000 files with curl
# (median of 5, warm cache), and on a folder of 10 files under load (wrk, 8
# connections kept alive), tandry against Apache httpd on the same folders.
# Targets: tandry at least as fast as Apache in each (a time ratio of at
# most 1.0, a request ratio of at least 1.0) and 10,000 files within 12x
# the time of 1,000.
#
#   bench/webdav_propfind.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
servers_init "${1:?usage: webdav_propfind.sh BUILD}"
runs=${BENCH_RUNS:-5}
duration=${BENCH_DURATION:-10s}
rounds=${BENCH_ROUNDS:-3}

tandry_start
for count in 10 1000 10000; do
    mkdir -p "$TANDRY_DOCS/f$count"
    (cd "$TANDRY_DOCS/f$count" && seq -f "file%05g.txt" 1 "$count" | xargs -n 1000 touch)
done
apache_start "$TANDRY_DOCS"

body='<?xml version="1.0" encoding="utf-8"?><D:propfind xmlns:D="DAV:"><D:allprop/></D:propfind>'
propfind_seconds() {
    for _ in $(seq "$runs"); do
        client curl -s -o /dev/null -w '%{time_total}\n' -X PROPFIND -H 'Depth: 1' \
            -H 'Content-Type: text/xml' --data "$body" "$1"
    done | median
}

declare -A tandry_time
printf '%-8s %10s %10s %7s %10s\n' files tandry_s apache_s ratio bytes
for count in 1000 10000; do
    propfind_seconds "$TANDRY_URL/Documents/f$count/" >/dev/null # warm both
    t=$(propfind_seconds "$TANDRY_URL/Documents/f$count/")
    a=$(propfind_seconds "$APACHE_URL/f$count/")
    bytes=$(client curl -s -X PROPFIND -H 'Depth: 1' -H 'Content-Type: text/xml' --data "$body" "$TANDRY_URL/Documents/f$count/" | wc -c)
    tandry_time[$count]=$t
    printf '%-8s %10.4f %10.4f %7s %10d\n' "$count" "$t" "$a" "$(ratio "$t" "$a")" "$bytes"
done
echo "tandry 10,000 / 1,000 files: $(ratio "${tandry_time[10000]}" "${tandry_time[1000]}")x (target <= 12)"

# The small folder under load: the servers take turns, the median counts.
cat >"$BENCH_SCRATCH/propfind.lua" <<LUA
wrk.method = "PROPFIND"
wrk.body = '$body'
wrk.headers["Depth"] = "1"
wrk.headers["Content-Type"] = "text/xml"
LUA
requests_per_second() {
    client wrk -t2 -c8 -d"$duration" -s "$BENCH_SCRATCH/propfind.lua" "$1" | awk '/^Requests\/sec/ {print $2}'
}
ts=() as=()
for (( round = 0; round < rounds; round++ )); do
    ts+=("$(requests_per_second "$TANDRY_URL/Documents/f10/")")
    as+=("$(requests_per_second "$APACHE_URL/f10/")")
done
t=$(printf '%s\n' "${ts[@]}" | median)
a=$(printf '%s\n' "${as[@]}" | median)
printf '10 files, 8 connections: tandry %.0f req/s, Apache %.0f req/s: %sx (target at least 1.0)\n' "$t" "$a" "$(ratio "$t" "$a")"
