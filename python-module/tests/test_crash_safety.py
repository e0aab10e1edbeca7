"""Crash safety: a process killed while it creates, renames and deletes wallets never
leaves a damaged wallet file behind and never loses or alters a wallet that was there.

A worker process churns through renames of existing wallets, creations and deletions
until it is killed with SIGKILL after a random delay; after every kill the vault is
checked file by file and through the module.
"""
import json
import os
import pathlib
import random
import re
import select
import signal
import subprocess
import sys
import time
import uuid
from collections import Counter

from vek import _native

WORKER = pathlib.Path(__file__).parent / "workers" / "vault_worker.py"
KILLS = 48
WALLET_KEYS = {"vek_version", "id", "name", "created_at", "accounts", "crypto", "key_type"}
# What an interrupted write may leave: its temporary file, which listings never read.
TEMP_NAME = re.compile(r"^\..+\.json\.tmp-[0-9a-f]{16}$")


def wallets_path(vault):
    return pathlib.Path(vault) / "wallets"


def clone_wallet(vault, source_id, name, metadata=None):
    """Writes a copy of a wallet file under a new id and name; returns the id."""
    doc = json.loads((wallets_path(vault) / f"{source_id}.json").read_text())
    doc["id"] = str(uuid.uuid4())
    doc["name"] = name
    if metadata is not None:
        doc["metadata"] = metadata
    path = wallets_path(vault) / f"{doc['id']}.json"
    path.write_text(json.dumps(doc, indent=2))
    path.chmod(0o600)
    return doc["id"]


def check_wallet_files(vault):
    """Every .json file is a whole wallet named after its id; anything else is a temporary
    file of an interrupted write. Returns {id: parsed document} and the temporary names."""
    wallets, temps = {}, []
    for path in sorted(wallets_path(vault).iterdir()):
        if not path.name.endswith(".json"):
            assert TEMP_NAME.match(path.name), f"unexpected file {path.name}"
            temps.append(path.name)
            continue
        text = path.read_text()
        try:
            doc = json.loads(text)
        except ValueError as e:
            raise AssertionError(f"{path.name} does not parse ({e}): {text[:200]!r}") from None
        assert WALLET_KEYS <= doc.keys(), path.name
        assert path.name == doc["id"] + ".json"
        assert len(doc["accounts"]) == 6, path.name
        wallets[doc["id"]] = doc
    return wallets, temps


def read_until(child, marker, deadline):
    """What the child writes to standard output until `marker` appears in it (or the
    deadline passes); the child keeps running."""
    got = b""
    fd = child.stdout.fileno()
    while marker not in got and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            break
        chunk = os.read(fd, 65536)
        if not chunk:
            break
        got += chunk
    return got


def test_killed_writers_never_corrupt_or_lose_wallets(vault, capfd):
    source = _native.create_wallet("source", vault_path_opt=vault)
    # One carries megabytes of metadata, which each of its renames writes out again: a
    # write that is not atomic then lasts long enough for a kill to land in it.
    bulk = {"notes": ["x" * 1000] * 4000}
    ids = [source["id"]] + [clone_wallet(vault, source["id"], f"kept-{i}", bulk if i == 1 else None) for i in range(7)]
    before = {p.name: p.read_bytes() for p in wallets_path(vault).iterdir()}
    names = {i: [json.loads(before[f"{i}.json"])["name"]] for i in ids}
    # Half of them are renamed back and forth; the others must stay byte for byte.
    renamed = ids[::2]
    for i in renamed:
        names[i].append(names[i][0] + " renamed")

    rng = random.Random(20240611)
    done, temps = Counter(), []
    for kill in range(KILLS):
        # Most runs only rename (quick writes); the others also create (one slow key
        # derivation each) and delete.
        ops = ["rename"] if kill % 3 else ["rename", "rename", "create", "delete"]
        job = {"vault": vault, "role": "churn", "ops": ops, "rename_ids": renamed, "names": names, "tag": kill, "seed": rng.random()}
        child = subprocess.Popen(
            [sys.executable, str(WORKER), json.dumps(job)], stdout=subprocess.PIPE, stderr=subprocess.PIPE
        )
        early = b""
        if kill % 6 == 0:
            # Every sixth run is killed only after a creation and a deletion finished, so
            # that each kind of write completes however slow the machine is today.
            early = read_until(child, b'"done": "delete"', deadline=time.monotonic() + 60)
            time.sleep(rng.uniform(0.0, 0.2))
        else:
            # Long enough now and then for a creation to finish.
            time.sleep(rng.uniform(0.02, 0.5) if kill % 3 else rng.uniform(0.3, 1.5))
        child.send_signal(signal.SIGKILL)
        out, err = child.communicate()
        out = early + out
        assert child.returncode == -signal.SIGKILL, err.decode(errors="replace")
        for line in out.decode().splitlines():
            event = json.loads(line)
            assert "error" not in event, event
            done[event["done"]] += 1

        wallets, temps = check_wallet_files(vault)
        for i in ids:
            assert i in wallets, f"wallet {i} lost after kill {kill}"
            if i not in renamed:
                assert (wallets_path(vault) / f"{i}.json").read_bytes() == before[f"{i}.json"]
            else:
                doc = dict(wallets[i])
                assert doc.pop("name") in names[i]
                original = json.loads(before[f"{i}.json"])
                original.pop("name")
                assert doc == original, f"wallet {i} changed after kill {kill}"
        # The module reads the same vault without skipping anything.
        listed = {w["id"] for w in _native.list_wallets(vault)}
        assert listed == set(wallets)
        assert capfd.readouterr().err == ""

    # The kills met every kind of write; leftovers of interrupted writes are only the
    # temporary files checked above.
    assert done["rename"] > 0 and done["create"] > 0 and done["delete"] > 0, done
    assert len(temps) <= KILLS
