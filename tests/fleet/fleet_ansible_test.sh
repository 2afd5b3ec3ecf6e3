#!/bin/bash
# The dravenkit.fleet collection for real: three site namespaces, each a
# simulated segment whose PC side runs an sshd (key authentication, its own
# host key, listening on its management address only), and a controller
# namespace that runs ansible-playbook over SSH against them. Checks: the
# merged inventory holds every device of every site; an address change is
# made once and a second run changes nothing; check mode sends nothing (the
# simulator's event log); a rolling firmware update stops at the site with a
# failing device and leaves the later site untouched.
#
#   fleet_ansible_test.sh SOURCE_DIR DRAVENKIT_CLI DRAVENKIT_SIM
# Needs root; runs in a mount namespace of its own (a private /run, so sshd's
# /run/sshd and the namespaces' names vanish with it).
set -uo pipefail
src=$1 cli=$2 sim=$3
if [ "${DK_FLEET_INNER:-}" != 1 ]; then
  exec env DK_FLEET_INNER=1 unshare --mount --propagation private -- bash "$0" "$@"
fi
mount -t tmpfs -o size=4m,mode=0755 tmpfs /run || { echo "cannot mount a private /run"; exit 1; }
mkdir -p /run/netns /run/sshd && chmod 0755 /run/sshd

t=$(mktemp -d "${TMPDIR:-/tmp}/dkfleet.XXXXXX") || exit 1
ctl=dkctl-$$
seg_pids=()
fail=0
start=$(date +%s)

