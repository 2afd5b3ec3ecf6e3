#!/bin/sh
# After the Windows package's window ran under Wine on the simulated segment
# (scripts/windows package): it ran from its unzipped folder, and the list it
# exported after "Discovery" holds every device of the fleet, numbered, with
# the MAC and IP address each answered with; and the zip's dravenkit-cli.exe
# found them too.
#   package_smoke_check.sh FOLDER CSV FLEET DISCOVER_JSON
set -u
folder=$1 csv=$2 fleet=$3 json=$4
fail=0
check() {  # name, want, got
  if [ "$2" != "$3" ]; then
    echo "$1: got:"; printf '%s\n' "$3"; echo "want:"; printf '%s\n' "$2"; fail=1
  fi
}
# The first start writes every setting beside the program.
grep -q '^\[' "$folder/Dravenkit.ini" 2>/dev/null || { echo "no Dravenkit.ini was written in the unzipped folder"; fail=1; }
[ -s "$csv" ] || { echo "no list was exported"; exit 1; }
rows=$(tr -d '\r' <"$csv")
check "export: header" \
  "No.,Model name,MAC address,IP address,Web port,AV port,Configured IP address,Subnet mask,Gateway,DNS server,Network type,Status" \
  "$(printf '%s\n' "$rows" | head -n 1)"
want=$(sed -n 's/^mac=\([0-9A-F:]*\) ip=\([0-9.]*\).*/\1 \2/p' "$fleet" |
  awk '{ split($1, m, ":"); printf "%s:%s:%s - %s:%s:%s,%s\n", m[1], m[2], m[3], m[4], m[5], m[6], $2 }' | sort)
check "export: devices (MAC, IP)" "$want" "$(printf '%s\n' "$rows" | tail -n +2 | cut -d, -f3,4 | sort)"
check "export: numbering" "$(seq "$(printf '%s\n' "$want" | wc -l)")" \
  "$(printf '%s\n' "$rows" | tail -n +2 | cut -d, -f1 | tr -d ' ' | sort -n)"
want_macs=$(sed -n 's/^mac=\([0-9A-F:]*\) .*/\1/p' "$fleet" | sort)
check "dravenkit-cli.exe discover: MACs" "$want_macs" \
  "$(grep -o '"mac":"[0-9A-F:]*"' "$json" 2>/dev/null | cut -d'"' -f4 | sort)"
[ $fail -eq 0 ] && echo "the window listed all $(printf '%s\n' "$want" | wc -l | tr -d ' ') devices after Discovery; so did dravenkit-cli.exe"
exit $fail
