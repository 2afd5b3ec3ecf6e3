# Shared by the dravenkit.fleet modules: finding dravenkit-cli, running it
# with the password in its environment (never on its command line), reading
# its JSON, and the MAC forms it accepts.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import re

PASSWORD_ENV = "DRAVENKIT_PASSWORD"

# "00:1A:2B:3C:4D:5E", "00-1A-2B-3C-4D-5E" or the device list's
# "00:1A:2B - 3C:4D:5E", any letter case.
_MAC_FORMS = (
    re.compile(r"^([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2})$"),
    re.compile(r"^([0-9A-Fa-f]{2})-([0-9A-Fa-f]{2})-([0-9A-Fa-f]{2})-([0-9A-Fa-f]{2})-([0-9A-Fa-f]{2})-([0-9A-Fa-f]{2})$"),
    re.compile(r"^([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}) - ([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2}):([0-9A-Fa-f]{2})$"),
)

_DOTTED = re.compile(r"^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$")


def normalize_mac(text):
    """The MAC as the CLI prints it (upper case, colons), or None."""
    if not isinstance(text, str):
        return None
    for form in _MAC_FORMS:
        m = form.match(text.strip())
        if m:
            return ":".join(g.upper() for g in m.groups())
    return None


def normalize_macs(module, macs, option="macs"):
    """Every MAC of the list in the CLI's form; fails naming the first bad one."""
    out = []
    for text in macs or []:
        mac = normalize_mac(text)
        if mac is None:
            module.fail_json(msg="%s: '%s' is not a MAC address (00:1A:2B:3C:4D:5E, 00-1A-2B-3C-4D-5E or "
                                 "00:1A:2B - 3C:4D:5E)" % (option, text))
        if mac not in out:
            out.append(mac)
    return out


def is_dotted_quad(text):
    return isinstance(text, str) and _DOTTED.match(text) is not None


def ip_key(text):
    """Sort key of a dotted address; texts that are not one sort last."""
    if is_dotted_quad(text):
        return (0, tuple(int(p) for p in text.split(".")), "")
    return (1, (), str(text))


def find_cli(module):
    cli = module.params.get("cli")
    if cli:
        path = module.get_bin_path(cli) if "/" not in cli else cli
        if "/" in cli and not (os.path.isfile(cli) and os.access(cli, os.X_OK)):
            module.fail_json(msg="dravenkit-cli not found: no executable file at %s" % cli)
        if not path:
            module.fail_json(msg="dravenkit-cli not found: '%s' is not on this host's PATH" % cli)
        return path
    path = module.get_bin_path("dravenkit-cli")
    if not path:
        module.fail_json(msg="dravenkit-cli not found on this host's PATH (install the dravenkit package on the "
                             "site host, or give its path in the option cli)")
    return path


def credential_env(module):
    """The environment that carries the password to the CLI ({} for none)."""
    password = module.params.get("password")
    if password is None:
        return {}
    return {PASSWORD_ENV: password}


def _last_words(text, limit=2000):
    text = (text or "").strip()
    return text[-limit:]


def run_cli(module, args, ok_codes=(0, 1)):
    """Runs the CLI; returns (rc, stdout, stderr). An exit status outside
    ok_codes (2: usage error) or a CLI that cannot be run fails the module
    with the CLI's own message."""
    cmd = [find_cli(module)] + [str(a) for a in args]
    # The CLI's password options are left out of argv on purpose: the
    # argument would be visible to every user of the site host.
    try:
        rc, out, err = module.run_command(cmd, environ_update=credential_env(module), check_rc=False)
    except Exception as e:  # pragma: no cover - run_command reports most failures itself
        module.fail_json(msg="cannot run %s: %s" % (cmd[0], e), cmd=cmd[:2])
    if rc not in ok_codes:
        message = _last_words(err) or _last_words(out) or "no message"
        what = "usage error" if rc == 2 else ("not found or not executable" if rc in (126, 127) or rc < 0
                                              else "exit status %d" % rc)
        module.fail_json(msg="dravenkit-cli %s failed (%s): %s" % (args[0] if args else "", what, message),
                         rc=rc, stderr=err, stdout=out, cmd=cmd)
    return rc, out, err


def cli_json(module, args, ok_codes=(0, 1), expect=(dict, list)):
    """run_cli, then the JSON on its standard output. A reply that is not
    JSON fails with the CLI's message (its standard error)."""
    rc, out, err = run_cli(module, args, ok_codes)
    try:
        data = json.loads(out)
    except ValueError:
        message = _last_words(err) or _last_words(out) or "no output"
        module.fail_json(msg="dravenkit-cli %s: %s" % (args[0], message), rc=rc, stderr=err, stdout=out)
    if not isinstance(data, expect):
        module.fail_json(msg="dravenkit-cli %s: unexpected JSON (%s)" % (args[0], type(data).__name__),
                         rc=rc, stdout=out)
    return rc, data, err


def discover(module):
    """The devices of one scan, by MAC."""
    _, data, _ = cli_json(module, ["discover", "--json"], ok_codes=(0,), expect=list)
    found = {}
    for d in data:
        mac = normalize_mac(d.get("mac", "")) if isinstance(d, dict) else None
        if mac and mac not in found:
            found[mac] = d
    return found


def device_args(macs):
    """--mac M ... or --all for an empty list."""
    if not macs:
        return ["--all"]
    out = []
    for m in macs:
        out += ["--mac", m]
    return out


def missing_macs(module, macs, found, what):
    missing = [m for m in macs if m not in found]
    if missing:
        module.fail_json(msg="%s: no answer to discovery from %s" % (what, ", ".join(missing)), missing=missing)


CREDENTIAL_OPTIONS = dict(
    user=dict(type="str"),
    password=dict(type="str", no_log=True),
)
CLI_OPTION = dict(cli=dict(type="str"))
