#!/usr/bin/env bash
# Puts the accelerator adapter's links into one state for the capture tests
# that read Wine's real interface tables. Runs only inside the run's own test
# namespace (KILNA_DNS_NETNS), never on the machine's own links. The links are
# created under their final names, never renamed, and kept down, so nothing is
# ever sent on them.
#
# adapter_links.sh absent | present | twice
#   absent:  no "Orv-net" link
#   present: a veth pair whose end "Orv-net" has 172.19.0.1/32
#   twice:   the same, with 172.19.0.1/32 on the peer as well
set -euo pipefail

ns="${KILNA_DNS_NETNS:-}"
if [ -z "$ns" ] || [ "$(ip netns identify $$ 2>/dev/null)" != "$ns" ]; then
  echo "adapter_links.sh: not inside the test namespace; scripts/test runs the Windows tests in one" >&2
  exit 1
fi

adapter=Orv-net
peer=orv-net-peer

remove() { ip link del "$adapter" >/dev/null 2>&1 || true; }

case "${1:-}" in
  absent)
    remove
    ;;
  present | twice)
    remove
    ip link add "$adapter" type veth peer name "$peer"
    ip link set "$adapter" down
    ip link set "$peer" down
    ip addr add 172.19.0.1/32 dev "$adapter"
    if [ "$1" = twice ]; then ip addr add 172.19.0.1/32 dev "$peer"; fi
    ;;
  *)
    echo "usage: adapter_links.sh absent|present|twice" >&2
    exit 2
    ;;
esac
