#!/usr/bin/env bash
# The browser page's tests in Debian's Chromium.
#
#   tests/browser/run.sh install DIR          npm ci of playwright-core into DIR
#   tests/browser/run.sh test DIR TANDRY      node's test runner over *.test.mjs
#
# No browser is downloaded: playwright-core drives /usr/bin/chromium.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?usage: run.sh install|test DIR [TANDRY]}
dir=${2:?usage: run.sh install|test DIR [TANDRY]}

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

command -v node >/dev/null || { echo "node is not installed (Node.js 20 or later is needed)"; exit 1; }

case $mode in
install)
    mkdir -p "$dir"
    cp "$here/package.json" "$here/package-lock.json" "$dir/"
    cd "$dir"
    # --ignore-scripts: no install step of a package may fetch anything.
    npm ci --ignore-scripts --no-audit --no-fund --loglevel=error
    ;;
test)
    tandry=${3:?usage: run.sh test DIR TANDRY}
    tandry=$(cd "$(dirname "$tandry")" && pwd)/$(basename "$tandry")
    [[ -x /usr/bin/chromium ]] || { echo "/usr/bin/chromium is missing (scripts/install-deps)"; exit 1; }
    [[ -d $dir/node_modules/playwright-core ]] || { echo "playwright-core is not installed in $dir (run.sh install)"; exit 1; }
    rm -rf "$dir/scratch"
    mkdir -p "$dir/scratch"
    export BROWSER_MODULES="$dir/node_modules" BROWSER_SCRATCH="$dir/scratch" TANDRY="$tandry"
    export TANDRY_RESOURCES="${TANDRY_RESOURCES:-$here/../../resources}"
    # A fresh browser profile per run: playwright makes one in a temporary
    # folder. It lives under /tmp because the browser puts a socket in it,
    # and a deep build tree's path would not fit a socket address.
    profiles=$(mktemp -d /tmp/tandry-browser.XXXXXX)
    trap 'rm -rf "$profiles"' EXIT
    export TMPDIR="$profiles"
    node --test --test-concurrency=1 "$here"/*.test.mjs
    ;;
*)
    echo "usage: run.sh install|test DIR [TANDRY]"
    exit 1
    ;;
esac
