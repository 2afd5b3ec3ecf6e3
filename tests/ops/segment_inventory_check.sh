#!/bin/sh
# Runs in a simulated segment's PC namespace (scripts/segment --fleet
# segment_inventory_fleet.txt): dravenkit-cli inventory reads every device at
# once, as table, JSON and CSV, with the exit status the fleet calls for.
set -u
cli=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
T=$(printf '\t')

check() {  # name, want, got
  if [ "$2" != "$3" ]; then
    echo "$1: got:"; printf '%s\n' "$3"; echo "want:"; printf '%s\n' "$2"; fail=1
  fi
}

# Every device; arrival order, so the rows are compared sorted.
out=$("$cli" inventory --all --expect-version 5.2.1 2>"$tmp/err"); rc=$?
check "all: status" 1 "$rc"
check "all: header" "MAC address${T}IP address${T}Model name${T}System mode${T}Firmware version${T}Serial number${T}Version match" \
  "$(printf '%s\n' "$out" | head -n 1)"
check "all: rows" "02:44:4B:00:20:01${T}10.77.1.1${T}DK-E${T}encoder${T}5.2.1${T}INV-1${T}yes
02:44:4B:00:20:02${T}10.77.1.2${T}DK-D${T}decoder${T}5.2.1${T}INV-2${T}yes
02:44:4B:00:20:03${T}10.77.1.3${T}DK-E${T}encoder${T}5.2.1${T}=SUM(A1),x${T}yes
02:44:4B:00:20:04${T}10.77.1.4${T}DK-E${T}encoder${T}5.2.0${T}INV-4${T}no
02:44:4B:00:20:05${T}10.77.1.5${T}DK-E${T}failed${T}failed${T}failed${T}no
02:44:4B:00:20:06${T}10.77.1.6${T}DK-E${T}failed${T}failed${T}failed${T}no
02:44:4B:00:20:07${T}10.77.1.8${T}DK-E${T}shared address${T}shared address${T}shared address${T}no
02:44:4B:00:20:08${T}10.77.1.8${T}DK-E${T}shared address${T}shared address${T}shared address${T}no" \
  "$(printf '%s\n' "$out" | tail -n +2 | sort)"
# Standard error is no terminal here: no progress lines.
check "all: no progress off a terminal" "" "$(cat "$tmp/err")"

# Named devices in the order given, all answering on the expected version.
out=$("$cli" inventory --mac 02:44:4B:00:20:02 --mac 02:44:4B:00:20:01 --concurrency 1 --expect-version 5.2.1 2>&1); rc=$?
check "named: status" 0 "$rc"
check "named: order" "02:44:4B:00:20:02
02:44:4B:00:20:01" "$(printf '%s\n' "$out" | tail -n +2 | cut -f 1)"
out=$("$cli" inventory --mac 02:44:4B:00:20:04 --expect-version 5.2.1 >/dev/null 2>&1); rc=$?
check "old version: status" 1 "$rc"

# CSV through -o: CRLF lines, the formula guarded and quoted for its comma.
mkdir "$tmp/csv"
"$cli" inventory --mac 02:44:4B:00:20:03 --mac 02:44:4B:00:20:06 --csv -o "$tmp/csv/inv.csv" 2>/dev/null; rc=$?
check "csv: status" 1 "$rc"
check "csv: text" "$(printf 'MAC address,IP address,Model name,System mode,Firmware version,Serial number\r\n02:44:4B:00:20:03,10.77.1.3,DK-E,encoder,5.2.1,"'"'"'=SUM(A1),x"\r\n02:44:4B:00:20:06,10.77.1.6,DK-E,failed,failed,failed\r\nEND')" \
  "$(cat "$tmp/csv/inv.csv"; printf END)"
check "csv: nothing beside the file" "inv.csv" "$(ls -A "$tmp/csv")"

# JSON: the same fields.
out=$("$cli" inventory --mac 02:44:4B:00:20:01 --json --expect-version 5.2.0 2>/dev/null); rc=$?
check "json: status" 1 "$rc"
check "json" '[
  {"mac":"02:44:4B:00:20:01","ip":"10.77.1.1","model":"DK-E","system_mode":"encoder","firmware_version":"5.2.1","serial_number":"INV-1","answered":true,"shared_address":false,"version_matches":false}
]' "$out"
# A device named alone still shares its address with one that was not named:
# neither is asked (what answers could be either), and it fails.
before=$(grep -c '"ev":"http_request".*"ip":"10.77.1.8"' "$DK_SEG_EVENT_LOG")
out=$("$cli" inventory --mac 02:44:4B:00:20:08 --json 2>/dev/null); rc=$?
check "shared: status" 1 "$rc"
check "shared: json" '[
  {"mac":"02:44:4B:00:20:08","ip":"10.77.1.8","model":"DK-E","system_mode":"shared address","firmware_version":"shared address","serial_number":"shared address","answered":false,"shared_address":true}
]' "$out"
check "shared: nothing asked" "$before" "$(grep -c '"ev":"http_request".*"ip":"10.77.1.8"' "$DK_SEG_EVENT_LOG")"

# Usage errors.
"$cli" inventory >/dev/null 2>&1; check "no devices named: status" 2 "$?"
"$cli" inventory --all --json --csv >/dev/null 2>&1; check "json and csv: status" 2 "$?"
"$cli" inventory --mac nonsense >/dev/null 2>&1; check "bad MAC: status" 2 "$?"

[ $fail -eq 0 ] && echo "segment inventory: every output as expected"
exit $fail
