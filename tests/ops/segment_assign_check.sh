#!/bin/sh
# Runs in a simulated segment's PC namespace with 50 devices: dravenkit-cli
# assign moves all of them from a start address, then from an assignment file
# built from the listing; both exit 0 with every device verified at its new
# address. A range past .255 is refused with status 2 before anything is sent.
set -u
cli=$1
want=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

"$cli" assign --start 192.168.70.230 --all --dry-run >/dev/null 2>"$tmp/err"
[ $? -eq 2 ] && grep -q 'holds only 26 device' "$tmp/err" || { echo "range past .255 not refused"; cat "$tmp/err"; fail=1; }

"$cli" assign --start 192.168.70.1 --mask 255.255.0.0 --all --verify-timeout 20 --json >"$tmp/range.json" 2>"$tmp/err"
rc=$?
[ $rc -eq 0 ] || { echo "assign --start: exit $rc"; cat "$tmp/err"; head -c 600 "$tmp/range.json"; fail=1; }
n=$(grep -o '"verified":true' "$tmp/range.json" | wc -l)
[ "$n" -eq "$want" ] || { echo "assign --start: $n of $want verified"; fail=1; }
grep -q '"assigned":"192.168.70.50","type":"STATIC","result":"accepted","verified":true,"ip":"192.168.70.50"' \
  "$tmp/range.json" || { echo "assign --start: the 50th address is missing"; fail=1; }

# An assignment file from the listing: device k gets 192.168.71.(100+k).
"$cli" discover >"$tmp/list" 2>/dev/null || { echo "discover failed"; exit 1; }
tail -n +2 "$tmp/list" | awk -F'\t' '{ printf "%s static 192.168.71.%d 255.255.0.0 192.168.71.254 8.8.8.8\n", $3, 100 + NR }' |
  sed 's/ - /:/' >"$tmp/db.txt"
[ "$(grep -c . "$tmp/db.txt")" -eq "$want" ] || { echo "file: wrong line count"; fail=1; }
"$cli" assignments "$tmp/db.txt" >"$tmp/rows" || { echo "assignments failed"; fail=1; }
tab=$(printf '\t')
[ "$(head -1 "$tmp/rows")" = "No.${tab}MAC address${tab}Type${tab}IP address${tab}Subnet mask${tab}Gateway${tab}DNS" ] ||
  { echo "assignments: header"; fail=1; }
mac1=$(head -1 "$tmp/db.txt" | cut -d' ' -f1)
[ "$(sed -n 2p "$tmp/rows")" = "   1${tab}${mac1}${tab}STATIC${tab}192.168.71.101${tab}255.255.0.0${tab}192.168.71.254${tab}8.8.8.8" ] ||
  { echo "assignments: first row"; sed -n 2p "$tmp/rows"; fail=1; }
[ "$(tail -n +2 "$tmp/rows" | grep -c .)" -eq "$want" ] || { echo "assignments: rows"; fail=1; }
"$cli" assignments "$tmp/none.txt" >/dev/null 2>&1
[ $? -eq 1 ] || { echo "assignments: a missing file must give 1"; fail=1; }
"$cli" assign --file "$tmp/db.txt" --all --verify-timeout 20 >"$tmp/file.out" 2>"$tmp/err"
rc=$?
[ $rc -eq 0 ] || { echo "assign --file: exit $rc"; cat "$tmp/err"; tail -5 "$tmp/file.out"; fail=1; }
grep -q "^$want device(s): $want request(s), $want accepted, $want verified$" "$tmp/file.out" ||
  { echo "assign --file: summary"; tail -3 "$tmp/file.out"; fail=1; }
[ $fail -eq 0 ] && echo "segment assign: $want devices moved by range and by file"
exit $fail
