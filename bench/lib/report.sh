# What a benchmark script reports: each figure beside its target (and the
# peer's figure from the same run), then a last line saying whether every
# target was met, as the benchmark programs do (bench/support/Report.h).
# Source it, then:
#
#   report_at_most NAME VALUE LIMIT [UNIT] [BESIDE]
#   report_at_least NAME VALUE LIMIT [UNIT] [BESIDE]
#   report_figure NAME VALUE [UNIT] [BESIDE]    printed, judged against nothing
#   report_wrong WHAT                           a side answered wrongly
#   report_end                                  prints them all and the last
#                                               line; exits 1 when a target was
#                                               missed or an answer was wrong
#
# BENCH_QUICK is 1 under `make bench-quick`: scripts run at a reduced size.

BENCH_QUICK=${TANDRY_BENCH_QUICK:-0}
REPORT_LINES=()
REPORT_WRONG=()

report_add() {
    REPORT_LINES+=("$1"$'\t'"$2"$'\t'"$3"$'\t'"$4"$'\t'"${5:-}"$'\t'"${6:-}")
}
report_at_most() { report_add "$1" "$2" le "$3" "${4:-}" "${5:-}"; }
report_at_least() { report_add "$1" "$2" ge "$3" "${4:-}" "${5:-}"; }
report_figure() { report_add "$1" "$2" none 0 "${3:-}" "${4:-}"; }
report_wrong() { REPORT_WRONG+=("$1"); }

report_end() {
    local name
    name=$(basename "$0")
    local load
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    printf '%s\n' "${REPORT_LINES[@]}" | awk -F'\t' -v name="$name" -v load="$load" \
        -v quick="$BENCH_QUICK" -v wrong="${REPORT_WRONG[0]:-}" '
        function unit(v, u) { return u == "" ? v : (u == "x" || u == "%") ? v u : v " " u }
        NF >= 4 {
            n++; names[n] = $1; values[n] = $2; ops[n] = $3; limits[n] = $4; units[n] = $5; besides[n] = $6
            if (length($1) > width) width = length($1)
        }
        END {
            printf "\n%s, load average %s%s:\n", name, load, quick == "1" ? ", quick" : ""
            for (i = 1; i <= n; i++) {
                target = ""; verdict = ""
                if (ops[i] != "none") {
                    targets++
                    met = ops[i] == "le" ? values[i] + 0 <= limits[i] + 0 : values[i] + 0 >= limits[i] + 0
                    target = sprintf("%s %s", ops[i] == "le" ? "≤" : "≥", unit(limits[i], units[i]))
                    verdict = met ? "met" : "MISSED"
                    if (!met) { missed++; misses = misses (misses == "" ? "" : "; ") names[i] " " unit(values[i], units[i]) " (" target ")" }
                    summary = summary (summary == "" ? "" : " · ") names[i] " " unit(values[i], units[i])
                }
                printf "  %-*s %12s   %-14s %-6s %s\n", width, names[i], unit(values[i], units[i]), target == "" ? "" : "target " target, verdict, besides[i]
            }
            if (wrong != "") { printf "RESULT %s: FAILED: %s\n", name, wrong; exit 1 }
            if (missed) { printf "RESULT %s: MISSED %d of %d targets: %s\n", name, missed, targets, misses; exit 1 }
            if (targets) printf "RESULT %s: met %d of %d targets: %s\n", name, targets, targets, summary
            else printf "RESULT %s: figures only, no target\n", name
        }'
}
