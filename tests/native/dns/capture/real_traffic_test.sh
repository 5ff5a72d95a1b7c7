#!/usr/bin/env bash
# Real DNS traffic through the capture's parser: dig asks the namespace's
# dnsmasq over UDP and TCP while tcpdump records the loopback; the file is
# rewritten to the accelerator's addresses, replayed through the parser and
# compared with tshark's decode of the same file. Every packet stays on the
# namespace's loopback.
#
# real_traffic_test.sh REPLAY_TOOL WORK_DIR, inside the namespace named by
# KILNA_DNS_NETNS (scripts/test sets it up); exits 77 (skipped) without one.
set -euo pipefail

replay="$1"
work="$2"
here="$(cd "$(dirname "$0")" && pwd)"
ns="${KILNA_DNS_NETNS:-}"
if [ -z "$ns" ]; then
  echo "KILNA_DNS_NETNS is not set: run this through scripts/test, which creates the namespace"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work"
in_ns() { ip netns exec "$ns" "$@"; }

tcpdump_pid=""
stop_tcpdump() {
  if [ -n "$tcpdump_pid" ]; then
    kill -INT "$tcpdump_pid" 2>/dev/null || true
    wait "$tcpdump_pid" 2>/dev/null || true
    tcpdump_pid=""
  fi
}
trap stop_tcpdump EXIT

# A background job starts with SIGINT ignored; tcpdump must get it back to stop cleanly.
env --default-signal=INT ip netns exec "$ns" tcpdump -i lo -n -U --immediate-mode -Z root -w "$work/loopback.pcap" 'port 53' 2>"$work/tcpdump.log" &
tcpdump_pid=$!
for _ in $(seq 1 100); do
  grep -q "listening on" "$work/tcpdump.log" && break
  kill -0 "$tcpdump_pid" 2>/dev/null || { cat "$work/tcpdump.log"; exit 1; }
  sleep 0.1
done
grep -q "listening on" "$work/tcpdump.log" || { echo "tcpdump did not start listening"; exit 1; }

ask() { in_ns dig -b 127.0.0.3 @127.0.0.1 +time=2 +tries=1 "$@" >>"$work/dig.log"; }
ask host.test A
ask HoSt.TeSt A
ask missing.test A
ask +tcp host.test A
ask +tcp host.test AAAA
ask +tcp +keepopen host.test A host.test AAAA
stop_tcpdump

grep -q "status: NXDOMAIN" "$work/dig.log" || { echo "missing.test was not a name error"; exit 1; }
grep -q "2001:db8::10" "$work/dig.log" || { echo "no AAAA answer"; exit 1; }

python3 "$here/capture_check.py" rewrite "$work/loopback.pcap" "$work/accelerator.pcap"
"$replay" host.test "$work/accelerator.pcap" >"$work/host.json"
"$replay" MISSING.test. "$work/accelerator.pcap" >"$work/missing.json"
# host.test: two UDP exchanges, then four over TCP (the last two on one connection).
python3 "$here/capture_check.py" compare "$work/accelerator.pcap" host.test "$work/host.json" 12
python3 "$here/capture_check.py" compare "$work/accelerator.pcap" missing.test "$work/missing.json" 2
grep -q '"responseCode":3' "$work/missing.json" || { echo "the name error's response code is missing"; exit 1; }
echo "real traffic agrees with tshark"
