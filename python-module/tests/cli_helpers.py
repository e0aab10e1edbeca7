"""What the tests of the `vek` tool share: the secrets they hand it, transactions,
local nodes, and two ways to run it -- in this process through vek.cli.main (standard
input given as bytes, both output descriptors captured, a stand-in curl first on PATH)
or as a user runs it, in a subprocess with a clean environment. Both return the same kind of result and
check what every run must satisfy."""
import http.server
import io
import json
import os
import pathlib
import subprocess
import sys
import threading

import pytest

from vek import _native

rlp = pytest.importorskip("rlp")

ZERO_PHRASE = " ".join(["abandon"] * 11 + ["about"])
ZERO_PHRASE_EVM = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"  # m/44'/60'/0'/0/0
PASS = "Tr0ub4dor&3 correct-horse"
OTHER_PASS = "n0t the passphrase"
SECP_KEY = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
SECP_KEY_EVM = "0x2c7536E3605D9C16a7a3D7b1898e529396a65c23"
ED_KEY = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"
# Every secret these tests hand to the tool; none may ever appear in its argv.
SECRETS = [ZERO_PHRASE, PASS, OTHER_PASS, SECP_KEY, ED_KEY]

CHAIN_IDS = [
    "eip155:1",
    "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
    "bip122:000000000019d6689c085ae165831e93",
    "cosmos:cosmoshub-4",
    "tron:mainnet",
    "ton:mainnet",
]
HERE = pathlib.Path(__file__).resolve().parent
# The PATH the tests started with: its curl reaches the local nodes of a test.
REAL_CURL = {"PATH": os.environ.get("PATH", "/usr/bin:/bin")}


def eip1559(chain_id=1, nonce=0, to="22" * 20, value=777, data=b""):
    """An unsigned type-2 transaction as eth-account's dict and as hex (0x02 || rlp(fields))."""
    fields = [chain_id, nonce, 10**9, 5 * 10**9, 21000, bytes.fromhex(to), value, data, []]
    tx = dict(type=2, chainId=chain_id, nonce=nonce, maxPriorityFeePerGas=10**9, maxFeePerGas=5 * 10**9,
              gas=21000, to="0x" + to, value=value, data=data, accessList=[])
    return tx, "02" + rlp.encode(fields).hex()


EVM_TX = eip1559()[1]


# ---------------------------------------------------------------- running the tool


class Result:
    """One run: its exit status, standard output and error, and for a failure the error
    (the last line; with --json, the error object)."""

    def __init__(self, args, returncode, out, err):
        self.returncode, self.out, self.err = returncode, out, err
        assert "Traceback" not in err
        if returncode != 0:
            # Failures: nothing on standard output, one "error: " line (with --json, one JSON
            # object) last on standard error.
            assert out == ""
            last = err.rstrip("\n").split("\n")[-1]
            if "--json" in args:
                self.error = json.loads(last)["error"]
            else:
                assert last.startswith("error: ") and "\n" not in last, err
                self.error = last

    def __iter__(self):
        return iter((self.returncode, self.out, self.err))

    def __getitem__(self, i):
        return (self.returncode, self.out, self.err)[i]


def check_argv(argv):
    joined = " ".join(a.decode("utf-8", "replace") if isinstance(a, bytes) else a for a in argv)
    for s in SECRETS:
        assert s not in joined, "a secret was put on the command line"


def vek_argv(args):
    return [sys.executable, "-m", "vek", *args]


def clean_env(home, extra=None):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(home), "LC_ALL": "C.UTF-8"}
    env.update(extra or {})
    return env


def run(args, home, stdin="", env=None, timeout=120):
    """Runs the tool in a subprocess with `stdin` piped in."""
    argv = vek_argv(args)
    check_argv(argv)
    p = subprocess.run(argv, input=stdin.encode(), capture_output=True, env=clean_env(home, env), timeout=timeout)
    return Result(args, p.returncode, p.stdout.decode(), p.stderr.decode())


