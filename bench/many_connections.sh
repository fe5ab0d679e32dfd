#!/usr/bin/env bash
# 20,000 kept-alive connections at once, more than the server keeps (at most
# 8,192, fewer with fewer descriptors): two clients open them one after the
# other, each making one GET, and hold them open. Every GET must be answered
# whole (the server makes room by closing the longest-idle connections, it
# never stops answering); tandry's peak memory must stay bounded (at most
# 4 KiB for each connection it keeps); a GET beside them is answered at once;
# and after the clients leave the RSS is back near the start.
#
#   bench/many_connections.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: many_connections.sh BUILD}"
connections=${BENCH_CONNECTIONS:-20000}
(( BENCH_QUICK )) && connections=${BENCH_CONNECTIONS:-4000}
ulimit -n "$(ulimit -Hn)"
descriptors=$(ulimit -n)
kept=8192
[[ $descriptors == unlimited ]] || (( (descriptors - 256) / 2 >= kept )) || kept=$(( (descriptors - 256) / 2 ))

tandry_start
head -c 1024 /dev/urandom >"$TANDRY_DOCS/1k.bin"
check_get tandry "$TANDRY_URL/Documents/1k.bin" "$TANDRY_DOCS/1k.bin"

# hold URL COUNT SECONDS: opens COUNT connections one after the other, one
# GET each read whole (200 and 1,024 bytes), then holds those still open;
# prints "ready ANSWERED CLOSED" (CLOSED: closed by the server since).
hold() {
    client python3 - "$1" "$2" "$3" <<'EOF'
import resource, socket, sys, time, urllib.parse
url, count, seconds = urllib.parse.urlsplit(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
request = f"GET {url.path} HTTP/1.1\r\nHost: {url.netloc}\r\n\r\n".encode()
sockets, answered = [], 0
for _ in range(count):
    s = socket.create_connection((url.hostname, url.port), timeout=10)
    s.sendall(request)
    data = b""
    while b"\r\n\r\n" not in data:
        got = s.recv(65536)
        if not got:
            sys.exit("a connection was closed before its answer")
        data += got
    head, body = data.split(b"\r\n\r\n", 1)
    if not head.startswith(b"HTTP/1.1 200"):
        sys.exit(f"answered {head[:40]!r}")
    while len(body) < 1024:
        got = s.recv(65536)
        if not got:
            sys.exit("an answer ended early")
        body += got
    answered += 1
    sockets.append(s)
closed = 0
for s in sockets:
    s.setblocking(False)
    try:
        closed += s.recv(1) == b""
    except (BlockingIOError, ConnectionResetError) as e:
        closed += isinstance(e, ConnectionResetError)
print("ready", answered, closed, flush=True)
time.sleep(seconds)
EOF
}

wait_ready() {
    local line
    read -r line <&"$1"
    [[ $line == ready* ]] || { echo "a client failed" >&2; exit 1; }
    echo "$line"
}

rss_before=$(rss_kib "$TANDRY_PID")
reset_hwm "$TANDRY_PID"
start=$(date +%s.%N)
half=$(( connections / 2 ))
exec 3< <(hold "$TANDRY_URL/Documents/1k.bin" "$half" 10)
exec 4< <(hold "$TANDRY_URL/Documents/1k.bin" "$(( connections - half ))" 10)
first=$(wait_ready 3)
second=$(wait_ready 4)
elapsed=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN {printf "%.2f", e - s}')
answered=$(( $(echo "$first" | cut -d' ' -f2) + $(echo "$second" | cut -d' ' -f2) ))
open=$(ss -Htn state established "( sport = :${TANDRY_URL##*:} )" | wc -l)
beside=$(client curl -s -o /dev/null -w '%{time_total}' "$TANDRY_URL/Documents/1k.bin")
peak=$(hwm_kib "$TANDRY_PID")
exec 3<&- 4<&-
# The clients gone, the server notices each close (within 30 s).
tries=0
until (( $(ss -Htn state established "( sport = :${TANDRY_URL##*:} )" | wc -l) == 0 )); do
    (( ++tries < 150 )) || { report_wrong "connections left open after the clients left"; break; }
    sleep 0.2
done
rss_after=$(rss_kib "$TANDRY_PID")
check_get tandry "$TANDRY_URL/Documents/1k.bin" "$TANDRY_DOCS/1k.bin"

grown=$(( peak - rss_before ))
printf '%d connections in %s s, %d answered; the server kept %d of them open (at most %d)\n' \
    "$connections" "$elapsed" "$answered" "$open" "$kept"
printf 'tandry: RSS %d KiB at the start, peak %d KiB (+%d KiB), %d KiB after\n' "$rss_before" "$peak" "$grown" "$rss_after"
(( answered == connections )) || report_wrong "$(( connections - answered )) GETs of $connections unanswered"
report_at_most "connections kept open" "$open" "$kept" "" "$connections opened"
report_at_most "peak memory grown / connections kept" "$(ratio "$grown" "$kept")" 4 KiB \
    "$(( grown / 1024 )) MiB for $kept"
report_at_most "a GET beside them" "$(awk -v s="$beside" 'BEGIN {printf "%.1f", s * 1000}')" 50 ms
report_at_most "RSS after they closed, from the start" "$(( rss_after - rss_before ))" 2048 KiB
report_end
