#!/usr/bin/python
# Gives a site's devices the addresses wanted, through dravenkit-cli on the site host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: address
short_description: Give devices the network settings wanted, by MAC address
description:
  - One discovery scan (C(dravenkit-cli discover --json)) gives every device's current setting; only devices
    whose setting differs get a request, so a second run changes nothing.
  - The requests go out with C(dravenkit-cli assign --file), one assignment file made for the devices to
    change; then the CLI scans every 3 s until each answers with its new setting.
  - In check mode nothing is sent; the result is the plan.
version_added: "1.0.1"
author: Dravenkit developers
extends_documentation_fragment:
  - dravenkit.fleet.cli
options:
  devices:
    description:
      - The settings wanted, one entry per device. Either O(devices) or O(file).
    type: list
    elements: dict
    suboptions:
      mac:
        description: The device's MAC address (any of the three forms the CLI accepts).
        type: str
        required: true
      ip:
        description: Static address.
        type: str
      mask:
        description: Subnet mask of a static address.
        type: str
      gateway:
        description: Gateway of a static address.
        type: str
      dns:
        description: DNS server of a static address.
        type: str
      dhcp:
        description: Take the address by DHCP instead (no other field then).
        type: bool
        default: false
  file:
    description:
      - An IP assignment file on the site host (one device a line, MAC, C(STATIC) or C(DHCP), address, mask,
        gateway, DNS server). Its devices that answer the scan are the ones set.
    type: path
  user:
    description: Administrator ID (default C(IP_SETTING_ID) of the site host's Dravenkit.ini).
    type: str
  password:
    description:
      - Administrator password (default C(IP_SETTING_PASSWORD)). Given to the CLI in its environment, never on
        its command line.
    type: str
  verify_timeout:
    description: Seconds to wait for the changed devices to answer with their new setting.
    type: int
    default: 60
notes:
  - Fails naming each device that refused the request or was not seen again with its new setting.
"""

EXAMPLES = r"""
- name: Two cameras to fixed addresses, a third to DHCP
  dravenkit.fleet.address:
    devices:
      - {mac: "02:44:4B:00:00:01", ip: 10.77.9.1, mask: 255.255.0.0, gateway: 10.77.0.1, dns: 10.77.0.1}
      - {mac: "02-44-4b-00-00-02", ip: 10.77.9.2, mask: 255.255.0.0, gateway: 10.77.0.1, dns: 10.77.0.1}
      - {mac: "02:44:4B:00:00:03", dhcp: true}
    user: root
    password: "{{ vault_camera_password }}"

- name: The addresses of the site's assignment file
  dravenkit.fleet.address:
    file: /etc/dravenkit/site-addresses.txt
    password: "{{ vault_camera_password }}"
"""

RETURN = r"""
results:
  description: One entry per device named, in the order given.
  returned: always
  type: list
  elements: dict
  contains:
    mac: {description: MAC address., type: str}
    wanted: {description: The setting wanted (C(type) STATIC or DHCP, C(ip), C(mask), C(gateway), C(dns))., type: dict}
    before: {description: The setting the device reported before (null when it did not answer)., type: dict}
    changed: {description: A request was (or in check mode would be) sent., type: bool}
    result: {description: The CLI's result (C(accepted), C(refused), ...) or C(unchanged) or C(planned)., type: str}
    verified: {description: The device answered with its new setting (true for unchanged devices)., type: bool}
    status: {description: The CLI's status text., type: str}
"""

import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dravenkit.fleet.plugins.module_utils.dravenkit_cli import (
    CLI_OPTION, CREDENTIAL_OPTIONS, cli_json, discover, is_dotted_quad, missing_macs, normalize_mac)

FIELDS = ("ip", "mask", "gateway", "dns")


def wanted_from_devices(module, devices):
    out = []
    seen = set()
    for i, d in enumerate(devices):
        mac = normalize_mac(d.get("mac"))
        if mac is None:
            module.fail_json(msg="devices[%d]: '%s' is not a MAC address" % (i, d.get("mac")))
        if mac in seen:
            module.fail_json(msg="devices[%d]: %s is named twice" % (i, mac))
        seen.add(mac)
        if d.get("dhcp"):
            given = [f for f in FIELDS if d.get(f)]
            if given:
                module.fail_json(msg="devices[%d] (%s): dhcp takes no %s" % (i, mac, ", ".join(given)))
            out.append(dict(mac=mac, type="DHCP"))
            continue
        w = dict(mac=mac, type="STATIC")
        for f in FIELDS:
            v = d.get(f)
            if not is_dotted_quad(v):
                module.fail_json(msg="devices[%d] (%s): %s must be a dotted address, not %r" % (i, mac, f, v))
            w[f] = v
        out.append(w)
    return out


def wanted_from_file(module, path):
    if not os.path.isfile(path):
        module.fail_json(msg="file: no such file on the site host: %s" % path)
    _, entries, _ = cli_json(module, ["assignments", path, "--json"], ok_codes=(0,), expect=list)
    out = []
    seen = set()
    for e in entries:
        mac = normalize_mac(e.get("mac", ""))
        # The run takes a MAC's first line; later ones are the file's own duplicates.
        if mac is None or mac in seen:
            continue
        seen.add(mac)
        w = dict(mac=mac, type=e.get("type", "STATIC").upper())
        if w["type"] == "STATIC":
            for f in FIELDS:
                w[f] = e.get(f)
        out.append(w)
    return out


def current_setting(rec):
    if rec is None:
        return None
    # network_type: 0 DHCP, 1 static, 2 PPPoE.
    t = rec.get("network_type")
    cur = dict(type={0: "DHCP", 1: "STATIC", 2: "PPPOE"}.get(t, str(t)), ip=rec.get("configured_ip"),
               mask=rec.get("subnet_mask"), gateway=rec.get("gateway"), dns=rec.get("dns_server"),
               answered_from=rec.get("ip"))
    return cur


def differs(wanted, cur):
    if wanted["type"] == "DHCP":
        return cur["type"] != "DHCP"
    if cur["type"] != "STATIC":
        return True
    # A device may list a setting it has not taken yet; where it answers from counts as well.
    return any(wanted[f] != cur[f] for f in FIELDS) or cur["answered_from"] != wanted["ip"]


def assignment_line(w):
    if w["type"] == "DHCP":
        return "%s DHCP 0.0.0.0 0.0.0.0 0.0.0.0 0.0.0.0\n" % w["mac"]
    return "%s STATIC %s %s %s %s\n" % (w["mac"], w["ip"], w["mask"], w["gateway"], w["dns"])


def run_module():
    options = dict(
        devices=dict(type="list", elements="dict", options=dict(
            mac=dict(type="str", required=True), ip=dict(type="str"), mask=dict(type="str"),
            gateway=dict(type="str"), dns=dict(type="str"), dhcp=dict(type="bool", default=False))),
        file=dict(type="path"),
        verify_timeout=dict(type="int", default=60),
    )
    options.update(CLI_OPTION)
    options.update(CREDENTIAL_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True,
                           mutually_exclusive=[("devices", "file")], required_one_of=[("devices", "file")])
    p = module.params
    if p["verify_timeout"] < 0:
        module.fail_json(msg="verify_timeout must not be negative")
    wanted = wanted_from_devices(module, p["devices"]) if p["devices"] is not None else wanted_from_file(module, p["file"])
    found = discover(module)
    if p["devices"] is not None:
        missing_macs(module, [w["mac"] for w in wanted], found, "address")
    else:
        wanted = [w for w in wanted if w["mac"] in found]

    results = []
    to_change = []
    for w in wanted:
        cur = current_setting(found.get(w["mac"]))
        change = differs(w, cur)
        wanted_view = dict((k, v) for k, v in w.items() if k != "mac")
        results.append(dict(mac=w["mac"], wanted=wanted_view, before=cur, changed=change,
                            result=("planned" if module.check_mode else None) if change else "unchanged",
                            verified=not change, status="" if change else "already set"))
        if change:
            to_change.append(w)

    if not to_change or module.check_mode:
        module.exit_json(changed=bool(to_change), results=results)

    fd, path = tempfile.mkstemp(prefix="dravenkit-address-", suffix=".txt")
    try:
        with os.fdopen(fd, "w") as f:
            for w in to_change:
                f.write(assignment_line(w))
        args = ["assign", "--file", path, "--verify-timeout", str(p["verify_timeout"]), "--json"]
        for w in to_change:
            args += ["--mac", w["mac"]]
        if p["user"] is not None:
            args += ["--user", p["user"]]
        rc, data, _ = cli_json(module, args, ok_codes=(0, 1), expect=dict)
    finally:
        os.unlink(path)

    by_mac = {}
    for d in data.get("devices", []):
        mac = normalize_mac(d.get("mac", ""))
        if mac:
            by_mac[mac] = d
    bad = []
    for r in results:
        if not r["changed"]:
            continue
        d = by_mac.get(r["mac"])
        if d is None:
            r.update(result="not sent", verified=False, status="no request was sent")
        else:
            r.update(result=d.get("result"), verified=bool(d.get("verified")), status=d.get("status", ""),
                     ip_after=d.get("ip"))
        if not r["verified"]:
            bad.append("%s (%s)" % (r["mac"], r["status"] or r["result"]))
    if bad:
        module.fail_json(msg="not verified with the new setting: " + ", ".join(bad), changed=True, results=results)
    module.exit_json(changed=True, results=results)


def main():
    run_module()


if __name__ == "__main__":
    main()
