#!/usr/bin/python
# Resets chosen devices of a site to their factory settings, through dravenkit-cli on the site host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: factory_default
short_description: Reset devices to their factory settings and wait until they are back
description:
  - Runs C(dravenkit-cli factory-default --json) for the devices named, which waits until each answers from
    the factory address 192.168.1.2 (at most about 100 s).
  - There is no "all devices" here; O(macs) is required.
  - In check mode nothing is sent; the devices must answer the scan and are returned as the plan.
version_added: "1.0.1"
author: Dravenkit developers
extends_documentation_fragment:
  - dravenkit.fleet.cli
options:
  macs:
    description: The devices to reset, by MAC address (three forms).
    type: list
    elements: str
    required: true
  user:
    description: Administrator ID (default C(UPDATE_BEFORE_ID) of the site host's Dravenkit.ini).
    type: str
  password:
    description:
      - Administrator password (default C(UPDATE_BEFORE_PASSWORD)). Given to the CLI in its environment, never
        on its command line.
    type: str
notes:
  - Fails naming each device that did not come back.
"""

EXAMPLES = r"""
- name: Reset one camera
  dravenkit.fleet.factory_default:
    macs: ["02:44:4B:00:00:07"]
    password: "{{ vault_camera_password }}"
"""

RETURN = r"""
results:
  description: One entry per device (the CLI's report).
  returned: always
  type: list
  elements: dict
  contains:
    mac: {description: MAC address., type: str}
    ip_before: {description: Its address before., type: str}
    progress: {description: 100 when it came back; negative codes name failures., type: int}
    status: {description: The status text., type: str}
    ip_after: {description: The address it answered from afterwards (null when it did not)., type: str}
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.dravenkit.fleet.plugins.module_utils.dravenkit_cli import (
    CLI_OPTION, CREDENTIAL_OPTIONS, cli_json, device_args, discover, missing_macs, normalize_macs)


def run_module():
    options = dict(macs=dict(type="list", elements="str", required=True))
    options.update(CLI_OPTION)
    options.update(CREDENTIAL_OPTIONS)
    module = AnsibleModule(argument_spec=options, supports_check_mode=True)
    p = module.params
    macs = normalize_macs(module, p["macs"])
    if not macs:
        module.fail_json(msg="macs: name at least one device (there is no reset of all)")
    if module.check_mode:
        found = discover(module)
        missing_macs(module, macs, found, "factory_default")
        module.exit_json(changed=True, results=[dict(mac=m, ip_before=found[m].get("ip"), progress=None,
                                                     status="planned", ip_after=None) for m in macs])
    args = ["factory-default"] + device_args(macs) + ["--json"]
    if p["user"] is not None:
        args += ["--user", p["user"]]
    _, data, _ = cli_json(module, args, ok_codes=(0, 1), expect=dict)
    results = data.get("devices", [])
    bad = ["%s (%s)" % (d.get("mac"), d.get("status")) for d in results if d.get("progress") != 100]
    if bad:
        module.fail_json(msg="did not come back: " + ", ".join(bad), changed=True, results=results)
    module.exit_json(changed=True, results=results)


def main():
    run_module()


if __name__ == "__main__":
    main()
