#!/usr/bin/env bash
# The folder browser's zip and unzip (bench/folder_zip/folder_zip_run.cpp,
# the worker as the browser runs it) beside `zip -r -9 -q` and `unzip -q` on
# the same trees in the same run, warm cache, one file system:
#   tree A: 20,000 files of 1–64 KiB in 200 folders (half text, half random);
#   tree B: 4 files of 512 MiB (two text, two random).
# Targets: each at most 1.3x its peer; the peak resident size grows by at
# most 16 MiB; progress is reported at least every 2 % (the largest step,
# give or take one 10 KiB chunk); a Cancel inside a 512 MiB entry takes
# effect within 100 ms and leaves nothing. (A sanitizer build's allocator
# holds freed memory back: its resident sizes say nothing.)
#
#   bench/folder_zip/folder_zip.sh BUILD     (BUILD holds the bench build)
#   A quick run (make bench-quick) makes the trees a sixteenth of their size.
set -euo pipefail
source "$(dirname "$0")/../lib/servers.sh"
source "$(dirname "$0")/../lib/report.sh"
build=${1:?usage: folder_zip.sh BUILD}
RUN=$(cd "$build" && pwd)/bench/folder_zip_run
[[ -x $RUN ]] || { echo "no folder_zip_run in $build/bench (make bench builds it)" >&2; exit 1; }
scale=1
(( BENCH_QUICK )) && scale=16
scratch=$(mktemp -d /var/tmp/tandry-folder-zip.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export TZ=UTC

echo "making the trees (scale 1/$scale)..."
python3 - "$scratch" "$scale" <<'EOF'
import base64, os, random, sys
root, scale = sys.argv[1], int(sys.argv[2])
rng = random.Random(43)
def data(size, text):
    raw = os.urandom(size if not text else size * 3 // 4 + 4)
    return (base64.encodebytes(raw) if text else raw)[:size]
for f in range(200):
    folder = os.path.join(root, "A", "A", f"folder{f:03}")
    os.makedirs(folder)
    for i in range(100 // scale or 1):
        with open(os.path.join(folder, f"file{i:03}.dat"), "wb") as out:
            out.write(data(rng.randint(1024, 65536), i % 2 == 0))
os.makedirs(os.path.join(root, "B", "B"))
chunk = 1 << 20
for i in range(4):
    with open(os.path.join(root, "B", "B", f"big{i}.dat"), "wb") as out:
        for _ in range(512 // scale):
            out.write(data(chunk, i % 2 == 0))
EOF
sync

now() { date +%s.%N; }
seconds_of() { local start; start=$(now); "$@" >/dev/null; awk -v a="$start" -v b="$(now)" 'BEGIN {printf "%.4f", b - a}'; }
# Nothing but the tree itself in the folder: no archive, no hidden sibling.
# The folder holds only the item named, beside the run's temporary folder
# (the runner's home is the folder: its staging folder stays for the run, as
# the program's does), which holds no file.
only_tree() { [[ $(ls -A "$1" | grep -vx tmp) == "$2" && -z $(find "$1/tmp" -type f 2>/dev/null) ]]; }


for tree in A B; do
    dir=$scratch/$tree
    tar cf - -C "$dir" "$tree" >/dev/null      # warm cache
    peer_zip=$(cd "$dir" && seconds_of zip -r -9 -q peer.zip "$tree")
    read -r _ ours_zip zip_growth zip_reports zip_step _ < <("$RUN" zip "$dir/ours.zip" "$dir/$tree")
    unzip -tq "$dir/ours.zip" >/dev/null || report_wrong "unzip -t rejects the browser's archive of $tree"
    unzip -tq "$dir/peer.zip" >/dev/null || report_wrong "unzip -t rejects zip's archive of $tree"
    mkdir "$dir/peer_out" "$dir/ours_out"
    peer_unzip=$(cd "$dir/peer_out" && seconds_of unzip -q ../ours.zip)
    diff -r "$dir/$tree" "$dir/peer_out/$tree" >/dev/null || report_wrong "unzip's expansion of the browser's archive of $tree differs"
    mv "$dir/ours.zip" "$dir/ours_out/ours.zip"
    read -r _ ours_unzip unzip_growth unzip_reports unzip_step _ < <("$RUN" unzip "$dir/ours_out/ours.zip")
    diff -r "$dir/$tree" "$dir/ours_out/$tree" >/dev/null || report_wrong "the browser's expansion of $tree differs"
    echo "tree $tree: zip ${ours_zip}s against zip -9 ${peer_zip}s; unzip ${ours_unzip}s against unzip ${peer_unzip}s"
    echo "  archives: ours $(stat -c %s "$dir/ours_out/ours.zip") bytes, zip's $(stat -c %s "$dir/peer.zip") bytes"
    report_at_most "zip of $tree / zip -9" "$(ratio "$ours_zip" "$peer_zip")" 1.3 x "${ours_zip} s, zip -9 ${peer_zip} s"
    report_at_most "unzip of $tree / unzip" "$(ratio "$ours_unzip" "$peer_unzip")" 1.3 x "${ours_unzip} s, unzip ${peer_unzip} s"
    report_at_most "zip of $tree, peak RSS growth" "$((zip_growth / 1024))" 16 MiB
    report_at_most "unzip of $tree, peak RSS growth" "$((unzip_growth / 1024))" 16 MiB
    report_at_most "zip of $tree, largest progress step" "$zip_step" 0.021 "" "$zip_reports reports"
    report_at_most "unzip of $tree, largest progress step" "$unzip_step" 0.021 "" "$unzip_reports reports"

    if [[ $tree == B ]]; then
        # Cancel inside one 512 MiB entry, zipping and expanding.
        mkdir "$dir/cancel" && mv "$dir/B/big0.dat" "$dir/cancel/"
        read -r _ _ _ _ _ zip_cancel < <("$RUN" --cancel zip "$dir/cancel/c.zip" "$dir/cancel/big0.dat")
        only_tree "$dir/cancel" big0.dat || report_wrong "a cancelled zip left $(ls -A "$dir/cancel" | tr '\n' ' ')"
        (cd "$dir/cancel" && zip -q -9 c.zip big0.dat && rm big0.dat)
        read -r _ _ _ _ _ unzip_cancel < <("$RUN" --cancel unzip "$dir/cancel/c.zip")
        only_tree "$dir/cancel" c.zip || report_wrong "a cancelled unzip left $(ls -A "$dir/cancel" | tr '\n' ' ')"
        report_at_most "cancel inside a $((512 / scale)) MiB entry, zip" "$zip_cancel" 100 ms
        report_at_most "cancel inside a $((512 / scale)) MiB entry, unzip" "$unzip_cancel" 100 ms
    fi
    rm -rf "$dir"
done
report_end
