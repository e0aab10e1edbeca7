"""The `vek` command-line tool, run as a user runs it: in subprocesses, against a
temporary vault and a temporary HOME, with secrets piped, named in variables, or
typed on a pseudo-terminal, and never on the command line."""
import errno
import io
import http.server
import json
import os
import pathlib
import pty
import select
import subprocess
import sys
import sysconfig
import threading
import time
import urllib.request

import pytest

import vek
from vek import _native

rlp = pytest.importorskip("rlp")
Account = pytest.importorskip("eth_account").Account

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


def eip1559(chain_id=1, nonce=0, to="22" * 20, value=777, data=b""):
    """An unsigned type-2 transaction as eth-account's dict and as hex (0x02 || rlp(fields))."""
    fields = [chain_id, nonce, 10**9, 5 * 10**9, 21000, bytes.fromhex(to), value, data, []]
    tx = dict(type=2, chainId=chain_id, nonce=nonce, maxPriorityFeePerGas=10**9, maxFeePerGas=5 * 10**9,
              gas=21000, to="0x" + to, value=value, data=data, accessList=[])
    return tx, "02" + rlp.encode(fields).hex()


EVM_TX = eip1559()[1]


def vek_argv(args):
    return [sys.executable, "-m", "vek", *args]


def clean_env(home, extra=None):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(home), "LC_ALL": "C.UTF-8"}
    env.update(extra or {})
    return env


def check_argv(argv):
    joined = " ".join(a.decode("utf-8", "replace") if isinstance(a, bytes) else a for a in argv)
    for s in SECRETS:
        assert s not in joined, "a secret was put on the command line"


def run(args, home, stdin="", env=None, timeout=120):
    """Runs the tool with `stdin` piped in; checks what every run must satisfy."""
    argv = vek_argv(args)
    check_argv(argv)
    p = subprocess.run(
        argv,
        input=stdin.encode(),
        capture_output=True,
        env=clean_env(home, env),
        timeout=timeout,
    )
    p.out = p.stdout.decode()
    p.err = p.stderr.decode()
    assert "Traceback" not in p.err
    if p.returncode != 0:
        # Failures: nothing on standard output, one "error: " line (with --json, one JSON
        # object) last on standard error.
        assert p.out == ""
        last = p.err.rstrip("\n").split("\n")[-1]
        if "--json" in args:
            p.error = json.loads(last)["error"]
        else:
            assert last.startswith("error: ") and "\n" not in last, p.err
            p.error = last
    return p


def ok(p):
    assert p.returncode == 0, p.err
    return p


def error_of(p, status=1):
    assert p.returncode == status, (p.out, p.err)
    return p.error


@pytest.fixture
def home(isolated_home):
    """The temporary HOME of the test (conftest.py); `vault` comes from there as well."""
    return isolated_home


@pytest.fixture(scope="module")
def shared(tmp_path_factory):
    """A vault holding the wallet alpha (the all-zero-entropy phrase, passphrase PASS)."""
    base = tmp_path_factory.mktemp("shared")
    (base / "home").mkdir()
    vault = str(base / "vault")
    alpha = _native.import_wallet_mnemonic("alpha", ZERO_PHRASE, PASS, None, vault)
    return {"vault": vault, "home": base / "home", "alpha": alpha}


def assert_wallet_json(w, name):
    assert list(w) == ["id", "name", "accounts", "created_at"]
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


# ---------------------------------------------------------------- generate, derive


def test_generate_in_both_modes(home):
    words = ok(run(["generate"], home)).out.split()
    assert len(words) == 12
    doc = json.loads(ok(run(["generate", "--words", "24", "--json"], home)).out)
    assert list(doc) == ["mnemonic"] and len(doc["mnemonic"].split()) == 24
    # Nothing is stored.
    assert not (home / ".vek").exists()


@pytest.mark.parametrize(
    "args, stdin, env",
    [
        (["derive", "ethereum"], ZERO_PHRASE + "\n", None),
        # A pasted phrase with stray blanks is tidied before it is checked.
        (["derive", "ETHEREUM"], "  " + ZERO_PHRASE.replace(" ", "   ") + " \r\n", None),
        (["derive", "eip155:1", "--mnemonic-env", "MY_PHRASE"], "", {"MY_PHRASE": ZERO_PHRASE}),
    ],
)
def test_derive_reads_the_phrase_from_a_pipe_or_a_named_variable(home, args, stdin, env):
    assert ok(run(args, home, stdin, env)).out == ZERO_PHRASE_EVM + "\n"


def test_derive_json_and_index(home):
    doc = json.loads(ok(run(["--json", "derive", "polygon", "--index", "2"], home, ZERO_PHRASE + "\n")).out)
    assert doc == {"chain": "polygon", "index": 2, "address": _native.derive_address(ZERO_PHRASE, "ethereum", 2)}
    assert doc["address"] != ZERO_PHRASE_EVM


# ---------------------------------------------------------------- create, import


def test_create_readable_then_export_with_piped_answers(home, vault):
    p = ok(run(["create", "main", "--vault", vault], home, PASS + "\n"))
    w = _native.get_wallet("main", vault)
    assert_wallet_text(p.out, w)
    assert f"vek --vault {vault} export {w['id']}" in p.err  # the reminder, ready to paste
    # The confirmation and then the passphrase, one line each.
    e = ok(run(["export", "main", "--vault", vault], home, "y\n" + PASS + "\n"))
    assert "SECRET" in e.err and "[y/N]" in e.err
    phrase = e.out.strip()
    assert len(phrase.split()) == 12
    # The exported phrase is the wallet's: it derives the stored address.
    assert ok(run(["derive", "ethereum"], home, phrase + "\n")).out.strip() == w["accounts"][0]["address"]


def test_create_json_with_passphrase_from_a_named_variable(home, vault):
    p = ok(run(["--json", "--vault", vault, "create", "w24", "--words", "24", "--passphrase-env", "VEK_PW"], home,
               env={"VEK_PW": PASS}))
    w = json.loads(p.out)
    assert_wallet_json(w, "w24")
    assert "vek export" not in p.err  # --json keeps advisory lines out
    assert json.loads(ok(run(["list", "--json", "--vault", vault], home)).out) == [w]
    assert len(_native.export_wallet("w24", PASS, vault).split()) == 24


