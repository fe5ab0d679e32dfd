#!/usr/bin/env bash
# PROPFIND Depth 1 allprop on folders of 1,000 and 10,000 files, tandry
# against Apache httpd on the same folders (curl, median of 5, warm cache).
# Targets: tandry at least as fast as Apache (ratio of times at most 1.0) and
# 10,000 files within 12x the time of 1,000.
#
#   bench/webdav_propfind.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
servers_init "${1:?usage: webdav_propfind.sh BUILD}"
runs=${BENCH_RUNS:-5}

tandry_start
for count in 1000 10000; do
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
