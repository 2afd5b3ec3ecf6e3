#!/usr/bin/python
# Updates the firmware of a site's devices, through dravenkit-cli on the site host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: firmware
short_description: Update the firmware of a site's devices
description:
  - Reads the devices' firmware versions first (C(dravenkit-cli inventory --json)); devices already reporting
    O(version) are skipped and left unchanged.
  - The others are updated with C(dravenkit-cli update --json), O(batch) devices at a time, each batch ending
    with every device's version check before the next begins.
  - In check mode nothing is sent; the result names the devices it would update.
version_added: "1.0.1"
author: Dravenkit developers
extends_documentation_fragment:
  - dravenkit.fleet.cli
options:
  file:
    description: The firmware image, on the site host.
    type: path
    required: true
  version:
    description: The firmware version the devices report after the update.
    type: str
    required: true
  type:
    description: Upload form, 0 (TERN1) or 1 (PLOV); default C(UPDATE_PROJECT_CODE) of the site host's Dravenkit.ini.
    type: int
    choices: [0, 1]
  macs:
    description: The devices to update, by MAC address (three forms); default every device the scan finds.
    type: list
    elements: str
  batch:
    description: Devices updated at a time on this site; default all at once.
    type: int
  ip_setting:
    description: Give each device a static address first (from C(IP_SETTING_START_IP) of Dravenkit.ini).
    type: bool
    default: false
  factory_after:
    description: Reset each updated device to its factory settings afterwards.
    type: bool
    default: false
  user:
    description: Administrator ID before the update (default C(UPDATE_BEFORE_ID)).
    type: str
  password:
    description:
      - Administrator password before the update (default C(UPDATE_BEFORE_PASSWORD)). Given to the CLI in its
        environment, never on its command line.
    type: str
notes:
  - Fails when any device is not verified, naming each with its status text; the batches after a failed one
    are not started.
"""

EXAMPLES = r"""
- name: Every device of the site to 2.5.0, four at a time
  dravenkit.fleet.firmware:
    file: /srv/firmware/dk-2.5.0.bin
    version: "2.5.0"
    batch: 4
    password: "{{ vault_camera_password }}"
"""

RETURN = r"""
results:
  description: One entry per device chosen.
  returned: always
  type: list
  elements: dict
  contains:
    mac: {description: MAC address., type: str}
    ip: {description: Its address., type: str}
    version_before: {description: The version it reported before (C(failed) when it did not answer)., type: str}
    action: {description: C(skipped) (already at O(version)), C(updated), C(failed), C(planned) or C(not started)., type: str}
    status: {description: The update run's status code (100 verified, 101 back after the factory default)., type: int}
    text: {description: The update run's status text., type: str}
    version: {description: The version read after the update., type: str}
skipped_devices:
  description: MACs already at O(version).
  returned: always
  type: list
  elements: str
would_update:
  description: In check mode, the MACs that would be updated.
  returned: check mode
  type: list
  elements: str
"""

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dravenkit.fleet.plugins.module_utils.dravenkit_cli import (
    CLI_OPTION, CREDENTIAL_OPTIONS, cli_json, device_args, normalize_mac, normalize_macs)

VERIFIED = (100, 101)


def run_module():
    options = dict(
        file=dict(type="path", required=True),
        version=dict(type="str", required=True),
        type=dict(type="int", choices=[0, 1]),
        macs=dict(type="list", elements="str"),
        batch=dict(type="int"),
        ip_setting=dict(type="bool", default=False),
        factory_after=dict(type="bool", default=False),
    )
    options.update(CLI_OPTION)
    options.update(CREDENTIAL_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    if p["version"] == "":
        module.fail_json(msg="version is empty")
    if p["batch"] is not None and p["batch"] < 1:
        module.fail_json(msg="batch must be at least 1")
    if not os.path.isfile(p["file"]) or not os.access(p["file"], os.R_OK):
        module.fail_json(msg="file: cannot read the firmware image on the site host: %s" % p["file"])
    macs = normalize_macs(module, p["macs"])

    # What every device runs now; one that does not answer is updated (and fails there, named).
    _, inv, _ = cli_json(module, ["inventory"] + device_args(macs) + ["--json"], ok_codes=(0, 1), expect=list)
    results = []
    for d in inv:
        mac = normalize_mac(d.get("mac", ""))
        if not mac:
            continue
        current = d.get("firmware_version")
        skip = bool(d.get("answered")) and current == p["version"]
        results.append(dict(mac=mac, ip=d.get("ip"), version_before=current,
                            action="skipped" if skip else ("planned" if module.check_mode else "not started"),
                            status=None, text="already at %s" % p["version"] if skip else "", version=current if skip else None))
    skipped = [r["mac"] for r in results if r["action"] == "skipped"]
    todo = [r for r in results if r["action"] != "skipped"]
    if module.check_mode:
        module.exit_json(changed=bool(todo), results=results, skipped_devices=skipped,
                         would_update=[r["mac"] for r in todo])
    if not todo:
        module.exit_json(changed=False, results=results, skipped_devices=skipped)

    size = p["batch"] or len(todo)
    changed = False
    for start in range(0, len(todo), size):
        group = todo[start:start + size]
        args = ["update", "--file", p["file"], "--version", p["version"], "--json"]
        for r in group:
            args += ["--mac", r["mac"]]
        if p["type"] is not None:
            args += ["--type", str(p["type"])]
        if p["user"] is not None:
            args += ["--user", p["user"]]
        if p["ip_setting"]:
            args.append("--ip-setting")
        if p["factory_after"]:
            args.append("--factory-after")
        _, data, _ = cli_json(module, args, ok_codes=(0, 1), expect=dict)
        by_mac = dict((normalize_mac(d.get("mac", "")), d) for d in data.get("devices", []))
        bad = []
        for r in group:
            d = by_mac.get(r["mac"])
            if d is None:
                r.update(action="failed", text="not in the update run's report")
            else:
                ok = d.get("status") in VERIFIED
                r.update(action="updated" if ok else "failed", status=d.get("status"), text=d.get("text", ""),
                         version=d.get("version"), uploaded_bytes=d.get("uploaded_bytes"))
                # A device that took its image changed, even when its check failed.
                changed = changed or ok or bool(d.get("uploaded_bytes"))
            if r["action"] == "failed":
                bad.append("%s (%s)" % (r["mac"], r["text"] or "status %s" % r["status"]))
        if bad:
            module.fail_json(msg="not verified: " + ", ".join(bad), changed=changed, results=results,
                             skipped_devices=skipped)
    module.exit_json(changed=changed, results=results, skipped_devices=skipped)


def main():
    run_module()


if __name__ == "__main__":
    main()
