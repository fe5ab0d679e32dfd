#!/bin/sh
# Runs bench_viewers_text_open and times its peer on the same logs: `less`
# in a pseudo-terminal of the viewer's rows (768 × 1024 at 13 points: 70
# rows of 120 columns) until its first screen and prompt are out, warm
# cache. Usage: bench/viewers/text_open.sh [build/bench]
set -eu
build=${1:-build/bench}
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
TEXT_OPEN_LOGS=$logs "$build/bench/bench_viewers_text_open" --benchmark_counters_tabular=true
for log in "$logs"/log-*.log; do
    cat "$log" > /dev/null
    python3 - "$log" <<'PY'
import os, pty, select, sys, time
path = sys.argv[1]
name = os.path.basename(path).encode()
best = None
for _ in range(3):
    start = time.monotonic()
    pid, fd = pty.fork()
    if pid == 0:
        os.environ["LINES"], os.environ["COLUMNS"], os.environ["TERM"] = "70", "120", "xterm"
        os.execvp("less", ["less", path])
    seen = b""
    while name not in seen:
        ready, _, _ = select.select([fd], [], [], 10)
        if not ready:
            break
        try:
            seen += os.read(fd, 65536)
        except OSError:
            break
    elapsed = time.monotonic() - start
    os.write(fd, b"q")
    os.waitpid(pid, 0)
    os.close(fd)
    best = elapsed if best is None else min(best, elapsed)
print(f"{os.path.basename(path)}: less first screen {best * 1000:.1f} ms")
PY
done
