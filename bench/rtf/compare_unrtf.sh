#!/usr/bin/env bash
# Side-by-side run of our converter (bench_rtf_rtf_convert) and unrtf --html
# on generated documents of 2, 8 and 50 MB and on 8 MB of empty groups: best
# wall time and peak RSS, under GNU time (five runs each, one at 50 MB, where
# unrtf takes minutes). A comparison, not a test: `make bench` runs it (and
# installs unrtf and time with install-deps --bench).
#
#   bench/rtf/compare_unrtf.sh [--ours-only | BUILD]      (BUILD is ignored: it builds build/bench)
#
# Targets: our time <= 0.1 x unrtf's, our peak RSS <= unrtf's, and at most
# 4 bytes per input byte plus 16 MB (the converter reads the document as it
# goes and keeps only its output).
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

# Best wall time (s) and peak RSS (KB) of RUNS runs: "seconds kilobytes".
best() {
    local runs=$1 best_time="" best_rss=""
    shift
    for ((run = 0; run < runs; ++run)); do
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
        read -r t m <"$work/time"
        if [[ -z $best_time ]] || awk "BEGIN{exit !($t < $best_time)}"; then best_time=$t; fi
        if [[ -z $best_rss ]] || ((m < best_rss)); then best_rss=$m; fi
    done
    echo "$best_time $best_rss"
}

inputs=(2 8 50 braces)
declare -A bytes runs our_time our_rss peer_time peer_rss
for input in "${inputs[@]}"; do
    document="$work/doc-$input.rtf"
    if [[ $input == braces ]]; then
        python3 -c "import sys; open(sys.argv[1], 'w').write('{\\\\rtf1 ' + '{}' * (4 << 20) + '}')" "$document"
    else
        python3 bench/rtf/make_large_rtf.py "$input" "$document"
    fi
    bytes[$input]=$(stat -c %s "$document")
    runs[$input]=5
    [[ $input == 50 ]] && runs[$input]=1
    read -r our_time[$input] our_rss[$input] < <(best "${runs[$input]}" "$ours" "$document" "$work/ours.html")
    if [[ -n $peer ]]; then
        read -r peer_time[$input] peer_rss[$input] < <(best "${runs[$input]}" sh -c 'unrtf --html "$1" > "$2"' sh "$document" "$work/peer.html")
    fi
done

printf '%-7s %10s | %8s %10s %7s %6s |' input bytes "ours s" "ours KB" "B/in B" "bound"
[[ -n $peer ]] && printf ' %8s %10s | %7s %7s' "unrtf s" "unrtf KB" "time ÷" "RSS ÷"
echo
for input in "${inputs[@]}"; do
    # The memory bound: 4 bytes per input byte plus 16 MB.
    bound=$(awk "BEGIN{print (${our_rss[$input]} <= ${bytes[$input]} * 4 / 1024 + 16384) ? \"ok\" : \"over\"}")
    printf '%-7s %10d | %8s %10d %7.2f %6s |' "$input" "${bytes[$input]}" "${our_time[$input]}" "${our_rss[$input]}" \
        "$(awk "BEGIN{print ${our_rss[$input]} * 1024 / ${bytes[$input]}}")" "$bound"
    if [[ -n $peer ]]; then
        printf ' %8s %10d | %7.3f %7.2f' "${peer_time[$input]}" "${peer_rss[$input]}" \
            "$(awk "BEGIN{t=${peer_time[$input]}; print (t > 0 ? ${our_time[$input]} / t : 0)}")" \
            "$(awk "BEGIN{print ${our_rss[$input]} / ${peer_rss[$input]}}")"
    fi
    echo
done
