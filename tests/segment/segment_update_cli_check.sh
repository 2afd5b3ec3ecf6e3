#!/bin/sh
# Runs in a simulated segment's PC namespace (scripts/segment --fleet
# fleet_update_cli.txt --event-log ...): dravenkit-cli update exits 0 when
# every device was verified, 1 when one kept its old version, 1 for an
# unknown MAC or an unreadable file (nothing sent), 2 for a usage error (an
# empty version, a password the address step would cut: nothing sent).
set -u
cli=$1
log=${DK_SEG_EVENT_LOG:?needs --event-log}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name, condition result
  if [ "$2" -ne 0 ]; then echo "FAILED: $1"; fail=1; fi
}

{ printf 'DRAVENKIT-FW 2.0.1\n'; head -c 300000 /dev/zero; } > "$dir/fw one.bin"
{ printf 'DRAVENKIT-FW 2.0.2\n'; head -c 1000 /dev/zero; } > "$dir/fw two.bin"

"$cli" update --file "$dir/fw one.bin" --version 2.0.1 --type 0 --mac 02:44:4B:00:10:02 --mac 02-44-4b-00-10-01 \
  --json > "$dir/one.json" 2> "$dir/one.err"
rc=$?
check "both devices verified: exit 0 (got $rc)" $([ $rc -eq 0 ]; echo $?)
check "JSON lists the devices in the order given" \
  $(grep -q '"mac": "02:44:4B:00:10:02"' "$dir/one.json" && tr -d '\n ' < "$dir/one.json" |
    grep -q '"devices":\[{"mac":"02:44:4B:00:10:02","ip":"[0-9.]*","status":100,"text":"2.0.1","updated":true,"dropped":false,"version":"2.0.1","uploaded_bytes":[0-9]*,"upload_http_status":200}'; echo $?)
check "uploaded bytes reported" $(grep -q '"uploaded_bytes": 300[0-9][0-9][0-9]' "$dir/one.json"; echo $?)
check "type 0 form at upload.cgi" $(grep -c '"ev":"upload".*"field_found":true.*"version":"2.0.1"' "$log" | grep -qx 2; echo $?)

"$cli" update --file "$dir/fw two.bin" --version 2.0.2 --type 1 --all > "$dir/two.out" 2> "$dir/two.err"
rc=$?
check "a wrong version: exit 1 (got $rc)" $([ $rc -eq 1 ]; echo $?)
check "status lines name the failure" $(grep -q "02:44:4B:00:10:03 -11 update error 'CHECK_FIRMWARE_VERSION'" "$dir/two.out"; echo $?)
check "the others verified" $(grep -c '^02:44:4B:00:10:0[12] [0-9.]* 100 2.0.2$' "$dir/two.out" | grep -qx 2; echo $?)
check "summary" $(grep -qx 'Update failed: 2 of 3 devices updated; failed: 02:44:4B:00:10:03' "$dir/two.out"; echo $?)
[ $fail -eq 0 ] || cat "$dir/two.out"

before=$(grep -c '"ev":"http_request"' "$log")
"$cli" update --file "$dir/fw two.bin" --version 2.0.2 --mac 02:44:4B:00:99:99 > /dev/null 2> "$dir/three.err"
rc=$?
check "unknown MAC: exit 1 (got $rc)" $([ $rc -eq 1 ]; echo $?)
"$cli" update --file "$dir/missing.bin" --version 2.0.2 --all > /dev/null 2>&1
rc=$?
check "unreadable file: exit 1 (got $rc)" $([ $rc -eq 1 ]; echo $?)
"$cli" update --file "$dir/fw two.bin" --version 2.0.2 > /dev/null 2>&1
rc=$?
check "neither --mac nor --all: exit 2 (got $rc)" $([ $rc -eq 2 ]; echo $?)
after=$(grep -c '"ev":"http_request"' "$log")
check "nothing sent by the refused commands" $([ "$before" -eq "$after" ]; echo $?)

# Refused before the scan: not even a discovery request goes out.
before=$(grep -c '"ev":"http_request"\|"ev":"set_network"\|"ev":"discovery_request"' "$log")
"$cli" update --file "$dir/fw two.bin" --version '' --all > /dev/null 2> "$dir/four.err"
rc=$?
check "empty version: exit 2 naming --version (got $rc)" $([ $rc -eq 2 ] && grep -q -- '--version' "$dir/four.err"; echo $?)
"$cli" update --file "$dir/fw two.bin" --version 2.0.2 --all --ip-setting --user root \
  --password 12345678901234567 > /dev/null 2> "$dir/five.err"
rc=$?
check "17-byte password: exit 2 naming the limit (got $rc)" \
  $([ $rc -eq 2 ] && grep -q 'at most 16 bytes' "$dir/five.err"; echo $?)
after=$(grep -c '"ev":"http_request"\|"ev":"set_network"\|"ev":"discovery_request"' "$log")
check "nothing sent for the empty version or the long password" $([ "$before" -eq "$after" ]; echo $?)

[ $fail -eq 0 ] && echo "update CLI checks passed"
exit $fail
