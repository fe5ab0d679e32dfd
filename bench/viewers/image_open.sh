#!/bin/sh
# Runs bench_viewers_image_open (its peers, `convert` and `vipsthumbnail`,
# run inside it in the same run) with the machine's load before and after,
# and names the targets beside the counters. Usage:
# bench/viewers/image_open.sh [build/bench]
set -eu
build=${1:-build/bench}
for program in /usr/bin/convert vipsthumbnail; do
    command -v "$program" >/dev/null || { echo "$program is missing (scripts/install-deps --bench)" >&2; exit 1; }
done
uptime
"$build/bench/bench_viewers_image_open" --benchmark_counters_tabular=true 2>&1 | grep -v '^Clearing\|^Warning, failed to delete'
uptime
cat <<'TARGETS'
targets: Uncached12MP vsConvert <= 1 (vipsMs beside); Cached12MP oursMs <= 50; Shown3MP vsRgba <= 1.3;
         PinchFrame pinchMedianMs <= 8 with pinchDecodes 0; Swipe50 swipeGrowthDecodes <= 3, afterPopDecodes about 0
TARGETS
