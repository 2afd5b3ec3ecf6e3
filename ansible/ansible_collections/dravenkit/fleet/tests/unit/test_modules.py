# Argument handling of the dravenkit.fleet modules against a stand-in CLI.
import json

from ansible_collections.dravenkit.fleet.plugins.filter import fleet as filters
from ansible_collections.dravenkit.fleet.plugins.module_utils.dravenkit_cli import normalize_mac
from ansible_collections.dravenkit.fleet.plugins.modules import address, factory_default, firmware, inventory


def dev(mac, ip, net=1, mask="255.255.0.0", gw="10.77.0.1", dns="10.77.0.1", cfg=None):
    return {"mac": mac, "ip": ip, "network_type": net, "configured_ip": cfg or ip, "subnet_mask": mask,
            "gateway": gw, "dns_server": dns}


def inv(mac, ip, version, answered=True, matches=None):
    return {"mac": mac, "ip": ip, "model": "DK-E2100", "system_mode": "encoder", "firmware_version": version,
            "serial_number": "S", "answered": answered, "version_matches": matches}


def test_the_three_mac_forms_in_any_case():
    for text in ("02:44:4b:00:00:0a", "02-44-4B-00-00-0A", "02:44:4B - 00:00:0a"):
        assert normalize_mac(text) == "02:44:4B:00:00:0A"
    for text in ("02:44:4B:00:00", "02:44:4B:00:00:0G", "0244.4B00.000A", "", None):
        assert normalize_mac(text) is None


def test_inventory_passes_macs_normalized_and_counts(fake_cli, run):
    fake_cli.plan({"inventory": [{"rc": 1, "stdout": [
        inv("02:44:4B:00:00:01", "10.0.0.1", "2.4.1", matches=True),
        inv("02:44:4B:00:00:02", "10.0.0.2", "2.3.0", matches=False),
        inv("02:44:4B:00:00:03", "10.0.0.3", "failed", answered=False, matches=False)]}]})
    r, raw = run(inventory, {"cli": fake_cli.path, "macs": ["02-44-4b-00-00-01", "02:44:4B - 00:00:02"],
                             "expect_version": "2.4.1", "concurrency": 8, "user": "admin", "password": "pw-9"})
    assert not r.get("failed") and r["changed"] is False
    assert (r["answered"], r["failed_devices"], r["mismatched"]) == (2, 1, 1)
    assert fake_cli.calls()[0]["argv"] == ["inventory", "--mac", "02:44:4B:00:00:01", "--mac", "02:44:4B:00:00:02",
                                           "--json", "--expect-version", "2.4.1", "--concurrency", "8",
                                           "--user", "admin"]
    assert fake_cli.calls()[0]["password"] == "pw-9" and "pw-9" not in raw


def test_a_bad_mac_fails_before_the_cli_runs(fake_cli, run):
    r, _ = run(inventory, {"cli": fake_cli.path, "macs": ["02:44:4B:00:00"]})
    assert r["failed"] and "02:44:4B:00:00" in r["msg"]
    assert fake_cli.calls() == []


def test_cli_failures_give_its_message_never_a_traceback(fake_cli, run, tmp_path):
    r, raw = run(inventory, {"cli": str(tmp_path / "missing")})
    assert r["failed"] and "dravenkit-cli not found" in r["msg"]
    fake_cli.plan({"inventory": [{"rc": 2, "stderr": "dravenkit-cli inventory: --concurrency: out of range\n"}]})
    r, raw = run(inventory, {"cli": fake_cli.path})
    assert r["failed"] and "usage error" in r["msg"] and "--concurrency: out of range" in r["msg"]
    fake_cli.plan({"inventory": [{"rc": 1, "stdout": "", "stderr": "dravenkit-cli inventory: scan failed\n"}]})
    r, raw = run(inventory, {"cli": fake_cli.path})
    assert r["failed"] and "scan failed" in r["msg"]
    fake_cli.plan({"inventory": [{"rc": 0, "stdout": "[{\"mac\": "}]})
    r, raw = run(inventory, {"cli": fake_cli.path})
    assert r["failed"] and "Traceback" not in raw


def test_password_by_environment_only_and_never_in_the_output(fake_cli, run):
    fake_cli.plan({"discover": [{"stdout": [dev("02:44:4B:00:00:01", "10.0.0.1")]}],
                   "assign": [{"rc": 0, "stdout": {"devices": [
                       {"mac": "02:44:4B:00:00:01", "assigned": "10.0.9.1", "type": "STATIC", "result": "accepted",
                        "verified": True, "ip": "10.0.9.1", "status": "IP address is changed."}]}}]})
    r, raw = run(address, {"cli": fake_cli.path, "user": "root", "password": "s3cr et!",
                           "devices": [{"mac": "02-44-4b-00-00-01", "ip": "10.0.9.1", "mask": "255.255.0.0",
                                        "gateway": "10.77.0.1", "dns": "10.77.0.1"}]})
    assert not r.get("failed") and r["changed"] is True
    calls = fake_cli.calls()
    assert [c["argv"][0] for c in calls] == ["discover", "assign"]
    assert all(c["password"] == "s3cr et!" for c in calls)
    assert all("s3cr et!" not in c["argv"] and "--password" not in c["argv"] for c in calls)
    assert calls[1]["argv"][-4:] == ["--mac", "02:44:4B:00:00:01", "--user", "root"]
    assert "s3cr et!" not in raw