cleanup() {
  local rc=$? p
  trap - EXIT INT TERM HUP
  # Each segment ends its sshd, its simulator and its namespaces.
  for p in "${seg_pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
  for p in "${seg_pids[@]}"; do wait "$p" 2>/dev/null; done
  # ssh connection masters and anything else left in the controller.
  if ip netns list 2>/dev/null | grep -q "^$ctl\b"; then
    for p in $(ip netns pids "$ctl" 2>/dev/null); do kill -KILL "$p" 2>/dev/null; done
    ip netns del "$ctl" 2>/dev/null
  fi
  rm -rf "$t"
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

say() { echo "fleet: $*"; }
check() {  # text, then a command that must succeed
  local what=$1; shift
  if "$@"; then say "ok: $what"; else say "FAILED: $what"; fail=1; fi
}

ip netns add "$ctl" && ip -n "$ctl" link set lo up || { say "cannot create the controller namespace"; exit 1; }

# Keys made for this run only.
ssh-keygen -q -t ed25519 -N '' -C dkfleet-host -f "$t/host_key" || exit 1
ssh-keygen -q -t ed25519 -N '' -C dkfleet-ctl -f "$t/ctl_key" || exit 1
cp "$t/ctl_key.pub" "$t/authorized_keys"
chmod 0600 "$t/authorized_keys"
: >"$t/known_hosts"

# Three sites of six devices each, MACs of their own; site 2 has a device
# that comes back from its update with the old version, site 3 a hostile
# model name.
for n in 1 2 3; do
  for i in 1 2 3 4 5 6; do
    f=""
    [ "$n" = 2 ] && [ "$i" = 2 ] && f=" faults=wrong-version"
    # A device text that a spreadsheet or a browser would run.
    [ "$n" = 3 ] && [ "$i" = 6 ] && f=' model="=HYPERLINK(\"x\")<i>"'
    printf 'mac=02:44:5%d:00:00:%02d firmware=2.4.1%s\n' "$n" "$i" "$f"
  done >"$t/fleet$n.txt"
  cat >"$t/sshd$n.conf" <<CONF
ListenAddress 172.31.$n.2
Port 22
HostKey $t/host_key
AuthorizedKeysFile $t/authorized_keys
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
AllowUsers root
UsePAM no
StrictModes no
PidFile none
LogLevel ERROR
Subsystem sftp internal-sftp
CONF
  echo "172.31.$n.2 $(cut -d' ' -f1,2 "$t/host_key.pub")" >>"$t/known_hosts"
  "$src/scripts/segment" --quiet --sim "$sim" --fleet "$t/fleet$n.txt" --restart-ms 1000 --seed $((40 + n)) \
    --event-log "$t/site$n.events" -- sh "$src/tests/fleet/site_host.sh" "$n" "$ctl" "$t/sshd$n.conf" $$ \
    >"$t/site$n.out" 2>&1 &
  seg_pids+=($!)
done

# Ready when every sshd answers on its management address (at most 30 s).
for n in 1 2 3; do
  ok=0
  for _ in $(seq 1 150); do
    if ip netns exec "$ctl" bash -c "exec 3<>/dev/tcp/172.31.$n.2/22" 2>/dev/null; then ok=1; break; fi
    sleep 0.2
  done
  if [ $ok -ne 1 ]; then say "site $n: no sshd within 30 s"; cat "$t/site$n.out"; exit 1; fi
done
say "three sites up after $(( $(date +%s) - start )) s"

mkdir -p "$t/ansible-home" "$t/cp" "$t/report"
cat >"$t/hosts.ini" <<INV
[sites]
site1 ansible_host=172.31.1.2 fleet_firmware_macs='["02:44:51:00:00:01", "02-44-51-00-00-02"]'
site2 ansible_host=172.31.2.2 fleet_firmware_macs='["02:44:52:00:00:01", "02-44-52-00-00-02"]'
site3 ansible_host=172.31.3.2 fleet_firmware_macs='["02:44:53:00:00:01", "02-44-53-00-00-02"]'

[sites:vars]
ansible_user=root
ansible_ssh_private_key_file=$t/ctl_key
ansible_python_interpreter=/usr/bin/python3
dravenkit_cli=$cli
INV
cat >"$t/ansible.cfg" <<CFG
[defaults]
inventory = $t/hosts.ini
remote_tmp = $t/remote-tmp
local_tmp = $t/local-tmp
forks = 5
timeout = 20
retry_files_enabled = False
nocows = 1
[ssh_connection]
ssh_args = -F /dev/null -o ControlMaster=auto -o ControlPersist=30s -o UserKnownHostsFile=$t/known_hosts -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes -o BatchMode=yes
control_path_dir = $t/cp
pipelining = True
CFG
playbook() {  # log name, ansible-playbook arguments...: its exit status
  local log=$1; shift
  ip netns exec "$ctl" env ANSIBLE_CONFIG="$t/ansible.cfg" ANSIBLE_HOME="$t/ansible-home" \
    ANSIBLE_COLLECTIONS_PATH="$src/ansible" ANSIBLE_FORCE_COLOR=0 ANSIBLE_NOCOLOR=1 HOME="$t/ansible-home" \
    bash -c 'cd "$1" && shift && exec timeout --kill-after=10 300 ansible-playbook "$@"' sh "$t" "$@" >"$t/$log.log" 2>&1
}
events() {  # site, event name: its count in the site's event log
  grep -c "\"ev\":\"$2\"" "$t/site$1.events"
}

# 1. Every site's inventory, merged.
step=$(date +%s)
playbook inventory dravenkit.fleet.fleet_inventory -e fleet_expect_version=2.4.1 -e fleet_report_dir="$t/report"
rc=$?
check "inventory playbook ends well (status $rc)" test $rc -eq 0
[ $rc -eq 0 ] || tail -n 40 "$t/inventory.log"
csv_rows() { grep -c "^site$1,02:44:5$1:" "$t/report/fleet_inventory.csv"; }
check "merged CSV: six devices of each site" test "$(csv_rows 1)/$(csv_rows 2)/$(csv_rows 3)" = "6/6/6"
check "merged CSV sorted by site and address" python3 - "$t/report/fleet_inventory.csv" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))[1:]
key = [(r[0], tuple(int(x) for x in r[2].split("."))) for r in rows]
sys.exit(0 if key == sorted(key) and all(r[5] == "2.4.1" and r[7] == "yes" and r[8] == "yes" for r in rows) else 1)
PY
check "HTML page counts 18 devices of version 2.4.1" grep -q '<tr><td>2.4.1</td><td>18</td></tr>' "$t/report/fleet_inventory.html"
check "HTML page escapes device texts" grep -qF '<td>=HYPERLINK(&#34;x&#34;)&lt;i&gt;</td>' "$t/report/fleet_inventory.html"
check "CSV guards device texts" grep -qF "\"'=HYPERLINK(\"\"x\"\")<i>\"" "$t/report/fleet_inventory.csv"
say "inventory: $(( $(date +%s) - step )) s"

