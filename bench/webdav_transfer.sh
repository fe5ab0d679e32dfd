#!/usr/bin/env bash
# GET and PUT of a 64 MiB, a 256 MiB and a 1 GiB file with curl, tandry
# against Apache httpd's mod_dav_fs serving a copy of the same folder, and
# GET against nginx, all on the same CPU: the median time of BENCH_GET_RUNS
# (41) GETs and BENCH_RUNS (5) PUTs and uploads each, the servers taking
# turns, the page cache warmed first; tandry's peak resident size (VmHWM,
# started anew for each size); and the browser page's form upload (POST) of
# the same file. Each server's answer is checked first: a GET gives the
# file's bytes, a PUT stores them. Speeds are given as tandry's against each
# peer (their time over ours). Targets: GET at least 0.95x nginx and 1.0x
# Apache, PUT at least 1.5x Apache, the form upload at least 0.9 of
# tandry's PUT, and the 1 GiB peak within 8 MiB of the 64 MiB one.
#
#   bench/webdav_transfer.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: webdav_transfer.sh BUILD}"
runs=${BENCH_RUNS:-5}
# The three servers' GETs are the same kernel work (sendfile, the cork):
# their medians lie within a few per cent, so many more of them are taken.
get_runs=${BENCH_GET_RUNS:-41}
(( BENCH_QUICK )) && get_runs=${BENCH_GET_RUNS:-$runs}
sizes=${BENCH_SIZES:-64 256 1024}
(( BENCH_QUICK )) && sizes=${BENCH_SIZES:-64 256}

tandry_start
peers_mirror
apache_start
nginx_start
source_folder=$BENCH_SCRATCH/sources
mkdir -p "$source_folder"

# seconds GET|PUT|POST URL [FILE] → one transfer's seconds; POST is the
# browser page's form upload into the folder URL.
seconds_of() {
    local method=$1 url=$2 file=${3:-}
    case $method in
    GET) client curl -sS -o /dev/null -w '%{time_total}\n' "$url" ;;
    PUT) client curl -sS -o /dev/null -T "$file" -w '%{time_total}\n' "$url" ;;
    POST) client curl -sS -o /dev/null -H 'Expect:' -F "vk_upload_filename=@$file;filename=form-upload.bin" \
        -w '%{time_total}\n' "$url" ;;
    esac
}

show() { [[ $1 == - ]] && echo - || awk -v s="$1" 'BEGIN {printf "%.3f s", s}'; }
# speed PEER_SECONDS TANDRY_SECONDS → how many times the peer's speed tandry's is
speed() { [[ $1 == - ]] && echo - || ratio "$1" "$2"; }
med() { printf '%s\n' "$@" | median; }

echo "load average before: $(load_average)"
printf '%-8s %-4s %10s %10s %10s %9s %9s %13s\n' size op tandry apache nginx x_apache x_nginx "tandry VmHWM"
declare -A peak
for size in $sizes; do
    name=file-$size.bin
    source=$source_folder/$name
    head -c $(( size << 20 )) /dev/urandom >"$source"
    cp "$source" "$TANDRY_DOCS/$name"
    cp "$source" "$PEER_DOCS/$name"
    chown www-data: "$PEER_DOCS/$name"
    check_get tandry "$TANDRY_URL/Documents/$name" "$source"
    check_get Apache "$APACHE_URL/$name" "$source"
    [[ -z $NGINX_URL ]] || check_get nginx "$NGINX_URL/$name" "$source"
    check_put tandry "$TANDRY_URL/Documents/put-$name" "$source" "$TANDRY_DOCS/put-$name"
    check_put Apache "$APACHE_URL/put-$name" "$source" "$PEER_DOCS/put-$name"
    reset_hwm "$TANDRY_PID"

    tg=() ag=() ng=() tp=() ap=() tf=()
    for (( run = 0; run < get_runs; run++ )); do
        tg+=("$(seconds_of GET "$TANDRY_URL/Documents/$name")")
        ag+=("$(seconds_of GET "$APACHE_URL/$name")")
        [[ -z $NGINX_URL ]] || ng+=("$(seconds_of GET "$NGINX_URL/$name")")
    done
    peak[$size]=$(hwm_kib "$TANDRY_PID")
    for (( run = 0; run < runs; run++ )); do
        tp+=("$(seconds_of PUT "$TANDRY_URL/Documents/put-$name" "$source")")
        ap+=("$(seconds_of PUT "$APACHE_URL/put-$name" "$source")")
        tf+=("$(seconds_of POST "$TANDRY_URL/Documents/" "$source")")
    done
    cmp -s "$TANDRY_DOCS/put-$name" "$source" || bench_fail "tandry's last PUT stored other bytes"
    cmp -s "$PEER_DOCS/put-$name" "$source" || bench_fail "Apache's last PUT stored other bytes"
    cmp -s "$TANDRY_DOCS/form-upload.bin" "$source" || bench_fail "tandry's form upload stored other bytes"
    rm -f "$TANDRY_DOCS/put-$name" "$TANDRY_DOCS/form-upload.bin" "$PEER_DOCS/put-$name" "$TANDRY_DOCS/$name" "$PEER_DOCS/$name" "$source"

    get=$(med "${tg[@]}") apache_get=$(med "${ag[@]}") nginx_get=-
    (( ${#ng[@]} )) && nginx_get=$(med "${ng[@]}")
    put=$(med "${tp[@]}") apache_put=$(med "${ap[@]}") post=$(med "${tf[@]}")
    label="$size MiB"
    (( size == 1024 )) && label="1 GiB"
    printf '%-8s %-4s %10s %10s %10s %9s %9s %10s KiB\n' "$label" GET "$(show "$get")" "$(show "$apache_get")" \
        "$(show "$nginx_get")" "$(speed "$apache_get" "$get")" "$(speed "$nginx_get" "$get")" "${peak[$size]}"
    printf '%-8s %-4s %10s %10s %10s %9s %9s\n' "$label" PUT "$(show "$put")" "$(show "$apache_put")" - \
        "$(speed "$apache_put" "$put")" -
    printf '%-8s %-4s %10s %10s %10s %9s %9s  (form upload against tandry'"'"'s PUT; target at least 0.9)\n' "$label" POST \
        "$(show "$post")" - - "$(ratio "$put" "$post")" -
    # The targets are judged at 256 MiB.
    if (( size == 256 )); then
        report_at_least "GET 256 MiB, speed / Apache" "$(speed "$apache_get" "$get")" 1.0 x "$(show "$get"), Apache $(show "$apache_get")"
        [[ $nginx_get == - ]] || report_at_least "GET 256 MiB, speed / nginx" "$(speed "$nginx_get" "$get")" 0.95 x \
            "nginx $(show "$nginx_get")"
        report_at_least "PUT 256 MiB, speed / Apache" "$(speed "$apache_put" "$put")" 1.5 x "$(show "$put"), Apache $(show "$apache_put")"
        report_at_least "form upload of 256 MiB, speed / tandry's PUT" "$(ratio "$put" "$post")" 0.9 x "$(show "$post")"
    fi
done
if [[ -n ${peak[1024]:-} && -n ${peak[64]:-} ]]; then
    echo "tandry's peak for 1 GiB minus that for 64 MiB: $(( peak[1024] - peak[64] )) KiB (target: at most 8192)"
    report_at_most "tandry's peak for a 1 GiB GET beyond a 64 MiB one" "$(( peak[1024] - peak[64] ))" 8192 KiB
fi
echo "load average after: $(load_average)"
report_end
