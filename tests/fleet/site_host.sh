#!/bin/sh
# One site host, run by scripts/segment in its PC namespace: a management
# link to the controller's namespace (172.31.N.2 here, 172.31.N.1 there),
# then sshd on that address alone, in the foreground, so the segment's own
# clean-up ends it with the simulator.
#   site_host.sh N CONTROLLER_NS SSHD_CONFIG
set -eu
n=$1 ctl=$2 conf=$3
ip link add dkmg0 type veth peer name dkctl$n netns "$ctl"
ip addr add "172.31.$n.2/24" dev dkmg0
ip link set dkmg0 up
ip -n "$ctl" addr add "172.31.$n.1/24" dev "dkctl$n"
ip -n "$ctl" link set "dkctl$n" up
exec /usr/sbin/sshd -D -e -f "$conf"
