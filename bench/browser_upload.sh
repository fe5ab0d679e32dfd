#!/usr/bin/env bash
# The browser page's upload measured on the release program: one large
# random file sent as a form (`curl -F`, the page's field) and, side by side,
# the same file by PUT. Prints each transfer's time and throughput and the
# server's peak resident memory (VmHWM) before and after, which stays flat
# because both stream their bodies. Scratch files live under /tmp and are
# removed at the end.
#
#   bench/browser_upload.sh [TANDRY] [SIZE_MIB]     (defaults: build/release/tandry, 1024)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tandry=${1:-$root/build/release/tandry}
size_mib=${2:-1024}
[[ -x $tandry ]] || { echo "no program at $tandry: build it first (make)"; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed"; exit 1; }

scratch=$(mktemp -d /tmp/tandry-browser-upload-XXXXXX)
server_pid=
cleanup() {
    if [[ -n $server_pid ]]; then
        kill -TERM "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

head -c $((size_mib << 20)) /dev/urandom >"$scratch/upload.bin"
"$tandry" --home "$scratch/home" -VKPortNumber 0 >"$scratch/server.out" 2>"$scratch/server.log" &
server_pid=$!
url=
for _ in $(seq 300); do
    url=$(grep -m1 -o 'http://[^ ]*/' "$scratch/server.out" 2>/dev/null || true)
    [[ -n $url ]] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
[[ -n $url ]] || { echo "the server did not start:"; tail -n 20 "$scratch/server.log"; exit 1; }
port=${url##*:}
port=${port%%/*}
base="http://127.0.0.1:$port/Documents"

hwm() { awk '/^VmHWM/ {print $2}' "/proc/$server_pid/status"; }
# stored NAME: the uploaded copy, compared with the source, then removed.
check() {
    local stored
    stored=$(find "$scratch/home" -name "$1" -type f | head -n 1)
    if [[ -z $stored ]] || ! cmp -s "$stored" "$scratch/upload.bin"; then
        echo "$1: the stored file differs from the upload"
        exit 1
    fi
    rm -f "$stored"
}
report() {
    local label=$1 status=$2 seconds=$3
    awk -v label="$label" -v status="$status" -v s="$seconds" -v mib="$size_mib" \
        'BEGIN { printf "%-22s %s  %8.2f s  %8.1f MiB/s\n", label, status, s, mib / s }'
}

echo "upload of $size_mib MiB to $base/"
hwm_start=$(hwm)
read -r status seconds < <(curl -s -o /dev/null -w '%{http_code} %{time_total}\n' -H 'Expect:' \
    -F "vk_upload_filename=@$scratch/upload.bin;filename=form.bin" "$base/")
report "browser upload (POST)" "$status" "$seconds"
check form.bin
hwm_form=$(hwm)
read -r status seconds < <(curl -s -o /dev/null -w '%{http_code} %{time_total}\n' -H 'Expect:' \
    -T "$scratch/upload.bin" "$base/put.bin")
report "PUT" "$status" "$seconds"
check put.bin
hwm_put=$(hwm)
echo "server VmHWM: ${hwm_start} KiB at start, ${hwm_form} KiB after the form upload, ${hwm_put} KiB after PUT"
