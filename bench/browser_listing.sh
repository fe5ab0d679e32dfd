#!/usr/bin/env bash
# The browser page's folder listing and its "?json=1" listing of 1,000 and
# of 10,000 files, beside a PROPFIND Depth 1 of the same folder (curl,
# median of 5, warm cache), printed side by side. Targets: 10,000 files
# within 12x the time of 1,000 (the listing is linear), the page within
# 1.5x the PROPFIND, and the server's peak resident size grown by at most
# 16 MiB over the page and JSON requests.
#
#   bench/browser_listing.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: browser_listing.sh BUILD}"
runs=${BENCH_RUNS:-5}

tandry_start
for count in 1000 10000; do
    mkdir -p "$TANDRY_DOCS/f$count"
    (cd "$TANDRY_DOCS/f$count" && seq -f "file %g.txt" 1 "$count" | xargs -d '\n' -n 1000 touch)
done

# Each answer is checked before it is timed: the page and its JSON are 200
# and name every file, the PROPFIND lists them all.
for count in 1000 10000; do
    for query in "" "?json=1"; do
        status=$(curl -s -o "$BENCH_SCRATCH/page" -w '%{http_code}' "$TANDRY_URL/Documents/f$count/$query")
        [[ $status == 200 ]] || bench_fail "tandry answered GET /Documents/f$count/$query with $status"
        # Named as they are or in escaped URIs (the page's links, the JSON).
        named=$( (grep -E -o 'file( |%20)[0-9]+\.txt' "$BENCH_SCRATCH/page" || true) | sed 's/%20/ /' | sort -u | wc -l)
        (( named == count )) || bench_fail "tandry's listing /Documents/f$count/$query names $named files, not $count"
    done
    folder_entries "$TANDRY_DOCS/f$count" >"$BENCH_SCRATCH/expected"
    check_propfind tandry "$TANDRY_URL/Documents/f$count/" "" "$BENCH_SCRATCH/expected"
done

# Median seconds of $runs requests.
measure() {
    for _ in $(seq "$runs"); do
        client curl -s -o /dev/null -w '%{time_total}\n' "$@"
    done | median
}

client curl -s -o /dev/null "$TANDRY_URL/Documents/f1000/"   # the page files and caches warm
start_hwm=$(hwm_kib "$TANDRY_PID")
declare -A seconds
for count in 1000 10000; do
    seconds[page,$count]=$(measure "$TANDRY_URL/Documents/f$count/")
    seconds[json,$count]=$(measure "$TANDRY_URL/Documents/f$count/?json=1")
done
end_hwm=$(hwm_kib "$TANDRY_PID")
for count in 1000 10000; do
    seconds[propfind,$count]=$(measure -X PROPFIND -H 'Depth: 1' "$TANDRY_URL/Documents/f$count/")
done

printf '%-8s %10s %10s %10s\n' files page json propfind
for count in 1000 10000; do
    printf '%-8s %9.4fs %9.4fs %9.4fs\n' "$count" "${seconds[page,$count]}" "${seconds[json,$count]}" "${seconds[propfind,$count]}"
done
for kind in page json; do
    report_at_most "$kind of 10,000 / 1,000 files" "$(ratio "${seconds[$kind,10000]}" "${seconds[$kind,1000]}")" 12 x
    report_at_most "$kind of 10,000 files / PROPFIND Depth 1" "$(ratio "${seconds[$kind,10000]}" "${seconds[propfind,10000]}")" 1.5 x \
        "${seconds[$kind,10000]} s, PROPFIND ${seconds[propfind,10000]} s"
done
report_at_most "peak RSS grown over the page and JSON requests" "$(( (end_hwm - start_hwm) / 1024 ))" 16 MiB
report_end
