#!/usr/bin/env bash
# GET over kept-alive connections: wrk with 1 and 64 connections on a 4 KiB
# and a 64 KiB file, tandry against Apache httpd and nginx on the same
# folder, each server on one CPU. The three take turns, BENCH_ROUNDS times
# (3), and the median of each counts, so that a busy moment of the machine
# does not fall on one server alone. Targets, for 4 KiB over 64
# connections: tandry's requests per second at least 1.2x Apache's and 0.7x
# nginx's.
#
#   bench/http_get_keepalive.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
servers_init "${1:?usage: http_get_keepalive.sh BUILD}"
duration=${BENCH_DURATION:-10s}
rounds=${BENCH_ROUNDS:-3}

tandry_start
head -c 4096 /dev/urandom >"$TANDRY_DOCS/4k.bin"
head -c 65536 /dev/urandom >"$TANDRY_DOCS/64k.bin"
apache_start "$TANDRY_DOCS"
nginx_start "$TANDRY_DOCS"

requests_per_second() {
    client wrk -t"$(( $2 < 2 ? $2 : 2 ))" -c"$2" -d"$duration" "$1" | awk '/^Requests\/sec/ {print $2}'
}

printf '%-8s %6s %12s %12s %12s %9s %9s\n' file conns tandry_req/s apache_req/s nginx_req/s x_apache x_nginx
for file in 4k.bin 64k.bin; do
    for conns in 1 64; do
        ts=() as=() ns=()
        for (( round = 0; round < rounds; round++ )); do
            ts+=("$(requests_per_second "$TANDRY_URL/Documents/$file" "$conns")")
            as+=("$(requests_per_second "$APACHE_URL/$file" "$conns")")
            [[ -n $NGINX_URL ]] && ns+=("$(requests_per_second "$NGINX_URL/$file" "$conns")")
        done
        t=$(printf '%s\n' "${ts[@]}" | median)
        a=$(printf '%s\n' "${as[@]}" | median)
        n=0
        (( ${#ns[@]} )) && n=$(printf '%s\n' "${ns[@]}" | median)
        printf '%-8s %6d %12.0f %12.0f %12.0f %9s %9s\n' "$file" "$conns" "$t" "$a" "$n" "$(ratio "$t" "$a")" "$(ratio "$t" "$n")"
    done
done
