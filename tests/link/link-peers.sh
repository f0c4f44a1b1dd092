#!/usr/bin/env bash
# Runs the Link peer check inside a private network namespace (loopback up,
# multicast routed to it), so no discovery traffic reaches the host's network.
# Skips (77) where namespaces cannot be made.
set -u
program="$1"
unshare -n true 2>/dev/null || { echo "link-peers: no private network namespace here (unshare -n): skipped"; exit 77; }
exec unshare -n sh -c 'ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo && exec "$0"' "$program"
