#!/usr/bin/env bash
# A 10-second 1280 × 720 clip at 30 frames a second played in the desktop
# window under its own Xvfb (bench/media/movie_window, the player drawing
# into the toolkit's layers, decoded in the program's movie process), against
# gst-launch-1.0's playbin drawing with ximagesink on the same display,
# sound to a fakesink in both. Targets: at
# least 98 % of the frames presented, the window's CPU time at most 1.5x
# playbin's; paused, no frame and no redraw in two seconds.
#
#   bench/media/movie_play.sh BUILD      (BUILD is the bench build tree)
set -euo pipefail
build=${1:?usage: movie_play.sh BUILD}
tool=$(cd "$build" && pwd)/bench/movie_window
program=$(cd "$build" && pwd)/tandry-movie
[[ -x $tool ]] || { echo "no movie_window in $build/bench (make bench builds it)" >&2; exit 1; }
[[ -x $program ]] || { echo "no tandry-movie in $build (the movie process plays the clip)" >&2; exit 1; }
for peer in Xvfb gst-launch-1.0 python3; do
    command -v "$peer" >/dev/null || { echo "$peer is missing" >&2; exit 1; }
done
work=$(mktemp -d /var/tmp/tandry-bench-movie.XXXXXX)
source "$(dirname "$0")/../lib/display.sh"
source "$(dirname "$0")/../lib/report.sh"
cleanup() { display_stop || true; rm -rf "$work"; }
trap cleanup EXIT

clip=$work/720p.mp4
gst-launch-1.0 -q -e videotestsrc num-buffers=300 pattern=ball ! video/x-raw,width=1280,height=720,framerate=30/1 \
    ! videoconvert ! openh264enc ! h264parse ! queue ! mp4mux name=m ! filesink location="$clip" \
    audiotestsrc num-buffers=300 samplesperbuffer=1470 ! audio/x-raw,rate=44100,channels=1 ! audioconvert \
    ! avenc_aac ! aacparse ! queue ! m.audio_0

display_start "$work"

# Runs a command and prints its standard output, then "cpu SECONDS" (user
# and system time of it and its children).
cpu_of() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys
out = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print(out.strip())
print("cpu %.3f" % (usage.ru_utime + usage.ru_stime))
PY
}

# The program's home lasts from launch to launch, and each quit empties its
# tmp/: a first launch sets it up (not counted), and each launch after it
# finds what the one before kept.
home=$work/home
mkdir -p "$home"
cpu_of "$tool" "$clip" --process "$program" --home "$home" >/dev/null
rm -rf "$home/tmp"
ours=$(cpu_of "$tool" "$clip" --process "$program" --home "$home")
rm -rf "$home/tmp"
theirs=$(cpu_of gst-launch-1.0 -q playbin uri="file://$clip" video-sink=ximagesink audio-sink="fakesink sync=true")
paused=$(cpu_of "$tool" "$clip" --pause --process "$program" --home "$home")

read -r _ presented dropped draws playing_cpu < <(grep '^played' <<<"$ours")
our_cpu=$(awk '/^cpu/ {print $2}' <<<"$ours")
their_cpu=$(awk '/^cpu/ {print $2}' <<<"$theirs")
read -r _ paused_frames paused_draws < <(grep '^paused' <<<"$paused")

share=$(awk -v p="$presented" 'BEGIN {printf "%.1f", 100 * p / 300}')
ratio=$(awk -v a="$our_cpu" -v b="$their_cpu" 'BEGIN {printf "%.2f", a / b}')
playing_ratio=$(awk -v a="$playing_cpu" -v b="$their_cpu" 'BEGIN {printf "%.2f", a / b}')
[[ -n $presented && -n $their_cpu ]] || report_wrong "the window or playbin did not play the clip"
report_at_least "frames presented" "$share" 98 % "$presented of 300, dropped $dropped, window draws $draws"
report_at_most "CPU / playbin with ximagesink" "$ratio" 1.5 x "${our_cpu} s, playbin ${their_cpu} s; play to end only ${playing_ratio}x"
report_at_most "frames while paused for 2 s" "$paused_frames" 0
report_at_most "redraws while paused for 2 s" "$paused_draws" 0
report_end
