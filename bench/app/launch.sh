#!/usr/bin/env bash
# The launch of the whole application against the server alone, on a home of
# 100,000 files whose quota tree a previous run saved. Printed for each mode
# (--server-only, --no-window), as the median of several runs: the time from
# exec to the address line on standard output, and the RSS at that moment.
# Targets: the whole application within 1.5x the server's time and under
# 500 ms, and within 40 MiB of its RSS (the launch counts nothing on the main
# thread: the tree comes from the settings file).
#
#   bench/app/launch.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: launch.sh BUILD}
tandry="$build/tandry"
files=${BENCH_FILES:-100000}
(( BENCH_QUICK )) && files=${BENCH_FILES:-10000}
runs=${BENCH_RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"

python3 - "$home/Library/Documents" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "f%03d" % (i % 200))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%06d.txt" % i), "w") as f:
        f.write("x")
PY

# One run in the given mode: "MS RSS_KIB".
measure() {
    python3 - "$tandry" "$home" "$@" <<'PY'
import os, signal, subprocess, sys, time
tandry, home, *mode = sys.argv[1:]
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
start = time.monotonic()
child = subprocess.Popen([tandry, "--home", home, "-VKPortNumber", "0", *mode],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
line = child.stdout.readline()
elapsed = time.monotonic() - start
rss = 0
with open("/proc/%d/status" % child.pid) as status:
    for entry in status:
        if entry.startswith("VmRSS:"):
            rss = int(entry.split()[1])
child.send_signal(signal.SIGTERM)
child.wait(timeout=60)
if not line.startswith("http://"):
    sys.exit("no address line: %r" % line)
print("%.1f %d" % (elapsed * 1000, rss))
PY
}

# The first whole run counts the store and leaves its tree for the others.
measure --no-window >/dev/null

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A ms rss
modes=(--server-only --no-window)
for mode in "${modes[@]}"; do
    : >"$work/times$mode"; : >"$work/rss$mode"
done
# The two modes take turns, so that a busy moment of the machine does not
# fall on one of them alone.
for _ in $(seq "$runs"); do
    for mode in "${modes[@]}"; do
        read -r t r < <(measure "$mode")
        echo "$t" >>"$work/times$mode"; echo "$r" >>"$work/rss$mode"
    done
done
for mode in "${modes[@]}"; do
    ms[$mode]=$(median <"$work/times$mode")
    rss[$mode]=$(median <"$work/rss$mode")
    printf '%-14s %8s ms to the address  RSS %8s KiB\n' "$mode" "${ms[$mode]}" "${rss[$mode]}"
done

server_ms=${ms[--server-only]} whole_ms=${ms[--no-window]}
[[ -n $server_ms && -n $whole_ms ]] || report_wrong "a launch printed no address"
# Within 1.5x the server's time, or 50 ms of it for a fast server.
limit=$(awk -v s="$server_ms" 'BEGIN {printf "%.0f", (1.5 * s > s + 50) ? 1.5 * s : s + 50}')
report_at_most "whole application to its address" "$whole_ms" "$limit" ms "the server alone $server_ms ms: 1.5x it or 50 ms more"
report_at_most "whole application to its address, at most" "$whole_ms" 500 ms
report_at_most "whole application's RSS beyond the server's" "$(( (${rss[--no-window]} - ${rss[--server-only]}) / 1024 ))" 40 MiB
report_end
