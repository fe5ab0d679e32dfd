#!/usr/bin/env bash
# tandry in its window on the root list, under its own Xvfb, left alone:
# after 5 s of quiet, over 20 s, the CPU it uses (% of one core, target
# <= 0.5) and the voluntary context switches a second over all its threads
# (/proc/PID/task/*/status, target <= 5). The home is launched once before,
# so the measured run starts on the root list without the first launch's
# alert; the server's address is not shown at its start either.
#
#   bench/ui_window/idle_cpu.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/../lib/display.sh"
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: idle_cpu.sh BUILD}
tandry=$(cd "$build" && pwd)/tandry
[[ -x $tandry ]] || { echo "no tandry in $build (make bench builds it)" >&2; exit 1; }
for program in Xvfb xdotool; do
    command -v "$program" >/dev/null || { echo "$program is missing" >&2; exit 1; }
done
quiet=${BENCH_QUIET:-5}
span=${BENCH_SPAN:-20}
work=$(mktemp -d /var/tmp/tandry-bench-idle.XXXXXX)
tandry_pid=
cleanup() {
    [[ -n $tandry_pid ]] && kill "$tandry_pid" 2>/dev/null && wait "$tandry_pid" 2>/dev/null
    display_stop
    rm -rf "$work"
}
trap cleanup EXIT

display_start "$work" 1280x1100
home=$work/home

# launch [ARGUMENTS]: tandry on the home in the background, until it serves.
launch() {
    : >"$work/log"
    "$tandry" --home "$home" -VKPortNumber 0 "$@" >>"$work/log" 2>&1 &
    tandry_pid=$!
    local tries=0
    until grep -q 'Serving at http://' "$work/log"; do
        kill -0 "$tandry_pid" 2>/dev/null && (( ++tries < 300 )) || { tail "$work/log" >&2; exit 1; }
        sleep 0.1
    done
}
stop() { kill "$tandry_pid"; wait "$tandry_pid" || true; tandry_pid=; }

launch
sleep 2
stop
# The server's address is not shown at the start this time.
launch -VKDisplayServerURLAtStartup NO
# The window's view tree, once it shows (SIGUSR1 is answered from then
# on): the root list, no alert.
for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$tandry_pid" >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 1
kill -USR1 "$tandry_pid"
for _ in $(seq 50); do [[ -s $home/tmp/screen-dump.txt ]] && break; sleep 0.1; done
if grep -q 'AlertView' "$home/tmp/screen-dump.txt" 2>/dev/null; then
    echo "an alert shows on the second launch:" >&2
    grep -A3 AlertView "$home/tmp/screen-dump.txt" >&2
    exit 1
fi

ticks() { awk '{print $14 + $15}' "/proc/$tandry_pid/stat"; }
threads() { ls /proc/"$tandry_pid"/task | wc -l; }
# "TID NAME COUNT" for each thread.
per_thread() {
    for task in /proc/"$tandry_pid"/task/*; do
        echo "${task##*/} $(tr ' ' _ <"$task/comm") $(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status")"
    done 2>/dev/null
}

echo "load before: $(uptime)"
sleep "$quiet"
t0=$(ticks) n0=$(threads) start=$(date +%s.%N)
per_thread >"$work/before"
sleep "$span"
t1=$(ticks) n1=$(threads) end=$(date +%s.%N)
per_thread >"$work/after"
echo "load after: $(uptime)"
hz=$(getconf CLK_TCK)
cpu=$(awk -v t=$((t1 - t0)) -v hz="$hz" -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", 100 * t / hz / (b - a)}')
# Threads that ended meanwhile take their counts with them: the sum is of
# the threads there at the end (from 0 for those that began meanwhile).
switched=$(awk 'NR == FNR {before[$1] = $3; next} {s += $3 - before[$1]} END {print s + 0}' "$work/before" "$work/after")
rate=$(awk -v s="$switched" -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", s / (b - a)}')
echo "idle on the root list over ${span} s after ${quiet} s of quiet ($n0 threads, $n1 at the end):"
echo "  CPU ${cpu} % of one core (target <= 0.5; $((t1 - t0)) ticks of $hz a second)"
echo "  voluntary context switches ${rate}/s over all threads (target <= 5)"
# Where they come from: the threads that switched meanwhile.
awk 'NR == FNR {before[$1] = $3; next} $3 - before[$1] > 0 {printf "    %-16s %d\n", $2, $3 - before[$1]}' \
    "$work/before" "$work/after"
stop
report_at_most "CPU left alone on the root list" "$cpu" 0.5 % "$((t1 - t0)) ticks in ${span} s"
report_at_most "voluntary context switches a second" "$rate" 5 "" "$n1 threads"
report_end
