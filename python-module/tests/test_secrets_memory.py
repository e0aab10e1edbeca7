"""Secrets never linger: after signing, no copy of a wallet's secrets is left in the process.

A child process that never held the secrets as Python objects (this process wrote the
wallet) signs messages and transactions with it, through the vek._native functions or
through one vek.Session that it closes afterwards, then waits. This process knows the
phrase, the seed, every key on the derivation paths, the envelope key and the key
document. It looks for each of them, as raw bytes and as lower- and upper-case hex text,
in two places:
- all of the child's writable memory, read through /proc/PID/mem once the calls are done;
- every heap block the child frees or reallocates during the calls, seen by a small
  preloaded library (workers/free_watch.c), because a block freed unwiped may be handed
  out again and overwritten before the snapshot.
"""
import hashlib
import hmac
import json
import os
import pathlib
import platform
import shutil
import struct
import subprocess
import sys

import pytest

from conftest import VECTORS_DIR
from test_wallets import ZERO_PHRASE, expected_accounts
import vek
from vek import _native

pytestmark = pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/PID/mem")

WORKERS = pathlib.Path(__file__).parent / "workers"
WORKER = WORKERS / "sign_and_wait.py"
PASSPHRASE = "memory-test passphrase"

# Private-key wallet: keys that appear nowhere else in this test.
SECP_KEY = hashlib.sha256(b"vek memory test: secp256k1 key").hexdigest()
ED_KEY = hashlib.sha256(b"vek memory test: ed25519 key").hexdigest()

# Every family signs a message; one secp256k1 and one ed25519 family sign a transaction.
CHAINS = ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"]
# The account-0 path each of those signs with.
PATHS = {
    "evm": "m/44'/60'/0'/0/0",
    "solana": "m/44'/501'/0'/0'",
    "bitcoin": "m/84'/0'/0'/0/0",
    "cosmos": "m/44'/118'/0'/0/0",
    "tron": "m/44'/195'/0'/0/0",
    "ton": "m/44'/607'/0'",
}
TRANSACTIONS = {"ethereum": "02c0", "solana": (bytes([1]) + bytes(64) + b"memory test").hex()}

# secp256k1 curve, enough for BIP-32's public parent keys (an independent derivation).
P = 2**256 - 2**32 - 977
N = 0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEBAAEDCE6AF48A03BBFD25E8CD0364141
G = (
    0x79BE667EF9DCBBAC55A06295CE870B07029BFCDB2DCE28D959F2815B16F81798,
    0x483ADA7726A3C4655DA4FBFC0E1108A8FD17B448A68554199C47D08FFB10D4B8,
)


def _point_add(a, b):
    if a is None:
        return b
    if b is None:
        return a
    if a[0] == b[0] and (a[1] + b[1]) % P == 0:
        return None
    if a == b:
        lam = 3 * a[0] * a[0] * pow(2 * a[1], -1, P) % P
    else:
        lam = (b[1] - a[1]) * pow(b[0] - a[0], -1, P) % P
    x = (lam * lam - a[0] - b[0]) % P
    return x, (lam * (a[0] - x) - a[1]) % P


def _compressed_public(k):
    point, addend = None, G
    while k:
        if k & 1:
            point = _point_add(point, addend)
        addend = _point_add(addend, addend)
        k >>= 1
    return bytes([2 + (point[1] & 1)]) + point[0].to_bytes(32, "big")


def _path_indices(path):
    out = []
    for part in path.split("/")[1:]:
        hardened = part.endswith("'")
        out.append(int(part.rstrip("'")) + (2**31 if hardened else 0))
    return out


