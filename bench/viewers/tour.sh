#!/usr/bin/env bash
# The viewers' tour in the release build's own window, under an Xvfb of the
# benchmark's own, driven from outside as a person would (a later launch's
# --open hands each document over; xdotool's keys page and go back): a
# 60-page PDF paged through, a 12,000 × 9,000 JPEG fitted and zoomed in, a
# 20 MB text, an RTF, a web document, an MP3 and a movie, one after another,
# back to the folder after each. Memory kept written (Private_Dirty of
# /proc/PID/smaps_rollup) of the program alone, and of it with the
# processes it started (WebKit's, the movie's), once still:
# - "rest": the folder shown before the first document;
# - per document, while it shows, and once back at the folder;
# - "after the tour": back at the folder after the last, against rest
#   (target ≤ 20 MB for the program, ≤ 20 MB with its processes). The
#   figures are taken as the program leaves itself: a viewer's own release
#   (its caches, spare bitmaps and a malloc_trim) runs when it closes; no
#   trim comes from outside. Printed beside it: all the program's private
#   memory (Private_Clean too), which other processes move (see private_kb).
# TOUR_TRIM=1 tells after each return what a malloc_trim from outside (gdb)
# would still give back; TOUR_SMAPS=DIR keeps the program's smaps, threads
# and CPU times at each reading there.
#
#   bench/viewers/tour.sh BUILD      (BUILD is the bench build tree)
set -euo pipefail
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: tour.sh BUILD}
program=$(cd "$build" && pwd)/tandry
[[ -x $program ]] || { echo "no tandry in $build (cmake --build BUILD --target tandry)" >&2; exit 1; }
for tool in Xvfb xdotool vips ffmpeg sox lame python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
work=$(mktemp -d /var/tmp/tandry-bench-tour.XXXXXX)
source "$(dirname "$0")/../lib/display.sh"
pid=
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    display_stop || true
    rm -rf "$work"
}
trap cleanup EXIT

