#!/bin/sh
# GetLocalAdapterInfo on real interfaces, inside namespaces of its own: none
# with loopback only; then the first up, non-loopback adapter with its first
# address, default gateway and the resolver's first server.
set -u
probe=$1
if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null || ! command -v ip >/dev/null; then
  echo "needs root, unshare and ip"; exit 77
fi
fail=0

out=$(unshare --net sh -c 'ip link set lo up; "$0"' "$probe")
[ "$out" = "none" ] || { echo "loopback only: got '$out'"; fail=1; }

resolv=$(mktemp)
printf '# test\nnameserver fe80::1\nnameserver 10.1.2.3\nnameserver 10.1.2.4\n' >"$resolv"
out=$(unshare --net --mount sh -c '
  set -e
  mount --make-rprivate / 2>/dev/null || true
  mount --bind "$1" /etc/resolv.conf
  ip link set lo up
  ip link add v0 type veth peer name v1
  ip addr add 10.7.0.1/24 dev v1          # down: not listed
  ip addr add 10.9.8.7/24 dev v0
  ip addr add 10.9.9.7/16 dev v0
  ip link set v0 up
  ip route add default via 10.9.8.1 dev v0 onlink
  "$0"' "$probe" "$resolv")
rm -f "$resolv"
want="name=v0 ip=10.9.8.7 mask=255.255.255.0 gateway=10.9.8.1 dns=10.1.2.3 count=1"
[ "$out" = "$want" ] || { echo "adapter: got '$out'"; echo "   want '$want'"; fail=1; }
# A card still waiting for DHCP is an adapter (0.0.0.0); with an addressed
# one beside it, the addressed one is shown. (The resolver is the host's here.)
out=$(unshare --net sh -c '
  set -e
  ip link set lo up
  ip link add w0 type veth peer name w1
  ip link set w0 up
  "$0"
  ip link add v0 type veth peer name v1
  ip addr add 10.9.8.7/24 dev v0
  ip link set v0 up
  "$0"' "$probe" | sed 's/ dns=[^ ]*//')
want="name=w0 ip=0.0.0.0 mask=0.0.0.0 gateway= count=1
name=v0 ip=10.9.8.7 mask=255.255.255.0 gateway= count=2"
[ "$out" = "$want" ] || { echo "unaddressed: got '$out'"; echo "   want '$want'"; fail=1; }
exit $fail