def bip32_chain(seed, path):
    """Every private key from the master key down to the key at `path` (BIP-32, secp256k1)."""
    digest = hmac.new(b"Bitcoin seed", seed, hashlib.sha512).digest()
    key, chain = int.from_bytes(digest[:32], "big"), digest[32:]
    keys = [key.to_bytes(32, "big")]
    for i in _path_indices(path):
        if i >= 2**31:
            data = b"\x00" + key.to_bytes(32, "big") + i.to_bytes(4, "big")
        else:
            data = _compressed_public(key) + i.to_bytes(4, "big")
        digest = hmac.new(chain, data, hashlib.sha512).digest()
        key, chain = (int.from_bytes(digest[:32], "big") + key) % N, digest[32:]
        keys.append(key.to_bytes(32, "big"))
    return keys


def slip10_ed25519_chain(seed, path):
    """Every private key from the master key down to the key at `path` (SLIP-0010, ed25519)."""
    digest = hmac.new(b"ed25519 seed", seed, hashlib.sha512).digest()
    key, chain = digest[:32], digest[32:]
    keys = [key]
    for i in _path_indices(path):
        digest = hmac.new(chain, b"\x00" + key + i.to_bytes(4, "big"), hashlib.sha512).digest()
        key, chain = digest[:32], digest[32:]
        keys.append(key)
    return keys


def envelope_key(vault, wallet_id):
    """The AES key the wallet's passphrase unlocks (scrypt over the stored salt)."""
    doc = json.loads((pathlib.Path(vault) / "wallets" / f"{wallet_id}.json").read_text())
    kdf = doc["crypto"]["kdfparams"]
    return hashlib.scrypt(
        PASSPHRASE.encode(),
        salt=bytes.fromhex(kdf["salt"]),
        n=kdf["n"],
        r=kdf["r"],
        p=kdf["p"],
        maxmem=2**30,
        dklen=kdf["dklen"],
    )



def forms(name, secret):
    """The secret as raw bytes and as lower- and upper-case hex text."""
    return [(name, secret), (name + " (hex)", secret.hex().encode()), (name + " (HEX)", secret.hex().upper().encode())]


WORDS = (VECTORS_DIR / "bip39-english.txt").read_text().split()
ENTROPY = hashlib.sha256(b"vek memory test: entropy").digest()


