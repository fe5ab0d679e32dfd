#!/usr/bin/env bash
# GET and PUT of a 1 GiB and a 64 MiB file with curl, tandry against Apache
# httpd's mod_dav_fs on the same folder: the median throughput of 5
# transfers each, the page cache warmed first, and tandry's peak resident
# size (VmHWM) for each size, each on a fresh server; also the browser
# page's form upload (POST) of the same file. Targets: a throughput ratio of
# at least 1.0 for each, the form upload at least 0.9 of tandry's PUT, and
# the 1 GiB peak within 8 MiB of the 64 MiB one. Without Apache installed only tandry's figures are printed.
#
#   bench/webdav_transfer.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
build=${1:?usage: webdav_transfer.sh BUILD}
runs=${BENCH_RUNS:-5}

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

# transfer GET|PUT|POST URL [FILE] → the median bytes per second of the
# runs; POST is the browser page's form upload into the folder URL.
transfer() {
    local method=$1 url=$2 file=${3:-}
    for (( i = 0; i < runs; i++ )); do
        case $method in
        GET) client curl -sS -o /dev/null -w '%{speed_download}\n' "$url" ;;
        PUT) client curl -sS -o /dev/null -T "$file" -w '%{speed_upload}\n' "$url" ;;
        POST) client curl -sS -o /dev/null -H 'Expect:' -F "vk_upload_filename=@$file;filename=form-upload.bin" \
            -w '%{speed_upload}\n' "$url" ;;
        esac
    done | median
}

mib() { awk -v b="$1" 'BEGIN {printf "%.0f MiB/s", b / 1048576}'; }

# The first start lays out the home whose "Documents" both servers serve.
tandry_start
tandry_stop
apache=0
if [[ -n $(command -v apache2) ]]; then
    apache_start "$TANDRY_DOCS"
    apache=1
fi

printf '%-7s %-4s %12s %12s %6s %13s\n' size op tandry apache ratio "tandry VmHWM"
declare -A peak
for size in 64 1024; do
    name=file-$size.bin
    head -c $(( size << 20 )) /dev/urandom >"$TANDRY_DOCS/$name"
    cat "$TANDRY_DOCS/$name" >/dev/null
    tandry_start
    get=$(transfer GET "$TANDRY_URL/Documents/$name")
    put=$(transfer PUT "$TANDRY_URL/Documents/put-$name" "$TANDRY_DOCS/$name")
    post=$(transfer POST "$TANDRY_URL/Documents/" "$TANDRY_DOCS/$name")
    cmp -s "$TANDRY_DOCS/form-upload.bin" "$TANDRY_DOCS/$name" || { echo "the form upload differs from its source"; exit 1; }
    peak[$size]=$(hwm_kib "$TANDRY_PID")
    tandry_stop
    rm -f "$TANDRY_DOCS/put-$name" "$TANDRY_DOCS/form-upload.bin"
    apache_get=- apache_put=- get_ratio=- put_ratio=-
    if (( apache )); then
        apache_get=$(transfer GET "$APACHE_URL/$name")
        apache_put=$(transfer PUT "$APACHE_URL/put-$name" "$TANDRY_DOCS/$name")
        rm -f "$TANDRY_DOCS/put-$name"
        get_ratio=$(ratio "$get" "$apache_get") put_ratio=$(ratio "$put" "$apache_put")
        apache_get=$(mib "$apache_get") apache_put=$(mib "$apache_put")
    fi
    label="$size MiB"
    (( size == 1024 )) && label="1 GiB"
    printf '%-7s %-4s %12s %12s %6s %10s KiB\n' "$label" GET "$(mib "$get")" "$apache_get" "$get_ratio" "${peak[$size]}"
    printf '%-7s %-4s %12s %12s %6s\n' "$label" PUT "$(mib "$put")" "$apache_put" "$put_ratio"
    printf '%-7s %-4s %12s %12s %6s  (form upload against tandry'"'"'s PUT; target at least 0.9)\n' "$label" POST \
        "$(mib "$post")" - "$(ratio "$post" "$put")"
    rm -f "$TANDRY_DOCS/$name"
done
echo "tandry's peak for 1 GiB minus that for 64 MiB: $(( peak[1024] - peak[64] )) KiB (target: at most 8192)"
