# Sourced by scripts/test: one network namespace per run, with its loopback up,
# its own resolv.conf (/etc/netns/NAME/resolv.conf, only "nameserver
# 127.0.0.1") and dnsmasq on that loopback answering the test zone under the
# reserved name "test" from documentation addresses only. Nothing in it can
# reach the machine's own resolver or network. Everything started here is
# stopped by netns_session_stop, and nothing else. Needs root.

_netns_name=""
_netns_dnsmasq_pid=""

# The test zone: names under "test", answered with 203.0.113.0/24 and 2001:db8::/32.
NETNS_ZONE_HOST_RECORDS=(
  "host.test,203.0.113.10,2001:db8::10"
  "v4only.test,203.0.113.11"
  # Ten IPv4 answers for one name, and two IPv6 ones.
  "ten.test,203.0.113.21" "ten.test,203.0.113.22" "ten.test,203.0.113.23" "ten.test,203.0.113.24"
  "ten.test,203.0.113.25" "ten.test,203.0.113.26" "ten.test,203.0.113.27" "ten.test,203.0.113.28"
  "ten.test,203.0.113.29" "ten.test,203.0.113.30"
  "two6.test,2001:db8::61" "two6.test,2001:db8::62"
)

netns_session_start() {  # $1: folder for the session's files
  if [ "$(id -u)" -ne 0 ]; then
    echo "netns-session: the DNS tests need root to create a network namespace" >&2
    return 1
  fi
  local root="$1"
  mkdir -p "$root"
  local name="kilna-dns-$$-$(date +%s%N | tail -c 7)"
  ip netns add "$name" || { echo "netns-session: ip netns add $name failed" >&2; return 1; }
  _netns_name="$name"
  mkdir -p "/etc/netns/$name"
  echo "nameserver 127.0.0.1" >"/etc/netns/$name/resolv.conf"
  ip -n "$name" link set lo up || { netns_session_stop; return 1; }

  local records=() r
  for r in "${NETNS_ZONE_HOST_RECORDS[@]}"; do records+=("--host-record=$r"); done
  ip netns exec "$name" dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts --no-poll \
    --pid-file --user=root --port=53 --listen-address=127.0.0.1 --bind-interfaces \
    --local=/test/ "${records[@]}" >"$root/dnsmasq.log" 2>&1 &
  _netns_dnsmasq_pid=$!

  local _
  for _ in $(seq 1 50); do
    if ip netns exec "$name" dig +short +time=1 +tries=1 @127.0.0.1 host.test A 2>/dev/null | grep -qx 203.0.113.10; then
      export KILNA_DNS_NETNS="$name"
      return 0
    fi
    kill -0 "$_netns_dnsmasq_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "netns-session: dnsmasq did not answer in $name" >&2
  cat "$root/dnsmasq.log" >&2
  netns_session_stop
  return 1
}

netns_session_stop() {
  if [ -n "$_netns_dnsmasq_pid" ]; then
    kill "$_netns_dnsmasq_pid" >/dev/null 2>&1 || true
    wait "$_netns_dnsmasq_pid" 2>/dev/null || true
    _netns_dnsmasq_pid=""
  fi
  if [ -n "$_netns_name" ]; then
    ip netns del "$_netns_name" >/dev/null 2>&1 || true
    rm -rf "/etc/netns/$_netns_name"
    _netns_name=""
  fi
  unset KILNA_DNS_NETNS
}
