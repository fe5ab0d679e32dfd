#!/usr/bin/env bash
# GET over kept-alive connections: wrk with 1, 10 and 100 connections on a
# 1 KiB and a 64 KiB file, tandry against Apache httpd on the same folder.
# Target: tandry's requests per second at least Apache's in every case.
#
#   bench/http_get_keepalive.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
servers_init "${1:?usage: http_get_keepalive.sh BUILD}"
duration=${BENCH_DURATION:-10s}

tandry_start
head -c 1024 /dev/urandom >"$TANDRY_DOCS/1k.bin"
head -c 65536 /dev/urandom >"$TANDRY_DOCS/64k.bin"
apache_start "$TANDRY_DOCS"

requests_per_second() {
    client wrk --latency -t"$(( $2 < 2 ? $2 : 2 ))" -c"$2" -d"$duration" "$1" | awk '/^Requests\/sec/ {print $2} /99%/ {p99 = $2} END {print p99 > "/dev/stderr"}'
}

printf '%-8s %6s %14s %14s %7s\n' file conns tandry_req/s apache_req/s ratio
for file in 1k.bin 64k.bin; do
    for conns in 1 10 100; do
        t=$(requests_per_second "$TANDRY_URL/Documents/$file" "$conns" 2>/tmp/p99.$$)
        tp99=$(cat /tmp/p99.$$)
        a=$(requests_per_second "$APACHE_URL/$file" "$conns" 2>/tmp/p99.$$)
        ap99=$(cat /tmp/p99.$$)
        printf '%-8s %6d %14.0f %14.0f %7s   p99 %s / %s\n' "$file" "$conns" "$t" "$a" "$(ratio "$t" "$a")" "$tp99" "$ap99"
    done
done
rm -f /tmp/p99.$$
