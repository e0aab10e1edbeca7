"""The `vek` command-line tool, run as a user runs it: in subprocesses, against a
temporary vault and a temporary HOME, with secrets piped, named in variables, or
typed on a pseudo-terminal, and never on the command line."""
import errno
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

import pytest

from vek import _native

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
EVM_TX = "02c0"  # a type-2 transaction with an empty field list: enough to sign and assemble


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
        # Failures: nothing on standard output, one "error: " line last on standard error.
        assert p.out == ""
        last = p.err.rstrip("\n").split("\n")[-1]
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
    assert "vek export" in p.err  # the reminder to back the phrase up
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
    keys = json.loads(doc["secret"])
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
    plain = ok(run(["sign-message", "alpha", "ethereum", "Hello", "--index", "1", "--vault", v], home, PASS + "\n"))
    assert plain.out.split() == ["signature", expected["signature"], "recovery_id", str(expected["recovery_id"])]
    hexed = ok(run(["sign-message", "alpha", "ethereum", "48656c6c6f", "--encoding", "hex", "--index", "1",
                    "--json", "--vault", v, "--passphrase-env", "PW"], home, env={"PW": PASS}))
    assert json.loads(hexed.out) == expected
    (tmp_path / "msg").write_bytes(b"Hello")
    from_file = ok(run(["--json", "--vault", v, "sign-message", "alpha", "ethereum", "--message-file",
                        str(tmp_path / "msg"), "--index", "1"], home, PASS + "\n"))
    assert json.loads(from_file.out) == expected


def test_sign_message_without_recovery_id_is_readable(home, shared):
    p = ok(run(["sign-message", "alpha", "solana", "hi", "--vault", shared["vault"]], home, PASS + "\n"))
    assert p.out.split()[-2:] == ["recovery_id", "none"]
    assert len(p.out.split()[1]) == 128


def test_sign_tx_in_both_modes(home, shared, tmp_path):
    v = shared["vault"]
    plain = ok(run(["sign-tx", "alpha", "ethereum", "0x" + EVM_TX, "--vault", v], home, PASS + "\n"))
    (tmp_path / "tx.hex").write_text(EVM_TX[:2] + "\n" + EVM_TX[2:] + "\n")
    doc = json.loads(ok(run(["sign-tx", "alpha", "ethereum", "--tx-file", str(tmp_path / "tx.hex"), "--json",
                             "--vault", v], home, PASS + "\n")).out)
    assert list(doc) == ["signature", "recovery_id"] and doc["recovery_id"] in (0, 1)
    assert plain.out.split() == ["signature", doc["signature"], "recovery_id", str(doc["recovery_id"])]
    assert doc["signature"].endswith("%02x" % doc["recovery_id"])


class Node:
    """A local JSON-RPC endpoint that records request bodies and answers with `reply`."""

    def __init__(self, status=200, reply=None):
        self.bodies = []
        node = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                node.bodies.append(json.loads(self.rfile.read(int(self.headers["Content-Length"]))))
                body = json.dumps(reply or {"jsonrpc": "2.0", "id": 1, "result": "0xfeed"}).encode()
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
    plain = ok(run(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", node.url, "--vault", v], home, PASS + "\n"))
    assert plain.out == "0xfeed\n"
    doc = json.loads(ok(run(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", node.url, "--json",
                             "--passphrase-env", "PW", "--vault", v], home, env={"PW": PASS})).out)
    assert doc == {"tx_hash": "0xfeed"}
    assert len(node.bodies) == 2 and node.bodies[0] == node.bodies[1]
    body = node.bodies[0]
    assert body["method"] == "eth_sendRawTransaction"
    # The signed transaction carries the signature's r and s.
    assert body["params"][0].startswith("0x02") and sig[:64] in body["params"][0] and sig[64:128] in body["params"][0]


def test_broadcast_failure_is_one_line(home, shared):
    n = Node(status=500)
    try:
        p = run(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", n.url, "--vault", shared["vault"]], home,
                PASS + "\n")
    finally:
        n.close()
    assert error_of(p).startswith("error: broadcast failed: ") and "500" in p.error


# ---------------------------------------------------------------- failures


def test_wrong_passphrase(home, shared):
    p = run(["sign-message", "alpha", "ethereum", "hi", "--vault", shared["vault"]], home, OTHER_PASS + "\n")
    assert error_of(p) == "error: decryption failed: aead::Error"


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
         "error: invalid mnemonic phrase: the mnemonic's entropy length `3` is invalid"),
        (["derive", "sepolia"], ZERO_PHRASE + "\n", None,
         "error: invalid input: unknown chain: 'sepolia'. Use a chain name (ethereum, solana, bitcoin, ...) "
         "or CAIP-2 ID (eip155:1, ...)"),
        (["derive", "ethereum", "--index", "2147483648"], ZERO_PHRASE + "\n", None,
         "error: invalid derivation path: index out of range in component '2147483648' of path "
         "'m/44'/60'/0'/0/2147483648': must be below 2147483648"),
        (["import-key", "w", "--no-passphrase"], "0X" + SECP_KEY + "\n", None,
         "error: invalid input: invalid hex private key: Invalid character 'X' at position 1"),
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
    phrase = screen.strip().splitlines()[-1].strip()
    assert _native.derive_address(phrase, "ethereum") == w["accounts"][0]["address"]


def test_mistyped_new_passphrase_on_a_terminal_creates_nothing(home, vault):
    t = Terminal(["create", "typo", "--vault", vault], home)
    t.read_until("New passphrase: ")
    t.type(PASS)
    t.read_until("Repeat new passphrase: ")
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
    assert screen.strip().splitlines()[-1] == "error: interrupted" and "Traceback" not in screen


def test_names_cannot_rewrite_the_terminal():
    from vek import cli

    hostile = "evil\nfake line\x1b[2J\r"
    w = {"id": "i", "name": hostile, "accounts": [], "created_at": "t"}
    text = cli.wallet_text(w)
    assert "\x1b" not in text and "\r" not in text
    assert "evil\\nfake line\\x1b[2J\\r" in text
    assert cli.printable("Zoë 钱包") == "Zoë 钱包"
