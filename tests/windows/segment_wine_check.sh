#!/bin/sh
# Runs in a simulated segment's PC namespace with a Wine prefix of its own
# (scripts/windows test): dravenkit-cli.exe discovers the simulator's three
# devices, reads info, changes one device's address and reads the inventory,
# each checked as the Linux segment checks do.
set -u
cli=$1
fail=0
check() {  # name, want, got
  if [ "$2" != "$3" ]; then
    echo "$1: got:"; printf '%s\n' "$3"; echo "want:"; printf '%s\n' "$2"; fail=1
  fi
}
T=$(printf '\t')

json=$("$cli" discover --json) || { echo "discover --json failed"; exit 1; }
check "discover: devices" 3 "$(printf '%s\n' "$json" | grep -c '"mac":')"
check "discover: distinct MACs" 3 "$(printf '%s\n' "$json" | grep -o '"mac":"[0-9A-F:]*"' | sort -u | wc -l | tr -d ' ')"
table=$("$cli" discover) || { echo "discover failed"; exit 1; }
check "discover: header" "No.${T}Model name${T}MAC address${T}IP address${T}Web port${T}AV port" \
  "$(printf '%s\n' "$table" | head -n 1)"
check "discover: numbering" "$(printf '   1\n   2\n   3')" "$(printf '%s\n' "$table" | tail -n +2 | cut -f1)"

check "info 10.77.1.1" "System Mode : encoder
Firmware Ver. : 5.2.1
Serial No. : WIN-1" "$("$cli" info 10.77.1.1 2>/dev/null)"
check "info 10.77.1.2 on port 8080" "System Mode : decoder
Firmware Ver. : 5.2.1
Serial No. : WIN-2" "$("$cli" info 10.77.1.2 --port 8080 2>/dev/null)"

out=$("$cli" set-network 02:44:4B:00:30:03 --static 10.77.1.33 255.255.0.0 10.77.0.1 10.77.0.53 \
  --user root --password tulp --verify-timeout 20 2>&1); rc=$?
check "set-network: status" 0 "$rc"
[ $rc -eq 0 ] || printf '%s\n' "$out"
after=$("$cli" discover --json) || { echo "discover after set-network failed"; exit 1; }
printf '%s\n' "$after" | grep '"mac":"02:44:4B:00:30:03"' | grep -q '"ip":"10.77.1.33"' ||
  { echo "set-network: the device does not answer from 10.77.1.33:"; printf '%s\n' "$after"; fail=1; }
refused=$("$cli" set-network 02:44:4B:00:30:01 --dhcp --user root --password nope 2>&1); rc=$?
check "set-network with a wrong password: status" 1 "$rc"

inv=$("$cli" inventory --all --expect-version 5.2.1 2>/dev/null); rc=$?
check "inventory: status (one device on another version)" 1 "$rc"
check "inventory: rows" 3 "$(printf '%s\n' "$inv" | tail -n +2 | grep -c .)"
printf '%s\n' "$inv" | grep "02:44:4B:00:30:01" | grep -q "WIN-1" || { echo "inventory: WIN-1 missing:"; printf '%s\n' "$inv"; fail=1; }
printf '%s\n' "$inv" | grep "02:44:4B:00:30:03" | grep -q "4.4.0" || { echo "inventory: 4.4.0 missing:"; printf '%s\n' "$inv"; fail=1; }

[ $fail -eq 0 ] && echo "Windows segment check: discover, info, set-network, inventory passed"
exit $fail
