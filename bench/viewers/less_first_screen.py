#!/usr/bin/env python3
# less on a file in a pty of 70 rows by 120 columns, timed until its first
# screen and prompt (the file's name) are out; prints the best of three in
# seconds. The text viewer's benchmark runs it beside each open.
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
print(f"{best:.6f}")
