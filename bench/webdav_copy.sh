#!/usr/bin/env bash
# COPY of a tree of 100 folders × 100 files of 4 KiB, each file carrying one
# dead property, tandry against Apache httpd's mod_dav_fs on a copy of the
# same tree, on the same CPU (each server's copy is checked first: 201, the
# same files and the dead property kept), with `cp -a` printed as the floor
# (what the disk and the kernel allow). tandry keeps dead properties in the
# files' extended attributes, Apache in a database of its own beside them:
# its tree gets the same property on every file through PROPPATCH, so that
# both do the same job. Apache copying the same tree without any property
# is printed beside (tandry still copies its properties there).
# Each copies five times, the three taking turns, and the medians count.
# tandry's resident size is read after its first and fifth copy: it should
# stay flat (within 2 MiB; its quota tree gains an entry for each file
# copied, 40,000 in all), since the copy streams item by item.
# Target: tandry's time at most Apache's with the properties (ratio at most
# 1.0).
#
#   bench/webdav_copy.sh BUILD      (BUILD holds a release tandry)
set -euo pipefail
source "$(dirname "$0")/lib/servers.sh"
source "$(dirname "$0")/lib/report.sh"
servers_init "${1:?usage: webdav_copy.sh BUILD}"

tandry_start
documents=$TANDRY_DOCS
echo "making 100 × 100 files of 4 KiB with a dead property each..."
head -c 4096 /dev/urandom >"$BENCH_SCRATCH/block"
python3 - "$documents/tree" "$BENCH_SCRATCH/block" <<'EOF'
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
peers_mirror
cp -a "$PEER_DOCS/tree" "$PEER_DOCS/bare"
apache_start
echo "giving Apache's 10,000 files the same dead property..."
client python3 - "$APACHE_URL" <<'PY'
import http.client, sys, urllib.parse
base = urllib.parse.urlsplit(sys.argv[1])
body = ('<?xml version="1.0" encoding="utf-8"?><D:propertyupdate xmlns:D="DAV:" '
        'xmlns:A="http://example.com/ns"><D:set><D:prop><A:note>kept</A:note></D:prop></D:set>'
        '</D:propertyupdate>').encode()
connection = http.client.HTTPConnection(base.hostname, base.port)
for f in range(100):
    for i in range(100):
        connection.request("PROPPATCH", f"/tree/folder{f:03}/file{i:03}.bin", body, {"Content-Type": "text/xml"})
        answer = connection.getresponse()
        answer.read()
        if answer.status != 207:
            sys.exit(f"Apache answered PROPPATCH with {answer.status}")
PY
sync

now() { date +%s.%N; }
# copy_seconds BASE TARGET [SOURCE]: one COPY of the tree (or SOURCE), timed
copy_seconds() {
    local start status end
    start=$(now)
    status=$(client curl -s -o /dev/null -w '%{http_code}' -X COPY -H "Destination: $1/$2/" "$1/${3:-tree}/")
    end=$(now)
    [[ $status == 201 ]] || bench_fail "COPY to $1/$2/ answered $status, not 201"
    echo "$end - $start" | bc
}

# Each server's copy is checked before any is timed.
copy_seconds "$TANDRY_URL/Documents" check >/dev/null
diff -r "$documents/tree" "$documents/check" >/dev/null || bench_fail "tandry's copy differs from its source"
[[ $(getfattr --only-values -n "user.com.kestrova.DAV.{http://example.com/ns}note" \
    "$documents/check/folder042/file042.bin" 2>/dev/null) == *kept* ]] || bench_fail "tandry's copy lost the dead property"
copy_seconds "$APACHE_URL" check >/dev/null
diff -r -x .DAV "$PEER_DOCS/tree" "$PEER_DOCS/check" >/dev/null || bench_fail "Apache's copy differs from its source"
[[ $(client curl -s -X PROPFIND -H 'Depth: 0' "$APACHE_URL/check/folder042/file042.bin") == *kept* ]] \
    || bench_fail "Apache's copy lost the dead property"
copy_seconds "$APACHE_URL" check-bare bare >/dev/null
diff -r "$PEER_DOCS/bare" "$PEER_DOCS/check-bare" >/dev/null || bench_fail "Apache's copy of the bare tree differs"
# The checked copies stay until the end: ext4 without a journal passes over
# inodes freed in the last seconds (minutes while their table block is
# unwritten) on every create near them, so removing 30,000 files here would
# slow the next copies of whichever server allocates beside them.
sync

echo "load average before: $(load_average)"
# Five copies each, the servers taking turns, so that the disk's write-back
# of earlier copies weighs on both alike; the medians count.
rss_start=$(rss_kib "$TANDRY_PID")
: >"$BENCH_SCRATCH/tandry-times"; : >"$BENCH_SCRATCH/apache-times"; : >"$BENCH_SCRATCH/bare-times"
for n in 1 2 3 4 5; do
    copy_seconds "$TANDRY_URL/Documents" "copy$n" >>"$BENCH_SCRATCH/tandry-times"
    (( n == 1 )) && rss_first=$(rss_kib "$TANDRY_PID")
    copy_seconds "$APACHE_URL" "apache-copy$n" >>"$BENCH_SCRATCH/apache-times"
    copy_seconds "$APACHE_URL" "bare-copy$n" bare >>"$BENCH_SCRATCH/bare-times"
done
rss_fifth=$(rss_kib "$TANDRY_PID")
dav=$(median <"$BENCH_SCRATCH/tandry-times")
apache=$(median <"$BENCH_SCRATCH/apache-times")
bare=$(median <"$BENCH_SCRATCH/bare-times")

start=$(now)
cp -a "$documents/tree" "$documents/floor"
floor=$(echo "$(now) - $start" | bc)


printf 'COPY of 10,000 files: tandry %.3f s, Apache %.3f s, ratio %s; cp -a %.3f s (floor)\n' \
    "$dav" "$apache" "$(ratio "$dav" "$apache")" "$floor"
echo "each copy (s): tandry $(paste -sd' ' "$BENCH_SCRATCH/tandry-times"), Apache $(paste -sd' ' \
    "$BENCH_SCRATCH/apache-times"), Apache without properties $(paste -sd' ' "$BENCH_SCRATCH/bare-times")"
printf 'Apache copying the tree without properties: %.3f s (tandry / it %s)\n' "$bare" "$(ratio "$dav" "$bare")"
printf 'tandry RSS: %d KiB at start, %d KiB after one copy, %d KiB after five\n' "$rss_start" "$rss_first" "$rss_fifth"
echo "load average after: $(load_average)"
report_at_most "COPY of 10,000 files / Apache" "$(ratio "$dav" "$apache")" 1.0 x \
    "$(printf '%.3f s, Apache %.3f s (%.3f s, %sx, without the properties), cp -a %.3f s' "$dav" "$apache" \
        "$bare" "$(ratio "$dav" "$bare")" "$floor")"
report_at_most "tandry's RSS from the first copy to the fifth" "$(( rss_fifth - rss_first ))" 2048 KiB
report_end
