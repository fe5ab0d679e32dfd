#!/usr/bin/env bash
# GET and PUT of a 1 GiB and a 64 MiB file through tandry's WebDAV server with
# curl on loopback: the median throughput of 5 transfers each (the page cache
# warmed first) and the server's peak resident size (VmHWM) after each size,
# every size on a fresh server. When Apache httpd is installed, its mod_dav_fs
# serves the same tree the same way and the ratios tandry/Apache are printed.
# Scratch lives in a folder under /tmp, removed at the end.
#
#   bench/webdav_transfer.sh [TANDRY]    (default: build/release/tandry)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
tandry=${1:-$here/build/release/tandry}
runs=${RUNS:-5}
[[ -x $tandry ]] || { echo "no $tandry: build it first (cmake --build build/release --target tandry)"; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed"; exit 1; }

scratch=$(mktemp -d /tmp/tandry-webdav-transfer.XXXXXX)
tandry_pid=
apache_conf=
cleanup() {
    [[ -n $tandry_pid ]] && kill -TERM "$tandry_pid" 2>/dev/null && wait "$tandry_pid" 2>/dev/null
    [[ -n $apache_conf ]] && apache2 -f "$apache_conf" -k stop 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
# Apache's children run as www-data: they must reach the tree.
chmod 755 "$scratch"

home=$scratch/home
tree=$home/Library/Documents

start_tandry() {
    "$tandry" --home "$home" -VKPortNumber 0 >"$scratch/tandry.out" 2>"$scratch/tandry.log" &
    tandry_pid=$!
    local url= tries=0
    while [[ -z $url ]]; do
        url=$(grep -m1 -o 'http://[^ ]*/' "$scratch/tandry.out" 2>/dev/null || true)
        if [[ -z $url ]]; then
            kill -0 "$tandry_pid" 2>/dev/null && (( ++tries < 300 )) || { cat "$scratch/tandry.log"; exit 1; }
            sleep 0.1
        fi
    done
    tandry_port=${url##*:}
    tandry_port=${tandry_port%%/*}
}

stop_tandry() {
    kill -TERM "$tandry_pid"
    wait "$tandry_pid" || true
    tandry_pid=
}

median() { sort -g | sed -n "$(( (runs + 1) / 2 ))p"; }

# transfer GET|PUT URL FILE → bytes per second (median of the runs)
transfer() {
    local method=$1 url=$2 file=${3:-}
    for (( i = 0; i < runs; i++ )); do
        if [[ $method == GET ]]; then
            curl -sS -o /dev/null -w '%{speed_download}\n' "$url"
        else
            curl -sS -o /dev/null -T "$file" -w '%{speed_upload}\n' "$url"
        fi
    done | median
}

mib() { awk -v b="$1" 'BEGIN { printf "%.0f MiB/s", b / 1048576 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# The tree is laid out by tandry's first start.
start_tandry
stop_tandry

apache_port=
if command -v apache2 >/dev/null && [[ -f /usr/lib/apache2/modules/mod_dav_fs.so ]]; then
    mkdir -p "$scratch/apache/lock"
    apache_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    apache_conf=$scratch/apache/httpd.conf
    cat >"$apache_conf" <<CONF
ServerRoot /etc/apache2
ServerName 127.0.0.1
Listen 127.0.0.1:$apache_port
PidFile $scratch/apache/httpd.pid
ErrorLog $scratch/apache/error.log
LoadModule mpm_event_module /usr/lib/apache2/modules/mod_mpm_event.so
LoadModule authz_core_module /usr/lib/apache2/modules/mod_authz_core.so
LoadModule dav_module /usr/lib/apache2/modules/mod_dav.so
LoadModule dav_fs_module /usr/lib/apache2/modules/mod_dav_fs.so
User www-data
Group www-data
DocumentRoot $tree
DavLockDB $scratch/apache/lock/DavLock
EnableSendfile On
LimitRequestBody 0
<Directory $tree>
    Dav On
    Require all granted
</Directory>
CONF
    chmod 755 "$home" "$home/Library"
    chown -R www-data:www-data "$tree" "$scratch/apache/lock"
    apache2 -f "$apache_conf" -k start
    for (( tries = 0; tries < 100; tries++ )); do
        curl -s -o /dev/null "http://127.0.0.1:$apache_port/" && break
        sleep 0.1
    done
else
    echo "Apache httpd with mod_dav_fs is not installed: tandry's figures only"
fi

printf '%-8s %-4s %14s %14s %7s %12s\n' size op tandry apache ratio "tandry VmHWM"
for size in 64 1024; do
    name=file-$size.bin
    dd if=/dev/urandom of="$tree/$name" bs=1M count="$size" status=none
    [[ -n $apache_port ]] && chown www-data:www-data "$tree/$name"
    cat "$tree/$name" >/dev/null
    start_tandry
    get=$(transfer GET "http://127.0.0.1:$tandry_port/Documents/$name")
    put=$(transfer PUT "http://127.0.0.1:$tandry_port/Documents/put-$name" "$tree/$name")
    hwm=$(awk '/VmHWM/ { print $2, $3 }' "/proc/$tandry_pid/status")
    stop_tandry
    rm -f "$tree/put-$name"
    apache_get=0 apache_put=0
    if [[ -n $apache_port ]]; then
        apache_get=$(transfer GET "http://127.0.0.1:$apache_port/$name")
        apache_put=$(transfer PUT "http://127.0.0.1:$apache_port/put-$name" "$tree/$name")
        rm -f "$tree/put-$name"
    fi
    label="$size MiB"
    [[ $size == 1024 ]] && label="1 GiB"
    printf '%-8s %-4s %14s %14s %7s %12s\n' "$label" GET "$(mib "$get")" \
        "$([[ -n $apache_port ]] && mib "$apache_get" || echo -)" "$([[ -n $apache_port ]] && ratio "$get" "$apache_get" || echo -)" "$hwm"
    printf '%-8s %-4s %14s %14s %7s %12s\n' "$label" PUT "$(mib "$put")" \
        "$([[ -n $apache_port ]] && mib "$apache_put" || echo -)" "$([[ -n $apache_port ]] && ratio "$put" "$apache_put" || echo -)" ""
    rm -f "$tree/$name"
done