# The documents, outside the home: each is handed over as a later launch's.
docs=$work/docs
mkdir -p "$docs"
python3 - "$docs/Report.pdf" <<'PY'
import sys
pages = 60
objects = ["<< /Type /Catalog /Pages 2 0 R >>", None,
           "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
kids = []
for page in range(pages):
    lines = ["BT /F1 11 Tf 56 780 Td 14 TL"]
    for line in range(50):
        lines.append("(Page %d, line %d: the quick brown fox jumps over the lazy dog, twice over.) '" % (page + 1, line + 1))
    lines.append("ET")
    for ring in range(12):
        lines.append("%.2f %.2f %.2f rg %d %d %d %d re f" % (ring / 12, 0.5, 1 - ring / 12, 300 + ring * 10, 60 + ring * 8, 80, 40))
    stream = "\n".join(lines).encode()
    objects.append(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
    objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> /Contents %d 0 R >>" % len(objects))
    kids.append(len(objects))
objects[1] = "<< /Type /Pages /Count %d /Kids [%s] >>" % (pages, " ".join("%d 0 R" % k for k in kids))
out = bytearray(b"%PDF-1.4\n")
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(out))
    out += b"%d 0 obj\n" % number + (body if isinstance(body, bytes) else body.encode()) + b"\nendobj\n"
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
for offset in offsets:
    out += b"%010d 00000 n \n" % offset
out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open(sys.argv[1], "wb").write(out)
PY
vips gaussnoise "$work/noise.v" 1200 900 --sigma 40 --mean 128
vips bandjoin "$work/noise.v $work/noise.v $work/noise.v" "$work/rgb.v"
vips resize "$work/rgb.v" "$docs/Large.jpg[Q=85]" 10
python3 - "$docs/Log.txt" <<'PY'
import sys
with open(sys.argv[1], "w") as out:
    line = 0
    while out.tell() < 20_000_000:
        line += 1
        out.write("2026-12-10 12:%02d:%02d worker %d: request %d served in %d ms from the cache of the folder list\n"
                  % (line // 60 % 60, line % 60, line % 8, line, line * 7 % 300))
PY
python3 "$(dirname "$0")/../rtf/make_large_rtf.py" 1 "$docs/Letter.rtf"
python3 - "$docs/Page.html" <<'PY'
import sys
rows = "".join("<tr><td>%d</td><td>row %d of the table, with <b>bold</b> and <i>italic</i> words</td></tr>" % (n, n) for n in range(3000))
open(sys.argv[1], "w").write("<!doctype html><html><head><meta charset=utf-8><title>Page</title>"
    "<style>td{padding:2px 8px}tr:nth-child(odd){background:#eef}</style></head><body><h1>A web document</h1>"
    "<table>%s</table></body></html>" % rows)
PY
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 20 sine 440 sine 660 vol 0.5
lame --quiet -b 128 "$work/tone.wav" "$docs/Song.mp3"
ffmpeg -loglevel error -f lavfi -i testsrc=size=1280x720:rate=25 -f lavfi -i sine=frequency=500 -t 20 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$docs/Movie.mp4"

display_start "$work" 1280x1024
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null GTK_IM_MODULE=gtk-im-context-simple
home=$work/home
"$program" --home "$home" -VKPortNumber 0 >/dev/null 2>"$work/errors" &
pid=$!

# Waits until CONDITION (a command) holds, asking every 0.1 s; false after
# SECONDS.
until_true() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
window=
find_window() {
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1)
    [[ -n $window ]]
}
until_true 60 find_window || { cat "$work/errors" >&2; echo "no window" >&2; exit 1; }
xdotool windowfocus "$window" mousemove --window "$window" 384 512

# The program's view tree, written on SIGUSR1 (with its picture).
dump() {
    rm -f "$home/tmp/screen-dump.txt"
    kill -USR1 "$pid"
    until_true 20 test -s "$home/tmp/screen-dump.txt" || return 1
    cat "$home/tmp/screen-dump.txt"
}
shows() { dump | grep -q -- "$1"; }
gone() { ! shows "$1"; }
# The window point at the centre of the first view of the dump whose line
# holds TEXT (its frame added up its ancestors'): "X Y".
centre_of() {
    dump | python3 -c '
import re, sys
text, origins = sys.argv[1], []
for line in sys.stdin:
    depth = (len(line) - len(line.lstrip(" "))) // 2
    frame = re.search(r"\((-?[\d.]+), (-?[\d.]+), ([\d.]+), ([\d.]+)\)", line)
    if not frame:
        continue
    x, y, w, h = map(float, frame.groups())
    del origins[depth:]
    ox, oy = origins[-1] if origins else (0, 0)
    origins.append((ox + x, oy + y))
    if text in line:
        print(int(ox + x + w / 2), int(oy + y + h / 2))
        break' "$1"
}
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
key() { xdotool key "$@"; }

# The kilobytes PID keeps written (Private_Dirty: its heap, stacks and
# written data), or with PRIVATE=1 all its private ones (Private_Clean
# too). The clean pages of a library count as private only while no other
# process maps them, and the kernel may drop them at any time: from one
# run to the next, other programs moved the private figure of the same
# steps by ±40 MB while the written one held.
private_kb() {
    awk -v fields="${PRIVATE:+Clean|}Dirty" '$1 ~ "^Private_(" fields "):$" {sum += $2} END {print sum + 0}' \
        "/proc/$1/smaps_rollup" 2>/dev/null || echo 0
}
# The program's kilobytes, and its with all its descendants' (the web
# processes, below bubblewrap too): "OWN ALL".
descendants() {
    ps -e -o pid=,ppid= | awk -v root="$pid" '{parent[$1] = $2} END {
        for (p in parent) { q = p; while (q in parent && q != root && q > 1) q = parent[q]; if (q == root && p != root) print p } }'
}
measure() {
    local own all p
    own=$(private_kb "$pid")
    all=$own
    for p in $(descendants); do
        all=$((all + $(private_kb "$p")))
    done
    echo "$own $all"
}
# Waits until the memory holds still (two readings 0.5 s apart within 1 MB,
# at most 30 s) and prints it as measure does.
settled() {
    local last now
    last=$(measure)
    for _ in $(seq 60); do
        sleep 0.5
        now=$(measure)
        if (( ${now%% *} - ${last%% *} < 1024 && ${last%% *} - ${now%% *} < 1024 )); then
            echo "$now"
            return
        fi
        last=$now
    done
    echo "$now"
}
# With TOUR_TRIM=1, what a malloc_trim from outside (through gdb) would
# still give back at each reading: "OWN" after it, to tell the allocator's
# free heap from memory in use.
trimmed_own() {
    gdb -p "$pid" -batch -ex 'call (int) malloc_trim(0)' >/dev/null 2>&1
    private_kb "$pid"
}
mb() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

# Past the first launch's alert into the folder list.
until_true 60 shows '"OK"' || { echo "no first launch alert" >&2; exit 1; }
key Return
until_true 30 shows '"Documents"' || { echo "no folder list" >&2; exit 1; }
read -r rest_own rest_all < <(settled)
rest_private=$(PRIVATE=1 private_kb "$pid")
[[ -n ${TOUR_SMAPS:-} ]] && cp "/proc/$pid/smaps" "$TOUR_SMAPS/rest.smaps"
echo "rest: $(mb "$rest_own") MB own, $(mb "$rest_all") MB with its processes"

# Hands DOCUMENT over, waits until the dump shows MARK, runs the steps, and
# goes back until the dump shows the folder again.
visit() {
    local name=$1 mark=$2 steps=$3
    "$program" --home "$home" --open "$docs/$name" 2>>"$work/errors"
    until_true 60 shows "$mark" || { echo "$name: no $mark" >&2; dump >&2; exit 1; }
    eval "$steps"
    read -r shown_own shown_all < <(settled)
    key Escape
    if ! until_true 5 gone "$mark"; then
        # A movie is left by its own "Done", which a tap shows.
        local done
        done=$(centre_of '"Done"')
        [[ -n $done ]] || { click 384 512; done=$(centre_of '"Done"'); }
        [[ -n $done ]] && click $done
        until_true 30 gone "$mark" || { echo "$name: not back" >&2; dump >&2; exit 1; }
    fi
    read -r left_own left_all < <(settled)
    [[ -n ${TOUR_SMAPS:-} ]] && { cp "/proc/$pid/smaps" "$TOUR_SMAPS/$name.smaps"; cat /proc/$pid/task/*/comm > "$TOUR_SMAPS/$name.threads"; awk '{print $14, $15}' /proc/$pid/stat > "$TOUR_SMAPS/$name.cpu"; }
    [[ ${TOUR_TRIM:-0} == 1 ]] && echo "$name: back at the folder, after a malloc_trim from outside $(mb $(($(trimmed_own) - rest_own))) MB own"
    printf '%-11s shown %7s MB own %7s MB all   back at the folder %7s MB own %7s MB all (over rest)\n' "$name" \
        "$(mb $((shown_own - rest_own)))" "$(mb $((shown_all - rest_all)))" \
        "$(mb $((left_own - rest_own)))" "$(mb $((left_all - rest_all)))"
}

visit Report.pdf 'VKPDF' 'for _ in $(seq 30); do key Next; done
    until_true 10 gone "\"1 of 60\"" || report_wrong "the PDF did not page"'
visit Large.jpg 'VKImage' 'xdotool mousemove --window "$window" 640 512 click --repeat 2 --delay 80 1; settled >/dev/null; xdotool mousemove --window "$window" 640 512 click --repeat 2 --delay 80 1'
visit Log.txt 'VKText' 'for _ in $(seq 20); do key Next; done'
visit Letter.rtf 'WebView' ''
visit Page.html 'WebView' 'for _ in $(seq 10); do key Next; done'
visit Song.mp3 'VKAudio' ''
visit Movie.mp4 'MovieView' ''

# The web engine lets its processes go a while after its last page: the
# end is read once they went (at most 90 s).
web_gone() { ! ps -o comm= -p "$(descendants | tr '\n' ',' | sed 's/,$//')" 2>/dev/null | grep -qi webkit; }
until_true 90 web_gone || echo "the web processes are still there after 90 s"
read -r end_own end_all < <(settled)
end_private=$(PRIVATE=1 private_kb "$pid")
[[ -n ${TOUR_SMAPS:-} ]] && { cp "/proc/$pid/smaps" "$TOUR_SMAPS/end.smaps"; cat /proc/$pid/task/*/comm > "$TOUR_SMAPS/end.threads"; awk '{print $14, $15}' /proc/$pid/stat > "$TOUR_SMAPS/end.cpu"; }
echo "after the tour: $(mb "$end_own") MB own, $(mb "$end_all") MB with its processes (rest $(mb "$rest_own"), $(mb "$rest_all"))"
report_at_most "memory kept written after the tour over rest, the program" "$(mb $((end_own - rest_own)))" 20 MB \
    "rest $(mb "$rest_own") MB"
report_at_most "memory kept written after the tour over rest, with its processes" "$(mb $((end_all - rest_all)))" 20 MB \
    "rest $(mb "$rest_all") MB"
report_figure "all private memory after the tour over rest, clean pages too" "$(mb $((end_private - rest_private)))" MB \
    "rest $(mb "$rest_private") MB"
report_end
