#!/usr/bin/env bash
# scripts/segment itself: exit status, environment, the shell, and that every
# namespace and the simulator are gone after success, failure and signals.
# Usage: segment_script_test.sh SEGMENT_SCRIPT SIM
set -u
[ "$(id -u)" -eq 0 ] || { echo "segment script: needs root (network namespaces); skipped"; exit 77; }
seg=$1
sim=$2
work=$(mktemp -d /tmp/dkseg-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
gone() {  # namespace names...: true when none of them exists
  local n
  for n in "$@"; do ip netns list | grep -qw "$n" && return 1; done
  return 0
}
wait_for() {  # seconds, command...: polls the command until true
  local limit=$(($1 * 20)) i=0
  shift
  until "$@"; do
    i=$((i + 1))
    [ $i -ge $limit ] && return 1
    sleep 0.05
  done
}
run() { "$seg" --quiet --sim "$sim" "$@"; }

# 1. COMMAND's status and environment; namespaces gone afterwards.
run --devices 3 -- sh -c '
  echo "$DK_SEG_PC_NS $DK_SEG_DEV_NS $DK_SEG_DEVICES $DK_SEG_PC_IP $DK_SEG_SIM_PID" >"$0"
  ip -4 addr show dev "$DK_SEG_PC_IF" | grep -q "inet 10.77.0.1/16" || exit 9
  ip route show | grep -q "^255.255.255.255 dev $DK_SEG_PC_IF" || exit 10
  ip route show | grep -q "^default" && exit 11
  [ "$DK_TEST_NETNS" = "$(readlink /proc/self/ns/net)" ] || exit 12
  exit 7' "$work/env"
rc=$?
[ $rc -eq 7 ] || fail "status $rc, want 7"
read -r pcns devns count pcip simpid <"$work/env"
[ "$count" = 3 ] || fail "DK_SEG_DEVICES=$count"
[ "$pcip" = 10.77.0.1 ] || fail "DK_SEG_PC_IP=$pcip"
gone "$pcns" "$devns" || fail "namespaces left after a normal run"
kill -0 "$simpid" 2>/dev/null && fail "simulator still running"

# 2. The devices are real addresses: ping and TCP reach them from the PC side.
run --devices 5 -- bash -c 'ping -c 1 -W 2 10.77.1.5 >/dev/null && exec 3<>/dev/tcp/10.77.1.5/80' ||
  fail "device address not reachable"

# 3. A simulator that cannot start: 125, nothing left.
"$seg" --quiet --sim "$sim" --devices 3 --bogus-option -- true 2>"$work/err" &
pid=$!
wait $pid
rc=$?
[ $rc -eq 125 ] || fail "bad simulator option gave $rc, want 125"
grep -q "unknown option --bogus-option" "$work/err" || fail "simulator's complaint not shown"
gone "dkpc-$pid" "dkdev-$pid" || fail "namespaces left after a failed start"

# 4. SIGTERM while COMMAND runs: 143, simulator and namespaces gone.
"$seg" --quiet --sim "$sim" --devices 3 -- sh -c 'echo "$DK_SEG_SIM_PID" >"$0"; sleep 30' "$work/simpid" &
pid=$!
wait_for 20 test -s "$work/simpid" || fail "segment did not start"
simpid=$(cat "$work/simpid")
kill -TERM $pid
wait $pid
rc=$?
[ $rc -eq 143 ] || fail "SIGTERM gave $rc, want 143"
gone "dkpc-$pid" "dkdev-$pid" || fail "namespaces left after SIGTERM"
kill -0 "$simpid" 2>/dev/null && fail "simulator survived SIGTERM of the segment"

# 5. SIGKILL of the script: the simulator notices and ends by itself. (The
# script's temporary folder is left; it goes with $work.)
rm -f "$work/simpid"
TMPDIR=$work "$seg" --quiet --sim "$sim" --devices 3 -- sh -c 'echo "$DK_SEG_SIM_PID" >"$0"; sleep 30' "$work/simpid" &
pid=$!
wait_for 20 test -s "$work/simpid" || fail "segment did not start"
simpid=$(cat "$work/simpid")
kill -KILL $pid
wait $pid 2>/dev/null
wait_for 5 sh -c "! kill -0 $simpid 2>/dev/null" || fail "simulator outlived a killed segment"
for p in $(ip netns pids "dkpc-$pid" 2>/dev/null); do kill -KILL "$p"; done
ip netns del "dkpc-$pid" 2>/dev/null
ip netns del "dkdev-$pid" 2>/dev/null

# 6. No COMMAND: a shell in the PC namespace, its status is the segment's.
out=$(printf 'echo "inside $DK_SEG_DEVICES $(ip -4 -o addr show dev $DK_SEG_PC_IF | wc -l)"\nexit 4\n' |
      run --devices 2 2>/dev/null)
rc=$?
[ $rc -eq 4 ] || fail "shell status $rc, want 4"
echo "$out" | grep -q "inside 2 1" || fail "shell output: $out"

# 7. A simulator that dies under the command turns success into 125.
run --devices 2 -- sh -c 'kill -KILL "$DK_SEG_SIM_PID"; sleep 0.2; exit 0' 2>"$work/err"
rc=$?
[ $rc -eq 125 ] || fail "dead simulator gave $rc, want 125"

# 8. Two segments at once do not disturb each other.
"$seg" --quiet --sim "$sim" --devices 4 -- sleep 1 &
a=$!
run --devices 6 -- sh -c '[ "$DK_SEG_DEVICES" = 6 ]'
rc=$?
wait $a
rc_a=$?
[ $rc -eq 0 ] && [ $rc_a -eq 0 ] || fail "overlapping segments: $rc / $rc_a"

# 9. The simulator on its own: adds one /32 per device, removes them all on SIGTERM.
ns=dksimtest-$$
if ip netns add "$ns"; then
  ip -n "$ns" link add dk0 type veth peer name dk1
  ip -n "$ns" link set dk0 up
  ip netns exec "$ns" "$sim" --devices 20 --iface dk0 --ready-file "$work/ready" --exit-with $$ >/dev/null &
  spid=$!
  wait_for 20 test -e "$work/ready" || fail "simulator not ready"
  n=$(ip -n "$ns" -4 -o addr show dev dk0 | grep -c '/32')
  [ "$n" -eq 20 ] || fail "$n addresses while running, want 20"
  kill -TERM $spid
  wait $spid
  rc=$?
  [ $rc -eq 0 ] || fail "simulator ended with $rc on SIGTERM"
  n=$(ip -n "$ns" -4 -o addr show dev dk0 | grep -c '/32')
  [ "$n" -eq 0 ] || fail "$n addresses left after SIGTERM"
  [ -e "$work/ready" ] && fail "ready file left behind"
  ip netns del "$ns"
else
  fail "cannot create namespace $ns"
fi

# 10. --time-limit: the command is stopped, everything removed, status 124.
t0=$(date +%s)
"$seg" --quiet --sim "$sim" --devices 2 --time-limit 2 -- sleep 60 2>"$work/err" &
pid=$!
wait $pid
rc=$?
[ $rc -eq 124 ] || fail "time limit gave $rc, want 124"
[ $(($(date +%s) - t0)) -lt 40 ] || fail "the time limit of 2 s took $(($(date +%s) - t0)) s"
grep -q "past the time limit of 2s" "$work/err" || fail "time limit not reported: $(cat "$work/err")"
gone "dkpc-$pid" "dkdev-$pid" || fail "namespaces left after the time limit"

[ $fails -eq 0 ] && echo "segment script: all checks passed"
exit $fails
