#!/usr/bin/env bash
# Side-by-side run of our converter (bench_rtf_rtf_convert) and unrtf --html
# on generated documents of 1.25, 2.5 and 5 MB: best wall time and peak RSS
# of five runs each, under GNU time. A comparison, not a test: `make bench`
# runs it (and installs unrtf and time with install-deps --bench).
#
#   bench/rtf/compare_unrtf.sh [--ours-only | BUILD]      (BUILD is ignored: it builds build/bench)
#
# Targets at 5 MB: our time / unrtf's <= 1.0; our RSS increments from 1.25 to
# 2.5 MB and from 2.5 to 5 MB agree within 20 % (memory linear in the input).
set -euo pipefail
cd "$(dirname "$0")/../.."

peer=unrtf
[[ ${1:-} == --ours-only ]] && peer=
[[ -x /usr/bin/time ]] || { echo "needs GNU time (apt-get install time)" >&2; exit 1; }
if [[ -n $peer ]] && ! command -v unrtf >/dev/null; then
    echo "needs unrtf (apt-get install unrtf), or --ours-only" >&2
    exit 1
fi

[[ -f build/bench/build.ninja ]] || cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDRY_BENCH=ON >/dev/null
cmake --build build/bench --target bench_rtf_rtf_convert >/dev/null
ours=build/bench/bench/bench_rtf_rtf_convert

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall time (s) and peak RSS (KB) of five runs: "seconds kilobytes".
best() {
    local best_time="" best_rss=""
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
        read -r t m <"$work/time"
        if [[ -z $best_time ]] || awk "BEGIN{exit !($t < $best_time)}"; then best_time=$t; fi
        if [[ -z $best_rss ]] || ((m < best_rss)); then best_rss=$m; fi
    done
    echo "$best_time $best_rss"
}

sizes=(1.25 2.5 5)
declare -A bytes our_time our_rss peer_time peer_rss
for size in "${sizes[@]}"; do
    document="$work/doc-$size.rtf"
    python3 bench/rtf/make_large_rtf.py "$size" "$document"
    bytes[$size]=$(stat -c %s "$document")
    read -r our_time[$size] our_rss[$size] < <(best "$ours" "$document" "$work/ours.html")
    if [[ -n $peer ]]; then
        read -r peer_time[$size] peer_rss[$size] < <(best sh -c 'unrtf --html "$1" > "$2"' sh "$document" "$work/peer.html")
    fi
done

printf '%-6s %10s | %8s %10s %9s |' size bytes "ours s" "ours KB" "B/in B"
[[ -n $peer ]] && printf ' %8s %10s %9s | %7s' "unrtf s" "unrtf KB" "B/in B" "time ÷"
echo
for size in "${sizes[@]}"; do
    printf '%-6s %10d | %8s %10d %9.2f |' "$size" "${bytes[$size]}" "${our_time[$size]}" "${our_rss[$size]}" \
        "$(awk "BEGIN{print ${our_rss[$size]} * 1024 / ${bytes[$size]}}")"
    if [[ -n $peer ]]; then
        printf ' %8s %10d %9.2f | %7.2f' "${peer_time[$size]}" "${peer_rss[$size]}" \
            "$(awk "BEGIN{print ${peer_rss[$size]} * 1024 / ${bytes[$size]}}")" \
            "$(awk "BEGIN{t=${peer_time[$size]}; print (t > 0 ? ${our_time[$size]} / t : 0)}")"
    fi
    echo
done

first=$((our_rss[2.5] - our_rss[1.25]))
second=$((our_rss[5] - our_rss[2.5]))
echo "our RSS increments: 1.25->2.5 MB ${first} KB, 2.5->5 MB ${second} KB" \
    "(ratio $(awk "BEGIN{print ($first > 0 ? $second / (2 * $first) : 0)}") per doubled step; 1.00 is linear)"