def test_import_mnemonic_in_both_modes(home, vault):
    p = ok(run(["import-mnemonic", "plain", "--vault", vault], home, ZERO_PHRASE + "\n" + PASS + "\n"))
    w = _native.get_wallet("plain", vault)
    assert_wallet_text(p.out, w)
    assert w["accounts"][0]["address"] == ZERO_PHRASE_EVM
    j = ok(run(["import-mnemonic", "indexed", "--index", "2", "--json", "--vault", vault,
                "--mnemonic-env", "P", "--no-passphrase"], home, env={"P": ZERO_PHRASE}))
    w2 = json.loads(j.out)
    assert_wallet_json(w2, "indexed")
    assert [a["derivation_path"] for a in w2["accounts"]] == [
        "m/44'/60'/0'/0/2", "m/44'/501'/2'/0'", "m/84'/0'/0'/0/2",
        "m/44'/118'/0'/0/2", "m/44'/195'/0'/0/2", "m/44'/607'/2'",
    ]
    assert _native.export_wallet("plain", PASS, vault) == ZERO_PHRASE
    assert _native.export_wallet("indexed", None, vault) == ZERO_PHRASE


def test_import_key_single_warns_about_the_random_other_key(home, vault):
    p = ok(run(["import-key", "sol", "--chain", "solana", "--vault", vault], home, ED_KEY + "\n" + PASS + "\n"))
    w = _native.get_wallet("sol", vault)
    assert_wallet_text(p.out, w)
    assert all(a["derivation_path"] == "" for a in w["accounts"])
    assert "random key" in p.err and "export" in p.err
    e = ok(run(["export", "sol", "--yes", "--json", "--passphrase-env", "PW", "--vault", vault], home,
               env={"PW": PASS}))
    doc = json.loads(e.out)
    assert doc["kind"] == "private_key" and doc["id"] == w["id"] and doc["name"] == "sol"
    keys = doc["secret"]  # an object, not JSON inside a string
    assert keys["ed25519"] == ED_KEY and len(keys["secp256k1"]) == 64


def test_import_key_both_keys_from_named_variables(home, vault):
    p = ok(run(["--json", "import-key", "pair", "--both", "--secp256k1-key-env", "K1", "--ed25519-key-env", "K2",
                "--vault", vault], home, PASS + "\n", env={"K1": "0x" + SECP_KEY, "K2": ED_KEY}))
    w = json.loads(p.out)
    assert_wallet_json(w, "pair")
    assert w["accounts"][0]["address"] == SECP_KEY_EVM
    assert "random key" not in p.err
    e = ok(run(["export", "pair", "--yes", "--vault", vault], home, PASS + "\n"))
    assert SECP_KEY in e.out and ED_KEY in e.out and "secp256k1" in e.out


# ---------------------------------------------------------------- list, show, rename, delete


def test_list_and_show_in_both_modes(home, shared):
    v, alpha = shared["vault"], shared["alpha"]
    listing = ok(run(["list", "--vault", v], home)).out
    assert "alpha" in listing and alpha["id"] in listing and "NAME" in listing
    assert json.loads(ok(run(["--json", "list", "--vault", v], home)).out) == [alpha]
    for key in ("alpha", alpha["id"]):
        assert_wallet_text(ok(run(["show", key, "--vault", v], home)).out, alpha)
        assert json.loads(ok(run(["show", key, "--json", "--vault", v], home)).out) == alpha


def test_list_of_an_empty_vault(home, vault):
    pathlib.Path(vault).mkdir()
    assert ok(run(["list", "--vault", vault], home)).out == "No wallets.\n"
    assert json.loads(ok(run(["list", "--vault", vault, "--json"], home)).out) == []


def test_default_vault_is_under_home(home):
    w = _native.create_wallet("homed", None, None, str(home / ".vek"))
    assert json.loads(ok(run(["list", "--json"], home)).out) == [w]


def test_rename_and_delete_in_both_modes(home, vault):
    a = _native.create_wallet("a", None, None, vault)
    b = _native.create_wallet("b", None, None, vault)
    r = ok(run(["rename", "a", "a2", "--vault", vault], home))
    assert "'a'" in r.out and "'a2'" in r.out and a["id"] in r.out
    r = json.loads(ok(run(["rename", a["id"], "a3", "--vault", vault, "--json"], home)).out)
    assert r == dict(a, name="a3")
    assert error_of(run(["rename", "a3", "b", "--vault", vault], home)) == "error: wallet name already exists: 'b'"

    # Refused confirmations leave the wallet in place: an answer other than yes, and no answer at all.
    for answer in ("n\n", "maybe\n", ""):
        p = run(["delete", "b", "--vault", vault], home, answer)
        assert error_of(p) == "error: cancelled: nothing was deleted"
        assert "Delete wallet 'b'" in p.err
    assert _native.get_wallet("b", vault) == b

    d = ok(run(["delete", "b", "--vault", vault], home, "yes\n"))
    assert "Deleted wallet 'b'" in d.out
    d = json.loads(ok(run(["delete", "a3", "--yes", "--json", "--vault", vault], home)).out)
    assert d == {"id": a["id"], "name": "a3", "deleted": True}
    assert _native.list_wallets(vault) == []


# ---------------------------------------------------------------- export, sign, send


def test_export_refused_shows_nothing(home, shared):
    for answer in ("n\n", ""):
        p = run(["export", "alpha", "--vault", shared["vault"]], home, answer + PASS + "\n")
        assert error_of(p) == "error: cancelled: nothing was shown"
        assert "abandon" not in p.err


def test_sign_message_in_both_modes_and_encodings(home, shared, tmp_path):
    v = shared["vault"]
    expected = _native.sign_message("alpha", "ethereum", "Hello", PASS, None, 1, v)
    expected = dict(signer=_native.derive_address(ZERO_PHRASE, "ethereum", 1), **expected, format="eip191")
    plain = ok(run(["sign-message", "alpha", "ethereum", "Hello", "--index", "1", "--vault", v], home, PASS + "\n"))
    assert plain.out.split() == ["signer", expected["signer"], "signature", expected["signature"],
                                 "recovery_id", str(expected["recovery_id"]), "format", "eip191"]
    # Hex messages take a 0x prefix, as transactions do.
    # Bytes the user does not see are signed after a yes (--yes, or the answer before the passphrase).
    hexed = ok(run(["sign-message", "alpha", "ethereum", "0x48656c6c6f", "--encoding", "hex", "--index", "1",
                    "--json", "--yes", "--vault", v, "--passphrase-env", "PW"], home, env={"PW": PASS}))
    assert json.loads(hexed.out) == expected
    (tmp_path / "msg").write_bytes(b"Hello")
    from_file = ok(run(["--json", "--vault", v, "sign-message", "alpha", "ethereum", "--message-file",
                        str(tmp_path / "msg"), "--index", "1"], home, "y\n" + PASS + "\n"))
    assert json.loads(from_file.out) == expected


def test_sign_message_without_recovery_id_is_readable(home, shared):
    p = ok(run(["sign-message", "alpha", "solana", "hi", "--vault", shared["vault"]], home, PASS + "\n"))
    assert p.out.split()[-4:] == ["recovery_id", "none", "format", "raw"]
    assert len(p.out.split()[3]) == 128


