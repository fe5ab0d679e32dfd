#!/usr/bin/env bash
# GET over kept-alive connections: wrk with 1 and 64 connections on a 4 KiB
# and a 64 KiB file, tandry against Apache httpd and nginx serving a copy of
# the same folder, each server on the same CPU and wrk with 4 threads on the
# others, so that the servers and not the load generator are what runs out
# (with 2 threads on a busy machine wrk itself was the limit, and the ratios
# said little about the servers). Each server's answer is
# checked first (200 and the file's bytes). The three take turns,
# BENCH_ROUNDS times (3), and the median of each counts, so that a busy
# moment of the machine does not fall on one server alone. Targets, for
# 4 KiB over 64 connections: tandry's requests per second at least 1.2x
# Apache's and 0.9x nginx's.
#
#   bench/http_get_keepalive.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: http_get_keepalive.sh BUILD}"
rounds=${BENCH_ROUNDS:-3}
export BENCH_WRK_THREADS=${BENCH_WRK_THREADS:-4}

tandry_start
head -c 4096 /dev/urandom >"$TANDRY_DOCS/4k.bin"
head -c 65536 /dev/urandom >"$TANDRY_DOCS/64k.bin"
peers_mirror
apache_start
nginx_start
for file in 4k.bin 64k.bin; do
    check_get tandry "$TANDRY_URL/Documents/$file" "$TANDRY_DOCS/$file"
    check_get Apache "$APACHE_URL/$file" "$TANDRY_DOCS/$file"
    [[ -z $NGINX_URL ]] || check_get nginx "$NGINX_URL/$file" "$TANDRY_DOCS/$file"
done

echo "load average before: $(load_average)"
printf '%-8s %6s %12s %12s %12s %9s %9s\n' file conns tandry_req/s apache_req/s nginx_req/s x_apache x_nginx
for file in 4k.bin 64k.bin; do
    for conns in 1 64; do
        ts=() as=() ns=()
        for (( round = 0; round < rounds; round++ )); do
            rate=$(wrk_rate tandry "$TANDRY_URL/Documents/$file" "$conns")
            ts+=("$rate")
            rate=$(wrk_rate Apache "$APACHE_URL/$file" "$conns")
            as+=("$rate")
            if [[ -n $NGINX_URL ]]; then
                rate=$(wrk_rate nginx "$NGINX_URL/$file" "$conns")
                ns+=("$rate")
            fi
        done
        t=$(printf '%s\n' "${ts[@]}" | median)
        a=$(printf '%s\n' "${as[@]}" | median)
        n=0
        (( ${#ns[@]} )) && n=$(printf '%s\n' "${ns[@]}" | median)
        printf '%-8s %6d %12.0f %12.0f %12.0f %9s %9s\n' "$file" "$conns" "$t" "$a" "$n" "$(ratio "$t" "$a")" "$(ratio "$t" "$n")"
        if [[ $file == 4k.bin && $conns == 64 ]]; then
            report_at_least "GET 4 KiB over 64 connections / Apache" "$(ratio "$t" "$a")" 1.2 x "$(printf '%.0f and %.0f req/s' "$t" "$a")"
            [[ -z $NGINX_URL ]] || report_at_least "GET 4 KiB over 64 connections / nginx" "$(ratio "$t" "$n")" 0.9 x \
                "$(printf 'nginx %.0f req/s' "$n")"
        fi
    done
done
echo "load average after: $(load_average)"
report_end