@pytest.fixture
def cli(capfd, monkeypatch, tmp_path):
    """Runs the tool in this process: cli(args, stdin="", env=None) -> Result. A stand-in
    curl that fails comes first on PATH, so nothing can reach a public node; a test that
    sends to a local node passes env=REAL_CURL."""
    from vek import cli as tool  # noqa: PLC0415

    stub = tmp_path / "no-network"
    stub.mkdir()
    (stub / "curl").write_text("#!/bin/sh\necho 'curl: (7) no network in tests' >&2\nexit 7\n")
    (stub / "curl").chmod(0o755)
    monkeypatch.setenv("PATH", f"{stub}:{REAL_CURL['PATH']}")
    capfd.readouterr()

    def call(args, stdin="", env=None):
        check_argv(args)
        for name, value in (env or {}).items():
            monkeypatch.setenv(name, value)
        try:
            status = tool.main(args, tool.SecretReader(io.BytesIO(stdin.encode())))
        except SystemExit as e:  # --help and --version end through argparse
            status = e.code
        out, err = capfd.readouterr()
        return Result(args, status, out, err)

    return call


def ok(p):
    assert p.returncode == 0, p.err
    return p


def error_of(p, status=1):
    assert p.returncode == status, (p.out, p.err)
    return p.error


# ---------------------------------------------------------------- vaults


@pytest.fixture
def home(isolated_home):
    """The temporary HOME of the test (conftest.py); `vault` comes from there as well."""
    return isolated_home


@pytest.fixture(scope="module")
def shared(tmp_path_factory):
    """A vault holding the wallet alpha (the all-zero-entropy phrase, passphrase PASS)."""
    base = tmp_path_factory.mktemp("shared")
    vault = str(base / "vault")
    alpha = _native.import_wallet_mnemonic("alpha", ZERO_PHRASE, PASS, None, vault)
    return {"vault": vault, "alpha": alpha}


def listed(w, bip39=False, generated=()):
    """A wallet of the library's _native (a dict) as the tool's --json lists it."""
    return dict(w, bip39_passphrase=bip39, generated_keys=list(generated))


def assert_wallet_json(w, name):
    assert list(w) == ["id", "name", "accounts", "created_at", "bip39_passphrase", "generated_keys"]
    assert w["name"] == name
    assert [a["chain_id"] for a in w["accounts"]] == CHAIN_IDS
    assert all(list(a) == ["chain_id", "address", "derivation_path"] for a in w["accounts"])


def assert_wallet_text(text, w):
    """The readable form names the wallet, its id and every account address."""
    assert w["name"] in text and w["id"] in text
    for chain in ("ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"):
        assert chain in text
    for a in w["accounts"]:
        assert a["address"] in text
    assert not text.lstrip().startswith("{")


def write_config(home, doc):
    (home / ".vek").mkdir(exist_ok=True)
    path = home / ".vek" / "config.json"
    path.write_text(json.dumps(doc))
    path.chmod(0o600)
    return path


# ---------------------------------------------------------------- transactions and nodes


def raw_hash(raw_hex):
    """The hash a node gives the signed transaction `raw_hex` (0x-prefixed)."""
    from eth_utils import keccak  # noqa: PLC0415

    return "0x" + keccak(hexstr=raw_hex).hex().removeprefix("0x")


def solana_transfer(payer):
    """An unsigned transfer from `payer`: (the whole transaction in hex, its message bytes)."""
    pytest.importorskip("solders")
    from solders.hash import Hash  # noqa: PLC0415
    from solders.message import Message  # noqa: PLC0415
    from solders.pubkey import Pubkey  # noqa: PLC0415
    from solders.system_program import TransferParams, transfer  # noqa: PLC0415
    from solders.transaction import Transaction  # noqa: PLC0415

    ix = transfer(TransferParams(from_pubkey=Pubkey.from_string(payer), to_pubkey=Pubkey.new_unique(), lamports=5))
    message = Message.new_with_blockhash([ix], Pubkey.from_string(payer), Hash.default())
    return bytes(Transaction.new_unsigned(message)).hex(), bytes(message)


class Node:
    """A local JSON-RPC endpoint (a thread of this process) that records request bodies
    and answers with `reply`, by default as a node does: the hash of the transaction posted."""

    def __init__(self, status=200, reply=None):
        self.bodies = []
        node = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                request = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
                node.bodies.append(request)
                answer = reply or {"jsonrpc": "2.0", "id": 1, "result": raw_hash(request["params"][0])}
                body = json.dumps(answer).encode()
                self.send_response(status)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/rpc" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


@pytest.fixture
def node():
    n = Node()
    yield n
    n.close()


class Server:
    """rpc_server.py or evm_node.py as a child process; its port is its first line."""

    def __init__(self, script, *args):
        self.proc = subprocess.Popen([sys.executable, str(HERE / script), *args], stdout=subprocess.PIPE, text=True)
        self.url = f"http://127.0.0.1:{int(self.proc.stdout.readline())}"

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdout.close()
