#!/bin/sh
# One site host, run by scripts/segment in its PC namespace: a management
# link to the controller's namespace (172.31.N.2 here, 172.31.N.1 there),
# then sshd on that address alone. It ends with the segment (TERM), and also
# within a second of the test OWNER_PID ending, should that one be killed
# outright and leave no clean-up behind.
#   site_host.sh N CONTROLLER_NS SSHD_CONFIG OWNER_PID
set -eu
n=$1 ctl=$2 conf=$3 owner=$4
ip link add dkmg0 type veth peer name dkctl$n netns "$ctl"
ip addr add "172.31.$n.2/24" dev dkmg0
ip link set dkmg0 up
ip -n "$ctl" addr add "172.31.$n.1/24" dev "dkctl$n"
ip -n "$ctl" link set "dkctl$n" up
/usr/sbin/sshd -D -e -f "$conf" &
sshd=$!
trap 'kill -TERM $sshd 2>/dev/null; wait $sshd; exit 0' TERM INT HUP
set +e
while kill -0 "$owner" 2>/dev/null && kill -0 $sshd 2>/dev/null; do
  sleep 1 &
  wait $!
done
kill -TERM $sshd 2>/dev/null
wait $sshd