# 2. An address change: check mode sends nothing, the change is made once.
step=$(date +%s)
cat >"$t/address.yml" <<'YML'
- hosts: site1
  gather_facts: false
  tasks:
    - dravenkit.fleet.address:
        cli: "{{ dravenkit_cli }}"
        devices:
          - {mac: "02-44-51-00-00-03", ip: 10.77.9.3, mask: 255.255.0.0, gateway: 10.77.0.1, dns: 10.77.0.1}
        user: root
        password: tulp
        verify_timeout: 30
      register: addr
    - ansible.builtin.copy:
        content: "{{ addr | to_json }}"
        dest: "{{ out }}"
      delegate_to: localhost
      check_mode: false
YML
before=$(events 1 set_network)
playbook address-check address.yml --check -e out="$t/address-check.json"
rc=$?
check "check mode ends well (status $rc)" test $rc -eq 0
check "check mode: a change planned" python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); sys.exit(0 if r["changed"] and r["results"][0]["result"] == "planned" else 1)' "$t/address-check.json"
check "check mode: no set-network request reached a device" test "$(events 1 set_network)" -eq "$before"
playbook address-1 address.yml -e out="$t/address-1.json"
rc=$?
check "address change made (status $rc)" test $rc -eq 0
[ $rc -eq 0 ] || tail -n 30 "$t/address-1.log"
check "first run: changed and verified" python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); d=r["results"][0]; sys.exit(0 if r["changed"] and d["verified"] and d["mac"] == "02:44:51:00:00:03" else 1)' "$t/address-1.json"
check "one set-network request, password from the environment accepted" test "$(grep -c '"ev":"set_network".*"result":0' "$t/site1.events")" -eq $((before + 1))
after=$(events 1 set_network)
playbook address-2 address.yml -e out="$t/address-2.json"
rc=$?
check "second run ends well (status $rc)" test $rc -eq 0
check "second run: nothing changed" python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); sys.exit(0 if not r["changed"] and r["results"][0]["result"] == "unchanged" else 1)' "$t/address-2.json"
check "second run: no request sent" test "$(events 1 set_network)" -eq "$after"
say "address: $(( $(date +%s) - step )) s"

# 3. The rolling update: site1 (canary) updated, site2 fails, site3 untouched.
step=$(date +%s)
{ printf 'DRAVENKIT-FW 2.5.0\n'; head -c 65536 /dev/zero; } >"$t/fw.bin"
playbook firmware dravenkit.fleet.fleet_firmware -e fleet_firmware_file="$t/fw.bin" -e fleet_firmware_version=2.5.0 \
  -e fleet_firmware_type=1 -e fleet_report_dir="$t/report"
rc=$?
check "the rolling update fails (status $rc)" test $rc -ne 0
check "canary site: both devices uploaded" test "$(grep -c '"ev":"upload".*"complete":true' "$t/site1.events")" -eq 2
check "failing site: both devices uploaded" test "$(grep -c '"ev":"upload".*"complete":true' "$t/site2.events")" -eq 2
check "site after the failure untouched" test "$(events 3 upload)" -eq 0
check "the failure names its device" grep -q "not verified: 02:44:52:00:00:02" "$t/firmware.log"
check "merged report written: site1 updated, site2 failed, site3 not started" python3 - "$t/report/fleet_firmware.csv" <<'PY'
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="")))[1:]
got = sorted((r[0], r[1], r[4]) for r in rows)
want = sorted([("site1", "02:44:51:00:00:01", "updated"), ("site1", "02:44:51:00:00:02", "updated"),
               ("site2", "02:44:52:00:00:01", "updated"), ("site2", "02:44:52:00:00:02", "failed"),
               ("site3", "", "not started")])
if got != want:
    print(got)
sys.exit(0 if got == want else 1)
PY
[ $fail -eq 0 ] || tail -n 40 "$t/firmware.log"
say "firmware: $(( $(date +%s) - step )) s"

say "$(( $(date +%s) - start )) s in all"
[ $fail -eq 0 ] && say "all checks passed"
exit $fail
