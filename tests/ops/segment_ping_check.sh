#!/bin/sh
# Runs in a simulated segment's PC namespace: dravenkit-cli ping lists every
# discovered device once; all answer, except one whose address this side
# resolves to a MAC address that nobody has.
set -u
cli=$1
want=$2
silent_ip=$3
fail=0
out=$("$cli" ping 2>/dev/null) || { echo "ping failed"; exit 1; }
lines=$(printf '%s\n' "$out" | grep -c ' answered$')
[ "$lines" -eq "$want" ] || { echo "ping: $lines of $want answered"; printf '%s\n' "$out" | head; fail=1; }
printf '%s\n' "$out" | grep -Eqv '^([0-9A-F]{2}:){5}[0-9A-F]{2} [0-9.]+ (answered|no answer)$' &&
  { echo "ping: malformed lines"; fail=1; }

ip neigh replace "$silent_ip" lladdr 02:00:00:de:ad:01 dev "$DK_SEG_PC_IF" nud permanent || exit 1
out=$("$cli" ping 2>/dev/null) || { echo "ping failed"; exit 1; }
ip neigh del "$silent_ip" dev "$DK_SEG_PC_IF"
no=$(printf '%s\n' "$out" | grep ' no answer$')
case $no in
  *" $silent_ip no answer") ;;
  *) echo "ping: want only $silent_ip without answer, got: '$no'"; fail=1 ;;
esac
[ "$(printf '%s\n' "$no" | grep -c .)" -eq 1 ] || fail=1
[ "$(printf '%s\n' "$out" | grep -c ' answered$')" -eq $((want - 1)) ] || { echo "ping: others should answer"; fail=1; }
[ $fail -eq 0 ] && echo "segment ping: $want devices, one silent as expected"
exit $fail
