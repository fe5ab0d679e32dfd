#!/usr/bin/env bash
# 2,000 kept-alive connections, each making one GET and then idling, against
# tandry and Apache httpd on the same folder. Printed: the memory each
# server adds for them (tandry's RSS, Apache's summed PSS), per connection;
# how long a normal request beside them takes; tandry's CPU while they idle;
# and its RSS once its 30 s idle time-out has closed them. Targets: tandry
# adds at most 4 KiB per connection and no more than Apache; the request
# beside them answered at once (under 50 ms); idle CPU under 1%; RSS back
# within 2 MiB of the start after the time-outs.
#
# The server holds at most half its descriptors less 256 (up to 8,192) and
# makes room by closing idle connections beyond that: the hard descriptor
# limit must be at least 2 x (connections + 128) + 256 (4,512 for 2,000).
#
#   bench/idle_connections.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: idle_connections.sh BUILD}"
connections=${BENCH_CONNECTIONS:-2000}
ulimit -n "$(ulimit -Hn)"
descriptors=$(ulimit -n)
[[ $descriptors == unlimited ]] || (( descriptors >= 2 * (connections + 128) + 256 )) \
    || { echo "ulimit -Hn is too low for $connections connections" >&2; exit 1; }

tandry_start
head -c 1024 /dev/urandom >"$TANDRY_DOCS/1k.bin"
peers_mirror
apache_start
check_get tandry "$TANDRY_URL/Documents/1k.bin" "$TANDRY_DOCS/1k.bin"
check_get Apache "$APACHE_URL/1k.bin" "$TANDRY_DOCS/1k.bin"

# hold URL SECONDS: opens the connections, one GET each (response read
# whole), then keeps them open; prints "ready" once all have their answer.
hold() {
    client python3 - "$1" "$connections" "$2" <<'EOF'
import resource, socket, sys, time, urllib.parse
url, count, seconds = urllib.parse.urlsplit(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
request = f"GET {url.path} HTTP/1.1\r\nHost: {url.netloc}\r\n\r\n".encode()
sockets = []
for _ in range(count):
    s = socket.create_connection((url.hostname, url.port))
    s.sendall(request)
    sockets.append(s)
for s in sockets:
    data = b""
    while b"\r\n\r\n" not in data:
        data += s.recv(65536)
    head, body = data.split(b"\r\n\r\n", 1)
    length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")][0].split(b":")[1])
    while len(body) < length:
        body += s.recv(65536)
print("ready", flush=True)
time.sleep(seconds)
EOF
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
wait_ready() { local line; read -r line <&3; [[ $line == ready ]] || { echo "the client failed" >&2; exit 1; }; }

# tandry: before, with the connections, idle CPU, after its time-outs.
tandry_before=$(rss_kib "$TANDRY_PID")
exec 3< <(hold "$TANDRY_URL/Documents/1k.bin" 45)
wait_ready
sleep 1
tandry_held=$(rss_kib "$TANDRY_PID")
beside=$(client curl -s -o /dev/null -w '%{time_total}' "$TANDRY_URL/Documents/1k.bin")
ticks=$(cpu_ticks "$TANDRY_PID")
sleep 10
idle_ticks=$(( $(cpu_ticks "$TANDRY_PID") - ticks ))
sleep 25 # past the 30 s idle time-out
open_after=$(ss -Htn state established "( sport = :${TANDRY_URL##*:} )" | wc -l)
tandry_after=$(rss_kib "$TANDRY_PID")
exec 3<&-

apache_before=$(pss_tree_kib "$APACHE_PID")
exec 3< <(hold "$APACHE_URL/1k.bin" 5)
wait_ready
sleep 1
apache_held=$(pss_tree_kib "$APACHE_PID")
exec 3<&-

hz=$(getconf CLK_TCK)
tandry_added=$(( tandry_held - tandry_before ))
apache_added=$(( apache_held - apache_before ))
printf '%d connections\n' "$connections"
printf 'tandry: RSS %d KiB, %d KiB with the connections: +%d KiB (%.2f KiB each; target at most 4)\n' \
    "$tandry_before" "$tandry_held" "$tandry_added" "$(ratio "$tandry_added" "$connections")"
printf 'Apache: PSS %d KiB, %d KiB with the connections: +%d KiB (%.2f KiB each)\n' \
    "$apache_before" "$apache_held" "$apache_added" "$(ratio "$apache_added" "$connections")"
printf 'tandry per connection against Apache: %s (target at most 1.0)\n' "$(ratio "$tandry_added" "$apache_added")"
printf 'a GET beside them: %s s (target under 0.05)\n' "$beside"
printf 'tandry idle CPU with the connections open: %s%% (target under 1)\n' \
    "$(awk -v t="$idle_ticks" -v hz="$hz" 'BEGIN {printf "%.2f", 100 * t / hz / 10}')"
printf 'after the idle time-out: %d connections still open, RSS %d KiB (%+d KiB from the start; target within 2048)\n' \
    "$open_after" "$tandry_after" "$(( tandry_after - tandry_before ))"
(( open_after == 0 )) || report_wrong "$open_after connections still open after the idle time-out"
report_at_most "memory tandry adds a connection" "$(ratio "$tandry_added" "$connections")" 4 KiB \
    "$connections connections; Apache $(ratio "$apache_added" "$connections") KiB"
report_at_most "memory a connection / Apache's" "$(ratio "$tandry_added" "$apache_added")" 1.0 x
report_at_most "a GET beside them" "$(awk -v s="$beside" 'BEGIN {printf "%.1f", s * 1000}')" 50 ms
report_at_most "idle CPU with them open" "$(awk -v t="$idle_ticks" -v hz="$hz" 'BEGIN {printf "%.2f", 100 * t / hz / 10}')" 1 %
report_at_most "RSS after the idle time-out, from the start" "$(( tandry_after - tandry_before ))" 2048 KiB
report_end