def test_address_check_mode_and_a_second_run_send_nothing(fake_cli, run):
    want = {"mac": "02:44:4B:00:00:01", "ip": "10.0.9.1", "mask": "255.255.0.0", "gateway": "10.77.0.1",
            "dns": "10.77.0.1"}
    fake_cli.plan({"discover": [{"stdout": [dev("02:44:4B:00:00:01", "10.0.0.1")]}]})
    r, _ = run(address, {"cli": fake_cli.path, "devices": [want]}, check=True)
    assert r["changed"] is True and r["results"][0]["result"] == "planned"
    fake_cli.plan({"discover": [{"stdout": [dev("02:44:4B:00:00:01", "10.0.9.1")]}]})
    r, _ = run(address, {"cli": fake_cli.path, "devices": [want]})
    assert r["changed"] is False and r["results"][0]["result"] == "unchanged"
    assert [c["argv"][0] for c in fake_cli.calls()] == ["discover", "discover"]


def test_address_fails_naming_the_device_not_verified(fake_cli, run):
    fake_cli.plan({"discover": [{"stdout": [dev("02:44:4B:00:00:01", "10.0.0.1"), dev("02:44:4B:00:00:02", "10.0.0.2")]}],
                   "assign": [{"rc": 1, "stdout": {"devices": [
                       {"mac": "02:44:4B:00:00:01", "result": "accepted", "verified": True, "ip": "10.0.9.1",
                        "status": "IP address is changed."},
                       {"mac": "02:44:4B:00:00:02", "result": "accepted", "verified": False, "ip": None,
                        "status": "not seen with its new address"}]}}]})
    r, _ = run(address, {"cli": fake_cli.path, "devices": [{"mac": "02:44:4B:00:00:01", "dhcp": True},
                                                         {"mac": "02:44:4B:00:00:02", "dhcp": True}]})
    assert r["failed"] and "02:44:4B:00:00:02 (not seen with its new address)" in r["msg"]
    assert "02:44:4B:00:00:01" not in r["msg"]
    r, _ = run(address, {"cli": fake_cli.path, "devices": [{"mac": "02:44:4B:00:00:09", "dhcp": True}]})
    assert r["failed"] and "02:44:4B:00:00:09" in r["msg"]
    r, _ = run(address, {"cli": fake_cli.path, "devices": [{"mac": "02:44:4B:00:00:01", "dhcp": True, "ip": "1.2.3.4"}]})
    assert r["failed"] and "dhcp takes no ip" in r["msg"]


def test_address_from_an_assignment_file_sets_only_what_differs(fake_cli, run, tmp_path):
    path = tmp_path / "site.txt"
    path.write_text("ignored: the stand-in answers for it\n")
    fake_cli.plan({"assignments": [{"stdout": [
        {"no": 1, "mac": "02-44-4B-00-00-01", "type": "STATIC", "ip": "10.0.9.1", "mask": "255.255.0.0",
         "gateway": "10.77.0.1", "dns": "10.77.0.1"},
        {"no": 2, "mac": "02:44:4B:00:00:02", "type": "DHCP", "ip": "0.0.0.0", "mask": "0.0.0.0",
         "gateway": "0.0.0.0", "dns": "0.0.0.0"},
        {"no": 3, "mac": "02:44:4B:00:00:07", "type": "DHCP", "ip": "0.0.0.0", "mask": "0.0.0.0",
         "gateway": "0.0.0.0", "dns": "0.0.0.0"}]}],
        "discover": [{"stdout": [dev("02:44:4B:00:00:01", "10.0.9.1"), dev("02:44:4B:00:00:02", "10.0.0.2")]}],
        "assign": [{"stdout": {"devices": [{"mac": "02:44:4B:00:00:02", "result": "accepted", "verified": True,
                                             "ip": "10.77.200.1", "status": "IP address is changed."}]}}]})
    r, _ = run(address, {"cli": fake_cli.path, "file": str(path)})
    assert not r.get("failed") and r["changed"] is True
    # Device 1 already holds its line, device 7 is not on this site.
    assert [(d["mac"], d["changed"]) for d in r["results"]] == [("02:44:4B:00:00:01", False), ("02:44:4B:00:00:02", True)]
    assign = [c["argv"] for c in fake_cli.calls() if c["argv"][0] == "assign"][0]
    assert [a for a in assign if a.startswith("02:")] == ["02:44:4B:00:00:02"]


