#!/usr/bin/env bash
# GET and PUT of a 64 MiB, a 256 MiB and a 1 GiB file with curl, tandry
# against Apache httpd's mod_dav_fs on the same folder, and GET against
# nginx: the median time of 5 transfers each, the page cache warmed first,
# and tandry's peak resident size (VmHWM) for each size, each on a fresh
# server; also the browser page's form upload (POST) of the same file.
# Speeds are given as tandry's against each peer (their time over ours).
# Targets: GET at least 0.95x nginx and 1.0x Apache, PUT at least Apache,
# the form upload at least 0.9 of tandry's PUT, and the 1 GiB peak within
# 8 MiB of the 64 MiB one. Without the peers installed only tandry's figures
# are printed.
#
#   bench/webdav_transfer.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
build=${1:?usage: webdav_transfer.sh BUILD}
runs=${BENCH_RUNS:-5}
sizes=${BENCH_SIZES:-64 256 1024}

if command -v apache2 >/dev/null; then
    servers_init "$build"
else
    echo "apache2 is not installed (scripts/install-deps --bench): tandry's figures only"
    TANDRY_BIN=$(cd "$build" && pwd)/tandry
    [[ -x $TANDRY_BIN ]] || { echo "no tandry in $build (make bench builds it)" >&2; exit 1; }
    BENCH_SCRATCH=$(mktemp -d /var/tmp/tandry-bench.XXXXXX)
    trap servers_stop EXIT
fi

tandry_stop() {
    kill -TERM "$TANDRY_PID"
    wait "$TANDRY_PID" || true
    TANDRY_PID=
}

# transfer GET|PUT|POST URL [FILE] → the median seconds of the runs; POST is
# the browser page's form upload into the folder URL.
transfer() {
    local method=$1 url=$2 file=${3:-}
    for (( i = 0; i < runs; i++ )); do
        case $method in
        GET) client curl -sS -o /dev/null -w '%{time_total}\n' "$url" ;;
        PUT) client curl -sS -o /dev/null -T "$file" -w '%{time_total}\n' "$url" ;;
        POST) client curl -sS -o /dev/null -H 'Expect:' -F "vk_upload_filename=@$file;filename=form-upload.bin" \
            -w '%{time_total}\n' "$url" ;;
        esac
    done | median
}

seconds() { awk -v s="$1" 'BEGIN {printf "%.3f s", s}'; }
# speed PEER_SECONDS TANDRY_SECONDS → how many times the peer's speed tandry's is
speed() { [[ $1 == - ]] && echo - || ratio "$1" "$2"; }

# The first start lays out the home whose "Documents" the servers serve.
tandry_start
tandry_stop
apache=0
if command -v apache2 >/dev/null; then
    apache_start "$TANDRY_DOCS"
    nginx_start "$TANDRY_DOCS"
    apache=1
fi

printf '%-8s %-4s %10s %10s %10s %9s %9s %13s\n' size op tandry apache nginx x_apache x_nginx "tandry VmHWM"
declare -A peak
for size in $sizes; do
    name=file-$size.bin
    head -c $(( size << 20 )) /dev/urandom >"$TANDRY_DOCS/$name"
    cat "$TANDRY_DOCS/$name" >/dev/null
    tandry_start
    get=$(transfer GET "$TANDRY_URL/Documents/$name")
    peak[$size]=$(hwm_kib "$TANDRY_PID")
    put=$(transfer PUT "$TANDRY_URL/Documents/put-$name" "$TANDRY_DOCS/$name")
    post=$(transfer POST "$TANDRY_URL/Documents/" "$TANDRY_DOCS/$name")
    cmp -s "$TANDRY_DOCS/form-upload.bin" "$TANDRY_DOCS/$name" || { echo "the form upload differs from its source"; exit 1; }
    tandry_stop
    rm -f "$TANDRY_DOCS/put-$name" "$TANDRY_DOCS/form-upload.bin"
    apache_get=- apache_put=- nginx_get=-
    if (( apache )); then
        apache_get=$(transfer GET "$APACHE_URL/$name")
        apache_put=$(transfer PUT "$APACHE_URL/put-$name" "$TANDRY_DOCS/$name")
        rm -f "$TANDRY_DOCS/put-$name"
        [[ -n $NGINX_URL ]] && nginx_get=$(transfer GET "$NGINX_URL/$name")
    fi
    label="$size MiB"
    (( size == 1024 )) && label="1 GiB"
    show() { [[ $1 == - ]] && echo - || seconds "$1"; }
    printf '%-8s %-4s %10s %10s %10s %9s %9s %10s KiB\n' "$label" GET "$(seconds "$get")" "$(show "$apache_get")" \
        "$(show "$nginx_get")" "$(speed "$apache_get" "$get")" "$(speed "$nginx_get" "$get")" "${peak[$size]}"
    printf '%-8s %-4s %10s %10s %10s %9s %9s\n' "$label" PUT "$(seconds "$put")" "$(show "$apache_put")" - \
        "$(speed "$apache_put" "$put")" -
    printf '%-8s %-4s %10s %10s %10s %9s %9s  (form upload against tandry'"'"'s PUT; target at least 0.9)\n' "$label" POST \
        "$(seconds "$post")" - - "$(ratio "$put" "$post")" -
    rm -f "$TANDRY_DOCS/$name"
done
if [[ -n ${peak[1024]:-} && -n ${peak[64]:-} ]]; then
    echo "tandry's peak for 1 GiB minus that for 64 MiB: $(( peak[1024] - peak[64] )) KiB (target: at most 8192)"
fi