def test_sign_tx_in_both_modes(home, shared, tmp_path):
    v = shared["vault"]
    plain = ok(run(["sign-tx", "alpha", "ethereum", "0x" + EVM_TX, "--vault", v], home, PASS + "\n"))
    (tmp_path / "tx.hex").write_text(EVM_TX[:2] + "\n" + EVM_TX[2:] + "\n")
    doc = json.loads(ok(run(["sign-tx", "alpha", "ethereum", "--tx-file", str(tmp_path / "tx.hex"), "--json",
                             "--vault", v], home, PASS + "\n")).out)
    assert list(doc) == ["signer", "signature", "recovery_id", "raw_transaction", "tx_hash", "transaction"]
    assert doc["recovery_id"] in (0, 1) and doc["signature"].endswith("%02x" % doc["recovery_id"])
    assert plain.out.split() == ["signer", ZERO_PHRASE_EVM, "signature", doc["signature"], "recovery_id",
                                 str(doc["recovery_id"]), "raw_transaction", doc["raw_transaction"],
                                 "tx_hash", doc["tx_hash"]]


def raw_hash(raw_hex):
    """The hash a node gives the signed transaction `raw_hex` (0x-prefixed)."""
    from eth_utils import keccak  # noqa: PLC0415

    return "0x" + keccak(hexstr=raw_hex).hex().removeprefix("0x")


class Node:
    """A local JSON-RPC endpoint that records request bodies and answers with `reply`,
    by default as a node does: the hash of the transaction posted."""

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


def test_send_in_both_modes(home, shared, node):
    v = shared["vault"]
    sig = _native.sign_transaction("alpha", "ethereum", EVM_TX, PASS, None, v)["signature"]
    # The confirmation, then the passphrase.
    plain = ok(run(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", node.url, "--vault", v], home,
                   "y\n" + PASS + "\n"))
    doc = json.loads(ok(run(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", node.url, "--json", "--yes",
                             "--passphrase-env", "PW", "--vault", v], home, env={"PW": PASS})).out)
    assert len(node.bodies) == 2 and node.bodies[0] == node.bodies[1]
    body = node.bodies[0]
    assert plain.out == raw_hash(body["params"][0]) + "\n" and "send? [y/N]" in plain.err
    assert doc == {"signer": ZERO_PHRASE_EVM, "tx_hash": raw_hash(body["params"][0])}
    assert body["method"] == "eth_sendRawTransaction"
    # The signed transaction carries the signature's r and s.
    assert body["params"][0].startswith("0x02") and sig[:64] in body["params"][0] and sig[64:128] in body["params"][0]


def test_broadcast_failure_is_one_line(home, shared):
    n = Node(status=500)
    try:
        p = run(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", n.url, "--yes", "--vault", shared["vault"]],
                home, PASS + "\n")
    finally:
        n.close()
    assert error_of(p).startswith("error: broadcast failed: ") and "500" in p.error


# ---------------------------------------------------------------- failures


def test_wrong_passphrase(home, shared):
    p = run(["sign-message", "alpha", "ethereum", "hi", "--vault", shared["vault"]], home, OTHER_PASS + "\n")
    assert error_of(p) == "error: wrong passphrase (or the wallet file is damaged)"
    p = run(["sign-message", "alpha", "ethereum", "hi", "--verbose", "--vault", shared["vault"]], home,
            OTHER_PASS + "\n")
    assert error_of(p) == "error: wrong passphrase (or the wallet file is damaged): decryption failed: aead::Error"
    p = run(["--json", "sign-message", "alpha", "ethereum", "hi", "--vault", shared["vault"]], home,
            OTHER_PASS + "\n")
    assert error_of(p) == {"type": "WrongPassphraseError", "message": "wrong passphrase (or the wallet file is damaged)"}


@pytest.mark.parametrize(
    "args",
    [
        ["show", "nope"],
        ["rename", "nope", "x"],
        ["delete", "nope"],
        ["export", "nope"],
        ["sign-message", "nope", "ethereum", "hi"],
        ["sign-tx", "nope", "ethereum", EVM_TX],
        ["send", "nope", "ethereum", EVM_TX, "--rpc-url", "http://127.0.0.1:9/"],
    ],
)
def test_unknown_wallet_is_reported_before_any_question(home, shared, args):
    p = run(args + ["--vault", shared["vault"]], home, "y\n" + PASS + "\n")
    assert error_of(p) == "error: wallet not found: 'nope'"
    assert "[y/N]" not in p.err and "SECRET" not in p.err


@pytest.mark.parametrize(
    "args, message",
    [
        ([], "the following arguments are required: COMMAND"),
        (["bogus"], "invalid choice: 'bogus'"),
        (["create"], "the following arguments are required: name"),
        (["generate", "--words", "18"], "invalid choice: 18"),
        (["derive", "ethereum", "--index", "-1"], "index out of range: -1"),
        (["derive", "ethereum", "--index", "4294967296"], "index out of range: 4294967296"),
        (["derive", "ethereum", "--index", "two"], "invalid index: 'two'"),
        (["import-key", "k", "--both", "--chain", "solana"], "--both takes no --chain"),
        (["import-key", "k", "--ed25519-key-env", "X"], "need --both"),
        (["create", "w", "--no-passphrase", "--passphrase-env", "X"], "not allowed with argument"),
        (["sign-message", "alpha", "ethereum"], "the message is required"),
        (["sign-message", "alpha", "ethereum", "--message-file", "f", "--encoding", "hex"], "--encoding does not"),
        (["sign-tx", "alpha", "ethereum", "00", "--tx-file", "f"], "not both"),
        (["send", "alpha", "ethereum"], "the transaction is required"),
    ],
)
def test_usage_errors_exit_with_status_2(home, vault, args, message):
    p = run(args + (["--vault", vault] if args else []), home)
    assert error_of(p, 2).startswith("error: ") and message in p.error


@pytest.mark.parametrize(
    "args, stdin, env, message",
    [
        (["create", "w", "--passphrase-env", "VEK_UNSET"], "", None, "error: environment variable VEK_UNSET is not set"),
        (["create", "w"], "", None, "error: no passphrase on standard input"),
        (["import-mnemonic", "w"], ZERO_PHRASE + "\n", None, "error: no passphrase on standard input"),
        (["import-key", "w", "--both"], SECP_KEY + "\n", None, "error: no ed25519 key on standard input"),
        (["derive", "ethereum"], "abandon abandon\n", None,
         "error: invalid mnemonic phrase: 2 words; a phrase has 12, 15, 18, 21 or 24 words"),
        (["derive", "atlantis"], ZERO_PHRASE + "\n", None,
         "error: invalid input: unknown chain: 'atlantis'. Use a chain name (ethereum, solana, bitcoin, ...) "
         "or CAIP-2 ID (eip155:1, ...)"),
        (["derive", "ethereum", "--index", "2147483648"], ZERO_PHRASE + "\n", None,
         "error: invalid derivation path: index out of range in component '2147483648' of path "
         "'m/44'/60'/0'/0/2147483648': must be below 2147483648"),
        (["import-key", "w", "--no-passphrase"], "0x" + SECP_KEY[:-1] + "\n", None,
         "error: invalid hex private key: not an even number of hex digits"),
        (["sign-tx", "alpha", "ethereum", "0x0"], PASS + "\n", None,
         "error: invalid input: invalid hex transaction: Odd number of digits"),
        (["sign-message", "alpha", "ethereum", "--message-file", "/nonexistent/m"], "", None,
         "error: cannot read /nonexistent/m: No such file or directory"),
    ],
)
def test_errors_are_one_line_with_status_1(home, shared, args, stdin, env, message):
    p = run(args + ["--vault", shared["vault"]], home, stdin, env)
    assert error_of(p) == message
    assert [w["name"] for w in _native.list_wallets(shared["vault"])] == ["alpha"]


