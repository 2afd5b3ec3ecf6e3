#!/bin/sh
# Runs in a simulated segment's PC namespace with 4 generated devices
# (scripts/segment --devices 4 --event-log ...): the dravenkit-cli options
# the other checks leave out. assign: the --dry-run plan (nothing sent),
# --dhcp, --mac; assignments --json; update --ip-setting with its progress
# lines, and --factory-after.
set -u
cli=$1
log=${DK_SEG_EVENT_LOG:?needs --event-log}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
check() {  # name, condition result
  if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}
# The simulator's generated devices, in the order the options name them.
d0=02:44:4B:00:00:00 d1=02:44:4B:00:00:01 d2=02:44:4B:00:00:02 d3=02:44:4B:00:00:03

before=$(grep -c '"ev":"set_network"' "$log")
"$cli" assign --start 10.77.50.1 --mask 255.255.0.0 --mac "$d1" --mac "$d0" --dry-run >"$tmp/plan" 2>"$tmp/err"
rc=$?
check "dry run: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "dry run: the plan in the order given" \
  $(printf '%s  STATIC  10.77.50.1\n%s  STATIC  10.77.50.2\n' "$d1" "$d0" | cmp -s - "$tmp/plan"; echo $?)
check "dry run: nothing sent" $([ "$(grep -c '"ev":"set_network"' "$log")" -eq "$before" ]; echo $?)
[ $fail -eq 0 ] || cat "$tmp/plan" "$tmp/err"

"$cli" assign --dhcp --start 10.77.50.1 --mac "$d0" --verify-timeout 20 --json >"$tmp/dhcp.json" 2>"$tmp/err"
rc=$?
check "assign --dhcp: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "assign --dhcp: leased and verified" \
  $(grep -q "\"mac\":\"$d0\",\"assigned\":\"10.77.50.1\",\"type\":\"DHCP\",\"result\":\"accepted\",\"verified\":true,\"ip\":\"10.77.2[0-9][0-9]\." \
    "$tmp/dhcp.json"; echo $?)

"$cli" assign --start 10.77.50.9 --mask 255.255.0.0 --mac "$d1" --verify-timeout 20 --json >"$tmp/mac.json" 2>"$tmp/err"
rc=$?
check "assign --mac: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "assign --mac: only that device, moved and verified" \
  $(grep -o '"mac"' "$tmp/mac.json" | wc -l | grep -qx 1 &&
    grep -q "\"mac\":\"$d1\",\"assigned\":\"10.77.50.9\",\"type\":\"STATIC\",\"result\":\"accepted\",\"verified\":true,\"ip\":\"10.77.50.9\"" \
      "$tmp/mac.json"; echo $?)
[ $fail -eq 0 ] || cat "$tmp/dhcp.json" "$tmp/mac.json" "$tmp/err"

printf '%s static 10.77.60.1 255.255.0.0 10.77.0.1 10.77.0.1\n%s static 10.77.60.2 255.255.0.0 10.77.0.1 8.8.8.8\n' \
  "$d2" "$d3" >"$tmp/db.txt"
"$cli" assignments "$tmp/db.txt" --json >"$tmp/rows.json"
rc=$?
check "assignments --json: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "assignments --json: the entries" $(tr -d ' \n' <"$tmp/rows.json" | grep -qx \
  "\[{\"no\":1,\"mac\":\"$d2\",\"type\":\"STATIC\",\"ip\":\"10.77.60.1\",\"mask\":\"255.255.0.0\",\"gateway\":\"10.77.0.1\",\"dns\":\"10.77.0.1\"},{\"no\":2,\"mac\":\"$d3\",\"type\":\"STATIC\",\"ip\":\"10.77.60.2\",\"mask\":\"255.255.0.0\",\"gateway\":\"10.77.0.1\",\"dns\":\"8.8.8.8\"}\]"; echo $?)
[ $fail -eq 0 ] || cat "$tmp/rows.json"

{ printf 'DRAVENKIT-FW 3.0.0\n'; head -c 300000 /dev/zero; } >"$tmp/fw.bin"
# The address step takes IP_SETTING_START_IP's default, 192.168.1.161.
"$cli" update --file "$tmp/fw.bin" --version 3.0.0 --ip-setting --mac "$d2" >"$tmp/ip.out" 2>"$tmp/err"
rc=$?
check "update --ip-setting: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "update --ip-setting: moved, updated at the new address" \
  $(grep -q "^$d2 1 ip setting ...$" "$tmp/ip.out" && grep -q "^$d2 192.168.1.161 100 3.0.0$" "$tmp/ip.out"; echo $?)
sent=$(sed -n "s/^$d2 upload \([0-9]*\) bytes sent$/\1/p" "$tmp/ip.out" | tail -n 1)
check "update: progress lines up to the whole upload" $([ -n "$sent" ] && [ "$sent" -gt 300019 ]; echo $?)
[ $fail -eq 0 ] || cat "$tmp/ip.out" "$tmp/err"

"$cli" update --file "$tmp/fw.bin" --version 3.0.0 --factory-after --mac "$d3" --json >"$tmp/fd.json" 2>"$tmp/err"
rc=$?
check "update --factory-after: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "update --factory-after: back at the factory address" \
  $(tr -d ' \n' <"$tmp/fd.json" | grep -q "\"mac\":\"$d3\",\"ip\":\"192.168.1.2\",\"status\":101"; echo $?)
check "update --factory-after: the simulator reset it" \
  $(grep -q "\"ev\":\"reset\".*$d3" "$log"; echo $?)
[ $fail -eq 0 ] || cat "$tmp/fd.json" "$tmp/err"

[ $fail -eq 0 ] && echo "CLI option checks passed"
exit $fail
