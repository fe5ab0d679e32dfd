#!/usr/bin/env bash
# The audio player screen against ffplay, sound through SDL's disk driver
# (paced in real time, written to /dev/null) in both, in the desktop window
# under its own Xvfb (bench/viewers/audio_window):
# - a 30-second 44.1 kHz stereo MP3 played for 30 s with the screen shown:
#   the whole process's CPU time against `ffplay -nodisp -autoexit` on the
#   same file (target <= 1.5x); between ticks only the time labels and the
#   slider are redrawn (the largest damaged area of one pass <= their area,
#   no damaged rectangle outside them);
# - a folder of 10,000 tracks: the screen's content load (target <= 100 ms),
#   the sorted playlist made once.
#
#   bench/viewers/audio_play.sh BUILD      (BUILD is the bench build tree)
set -euo pipefail
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: audio_play.sh BUILD}
tool=$(cd "$build" && pwd)/bench/audio_window
[[ -x $tool ]] || { echo "no audio_window in $build/bench (cmake --build BUILD --target audio_window)" >&2; exit 1; }
for program in Xvfb ffplay sox lame python3; do
    command -v "$program" >/dev/null || { echo "$program is missing" >&2; exit 1; }
done
work=$(mktemp -d /var/tmp/tandry-bench-audio.XXXXXX)
source "$(dirname "$0")/../lib/display.sh"
cleanup() { display_stop || true; rm -rf "$work"; }
trap cleanup EXIT

track=$work/music/track.mp3
mkdir -p "$work/music" "$work/many"
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 30 sine 440 sine 660 vol 0.5
lame --quiet -b 128 "$work/tone.wav" "$track"
sox -n -r 22050 -c 1 -b 16 "$work/short.wav" synth 1 sine 440
lame --quiet -b 32 "$work/short.wav" "$work/short.mp3"
for n in $(seq -w 1 10000); do ln "$work/short.mp3" "$work/many/Track $n.mp3"; done

display_start "$work"
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null

# Runs a command and prints its standard output, then "cpu SECONDS" (user
# and system time of it and its children) and "wall SECONDS".
cpu_of() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
out = subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print(out.strip())
print("cpu %.3f" % (usage.ru_utime + usage.ru_stime))
print("wall %.3f" % wall)
PY
}

echo "load before: $(uptime)"
ours=$(cpu_of "$tool" play "$track" 30)
theirs=$(cpu_of ffplay -nodisp -autoexit -loglevel quiet "$track")
folder=$("$tool" folder "$work/many")
echo "load after: $(uptime)"

read -r _ playing_cpu draws ticks worst allowed outside position < <(grep '^played' <<<"$ours")
our_cpu=$(awk '/^cpu/ {print $2}' <<<"$ours")
their_cpu=$(awk '/^cpu/ {print $2}' <<<"$theirs")
their_wall=$(awk '/^wall/ {print $2}' <<<"$theirs")
read -r _ loaded tracks sorts listings <<<"$folder"

ratio=$(awk -v a="$our_cpu" -v b="$their_cpu" 'BEGIN {printf "%.2f", a / b}')
playing_ratio=$(awk -v a="$playing_cpu" -v b="$their_cpu" 'BEGIN {printf "%.2f", a / b}')
echo "CPU over 30 s: ours ${our_cpu}s (whole process), ffplay ${their_cpu}s (played ${their_wall}s): ${ratio}x (target <= 1.5)"
echo "     ours from play to the end only (no start-up) ${playing_cpu}s: ${playing_ratio}x; played to ${position}s"
echo "redraws: $draws draws, $ticks ticks; largest damage of one pass ${worst} pt² against ${allowed} pt² of labels and slider; $outside rectangles outside them (target <= and 0)"
echo "10,000 tracks: content load ${loaded} ms (target <= 100), $tracks in the playlist, sorted list made $sorts time(s), folder listed $listings time(s)"
(( tracks == 10000 )) || report_wrong "$tracks tracks in the playlist of 10,000"
report_at_most "CPU playing 30 s / ffplay" "$ratio" 1.5 x "${our_cpu} s, ffplay ${their_cpu} s; play to end only ${playing_ratio}x"
report_at_most "largest damage of a pass / labels and slider" "$(awk -v w="$worst" -v a="$allowed" 'BEGIN {printf "%.2f", (a > 0 ? w / a : 0)}')" 1 x \
    "$draws draws, $ticks ticks"
report_at_most "damaged rectangles outside them" "$outside" 0
report_at_most "sorted playlists made" "$sorts" 1
report_at_most "content load of 10,000 tracks" "$loaded" 100 ms
report_end
