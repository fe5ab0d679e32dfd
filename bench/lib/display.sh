# Shared by the benchmarks that show the desktop window. Source it, then:
#
#   display_start WORK [SIZE]   an Xvfb of the benchmark's own (24-bit, SIZE
#                               as WIDTHxHEIGHT, 1280x1024 by default) with its
#                               number in WORK/display; DISPLAY set to it,
#                               GDK_BACKEND=x11, WAYLAND_DISPLAY cleared, so no
#                               window opens on the caller's desktop; XVFB_PID
#   display_stop                ends it (call it from the script's clean-up)

XVFB_PID=

display_start() {
    local work=${1:?usage: display_start WORK [SIZE]} size=${2:-1280x1024}
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
    [[ -s $work/display ]] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=:$(head -n1 "$work/display")
    export GDK_BACKEND=x11
    unset WAYLAND_DISPLAY
}

display_stop() {
    [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}