def test_text_that_is_not_utf8_is_an_error_not_a_crash(home, vault):
    pathlib.Path(vault).mkdir()
    p = run([b"show", b"\xff\xfe", b"--vault", vault.encode()], home)
    assert error_of(p).startswith("error: 'utf-8' codec can't encode")


def test_console_script_runs_the_same_tool(home):
    script = pathlib.Path(sysconfig.get_path("scripts")) / "vek"
    assert script.is_file()
    p = subprocess.run([str(script), "--version"], capture_output=True, text=True, env=clean_env(home))
    assert p.returncode == 0 and p.stdout.startswith("vek ")


# ---------------------------------------------------------------- a terminal


class Terminal:
    """The tool run on a pseudo-terminal, the way a person at a keyboard runs it."""

    def __init__(self, args, home):
        argv = vek_argv(args)
        check_argv(argv)
        self.pid, self.fd = pty.fork()
        if self.pid == 0:  # the child: the pty is its controlling terminal
            try:
                os.execve(sys.executable, argv, clean_env(home))
            finally:
                os._exit(127)
        self.seen = b""

    def read_until(self, marker, timeout=60):
        deadline = time.monotonic() + timeout
        while marker.encode() not in self.seen:
            if not self._read(deadline - time.monotonic()):
                raise AssertionError(f"no {marker!r} in {self.seen!r}")
        return self.seen.decode()

    def _read(self, timeout):
        if timeout <= 0 or not select.select([self.fd], [], [], timeout)[0]:
            return False
        try:
            chunk = os.read(self.fd, 4096)
        except OSError as e:  # EIO: the child closed the terminal
            if e.errno != errno.EIO:
                raise
            return False
        self.seen += chunk
        return bool(chunk)

    def type(self, text):
        os.write(self.fd, text.encode() + b"\n")

    def finish(self, timeout=60):
        deadline = time.monotonic() + timeout
        while self._read(deadline - time.monotonic()):
            pass
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        return os.waitstatus_to_exitcode(status), self.seen.decode()


def test_prompts_on_a_terminal_do_not_echo(home, vault):
    t = Terminal(["create", "typed", "--vault", vault, "--json"], home)
    t.read_until("New passphrase: ")
    t.type(PASS)
    t.read_until("Repeat new passphrase: ")
    t.type(PASS)
    status, screen = t.finish()
    assert status == 0, screen
    assert PASS not in screen and "Traceback" not in screen
    w = json.loads(screen[screen.index("{"):])
    assert_wallet_json(w, "typed")

    t = Terminal(["export", "typed", "--vault", vault], home)
    t.read_until("[y/N] ")
    t.type("y")
    t.read_until("Passphrase for wallet 'typed'")
    t.type(PASS)
    status, screen = t.finish()
    assert status == 0, screen
    assert PASS not in screen
    assert "deriving key" in screen  # the progress line, on a terminal only
    phrase = screen.strip().splitlines()[-1].split("\x1b[K")[-1].strip()
    assert _native.derive_address(phrase, "ethereum") == w["accounts"][0]["address"]


def test_mistyped_new_passphrase_on_a_terminal_creates_nothing(home, vault):
    t = Terminal(["create", "typo", "--vault", vault], home)
    t.read_until("New passphrase: ")
    t.type(PASS)
    t.read_until("Repeat new passphrase: ")
    t.type(OTHER_PASS)
    t.seen = b""
    for _ in range(2):  # asked again, three times in all
        t.read_until("try again")
        t.seen = t.seen.split(b"try again", 1)[1]
        t.read_until("New passphrase: ")
        t.seen = b""  # the tool now waits at the prompt: nothing else comes before the answer
        t.type(PASS)
        t.read_until("Repeat new passphrase: ")
        t.seen = b""
        t.type(OTHER_PASS)
    status, screen = t.finish()
    assert status == 1
    assert screen.strip().splitlines()[-1] == "error: the two passphrases do not match"
    assert _native.list_wallets(vault) == []


def test_interrupt_at_a_prompt_is_one_line(home, vault):
    t = Terminal(["create", "w", "--vault", vault], home)
    t.read_until("New passphrase: ")
    os.write(t.fd, b"\x03")  # Ctrl-C
    status, screen = t.finish()
    assert status == 130
    assert screen.strip().splitlines()[-1] == "error: interrupted: no wallet was created"
    assert "Traceback" not in screen and _native.list_wallets(vault) == []


def test_names_cannot_rewrite_the_terminal():
    from vek import cli

    hostile = "evil\nfake line\x1b[2J\r"
    w = {"id": "i", "name": hostile, "accounts": [], "created_at": "t"}
    text = cli.wallet_text(w)
    assert "\x1b" not in text and "\r" not in text
    assert "evil\\nfake line\\x1b[2J\\r" in text
    assert cli.printable("Zoë 钱包") == "Zoë 钱包"


# ---------------------------------------------------------------- the rebuilt tool, item by item


class Server:
    """rpc_server.py or evm_node.py as a child process; its port is its first line."""

    def __init__(self, script, *args):
        self.proc = subprocess.Popen([sys.executable, str(HERE / script), *args], stdout=subprocess.PIPE, text=True)
        self.url = f"http://127.0.0.1:{int(self.proc.stdout.readline())}"

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdout.close()


@pytest.fixture
def indexed(tmp_path_factory):
    """A vault whose wallet 'ix' was imported at index 2 (the all-zero phrase, passphrase PASS)."""
    vault = str(tmp_path_factory.mktemp("ix") / "vault")
    w = _native.import_wallet_mnemonic("ix", ZERO_PHRASE, PASS, 2, vault)
    return vault, w


