#!/usr/bin/env bash
# COPY of a tree of 100 folders × 100 files of 4 KiB, each file carrying one
# dead property, through tandry's WebDAV server, timed against `cp -a` of the
# same tree (the floor: what the disk and the kernel allow). The server's
# resident size is read before and after a first and a fifth copy: it should
# stay flat, since the copy streams item by item.
#
#   bench/webdav_copy.sh [TANDRY]      (default: build/release/tandry)
#
# Scratch files live in a folder under build/ and are removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tandry=${1:-$root/build/release/tandry}
[[ -x $tandry ]] || { echo "no $tandry (make all builds it)"; exit 1; }
command -v curl >/dev/null || { echo "curl is needed"; exit 1; }

mkdir -p "$root/build"
scratch=$(mktemp -d "$root/build/webdav-copy-bench.XXXXXX")
server_pid=
cleanup() {
    [[ -n $server_pid ]] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

home=$scratch/home
"$tandry" --home "$home" -VKPortNumber 0 >"$scratch/server.out" 2>"$scratch/server.log" &
server_pid=$!
url=
for _ in $(seq 300); do
    url=$(grep -m1 -o 'http://[^ ]*/' "$scratch/server.out" 2>/dev/null || true)
    [[ -n $url ]] && break
    sleep 0.1
done
[[ -n $url ]] || { echo "the server did not start"; tail "$scratch/server.log"; exit 1; }
port=${url##*:}
port=${port%%/*}
base="http://127.0.0.1:$port/Documents"
documents=$home/Library/Documents

echo "making 100 × 100 files of 4 KiB with a dead property each..."
head -c 4096 /dev/urandom >"$scratch/block"
python3 - "$documents/tree" "$scratch/block" <<'EOF'
import os, shutil, sys
tree, block = sys.argv[1], sys.argv[2]
value = b'<A:note xmlns:A="http://example.com/ns">kept</A:note>'
for f in range(100):
    folder = os.path.join(tree, f"folder{f:03}")
    os.makedirs(folder)
    for i in range(100):
        path = os.path.join(folder, f"file{i:03}.bin")
        shutil.copyfile(block, path)
        os.setxattr(path, "user.com.kestrova.DAV.{http://example.com/ns}note", value)
EOF
sync

rss() { awk '/^VmRSS/ {print $2}' "/proc/$server_pid/status"; }
now() { date +%s.%N; }
copy_once() {
    local target=$1
    local status
    status=$(curl -s -o /dev/null -w '%{http_code}' -X COPY -H "Destination: $base/$target/" "$base/tree/")
    [[ $status == 201 ]] || { echo "COPY answered $status"; exit 1; }
}

rss_start=$(rss)
start=$(now)
copy_once copy1
end=$(now)
dav=$(echo "$end - $start" | bc)
rss_first=$(rss)
for n in 2 3 4 5; do copy_once "copy$n"; done
rss_fifth=$(rss)

start=$(now)
cp -a "$documents/tree" "$documents/floor"
end=$(now)
floor=$(echo "$end - $start" | bc)

diff -r "$documents/tree" "$documents/copy1" >/dev/null || { echo "the copy differs from its source"; exit 1; }
[[ $(getfattr --only-values -n "user.com.kestrova.DAV.{http://example.com/ns}note" \
    "$documents/copy1/folder042/file042.bin" 2>/dev/null) == *kept* ]] || { echo "the dead property did not travel"; exit 1; }

printf 'COPY of 10,000 files: %.3f s; cp -a: %.3f s (floor); ratio %.2f\n' "$dav" "$floor" "$(echo "$dav / $floor" | bc -l)"
printf 'server RSS: %d KiB at start, %d KiB after one copy, %d KiB after five\n' "$rss_start" "$rss_first" "$rss_fifth"
