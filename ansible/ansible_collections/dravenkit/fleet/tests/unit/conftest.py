# The collection is imported as ansible_collections.dravenkit.fleet from the
# clone's ansible/ folder, as ANSIBLE_COLLECTIONS_PATH=<clone>/ansible finds it.
import json
import os
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[5]))

FAKE_CLI = r'''#!/usr/bin/env python3
import json, os, sys
d = os.environ["FAKE_CLI_DIR"]
with open(os.path.join(d, "calls.jsonl"), "a") as f:
    f.write(json.dumps({"argv": sys.argv[1:], "password": os.environ.get("DRAVENKIT_PASSWORD")}) + "\n")
replies = json.load(open(os.path.join(d, "replies.json")))
queue = replies.get(sys.argv[1] if len(sys.argv) > 1 else "", [{"rc": 2, "stderr": "no reply planned"}])
n = sum(1 for line in open(os.path.join(d, "calls.jsonl")) if json.loads(line)["argv"][:1] == sys.argv[1:2]) - 1
r = queue[min(n, len(queue) - 1)]
out = r.get("stdout", "")
sys.stdout.write(out if isinstance(out, str) else json.dumps(out))
sys.stderr.write(r.get("stderr", ""))
sys.exit(r.get("rc", 0))
'''


class FakeCli:
    """A dravenkit-cli stand-in: records every call (arguments and the
    password it found in its environment) and answers from a plan."""

    def __init__(self, path):
        self.dir = path
        self.path = str(path / "dravenkit-cli")
        with open(self.path, "w") as f:
            f.write(FAKE_CLI)
        os.chmod(self.path, 0o755)
        self.plan({})

    def plan(self, replies):
        with open(self.dir / "replies.json", "w") as f:
            json.dump(replies, f)

    def calls(self):
        p = self.dir / "calls.jsonl"
        return [json.loads(line) for line in open(p)] if p.exists() else []


@pytest.fixture
def fake_cli(tmp_path, monkeypatch):
    monkeypatch.setenv("FAKE_CLI_DIR", str(tmp_path))
    monkeypatch.delenv("DRAVENKIT_PASSWORD", raising=False)
    return FakeCli(tmp_path)


@pytest.fixture
def run(capsys):
    """Runs a module's main() with args; returns (result, raw output)."""
    from ansible.module_utils import basic

    def go(module, args, check=False):
        payload = {"ANSIBLE_MODULE_ARGS": dict(args, _ansible_check_mode=check)}
        basic._ANSIBLE_ARGS = json.dumps(payload).encode()
        capsys.readouterr()
        with pytest.raises(SystemExit):
            module.main()
        raw = capsys.readouterr().out
        return json.loads(raw), raw

    return go