def test_the_stored_account_signs_and_is_shown(home, indexed):
    vault, w = indexed
    evm = w["accounts"][0]["address"]
    m = json.loads(ok(run(["--json", "sign-message", "ix", "ethereum", "hi", "--vault", vault], home,
                          PASS + "\n")).out)
    assert m["signer"] == evm and vek.recover_address("ethereum", "hi", m["signature"]) == evm
    tx, unsigned = eip1559()
    t = ok(run(["sign-tx", "ix", "ethereum", unsigned, "--vault", vault], home, PASS + "\n"))
    # Shown before the passphrase: the sender and the decoded fields.
    for shown in (f"from          {evm}", "0.000000000000000777 ether (777 wei)", "0x" + "22" * 20, "21000"):
        assert shown in t.err
    fields = dict(line.split(None, 1) for line in t.out.splitlines())
    assert fields["signer"] == evm
    assert Account.recover_transaction(fields["raw_transaction"]) == evm
    from eth_utils import keccak  # noqa: PLC0415

    assert fields["tx_hash"] == "0x" + keccak(hexstr=fields["raw_transaction"]).hex().removeprefix("0x")


def solana_transfer(payer):
    solders = pytest.importorskip("solders")
    from solders.hash import Hash
    from solders.message import Message
    from solders.pubkey import Pubkey
    from solders.system_program import TransferParams, transfer
    from solders.transaction import Transaction

    del solders
    ix = transfer(TransferParams(from_pubkey=Pubkey.from_string(payer), to_pubkey=Pubkey.new_unique(), lamports=5))
    message = Message.new_with_blockhash([ix], Pubkey.from_string(payer), Hash.default())
    return bytes(Transaction.new_unsigned(message)).hex(), bytes(message)


def test_solana_sign_tx_takes_the_whole_transaction_as_send_does(home, shared):
    nacl = pytest.importorskip("nacl.signing")
    v, alpha = shared["vault"], shared["alpha"]
    payer = alpha["accounts"][1]["address"]
    whole, message = solana_transfer(payer)
    doc = json.loads(ok(run(["--json", "sign-tx", "alpha", "solana", whole, "--vault", v], home, PASS + "\n")).out)
    assert doc["transaction"] == {"fee_payer": payer, "signatures": 1, "instructions": 1}
    from solders.pubkey import Pubkey  # noqa: PLC0415

    nacl.VerifyKey(bytes(Pubkey.from_string(payer))).verify(message, bytes.fromhex(doc["signature"]))
    p = run(["sign-tx", "alpha", "solana", message.hex(), "--vault", v], home, PASS + "\n")
    assert error_of(p) == ("error: invalid input: invalid solana transaction: this is a message without its "
                           "signature slots; give the whole transaction (signature count, signature slots, message)")


def write_config(home, doc):
    (home / ".vek").mkdir(exist_ok=True)
    path = home / ".vek" / "config.json"
    path.write_text(json.dumps(doc))
    path.chmod(0o600)
    return path


