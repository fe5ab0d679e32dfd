#!/usr/bin/env bash
# A 1 MB page live in the desktop window (bench/ui_window/web_scroll_window:
# the toolkit's screen of 768 × 1024 points, a web view filling it) against a
# bare GtkWindow holding only a WebKitWebView with the same settings
# (web_scroll_bare), one after the other in the same run under the script's
# own Xvfb, RUNS times each (default 3). Each run loads the page, then puts
# a wheel notch down over the page every 16 ms for 5 s. Measured alike in
# both (WebScrollProbe.h): the first paint (from the load call to the
# page's first draw after WebKit commits it) and the page's frames per
# second while it scrolls. Targets: first paint within 1.2 × the bare
# window's, frames per second at least 0.9 × its (medians).
#
#   bench/ui_window/web_scroll.sh BUILD [RUNS]   (BUILD is the bench build tree)
set -euo pipefail
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: web_scroll.sh BUILD [RUNS]}
runs=${2:-3}
ours=$(cd "$build" && pwd)/bench/web_scroll_window
bare=$(cd "$build" && pwd)/bench/web_scroll_bare
for tool in "$ours" "$bare"; do
    [[ -x $tool ]] || { echo "no $(basename "$tool") in $build/bench (cmake --build BUILD --target $(basename "$tool"))" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 1; }
# Under /tmp: the web processes' sandbox cannot bind a home below /var/tmp.
work=$(mktemp -d /tmp/tandry-bench-web-scroll.XXXXXX)
source "$(dirname "$0")/../lib/display.sh"
cleanup() { display_stop || true; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$work/home"
page=$("$ours" page "$work/home")

display_start "$work" 1280x1100

echo "load before: $(uptime)"
: >"$work/ours.txt"
: >"$work/bare.txt"
for run in $(seq "$runs"); do
    "$ours" "$work/home" 5 2>/dev/null | tail -n1 >>"$work/ours.txt"
    "$bare" "$page" 5 2>/dev/null | tail -n1 >>"$work/bare.txt"
done
echo "load after: $(uptime)"

python3 - "$work/ours.txt" "$work/bare.txt" <<'PY'
import statistics, sys
def rows(path):
    return [list(map(float, line.split())) for line in open(path) if line.strip()]
ours, bare = rows(sys.argv[1]), rows(sys.argv[2])
if not ours or not bare:
    sys.exit("a side printed nothing")
for name, table in (("ours", ours), ("bare", bare)):
    for row in table:
        print(f"{name}: first paint {row[0]:.0f} ms, load finished {row[1]:.0f} ms, {row[2]:.1f} frames/s ({row[3]:.0f} frames, {row[4]:.0f} notches)")
paint = statistics.median(r[0] for r in ours) / statistics.median(r[0] for r in bare)
fps = statistics.median(r[2] for r in ours) / statistics.median(r[2] for r in bare)
print(f"ratios {paint:.2f} {fps:.2f}")
PY
read -r _ paint fps < <(python3 - "$work/ours.txt" "$work/bare.txt" <<'PY'
import statistics, sys
def rows(path):
    return [list(map(float, line.split())) for line in open(path) if line.strip()]
ours, bare = rows(sys.argv[1]), rows(sys.argv[2])
print("ratios", statistics.median(r[0] for r in ours) / statistics.median(r[0] for r in bare),
      statistics.median(r[2] for r in ours) / statistics.median(r[2] for r in bare))
PY
)
report_at_most "first paint / the bare window's" "$(printf '%.2f' "$paint")" 1.2 x "medians of $runs"
report_at_least "frames a second scrolling / the bare window's" "$(printf '%.2f' "$fps")" 0.9 x
report_end
