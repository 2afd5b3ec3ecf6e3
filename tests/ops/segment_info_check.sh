#!/bin/sh
# Runs in a simulated segment's PC namespace (scripts/segment --fleet
# segment_fleet.txt --event-log ...): dravenkit-cli info shows what each
# simulated device holds, and a device that does not answer ping gets
# "failed" three times without one HTTP request reaching the devices.
set -u
cli=$1
log=${DK_SEG_EVENT_LOG:?needs --event-log}
fail=0

expect() {  # name, expected output, expected status, cli args...
  name=$1 want=$2 want_rc=$3
  shift 3
  got=$("$cli" info "$@" 2>/dev/null)
  rc=$?
  if [ "$got" != "$want" ] || [ "$rc" -ne "$want_rc" ]; then
    echo "$name: status $rc (want $want_rc), got:"; printf '%s\n' "$got"; echo "want:"; printf '%s\n' "$want"
    fail=1
  fi
}

expect encoder "System Mode : encoder
Firmware Ver. : 5.2.1
Serial No. : SEG-ENC-1" 0 10.77.1.1
expect "decoder on port 8080" "System Mode : decoder
Firmware Ver. : 3.0.7
Serial No. : SEG-DEC-2" 0 10.77.1.2 --port 8080
# Headers and body in separate segments: the values still arrive.
expect "split replies" "System Mode : encoder
Firmware Ver. : 4.4.0
Serial No. : SEG-SPLIT-3" 0 10.77.1.3
# Answers ping, refuses HTTP: mode stays empty, the two values fail.
expect "refused connections" "System Mode : 
Firmware Ver. : failed
Serial No. : failed" 0 10.77.1.4
expect json '{"system_mode":"decoder","firmware_version":"2.0.0","serial_number":"SEG-5"}' 0 10.77.1.5 --json

# HTTP requests the simulator logged for the first device.
first_requests() { grep '"ev":"http_request"' "$log" | grep -c '"ip":"10.77.1.1"'; }
wait_first_requests() {  # count: polls, at most 10 s, until that many are logged
  i=0
  while [ "$(first_requests)" -lt "$1" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
}
wait_first_requests 3
[ "$(first_requests)" -eq 3 ] || { echo "event log: $(first_requests) HTTP requests of the first query, want 3"; fail=1; }

# The devices stop answering echo requests; their web servers stay up.
ip netns exec "$DK_SEG_DEV_NS" sh -c 'echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all' || { echo "cannot silence ping"; exit 1; }
expect "no ping answer" "System Mode : failed
Firmware Ver. : failed
Serial No. : failed" 1 10.77.1.1
ip netns exec "$DK_SEG_DEV_NS" sh -c 'echo 0 >/proc/sys/net/ipv4/icmp_echo_ignore_all'
# ... and the web server was reachable all along.
expect "encoder again" "System Mode : encoder
Firmware Ver. : 5.2.1
Serial No. : SEG-ENC-1" 0 10.77.1.1
# Its three requests are the later marker: a request of the query without
# a ping answer would be logged before them.
wait_first_requests 6
[ "$(first_requests)" -eq 6 ] || { echo "event log: $(($(first_requests) - 6)) HTTP requests after a failed ping"; fail=1; }

[ $fail -eq 0 ] && echo "segment info: all cases as the panel shows them"
exit $fail