def test_send_shows_asks_and_checks_before_anything_leaves(home, shared, tmp_path):
    v = shared["vault"]
    # No endpoint anywhere: the built-in public node is named, and "no" sends nothing.
    p = run(["send", "alpha", "ethereum", EVM_TX, "--vault", v], home, "n\n")
    assert error_of(p) == "error: cancelled: nothing was sent"
    assert "(built-in public mainnet node)" in p.err and "send? [y/N]" in p.err
    help_text = ok(run(["send", "--help"], home)).out
    assert "PUBLIC MAINNET" in help_text and "config.json" in help_text
    # Another chain's transaction is refused before any question.
    p = run(["send", "alpha", "polygon", EVM_TX, "--vault", v], home, "y\n" + PASS + "\n")
    assert error_of(p) == ("error: invalid input: invalid evm transaction: the chain id 1 is not that of "
                           "'polygon' (eip155:137)")
    assert "[y/N]" not in p.err
    # A configuration file without vault_path is an error, not silently the public node.
    config = write_config(home, {"rpc": {"eip155:1": "http://127.0.0.1:9/"}})
    p = run(["send", "alpha", "ethereum", EVM_TX, "--vault", v], home, "y\n")
    assert error_of(p) == (f"error: invalid input: the configuration file {config} is not used: "
                           "missing field `vault_path`")
    # A valid one names its endpoint; a node's hash that is not the transaction's is an error,
    # printed escaped; the passphrase variable does not reach curl.
    expected_hash = json.loads(ok(run(["--json", "sign-tx", "alpha", "ethereum", EVM_TX, "--vault", v], home,
                                      PASS + "\n")).out)["tx_hash"]
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default", "result:0xab\x1b[2Jcd")
    try:
        write_config(home, {"vault_path": "x", "rpc": {"eip155:1": server.url}})
        fake = tmp_path / "bin"
        fake.mkdir()
        (fake / "curl").write_text(f"#!/bin/sh\nenv > {tmp_path / 'curl.env'}\nexec /usr/bin/curl \"$@\"\n")
        (fake / "curl").chmod(0o755)
        p = run(["send", "alpha", "ethereum", EVM_TX, "--passphrase-env", "PW", "--vault", v], home, "y\n",
                env={"PW": PASS, "PATH": f"{fake}:{os.environ['PATH']}"})
        assert f"{server.url} (from {config})" in p.err
        assert error_of(p) == ("error: broadcast failed: the node answered transaction hash 0xab\\u001b[2Jcd, but the "
                               f"transaction sent has hash {expected_hash} (whether the transaction was sent is not "
                               f"known; look up {expected_hash} before sending it again)")
        assert p.out == ""
        assert "PW=" not in (tmp_path / "curl.env").read_text()
    finally:
        server.stop()


def test_send_timeout_and_ctrl_c_say_the_state(home, shared, tmp_path):
    v = shared["vault"]
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default", "hang:")
    try:
        expected_hash = json.loads(ok(run(["--json", "sign-tx", "alpha", "ethereum", EVM_TX, "--vault", v], home,
                                          PASS + "\n")).out)["tx_hash"]
        args = ["send", "alpha", "ethereum", EVM_TX, "--yes", "--rpc-url", server.url, "--vault", v]
        p = run(args + ["--timeout", "1"], home, PASS + "\n")
        assert error_of(p) == (f"error: no reply from {server.url} within 1 s: whether the transaction was sent is "
                               f"not known; look up {expected_hash} before sending it again")
        child = subprocess.Popen(vek_argv(args), stdin=subprocess.PIPE, stderr=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, env=clean_env(home))
        child.stdin.write((PASS + "\n").encode())
        child.stdin.close()
        log = tmp_path / "log"
        seen = len(log.read_text().splitlines())  # the request of the run above
        deadline = time.monotonic() + 60
        while len(log.read_text().splitlines()) == seen and time.monotonic() < deadline:
            time.sleep(0.1)
        child.send_signal(2)
        err = child.stderr.read().decode()
        assert child.wait() == 130
        assert err.strip().splitlines()[-1] == ("error: interrupted: whether the transaction was sent is not known; "
                                                f"look up {expected_hash} before sending it again")
    finally:
        server.stop()


@pytest.mark.parametrize(
    "args, stdin, message",
    [
        # Checks that need no secret come before any passphrase is asked for (stdin is empty).
        (["create", "alpha"], "", "error: wallet name already exists: 'alpha'"),
        (["import-key", "k", "--chain", "atlantis"], "", "error: invalid input: unknown chain: 'atlantis'. Use a chain "
         "name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"),
        (["import-mnemonic", "m"], ZERO_PHRASE.replace("about", "abuot") + "\n",
         "error: word 12 of the recovery phrase is not in the word list: 'abuot'; did you mean 'about' or 'boat' or "
         "'auto'?"),
        (["import-key", "k"], "xyz\n", "error: invalid hex private key: not an even number of hex digits"),
        (["sign-message", "alpha", "ethereum", "0xzz", "--encoding", "hex"], "",
         "error: invalid hex message: 'zz'"),
        # An empty new passphrase: refused with --yes, cancelled without a yes.
        (["create", "e", "--yes"], "\n", "error: the passphrase is empty: this wallet would not be protected; "
         "give --no-passphrase to mean it"),
        (["create", "e"], "\nn\n", "error: cancelled: the passphrase is empty"),
    ],
)
def test_cheap_checks_and_empty_passphrases(home, shared, args, stdin, message):
    p = run(args + ["--vault", shared["vault"]], home, stdin)
    assert error_of(p) == message
    assert [w["name"] for w in _native.list_wallets(shared["vault"])] == ["alpha"]


def test_inputs_are_taken_in_the_forms_users_have(home, vault, tmp_path):
    # A pasted phrase in capitals with stray blanks; an empty passphrase confirmed with "y".
    p = ok(run(["--json", "import-mnemonic", "m", "--vault", vault], home,
               "  " + ZERO_PHRASE.upper().replace(" ", "  ") + "\n\ny\n"))
    assert json.loads(p.out)["accounts"][0]["address"] == ZERO_PHRASE_EVM
    # WIF, and a Solana keypair file.
    wif = vek.Vault(vault).export_key("m", "bitcoin", "wif")
    w = json.loads(ok(run(["--json", "import-key", "w", "--format", "wif", "--no-passphrase", "--vault", vault],
                          home, wif + "\n")).out)
    assert w["accounts"][2]["address"] == _native.get_wallet("m", vault)["accounts"][2]["address"]
    (tmp_path / "id.json").write_text(vek.Vault(vault).export_key("m", "solana", "solana-json"))
    s = json.loads(ok(run(["--json", "import-key", "s", "--format", "solana-json", "--key-file",
                           str(tmp_path / "id.json"), "--no-passphrase", "--vault", vault], home)).out)
    assert s["accounts"][1]["address"] == _native.get_wallet("m", vault)["accounts"][1]["address"]


def test_output_vaults_and_wallet_selection(home, shared, tmp_path):
    v, alpha = shared["vault"], shared["alpha"]
    # Read-only commands on a mistyped vault create nothing.
    missing = str(tmp_path / "typo")
    for args in (["list"], ["show", "alpha"]):
        assert error_of(run(args + ["--vault", missing], home)) == f"error: no vault at {missing} (nothing was created)"
    assert not os.path.exists(missing)
    # The address column, for the default chain and for --chain; an id prefix selects a wallet.
    listing = ok(run(["list", "--vault", v], home)).out
    assert "ADDRESS" in listing and ZERO_PHRASE_EVM in listing
    assert alpha["accounts"][1]["address"] in ok(run(["list", "--chain", "solana", "--vault", v], home)).out
    assert json.loads(ok(run(["--json", "show", alpha["id"][:8], "--vault", v], home)).out)["id"] == alpha["id"]
    assert error_of(run(["--json", "show", "nope", "--vault", v], home)) == {
        "type": "WalletNotFoundError", "message": "wallet not found: 'nope'"}


def test_new_commands(home, vault, tmp_path):
    Path = pathlib.Path
    ok(run(["import-mnemonic", "m", "--vault", vault], home, ZERO_PHRASE + "\n" + PASS + "\n"))
    # verify: a valid signature, a recovered signer, another address refused.
    sig = json.loads(ok(run(["--json", "sign-message", "m", "ethereum", "hi", "--vault", vault], home,
                            PASS + "\n")).out)["signature"]
    assert ok(run(["verify", "ethereum", "hi", "--signature", sig, "--address", ZERO_PHRASE_EVM], home)).out == "valid\n"
    assert ok(run(["verify", "ethereum", "hi", "--signature", sig], home)).out == ZERO_PHRASE_EVM + "\n"
    assert error_of(run(["verify", "ethereum", "ho", "--signature", sig, "--address", ZERO_PHRASE_EVM], home)) == \
        f"error: the signature is not {ZERO_PHRASE_EVM}'s"
    # sign-typed-data, checked by eth-account.
    typed = {"types": {"EIP712Domain": [{"name": "name", "type": "string"}],
                       "Mail": [{"name": "body", "type": "string"}]},
             "primaryType": "Mail", "domain": {"name": "t"}, "message": {"body": "hello"}}
    Path(tmp_path / "typed.json").write_text(json.dumps(typed))
    s = json.loads(ok(run(["--json", "sign-typed-data", "m", "ethereum", str(tmp_path / "typed.json"), "--vault",
                           vault], home, "y\n" + PASS + "\n")).out)
    from eth_account.messages import encode_typed_data  # noqa: PLC0415
    assert Account.recover_message(encode_typed_data(full_message=typed), signature=s["signature"]) == ZERO_PHRASE_EVM
    typed["types"]["EIP712Domain"].append({"name": "chainId", "type": "uint256"})
    Path(tmp_path / "typed.json").write_text(json.dumps({**typed, "domain": {"name": "t", "chainId": 1}}))
    assert error_of(run(["sign-typed-data", "m", "polygon", str(tmp_path / "typed.json"), "--vault", vault], home,
                        "y\n" + PASS + "\n")) == "error: invalid input: the typed data's domain chainId 1 is not that of 'polygon' (eip155:137)"
    # pubkey: the key of the stored address.
    pub = ok(run(["pubkey", "m", "ethereum", "--vault", vault], home, PASS + "\n")).out.strip()
    from eth_keys import keys  # noqa: PLC0415
    assert keys.PublicKey.from_compressed_bytes(bytes.fromhex(pub)).to_checksum_address() == ZERO_PHRASE_EVM
    # derive on the stored wallet, then stored with --add.
    d = json.loads(ok(run(["--json", "derive", "ethereum", "--wallet", "m", "--path", "m/44'/60'/3'/0/0", "--add",
                           "--vault", vault], home, PASS + "\n")).out)
    assert d["address"] in [a["address"] for a in _native.get_wallet("m", vault)["accounts"]]
    # keystores: out and back in, the password from a variable.
    ok(run(["export-keystore", "m", "--out", str(tmp_path / "ks.json"), "--key-password-env", "KP", "--vault", vault],
           home, PASS + "\n", env={"KP": OTHER_PASS}))
    assert Account.decrypt(json.loads((tmp_path / "ks.json").read_text()), OTHER_PASS)
    k = json.loads(ok(run(["--json", "import-keystore", "k", str(tmp_path / "ks.json"), "--key-password-env", "KP",
                           "--no-passphrase", "--vault", vault], home, env={"KP": OTHER_PASS})).out)
    assert k["accounts"][0]["address"] == ZERO_PHRASE_EVM
    # change-passphrase: the old one no longer opens the wallet.
    ok(run(["change-passphrase", "m", "--vault", vault], home, PASS + "\n" + OTHER_PASS + "\n"))
    assert error_of(run(["pubkey", "m", "ethereum", "--vault", vault], home, PASS + "\n")) == \
        "error: wrong passphrase (or the wallet file is damaged)"
    assert _native.export_wallet("m", OTHER_PASS, vault) == ZERO_PHRASE


@pytest.mark.parametrize("shell", ["bash", "zsh", "fish"])
def test_completion_scripts_name_every_command(home, shell):
    script = ok(run(["completion", shell], home)).out
    for command in ("send", "sign-typed-data", "change-passphrase", "rpc-url", "timeout"):
        assert command in script
    if shell == "bash":
        assert subprocess.run(["bash", "-n"], input=script, text=True).returncode == 0


def test_end_to_end_on_a_terminal(home, vault):
    """create, sign, verify and send to a local node, typed at a terminal, answering the question."""
    pytest.importorskip("eth_tester")
    t = Terminal(["create", "e2e", "--vault", vault], home)
    t.read_until("New passphrase: ")
    t.type(PASS)
    t.read_until("Repeat new passphrase: ")
    t.type(PASS)
    status, screen = t.finish()
    assert status == 0 and "deriving key" in screen, screen
    address = _native.get_wallet("e2e", vault)["accounts"][0]["address"]
    node = Server("evm_node.py", "--chain-id", "1", "--fund", f"{address}:{10**18}")
    try:
        t = Terminal(["sign-message", "e2e", "ethereum", "hello", "--vault", vault], home)
        t.read_until("Passphrase for wallet 'e2e'")
        t.type(PASS)
        status, screen = t.finish()
        assert status == 0, screen
        sig = screen.split("signature")[1].split()[0]
        t = Terminal(["verify", "ethereum", "hello", "--signature", sig, "--address", address], home)
        assert t.finish()[0] == 0
        tx, unsigned = eip1559()
        t = Terminal(["send", "e2e", "ethereum", unsigned, "--rpc-url", node.url, "--vault", vault], home)
        screen = t.read_until("send? [y/N] ")
        assert f"from          {address}" in screen and node.url in screen
        t.type("y")
        t.read_until("Passphrase for wallet 'e2e'")
        t.type(PASS)
        status, screen = t.finish()
        assert status == 0, screen
        tx_hash = screen.strip().splitlines()[-1].split("\x1b[K")[-1].strip()
        body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": "eth_getTransactionReceipt", "params": [tx_hash]})
        req = urllib.request.Request(node.url, body.encode(), {"Content-Type": "application/json"})
        with urllib.request.urlopen(req) as r:
            receipt = json.load(r)["result"]
    finally:
        node.stop()
    assert receipt["status"] == "0x1" and receipt["from"] == address


def test_documented_texts_are_the_ones_printed(home, vault):
    errors_md = (HERE.parents[1] / "docs" / "errors.md").read_text()
    (pathlib.Path(vault) / "wallets" / "d.json").mkdir(parents=True)
    p = ok(run(["list", "--vault", vault], home))
    assert "skipping " in p.err and p.err.rstrip().endswith(": Is a directory (os error 21)")
    assert '"Is a directory (os error 21)"' in errors_md
    for line in ("error: interrupted: {state}", "error: wrong passphrase (or the wallet file is damaged)"):
        assert line in errors_md
    assert "fraction of a second" not in (HERE.parents[1] / "docs" / "reference.md").read_text()


def test_ton_connect_formats_sign_and_verify_through_the_tool(home, shared):
    v = shared["vault"]
    binding = ["--domain", "example.com", "--timestamp", "1700000000"]
    signed = json.loads(ok(run(["--json", "--vault", v, "sign-message", "alpha", "ton", "nonce", "--format", "ton_proof"]
                               + binding, home, PASS + "\n")).out)
    assert signed["format"] == "ton_proof" and signed["public_key"]["type"] == "ed25519"
    check = ["verify", "ton", "nonce", "--format", "ton_proof", "--signature", signed["signature"], "--address",
             signed["signer"], "--public-key", signed["public_key"]["value"]]
    assert ok(run(check + binding, home)).out.strip() == "valid"
    assert error_of(run(check + ["--domain", "example.org", "--timestamp", "1700000000"], home)) == (
        f"error: the signature is not {signed['signer']}'s")


# ---------------------------------------------------------------- hardening, in this process


def tool(capsys, args, stdin=""):
    """Runs the tool in this process with `stdin` as its input: (status, stdout, stderr)."""
    from vek import cli  # noqa: PLC0415

    status = cli.main(args, cli.SecretReader(io.BytesIO(stdin.encode())))
    out, err = capsys.readouterr()
    return status, out, err


RAW_WARNING = ("warning: a raw signature signs these bytes as they are: if they are the signing bytes of a "
               "transaction, it authorises that transaction on {} and on every other chain where this key signs{}.\n")


def test_raw_and_unseen_message_bytes_are_signed_only_after_a_yes(capsys, shared, vault):
    v = shared["vault"]
    asked = "Sign these bytes? [y/N] \n"
    status, out, err = tool(capsys, ["sign-message", "alpha", "cosmos", "hi", "--format", "raw", "--vault", v],
                            "n\n" + PASS + "\n")
    assert (status, out, err) == (1, "", RAW_WARNING.format("cosmos", "") + asked +
                                  "error: cancelled: nothing was signed\n")
    # --yes signs; under --json the warning is on standard error.
    status, out, err = tool(capsys, ["--json", "sign-message", "alpha", "cosmos", "hi", "--format", "raw", "--yes",
                                     "--vault", v], PASS + "\n")
    assert (status, json.loads(out)["format"], err) == (0, "raw", RAW_WARNING.format("cosmos", ""))
    # Hex bytes under Solana's standard (raw) format, and the key a private-key wallet shares.
    _native.import_wallet_private_key("pk", SECP_KEY, None, None, vault)
    status, _, err = tool(capsys, ["sign-message", "alpha", "solana", "00ff", "--encoding", "hex", "--vault", v], "")
    assert status == 1 and err.startswith(RAW_WARNING.format("solana", "") + asked)
    status, _, err = tool(capsys, ["sign-message", "pk", "tron", "hi", "--format", "raw", "--vault", vault], "")
    shared_key = " (this private-key wallet signs for EVM, Cosmos, Bitcoin and Tron chains with one secp256k1 key)"
    assert status == 1 and err.startswith(RAW_WARNING.format("tron", shared_key) + asked)
    status, _, err = tool(capsys, ["sign-message", "pk", "ethereum", "00", "--encoding", "hex", "--vault", vault], "")
    assert status == 1 and err.startswith("warning: the message is bytes that are not shown here: sign them only if "
                                          "you know what they are.\n" + asked)


def test_sign_typed_data_shows_the_document_and_asks(capsys, shared, tmp_path):
    permit = {"types": {}, "primaryType": "PermitSingle",
              "domain": {"name": "Permit2", "chainId": 1, "verifyingContract": "0x" + "22" * 20},
              "message": {"details": {"token": "0x" + "33" * 20, "amount": str(2**160 - 1)},
                          "spenders": ["0x" + "44" * 20, "\x9b"]}}
    (tmp_path / "permit.json").write_text(json.dumps(permit))
    status, out, err = tool(capsys, ["sign-typed-data", "alpha", "ethereum", str(tmp_path / "permit.json"),
                                     "--vault", shared["vault"]], "n\n" + PASS + "\n")
    assert (status, out) == (1, "")
    assert err.splitlines() == [
        f"from                    {ZERO_PHRASE_EVM}",
        "domain                  Permit2",
        "version                 (none)",
        "chain id                1",
        "verifying contract      0x" + "22" * 20,
        "primary type            PermitSingle",
        "message.details.token   0x" + "33" * 20,
        f"message.details.amount  {2**160 - 1}",
        "message.spenders[0]     0x" + "44" * 20,
        "message.spenders[1]     \\x9b",
        "Sign this typed data? [y/N] ",
        "error: cancelled: nothing was signed",
    ]


def test_untrusted_text_is_escaped_on_every_line(capsys, vault, tmp_path):
    from vek import cli  # noqa: PLC0415

    assert cli.printable("a\x7fb\x9bc\u202ed\u200be\nf\u2028") == "a\\x7fb\\x9bc\\u202ed\\u200be\\nf\\u2028"
    # A keystore's names and a typed-data value, quoted by the library's errors.
    keystore = Account.encrypt(SECP_KEY, OTHER_PASS, kdf="pbkdf2", iterations=2)
    keystore["crypto"]["kdfparams"]["prf"] = "hmac\x9b2J\x7f"
    (tmp_path / "ks.json").write_text(json.dumps(keystore))
    args = ["import-keystore", "k", str(tmp_path / "ks.json"), "--no-passphrase", "--vault", vault]
    assert tool(capsys, args, OTHER_PASS + "\n")[2] == (
        "error: invalid parameters: unsupported keystore prf 'hmac\\x9b2J\\x7f', expected hmac-sha256\n")
    assert json.loads(tool(capsys, ["--json"] + args, OTHER_PASS + "\n")[2])["error"]["message"].endswith(
        "prf 'hmac\x9b2J\x7f', expected hmac-sha256")
    _native.create_wallet("w", None, None, vault)
    typed = {"types": {"EIP712Domain": [], "M": [{"name": "n", "type": "uint256"}]}, "primaryType": "M",
             "domain": {}, "message": {"n": "1\x9b\x7f"}}
    (tmp_path / "t.json").write_text(json.dumps(typed))
    err = tool(capsys, ["--json", "sign-typed-data", "w", "ethereum", str(tmp_path / "t.json"), "--yes",
                        "--no-passphrase", "--vault", vault])[2]
    assert "\x9b" not in err and "\x7f" not in err and "\\u009b" in err
    # A node's error reply.
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default",
                    'error:{"code": -32000, "message": "nonce \\u009b\\u007f"}')
    try:
        err = tool(capsys, ["send", "w", "ethereum", EVM_TX, "--rpc-url", server.url, "--yes", "--no-passphrase",
                            "--vault", vault])[2]
    finally:
        server.stop()
    assert err.splitlines()[-1].startswith('error: broadcast failed: RPC error: {"code":-32000,"message":"nonce '
                                           '\\x9b\\x7f"} (whether')


