#!/usr/bin/python
# Reads what the devices of one site run, through dravenkit-cli on the site host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: inventory
short_description: Read model, system mode, firmware version and serial number of a site's devices
description:
  - Runs C(dravenkit-cli inventory --json) on the site host, which sits on the devices' Ethernet segment.
  - One discovery scan, then a ping and the information query of each device chosen (all found by default),
    at most O(concurrency) at once.
  - Never changes anything; the same in check mode.
version_added: "1.0.1"
author: Dravenkit developers
extends_documentation_fragment:
  - dravenkit.fleet.cli
options:
  macs:
    description:
      - The devices to read, by MAC address (C(00:1A:2B:3C:4D:5E), C(00-1A-2B-3C-4D-5E) or C(00:1A:2B - 3C:4D:5E)).
      - Default every device the scan finds. A MAC that does not answer the scan fails the task.
    type: list
    elements: str
  expect_version:
    description: The firmware version every device should run; sets C(version_matches) and C(mismatched).
    type: str
  concurrency:
    description: Devices read at once (1-1024; the CLI's default is 32).
    type: int
  user:
    description: The ID the requests carry (default C(root), as the window's information panel reads).
    type: str
  password:
    description:
      - The password the requests carry (default the devices' default password). Given to the CLI in its
        environment, never on its command line.
    type: str
notes:
  - The task does not fail when devices do not answer or run another version; see C(failed) and C(mismatched).
    Use C(failed_when) for that.
"""

EXAMPLES = r"""
- name: Read every device of the site
  dravenkit.fleet.inventory:
    expect_version: "2.4.1"
  register: inv

- name: Two cameras only
  dravenkit.fleet.inventory:
    macs: ["02:44:4B:00:00:01", "02-44-4b-00-00-02"]

- name: Fail the site when a device does not answer
  dravenkit.fleet.inventory:
  register: inv
  failed_when: inv.failed_devices > 0
"""

RETURN = r"""
devices:
  description: One entry per device, in the order the CLI read them.
  returned: always
  type: list
  elements: dict
  contains:
    mac: {description: MAC address, C(AA:BB:CC:DD:EE:FF)., type: str}
    ip: {description: The address the device answered from., type: str}
    model: {description: Model name from discovery., type: str}
    system_mode: {description: C(encoder), C(decoder), C(-) or C(failed)., type: str}
    firmware_version: {description: Firmware version text or C(failed)., type: str}
    serial_number: {description: Serial number text or C(failed)., type: str}
    answered: {description: The ping and every request answered., type: bool}
    version_matches: {description: The version is O(expect_version) (null without it)., type: bool}
answered:
  description: Devices that answered every request.
  returned: always
  type: int
failed_devices:
  description: Devices that did not (the count the task calls C(failed) in its summary).
  returned: always
  type: int
mismatched:
  description: Devices that answered with a version other than O(expect_version) (0 without it).
  returned: always
  type: int
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dravenkit.fleet.plugins.module_utils.dravenkit_cli import (
    CLI_OPTION, CREDENTIAL_OPTIONS, cli_json, device_args, normalize_mac, normalize_macs)


def run_module():
    options = dict(
        macs=dict(type="list", elements="str"),
        expect_version=dict(type="str"),
        concurrency=dict(type="int"),
    )
    options.update(CLI_OPTION)
    options.update(CREDENTIAL_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    if p["concurrency"] is not None and not 1 <= p["concurrency"] <= 1024:
        module.fail_json(msg="concurrency must be 1 to 1024, not %d" % p["concurrency"])
    macs = normalize_macs(module, p["macs"])
    args = ["inventory"] + device_args(macs) + ["--json"]
    if p["expect_version"] is not None:
        if p["expect_version"] == "":
            module.fail_json(msg="expect_version is empty")
        args += ["--expect-version", p["expect_version"]]
    if p["concurrency"] is not None:
        args += ["--concurrency", str(p["concurrency"])]
    if p["user"] is not None:
        args += ["--user", p["user"]]
    # Exit 1 is a finished inventory with devices that failed or mismatched.
    _, data, _ = cli_json(module, args, ok_codes=(0, 1), expect=list)
    devices = []
    for d in data:
        if not isinstance(d, dict):
            continue
        e = dict(d)
        e["mac"] = normalize_mac(d.get("mac", "")) or d.get("mac")
        e["answered"] = bool(d.get("answered"))
        e["version_matches"] = d.get("version_matches") if p["expect_version"] is not None else None
        devices.append(e)
    answered = sum(1 for d in devices if d["answered"])
    mismatched = sum(1 for d in devices if d["answered"] and d["version_matches"] is False)
    module.exit_json(changed=False, devices=devices, answered=answered, failed_devices=len(devices) - answered,
                     mismatched=mismatched)


def main():
    run_module()


if __name__ == "__main__":
    main()
