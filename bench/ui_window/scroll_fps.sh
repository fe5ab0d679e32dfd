#!/usr/bin/env bash
# The folder screen of a 10,000-file folder in the desktop window (768 ×
# 1024 points) under its own Xvfb, scrolled down at 1,500 points/s for 5 s
# (bench/ui_window/scroll_fps), at scale 1 and, beside it, scale 2:
# - by the wheel through XTest (xdotool, 40 points a notch: 37.5 notches/s),
# - by a touchpad's smooth scroll events (25 points each, 60/s).
# Printed for each: painted frames/s (target >= 50), the 95th percentile of
# the time between painted frames (target <= 25 ms), a frame's paint time
# (the draw handler's start to the frame clock's after-paint), of which the
# host's draw handler, the rest being GTK's end of the frame; beside it,
# for the whole screen, the Renderer alone and the copy of its picture to
# the X server; the device pixels drawn a frame; and for the smooth scroll,
# how late the bench put its events in (a late feed makes gaps of its own).
# A wheel's notches come 26.7 ms apart at this speed, so they cannot make
# 50 distinct frames a second: the targets are checked on the smooth
# scroll, which can; the wheel's figures are printed beside it.
#
#   bench/ui_window/scroll_fps.sh BUILD      (BUILD is the bench build tree)
set -euo pipefail
source "$(dirname "$0")/../lib/display.sh"
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: scroll_fps.sh BUILD}
tool=$(cd "$build" && pwd)/bench/scroll_fps
[[ -x $tool ]] || { echo "no scroll_fps in $build/bench (cmake --build BUILD --target scroll_fps)" >&2; exit 1; }
for program in Xvfb xdotool; do
    command -v "$program" >/dev/null || { echo "$program is missing" >&2; exit 1; }
done
seconds=${BENCH_SECONDS:-5}
speed=1500
work=$(mktemp -d /var/tmp/tandry-bench-scroll.XXXXXX)
cleanup() { display_stop; rm -rf "$work"; }
trap cleanup EXIT

# Room for the window at scale 2 (1536 × 2048 pixels).
display_start "$work" 1600x2100

echo "load before: $(uptime)"
for scale in 1 2; do
    for mode in wheel smooth; do
        said=$(GDK_SCALE=$scale "$tool" "$mode" "$seconds" "$speed" 2>"$work/log") \
            && grep -q '^scrolled' <<<"$said" || { tail "$work/log" >&2; exit 1; }
        read -r _ count span p50 p95 render render95 pixels moved cpu < <(grep '^scrolled' <<<"$said")
        read -r _ alone alone95 < <(grep '^rendered' <<<"$said")
        read -r _ copy copy95 < <(grep '^copied' <<<"$said")
        read -r _ drawn drawn95 < <(grep '^drawn' <<<"$said")
        read -r _ late late_max < <(grep '^fed' <<<"$said")
        fps=$(awk -v c="$count" -v s="$span" 'BEGIN {printf "%.1f", (s > 0 ? (c - 1) / s : 0)}')
        printf 'scale %s, %-6s: %s frames/s (target >= 50), between frames p50 %s ms, p95 %s ms (target <= 25); ' \
            "$scale" "$mode" "$fps" "$p50" "$p95"
        printf 'paint mean %s ms, p95 %s ms, of which the draw handler %s ms, p95 %s ' \
            "$render" "$render95" "$drawn" "$drawn95"
        printf '(whole screen: the Renderer %s ms, p95 %s; the copy to X %s ms, p95 %s); ' \
            "$alone" "$alone95" "$copy" "$copy95"
        printf '%s device pixels a frame; moved %s points; CPU %s s' "$pixels" "$moved" "$cpu"
        # A late feed shows as gaps that are the bench's, not the window's.
        if [[ $mode == smooth ]]; then
            printf '; events fed late p95 %s ms, at most %s' "$late" "$late_max"
        fi
        printf '\n'
        if [[ $mode == smooth ]]; then
            report_at_least "scale $scale, smooth scroll: painted frames a second" "$fps" 50 "" "wheel figures above"
            report_at_most "scale $scale, smooth scroll: p95 between frames" "$p95" 25 ms "paint mean $render ms"
        fi
    done
done
echo "load after: $(uptime)"
report_end
