#!/usr/bin/env bash
# bench: tandry browser page listing
# The folder page and its "?json=1" listing of 1,000 and of 10,000 files,
# beside a PROPFIND Depth 1 of the same folder, against a running tandry on
# loopback. Targets: 10,000 files take at most 12x the time of 1,000 (the
# listing is linear), the page at most 1.5x the PROPFIND, and the server's
# peak RSS grows by at most 16 MiB.
#
#   bench/browser_listing.sh [TANDRY]     (default build/release/tandry)
set -euo pipefail

tandry=${1:-build/release/tandry}
[[ -x $tandry ]] || { echo "no tandry at $tandry (make all)"; exit 1; }
runs=${RUNS:-7}
work=$(mktemp -d "${TMPDIR:-/tmp}/tandry-browser-bench.XXXXXX")
server_pid=
cleanup() {
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$tandry" --home "$work/home" -VKPortNumber 0 >"$work/out" 2>"$work/log" &
server_pid=$!
for _ in $(seq 300); do
    url=$(grep -m1 -o 'http://[^ ]*/' "$work/out" 2>/dev/null || true)
    [[ -n $url ]] && break
    sleep 0.1
done
[[ -n ${url:-} ]] || { echo "tandry did not start"; tail "$work/log"; exit 1; }
port=${url##*:}; port=${port%%/*}
base="http://127.0.0.1:$port"
docs="$work/home/Library/Documents"

for n in 1000 10000; do
    mkdir -p "$docs/f$n"
    (cd "$docs/f$n" && seq -f "file %g.txt" 1 "$n" | xargs -d '\n' touch)
done

hwm() { awk '/VmHWM/ {print $2}' "/proc/$server_pid/status"; }

# Median seconds of RUNS requests.
measure() {
    local times=()
    for _ in $(seq "$runs"); do
        times+=("$(curl -s -o /dev/null -w '%{time_total}' "$@")")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

curl -s -o /dev/null "$base/Documents/f1000/"   # warm the page files and caches
start_hwm=$(hwm)
declare -A result
for n in 1000 10000; do
    result[page,$n]=$(measure "$base/Documents/f$n/")
    result[json,$n]=$(measure "$base/Documents/f$n/?json=1")
done
# The page's own peak, before PROPFIND builds its larger answers.
end_hwm=$(hwm)
for n in 1000 10000; do
    result[propfind,$n]=$(measure -X PROPFIND -H 'Depth: 1' "$base/Documents/f$n/")
done

status=0
printf '%-8s %12s %12s %12s\n' files page json propfind
for n in 1000 10000; do
    printf '%-8s %11.4fs %11.4fs %11.4fs\n' "$n" "${result[page,$n]}" "${result[json,$n]}" "${result[propfind,$n]}"
done
for kind in page json; do
    ratio=$(awk -v a="${result[$kind,1000]}" -v b="${result[$kind,10000]}" 'BEGIN {printf "%.2f", b / a}')
    versus=$(awk -v a="${result[$kind,10000]}" -v b="${result[propfind,10000]}" 'BEGIN {printf "%.2f", a / b}')
    echo "$kind: 10,000 / 1,000 = ${ratio}x (target <= 12); against PROPFIND at 10,000: ${versus}x (target <= 1.5)"
    awk -v r="$ratio" 'BEGIN {exit !(r <= 12)}' || status=1
    awk -v r="$versus" 'BEGIN {exit !(r <= 1.5)}' || status=1
done
grown=$(( (end_hwm - start_hwm) / 1024 ))
echo "peak RSS grew by ${grown} MiB over the page and JSON requests (target <= 16)"
(( grown <= 16 )) || status=1
exit $status