def test_secrets_from_file_descriptors(capsys, vault):
    _native.import_wallet_mnemonic("m", ZERO_PHRASE, PASS, None, vault)
    r, w = os.pipe()
    os.write(w, f"{PASS}\n{OTHER_PASS}\n".encode())
    os.close(w)
    try:
        # Both passphrases from one descriptor, a line each; standard input is not read.
        status, out, err = tool(capsys, ["change-passphrase", "m", "--passphrase-fd", str(r), "--new-passphrase-fd",
                                         str(r), "--vault", vault])
        assert (status, err) == (0, ""), err
        assert tool(capsys, ["pubkey", "m", "ethereum", "--passphrase-fd", str(r), "--vault", vault])[2] == \
            "error: no passphrase on file descriptor %d\n" % r
    finally:
        os.close(r)
    assert _native.export_wallet("m", OTHER_PASS, vault) == ZERO_PHRASE
    assert tool(capsys, ["pubkey", "m", "ethereum", "--passphrase-fd", str(r), "--vault", vault])[2] == \
        "error: cannot read the passphrase from file descriptor %d: Bad file descriptor\n" % r


def test_list_shows_only_the_address_of_the_chain_asked_for(capsys, shared):
    v, alpha = shared["vault"], shared["alpha"]
    with vek.Vault(v).unlock("alpha", PASS) as session:
        derived = {c.name: session.derive(c.name) for c in vek.known_chains()}
    listed = {}
    for name in derived:
        status, out, _ = tool(capsys, ["--json", "list", "--chain", name, "--vault", v])
        [doc] = json.loads(out)
        assert status == 0 and doc["chain"] == next(c.chain_id for c in vek.known_chains() if c.name == name)
        listed[name] = doc["address"]
    assert {n for n, a in listed.items() if a is None} == {
        "bitcoin-testnet", "bitcoin-signet", "osmosis", "celestia", "secret", "kava", "ton-testnet"}
    assert all(a == derived[n] for n, a in listed.items() if a is not None)
    status, out, err = tool(capsys, ["list", "--chain", "kava", "--vault", v])
    assert out.split("\n")[1].split()[:3] == ["alpha", alpha["id"], "-"]
    assert err == (f"No stored account for kava: 'vek --vault {v} derive kava --wallet WALLET' derives its address "
                   "(asks for the passphrase).\n")