def word_indices(entropy):
    """BIP-39: the 11-bit groups of the entropy followed by its SHA-256 checksum bits."""
    bits = len(entropy) * 8
    n = int.from_bytes(entropy, "big") << (bits // 32) | hashlib.sha256(entropy).digest()[0] >> (8 - bits // 32)
    count = (bits + bits // 32) // 11
    return [(n >> (11 * (count - 1 - i))) & 0x7FF for i in range(count)]


def test_independent_derivation_reaches_the_published_keys():
    """The derivation the memory test relies on agrees with the published vectors."""
    seed = hashlib.pbkdf2_hmac("sha512", ZERO_PHRASE.encode(), b"mnemonic", 2048)
    assert " ".join(WORDS[i] for i in word_indices(bytes(16))) == ZERO_PHRASE
    for (family, _), (path, _, private_hex) in expected_accounts().items():
        derive = slip10_ed25519_chain if family in ("solana", "ton") else bip32_chain
        assert derive(seed, path)[-1].hex() == private_hex, (family, path)


def mnemonic_secrets(phrase, vault, wallet_id):
    """Every secret of a wallet with this phrase: the phrase, its entropy and word numbers,
    the seed, the envelope key, and each key along the six account paths."""
    indices = [WORDS.index(w) for w in phrase.split()]
    bits = len(indices) * 11 * 32 // 33
    entropy = (int("".join(f"{i:011b}" for i in indices), 2) >> (len(indices) * 11 - bits)).to_bytes(bits // 8, "big")
    assert word_indices(entropy) == indices
    seed = hashlib.pbkdf2_hmac("sha512", phrase.encode(), b"mnemonic", 2048)
    secrets = [("phrase", phrase.encode())] + forms("entropy", entropy) + forms("seed", seed)
    # The word numbers as 16-bit values, as a phrase parser may hold them.
    secrets += [("word indices", struct.pack(f"<{len(indices)}H", *indices)), ("word indices (big-endian)", struct.pack(f">{len(indices)}H", *indices))]
    secrets += forms("envelope key", envelope_key(vault, wallet_id))
    for family, path in PATHS.items():
        ed = family in ("solana", "ton")
        chain_keys = (slip10_ed25519_chain if ed else bip32_chain)(seed, path)
        for depth, key in enumerate(chain_keys):
            secrets += forms(f"{family} key at depth {depth} of {path}", key)
        if ed:
            # RFC 8032: the signing scalar and the nonce prefix come from SHA-512 of the key.
            secrets += forms(f"{family} expanded key", hashlib.sha512(chain_keys[-1]).digest())
    return secrets


def mnemonic_wallet(vault):
    """Imports a 24-word phrase of known entropy; returns the wallet name and its secrets."""
    phrase = " ".join(WORDS[i] for i in word_indices(ENTROPY))
    info = _native.import_wallet_mnemonic("words", phrase, PASSPHRASE, vault_path_opt=vault)
    assert _native.export_wallet("words", PASSPHRASE, vault_path_opt=vault) == phrase
    secrets = mnemonic_secrets(phrase, vault, info["id"])
    assert ("entropy", ENTROPY) in secrets
    return "words", secrets


def private_key_wallet(vault):
    """Imports two known keys; returns the wallet name and every secret of it."""
    info = _native.import_wallet_private_key(
        "pk", "", passphrase=PASSPHRASE, secp256k1_key=SECP_KEY, ed25519_key=ED_KEY, vault_path_opt=vault
    )
    document = _native.export_wallet("pk", PASSPHRASE, vault_path_opt=vault)
    assert json.loads(document) == {"ed25519": ED_KEY, "secp256k1": SECP_KEY}
    secrets = [("key document", document.encode())]
    secrets += forms("secp256k1 key", bytes.fromhex(SECP_KEY))
    secrets += forms("ed25519 key", bytes.fromhex(ED_KEY))
    secrets += forms("ed25519 expanded key", hashlib.sha512(bytes.fromhex(ED_KEY)).digest())
    secrets += forms("envelope key", envelope_key(vault, info["id"]))
    return "pk", secrets


# ---------------------------------------------------------------- snapshot of writable memory


def writable_memory(pid):
    """(description, bytes) of every readable and writable mapping of the process."""
    regions = []
    try:
        mem = open(f"/proc/{pid}/mem", "rb", buffering=0)
    except PermissionError:
        pytest.skip("this system does not let a parent read its child's memory (ptrace restrictions)")
    with open(f"/proc/{pid}/maps") as maps, mem:
        for line in maps:
            fields = line.split(maxsplit=5)
            if not fields[1].startswith("rw"):
                continue
            name = fields[5].strip() if len(fields) > 5 else "[anonymous]"
            if name in ("[vvar]", "[vsyscall]"):
                continue
            start, end = (int(x, 16) for x in fields[0].split("-"))
            try:
                mem.seek(start)
                regions.append((f"{name} {fields[0]}", mem.read(end - start)))
            except OSError:
                continue
    return regions


def pieces(pattern, width):
    """Overlapping slices of `pattern`, `width` bytes long and half a width apart, so that
    a partial copy (a buffer whose start the allocator reused, a text cut short) is found."""
    if len(pattern) <= width:
        return [pattern]
    starts = list(range(0, len(pattern) - width + 1, width // 2))
    if starts[-1] != len(pattern) - width:
        starts.append(len(pattern) - width)
    return [pattern[s : s + width] for s in starts]


def find_in_memory(regions, secrets):
    """Where a 16-byte piece of a secret occurs (24 characters of its text forms)."""
    found = []
    for label, pattern in secrets:
        textual = "hex" in label.lower() or label in ("phrase", "key document", "passphrase")
        width = 24 if textual else 16
        for region, data in regions:
            hit = next(((i, at) for i, p in enumerate(pieces(pattern, width)) if (at := data.find(p)) >= 0), None)
            if hit is not None:
                found.append(f"{label}: piece {hit[0]} in {region} at +{hit[1]:#x}")
                break
    return found


# ---------------------------------------------------------------- heap blocks freed during the calls

WINDOW = 16
MASK = 2**64 - 1


def _mix(x):
    x ^= x >> 33
    x = (x * 0xFF51AFD7ED558CCD) & MASK
    x ^= x >> 33
    x = (x * 0xC4CEB9FE1A85EC53) & MASK
    return x ^ (x >> 33)


def window_hash(w):
    """The same function as window_hash() in free_watch.c."""
    a, b = struct.unpack("<QQ", w)
    return _mix(_mix(a) ^ ((b * 0x9E3779B97F4A7C15) & MASK))


def free_watch_library(directory):
    """Builds free_watch.c into `directory`; None where that cannot work here."""
    compiler = shutil.which("cc") or shutil.which("gcc")
    if compiler is None or platform.libc_ver()[0] != "glibc":
        return None
    out = directory / "free_watch.so"
    subprocess.run([compiler, "-shared", "-fPIC", "-O2", "-o", str(out), str(WORKERS / "free_watch.c"), "-ldl"], check=True)
    return out


def write_patterns(path, labelled):
    """The hash of every 16-byte window of each (label index, bytes)."""
    with open(path, "wb") as f:
        for index, data in labelled:
            for i in range(len(data) - WINDOW + 1):
                f.write(struct.pack("<QI", window_hash(data[i : i + WINDOW]), index))


# ---------------------------------------------------------------- the child run


def sign_calls(name, vault):
    calls = []
    for chain in CHAINS:
        calls.append(["sign_message", [name, chain, "memory test message", PASSPHRASE], {"vault_path_opt": vault}])
        if chain in TRANSACTIONS:
            calls.append(["sign_transaction", [name, chain, TRANSACTIONS[chain], PASSPHRASE], {"vault_path_opt": vault}])
    return calls


def solana_transfer_of(address):
    """A whole Solana transaction whose only signer (its fee payer) is `address`: the
    session signs only transactions that name its key among their signers."""
    from solders.pubkey import Pubkey

    message = bytes([1, 0, 1, 2]) + bytes(Pubkey.from_string(address)) + bytes(32) + bytes(32)
    message += bytes([1, 1, 1, 0, len(b"memory test")]) + b"memory test"
    return (bytes([1]) + bytes(64) + message).hex()


def session_calls(name, vault):
    """The same signatures through one session, closed before the child reports ready."""
    solana = vek.Vault(vault).get(name).address("solana")
    transactions = dict(TRANSACTIONS, solana=solana_transfer_of(solana))
    calls = []
    for chain in CHAINS:
        calls.append(["sign_message", [chain, "memory test message"]])
        if chain in transactions:
            calls.append(["sign_transaction", [chain, transactions[chain]]])
    return [["session", [vault, name, PASSPHRASE, calls], {}]]


def run_child(calls, env):
    """Runs the worker until it is ready, snapshots its writable memory, lets it end."""
    child = subprocess.Popen(
        [sys.executable, str(WORKER), json.dumps(calls)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env
    )
    try:
        line = child.stdout.readline()
        if line != b"ready\n":
            child.kill()
            pytest.fail(f"the child failed: {child.stderr.read().decode(errors='replace')}")
        regions = writable_memory(child.pid)
    finally:
        child.stdin.close()
        child.wait(timeout=60)
    # The snapshot must be able to see what the child holds: the passphrase it was given
    # is an ordinary Python object there.
    assert any(name.startswith("[heap]") for name, _ in regions)
    assert find_in_memory(regions, [("passphrase", PASSPHRASE.encode())]), "the memory snapshot sees nothing"
    return regions


@pytest.fixture(scope="module", params=["mnemonic", "private_key", "mnemonic-session", "private_key-session"])
def signed_child(request, tmp_path_factory):
    """Creates the wallet here, lets a child sign with it, then inspects the child.

    Returns {"memory": findings of the snapshot, "freed": findings of the free watch or
    None when it could not run}."""
    kind, _, face = request.param.partition("-")
    work = tmp_path_factory.mktemp(f"memory-{request.param}")
    vault = str(work / "vault")
    name, secrets = (mnemonic_wallet if kind == "mnemonic" else private_key_wallet)(vault)
    wallet_json = json.loads(next((pathlib.Path(vault) / "wallets").glob("*.json")).read_text())

    env = dict(os.environ)
    library = free_watch_library(work)
    report = work / "freed.txt"
    # The watch must see something: the wallet file's salt text is read into ordinary
    # (unwiped) buffers by every listing, which is fine since it is not secret.
    canary = wallet_json["crypto"]["kdfparams"]["salt"].encode()
    if library is not None:
        write_patterns(work / "patterns.bin", [(i, s) for i, (_, s) in enumerate(secrets)] + [(len(secrets), canary)])
        env.update(LD_PRELOAD=str(library), VEK_FREE_WATCH_PATTERNS=str(work / "patterns.bin"), VEK_FREE_WATCH_REPORT=str(report))

    regions = run_child((session_calls if face else sign_calls)(name, vault), env)
    result = {"memory": find_in_memory(regions, secrets), "freed": None}
    if library is not None:
        hits = report.read_text() if report.exists() else ""
        labels = [int(l.split()[1]) for l in hits.splitlines() if l.startswith("label ")]
        assert len(secrets) in labels, "the free watch saw nothing"
        result["freed"] = sorted({secrets[i][0] for i in labels if i < len(secrets)})
        # The backtraces of the hits, for the failure message (the canary's left out).
        result["freed_log"] = "".join(
            "label " + entry for entry in hits.split("label ") if entry and int(entry.split()[0]) < len(secrets)
        )
    return result


def test_no_secret_in_writable_memory_after_signing(signed_child):
    assert signed_child["memory"] == []


def test_no_secret_in_heap_blocks_freed_while_signing(signed_child):
    if signed_child["freed"] is None:
        pytest.skip("needs a C compiler and glibc to watch freed blocks")
    assert signed_child["freed"] == [], f"{signed_child['freed']}\n{signed_child['freed_log'][:3000]}"


def test_wallet_created_in_the_child_leaves_no_secret(tmp_path):
    """The child makes the wallet itself (it never sees the phrase) and signs with it;
    this process learns the phrase only afterwards, by exporting it."""
    vault = str(tmp_path / "vault")
    create = [["create_wallet", ["fresh", PASSPHRASE, 24, vault], {}]]
    regions = run_child(create + sign_calls("fresh", vault)[:4], dict(os.environ))
    wallet_id = _native.get_wallet("fresh", vault)["id"]
    phrase = _native.export_wallet("fresh", PASSPHRASE, vault)
    assert len(phrase.split()) == 24
    assert find_in_memory(regions, mnemonic_secrets(phrase, vault, wallet_id)) == []


def test_no_key_in_memory_while_a_session_send_waits_for_the_node(tmp_path):
    """Session.send signs under the session's lock and waits for the node without a copy
    of the key: closed during the wait, the session leaves none behind."""
    from test_broadcast import Server, eip1559

    vault = str(tmp_path / "vault")
    name, secrets = private_key_wallet(vault)
    node_log = tmp_path / "requests.jsonl"
    server = Server("rpc_server.py", str(node_log), "--default", "hang:")
    try:
        calls = [["send_then_close", [vault, name, PASSPHRASE, "ethereum", eip1559(1, 0)[1].hex(), server.url,
                                      str(node_log)], {}]]
        regions = run_child(calls, dict(os.environ))
    finally:
        server.stop()
    assert find_in_memory(regions, secrets) == []
