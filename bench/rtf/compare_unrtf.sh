#!/usr/bin/env bash
# Side-by-side run of our converter (rtf_convert, built beside the
# benchmarks) and unrtf --html on generated documents of 2, 8 and 50 MB and
# on 8 MB of empty groups: best wall time and peak RSS, under GNU time (five
# runs each, one at 50 MB). unrtf takes twenty minutes on 50 MB, so it
# runs on the others only (and on none with --ours-only); a quick run
# leaves out the 50 MB document.
#
#   bench/rtf/compare_unrtf.sh [--ours-only] BUILD      (BUILD is the bench build tree)
#
# Targets: our time <= 0.1 x unrtf's, our peak RSS <= unrtf's, and at most
# 4 bytes per input byte plus 16 MB (the converter reads the document as it
# goes and keeps only its output). The empty groups are a stress of the
# group stack, not a document: unrtf writes nothing for them and spends only
# its reading (0.4 s, against 10 s for the 8 MB document), so there our time
# is held to unrtf's (<= 1x) and to half our own on the 8 MB document of
# the same size (no group costs more than the text it would hold).
set -euo pipefail
source "$(dirname "$0")/../lib/report.sh"

peer=unrtf
[[ ${1:-} == --ours-only ]] && { peer=; shift; }
build=${1:?usage: compare_unrtf.sh [--ours-only] BUILD}
ours=$(cd "$build" && pwd)/bench/rtf_convert
[[ -x $ours ]] || { echo "no rtf_convert in $build/bench (make bench builds it)" >&2; exit 1; }
cd "$(dirname "$0")/../.."
[[ -x /usr/bin/time ]] || { echo "needs GNU time (apt-get install time)" >&2; exit 1; }
if [[ -n $peer ]] && ! command -v unrtf >/dev/null; then
    echo "needs unrtf (apt-get install unrtf), or --ours-only" >&2
    exit 1
fi

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
(( BENCH_QUICK )) && inputs=(2 8 braces)
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
    grep -q '<html' "$work/ours.html" 2>/dev/null || report_wrong "no HTML from our converter for $input"
    if [[ -n $peer && $input != 50 ]]; then
        read -r peer_time[$input] peer_rss[$input] < <(best "${runs[$input]}" sh -c 'unrtf --html "$1" > "$2"' sh "$document" "$work/peer.html")
        grep -qi '<html' "$work/peer.html" || report_wrong "no HTML from unrtf for $input"
    fi
done

for input in "${inputs[@]}"; do
    name=$input
    [[ $input == braces ]] || name="$input MB"
    # The memory bound: 4 bytes per input byte plus 16 MB.
    bound_kb=$(( bytes[$input] * 4 / 1024 + 16384 ))
    report_at_most "$name: peak RSS" "${our_rss[$input]}" "$bound_kb" KB "4 bytes an input byte and 16 MB; ${our_time[$input]} s"
    if [[ $input == braces ]]; then
        report_at_most "$name: time / ours on 8 MB" "$(awk "BEGIN{t=${our_time[8]}; printf \"%.3f\", (t > 0 ? ${our_time[$input]} / t : 0)}")" \
            0.5 x "${our_time[$input]} s, 8 MB ${our_time[8]} s"
    fi
    if [[ -n ${peer_time[$input]:-} ]]; then
        report_at_most "$name: time / unrtf" "$(awk "BEGIN{t=${peer_time[$input]}; printf \"%.3f\", (t > 0 ? ${our_time[$input]} / t : 0)}")" \
            "$([[ $input == braces ]] && echo 1 || echo 0.1)" x "${our_time[$input]} s, unrtf ${peer_time[$input]} s"
        report_at_most "$name: peak RSS / unrtf" "$(awk "BEGIN{printf \"%.2f\", ${our_rss[$input]} / ${peer_rss[$input]}}")" \
            1 x "unrtf ${peer_rss[$input]} KB"
    fi
done
report_end
