# Filters the fleet playbooks merge the sites' results with on the controller.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
name: fleet
short_description: Merge the sites' results into report rows
description:
  - C(fleet_rows) turns the registered results of the sites into one list sorted by site and address.
  - C(fleet_version_counts) counts those rows per firmware version.
  - C(fleet_csv_line) writes one CSV line (RFC 4180, CR LF) with the device texts through the formula guard.
"""

import re

_DOTTED = re.compile(r"^\d{1,3}(\.\d{1,3}){3}$")
# A spreadsheet reads these first characters as a formula (a tab or CR too).
_FORMULA_START = ("=", "+", "-", "@", "\t", "\r")


def _ip_key(text):
    text = "" if text is None else str(text)
    if _DOTTED.match(text):
        return (0, tuple(int(p) for p in text.split(".")), "")
    return (1, (), text)


def fleet_rows(sites, hostvars, var, key="devices", extra=None):
    """Rows of every site in sites whose hostvars hold var (a registered
    module result): each entry of var[key] with "site" added, sorted by site
    and then by address."""
    rows = []
    for site in sites or []:
        hv = hostvars.get(site, {}) if hasattr(hostvars, "get") else {}
        result = hv.get(var) if hasattr(hv, "get") else None
        if not isinstance(result, dict):
            continue
        for d in result.get(key) or []:
            if not isinstance(d, dict):
                continue
            row = dict(d)
            row["site"] = site
            if extra:
                row.update(extra)
            rows.append(row)
    rows.sort(key=lambda r: (str(r["site"]), _ip_key(r.get("ip"))))
    return rows


def fleet_sites_without(sites, hostvars, var, key="devices"):
    """The sites whose hostvars hold no usable var (not reached, or failed)."""
    out = []
    for site in sites or []:
        hv = hostvars.get(site, {}) if hasattr(hostvars, "get") else {}
        result = hv.get(var) if hasattr(hv, "get") else None
        if not isinstance(result, dict) or result.get("failed") or result.get("unreachable") \
                or not isinstance(result.get(key), list):
            out.append(site)
    return out


def fleet_version_counts(rows, field="firmware_version"):
    """[[version, count], ...] sorted by version text."""
    counts = {}
    for r in rows or []:
        v = r.get(field)
        v = "" if v is None else str(v)
        counts[v] = counts.get(v, 0) + 1
    return [[v, counts[v]] for v in sorted(counts)]


def _guard(text):
    # A lone "-" is the system mode's own text, as the CLI's CSV keeps it.
    if text and text != "-" and text.startswith(_FORMULA_START):
        return "'" + text
    return text


def _field(text):
    if any(c in text for c in ',"\r\n') or (text and (text[0] == " " or text[-1] == " ")):
        return '"' + text.replace('"', '""') + '"'
    return text


def fleet_csv_line(values, guard=True):
    """One CSV line of values (None is empty), CR LF at its end."""
    out = []
    for v in values:
        if v is None:
            text = ""
        elif isinstance(v, bool):
            text = "yes" if v else "no"
        elif isinstance(v, (int, float)):
            text = str(v)  # a number of ours, such as a status code of -2, is no formula
        else:
            text = _guard(str(v)) if guard else str(v)
        out.append(_field(text))
    return ",".join(out) + "\r\n"


class FilterModule(object):
    def filters(self):
        return {
            "fleet_rows": fleet_rows,
            "fleet_version_counts": fleet_version_counts,
            "fleet_sites_without": fleet_sites_without,
            "fleet_csv_line": fleet_csv_line,
        }
