#!/bin/sh
# Runs in a simulated segment's PC namespace (scripts/segment --fleet
# fleet_update_cli_faults.txt): one dravenkit-cli update --ip-setting over an
# upload cut half-way (-2), one that took every byte and was reset instead of
# answered (checked: 100), an HTTP 500 (-3) and a device never found at its
# new address (-9, dropped, named). Exit 1. Takes the address step's 60 s.
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name, condition result
  if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}
# More than twice the PC's send buffer, so the cut device is cut before the last byte is written.
{ printf 'DRAVENKIT-FW 2.1.0\n'; head -c 16777216 /dev/zero; } > "$dir/fw.bin"

"$cli" update --file "$dir/fw.bin" --version 2.1.0 --type 1 --all --ip-setting > "$dir/text.out" 2> "$dir/text.err"
rc=$?
check "exit 1 (got $rc)" $([ $rc -eq 1 ]; echo $?)
check "cut: -2" $(grep -q "^02:44:4B:00:11:01 [0-9.]* -2 update error 'UPLOAD_TOOL -2'$" "$dir/text.out"; echo $?)
check "reset, then back with the new version: 100" $(grep -q "^02:44:4B:00:11:02 [0-9.]* 100 2.1.0$" "$dir/text.out"; echo $?)
check "HTTP 500: -3" $(grep -q "^02:44:4B:00:11:03 [0-9.]* -3 update error 'UPLOAD_FIRMWARE'$" "$dir/text.out"; echo $?)
check "never back: -9, dropped" \
  $(grep -q "^02:44:4B:00:11:04 [0-9.]* -9 update error 'UPDATE_TIMEOUT' (dropped after the IP setting" "$dir/text.out"; echo $?)
check "summary names every failed device" \
  $(grep -qx 'Update failed: 1 of 4 devices updated; failed: 02:44:4B:00:11:01, 02:44:4B:00:11:03, 02:44:4B:00:11:04' \
    "$dir/text.out"; echo $?)
[ $fail -eq 0 ] || cat "$dir/text.out" "$dir/text.err"
[ $fail -eq 0 ] && echo "update CLI fault checks passed"
exit $fail