def test_firmware_skips_current_devices_and_stops_after_a_failed_batch(fake_cli, run, tmp_path):
    image = tmp_path / "fw.bin"
    image.write_bytes(b"DRAVENKIT-FW 2.5.0\n")
    fake_cli.plan({"inventory": [{"rc": 0, "stdout": [inv("02:44:4B:00:00:0%d" % i, "10.0.0.%d" % i,
                                                          "2.5.0" if i == 1 else "2.4.1") for i in range(1, 5)]}],
                   "update": [{"rc": 1, "stdout": {"result": "failed", "devices": [
                       {"mac": "02:44:4B:00:00:02", "status": 100, "text": "2.5.0", "version": "2.5.0", "uploaded_bytes": 19},
                       {"mac": "02:44:4B:00:00:03", "status": -11, "text": "update error 'CHECK_FIRMWARE_VERSION'",
                        "version": "2.4.1", "uploaded_bytes": 19}]}}]})
    args = {"cli": fake_cli.path, "file": str(image), "version": "2.5.0", "batch": 2, "password": "pw"}
    r, _ = run(firmware, args, check=True)
    assert r["would_update"] == ["02:44:4B:00:00:02", "02:44:4B:00:00:03", "02:44:4B:00:00:04"]
    assert r["skipped_devices"] == ["02:44:4B:00:00:01"]
    assert [c["argv"][0] for c in fake_cli.calls()] == ["inventory"]
    r, _ = run(firmware, args)
    assert r["failed"] and "02:44:4B:00:00:03 (update error 'CHECK_FIRMWARE_VERSION')" in r["msg"]
    updates = [c["argv"] for c in fake_cli.calls() if c["argv"][0] == "update"]
    assert len(updates) == 1  # the second batch never started
    assert [a for a in updates[0] if a.startswith("02:")] == ["02:44:4B:00:00:02", "02:44:4B:00:00:03"]
    assert {d["mac"]: d["action"] for d in r["results"]}["02:44:4B:00:00:04"] == "not started"


def test_factory_default_needs_devices_and_check_mode_resets_nothing(fake_cli, run):
    r, _ = run(factory_default, {"cli": fake_cli.path, "macs": []})
    assert r["failed"] and "at least one" in r["msg"]
    fake_cli.plan({"discover": [{"stdout": [dev("02:44:4B:00:00:01", "10.0.0.1")]}],
                   "factory-default": [{"rc": 1, "stdout": {"devices": [
                       {"mac": "02:44:4B:00:00:01", "ip_before": "10.0.0.1", "progress": -12,
                        "status": "factorydefault error 'CHECK_FACTORYDEFAULT'", "ip_after": None}]}}]})
    r, _ = run(factory_default, {"cli": fake_cli.path, "macs": ["02-44-4B-00-00-01"]}, check=True)
    assert r["changed"] and r["results"][0]["status"] == "planned"
    assert [c["argv"][0] for c in fake_cli.calls()] == ["discover"]
    r, _ = run(factory_default, {"cli": fake_cli.path, "macs": ["02-44-4B-00-00-01"]})
    assert r["failed"] and "02:44:4B:00:00:01 (factorydefault error 'CHECK_FACTORYDEFAULT')" in r["msg"]


def test_report_filters_guard_and_sort():
    line = filters.fleet_csv_line(["=1+2", "\tx", "\rx", "-", "a,b", -2, True, None, "@x"])
    assert line == "'=1+2,'\tx,\"'\rx\",-,\"a,b\",-2,yes,,'@x\r\n"
    hv = {"b": {"r": {"devices": [{"ip": "10.0.0.10"}, {"ip": "10.0.0.9"}]}},
          "a": {"r": {"devices": [{"ip": "10.0.1.1"}]}}, "c": {"r": {"failed": True, "msg": "x"}}}
    rows = filters.fleet_rows(["b", "a", "c"], hv, "r")
    assert [(r["site"], r["ip"]) for r in rows] == [("a", "10.0.1.1"), ("b", "10.0.0.9"), ("b", "10.0.0.10")]
    assert filters.fleet_sites_without(["a", "b", "c", "d"], hv, "r") == ["c", "d"]
    assert filters.fleet_version_counts([{"firmware_version": "2"}, {"firmware_version": "1"},
                                         {"firmware_version": "2"}]) == [["1", 1], ["2", 2]]


def test_documented_options_are_the_modules_options(monkeypatch):
    # ansible-doc merges the shared "cli" fragment; each module must document
    # exactly the options it accepts.
    import os
    import pathlib
    import subprocess

    names = {"address": address, "factory_default": factory_default, "firmware": firmware, "inventory": inventory}
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=str(pathlib.Path(__file__).resolve().parents[5]))
    out = subprocess.run(["ansible-doc", "--json", "-t", "module"] + ["dravenkit.fleet." + n for n in names],
                         env=env, capture_output=True, text=True, timeout=60, check=True).stdout
    docs = json.loads(out)
    for name, mod in names.items():
        specs = []

        class Capture:
            def __init__(self, argument_spec, **_):
                specs.append(argument_spec)
                raise SystemExit(0)

        monkeypatch.setattr(mod, "AnsibleModule", Capture)
        try:
            mod.main()
        except SystemExit:
            pass
        documented = docs["dravenkit.fleet." + name]["doc"]["options"]
        assert set(documented) == set(specs[0]), name
        assert "cli" in documented, name
