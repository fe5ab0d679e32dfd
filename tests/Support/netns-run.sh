#!/usr/bin/env bash
# Runs a test program (with its arguments, a --gtest_filter say) inside a
# network and mount namespace of its own, so that tests may change links,
# addresses and routes and run their own system bus without touching the
# machine's: lo up; a veth link "wlan0" (peer "wlan0-peer", up) with
# 10.9.0.2/24 and the default route via 10.9.0.1; a tmpfs on /run; a private
# system bus exported as DBUS_SYSTEM_BUS_ADDRESS.
#
# Exits 77 (skipped) where that cannot be done (not root, no namespaces),
# or fails then when CI=true.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

skip() {
    echo "netns-run: $*" >&2
    [[ "${CI:-}" == true ]] && exit 1
    exit 77
}

if [[ "${TANDRY_IN_NETNS:-}" != 1 ]]; then
    [[ $(id -u) -eq 0 ]] || skip "needs root"
    for tool in unshare ip dbus-daemon; do
        command -v "$tool" >/dev/null 2>&1 || skip "needs $tool"
    done
    unshare --net --mount true 2>/dev/null || skip "cannot make network namespaces"
    export TANDRY_IN_NETNS=1
    exec unshare --net --mount --propagation private "$0" "$@"
fi

ip link set lo up
ip link add wlan0 type veth peer name wlan0-peer
ip link set wlan0-peer up
ip addr add 10.9.0.2/24 dev wlan0
ip link set wlan0 up
ip route add default via 10.9.0.1
mount -t tmpfs tmpfs /run
mkdir -p /run/tandry-bus
read -r bus_address bus_pid < <(dbus-daemon --config-file "$here/dbus-system.conf" \
    --address=unix:path=/run/tandry-bus/socket --fork --print-address=1 --print-pid=1 | paste -sd ' ')
export DBUS_SYSTEM_BUS_ADDRESS="$bus_address"

status=0
"$@" || status=$?
kill "$bus_pid" 2>/dev/null || true
exit "$status"
