#!/bin/sh
# Runs inside a simulated segment's PC namespace (through scripts/segment):
# one `dravenkit-cli discover --json` must list every simulated device once,
# and the table form must number them "   1" ... in order; --csv has a row each.
set -u
cli=$1
want=$2
json=$("$cli" discover --json) || { echo "discover --json failed"; exit 1; }
found=$(printf '%s\n' "$json" | grep -c '"mac":')
unique=$(printf '%s\n' "$json" | grep -o '"mac":"[0-9A-F:]*"' | sort -u | wc -l)
first=$(printf '%s\n' "$json" | head -n 1)
last=$(printf '%s\n' "$json" | tail -n 1)
fail=0
[ "$first" = "[" ] && [ "$last" = "]" ] || { echo "not a JSON array: '$first' ... '$last'"; fail=1; }
[ "$found" -eq "$want" ] || { echo "json: found $found of $want devices"; fail=1; }
[ "$unique" -eq "$found" ] || { echo "json: $unique distinct MACs in $found objects"; fail=1; }

table=$("$cli" discover) || { echo "discover failed"; exit 1; }
rows=$(printf '%s\n' "$table" | tail -n +2 | wc -l)
header=$(printf '%s\n' "$table" | head -n 1)
[ "$header" = "$(printf 'No.\tModel name\tMAC address\tIP address\tWeb port\tAV port')" ] || {
  echo "header: '$header'"; fail=1; }
[ "$rows" -eq "$want" ] || { echo "table: $rows rows of $want"; fail=1; }
printf '%s\n' "$table" | tail -n +2 | cut -f1 >/tmp/dk_segment_numbers.$$
expect=$(i=1; while [ $i -le "$rows" ]; do printf '%4d\n' $i; i=$((i + 1)); done)
[ "$(cat /tmp/dk_segment_numbers.$$)" = "$expect" ] || { echo "table: rows not numbered 1..$rows in order"; fail=1; }
rm -f /tmp/dk_segment_numbers.$$

csv=$("$cli" discover --csv) || { echo "discover --csv failed"; exit 1; }
csv_rows=$(printf '%s\n' "$csv" | tail -n +2 | wc -l)
[ "$csv_rows" -eq "$want" ] || { echo "csv: $csv_rows rows of $want"; fail=1; }
printf '%s\n' "$csv" | head -n 1 | grep -q '^No\.,Model name,MAC address,IP address,' || { echo "csv: header"; fail=1; }
[ $fail -eq 0 ] && echo "segment discovery: $found of $want devices"
exit $fail
