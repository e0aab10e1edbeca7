"""The `vek` tool run as a user runs it, where a separate process is the point: the
console script, arguments that are not UTF-8, signals, timeouts and a pseudo-terminal
(prompts without echo, Ctrl-C at a prompt)."""
import errno
import json
import os
import pathlib
import pty
import select
import socket
import subprocess
import sys
import sysconfig
import time
import urllib.request

import pytest

import vek
from cli_helpers import (  # noqa: F401  (fixtures)
    EVM_TX,
    OTHER_PASS,
    PASS,
    Server,
    assert_wallet_json,
    check_argv,
    clean_env,
    eip1559,
    error_of,
    home,
    ok,
    run,
    shared,
    vek_argv,
)
from vek import _native


def test_text_that_is_not_utf8_is_an_error_not_a_crash(home, vault):
    pathlib.Path(vault).mkdir()
    p = run([b"show", b"\xff\xfe", b"--vault", vault.encode()], home)
    assert error_of(p).startswith("error: 'utf-8' codec can't encode")


def test_console_script_runs_the_same_tool(home):
    script = pathlib.Path(sysconfig.get_path("scripts")) / "vek"
    assert script.is_file()
    p = subprocess.run([str(script), "--version"], capture_output=True, text=True, env=clean_env(home))
    assert p.returncode == 0 and p.stdout.startswith("vek ")
    p = subprocess.run([str(script), "bogus"], capture_output=True, text=True, env=clean_env(home))
    assert (p.returncode, p.stdout) == (2, "") and p.stderr.startswith("error: argument COMMAND: invalid choice")


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


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return f"http://127.0.0.1:{s.getsockname()[1]}"


def test_send_timeout_and_ctrl_c_say_the_state(home, shared, tmp_path):
    v = shared["vault"]
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default", "hang:")
    try:
        expected_hash = json.loads(ok(run(["--json", "sign-tx", "alpha", "ethereum", EVM_TX, "--vault", v], home,
                                          PASS + "\n")).out)["tx_hash"]
        args = ["send", "alpha", "ethereum", EVM_TX, "--yes", "--rpc-url", server.url, "--vault", v]
        p = run(args + ["--timeout", "1"], home, PASS + "\n")
        assert error_of(p, 3) == ("error: not known whether the transaction was sent: no answer within 1 s; "
                                  f"look up {expected_hash} on the chain before sending it again")
        p = run(args + ["--timeout", "1", "--rpc-url", closed_port()], home, PASS + "\n")
        assert error_of(p).startswith("error: transaction not sent: curl: (7) ")
        # A server of its own: the one above still holds the first request (it answers one at a time).
        server.stop()
        server = Server("rpc_server.py", str(tmp_path / "log2"), "--default", "hang:")
        args[args.index("--rpc-url") + 1] = server.url
        child = subprocess.Popen(vek_argv(args), stdin=subprocess.PIPE, stderr=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, env=clean_env(home))
        child.stdin.write((PASS + "\n").encode())
        child.stdin.close()
        log = tmp_path / "log2"
        deadline = time.monotonic() + 20
        while not (log.exists() and log.read_text()) and time.monotonic() < deadline:
            time.sleep(0.1)
        assert time.monotonic() < deadline, "the request never arrived"
        child.send_signal(2)
        err = child.stderr.read().decode()
        assert child.wait() == 130, err
        assert err.strip().splitlines()[-1] == ("error: interrupted: whether the transaction was sent is not known; "
                                                f"look up {expected_hash} before sending it again")
    finally:
        server.stop()


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


def test_a_wrong_passphrase_at_a_prompt_is_asked_again_and_bip39_is_prompted(home, vault):
    bip39 = "Some Pass"
    t = Terminal(["import-mnemonic", "b", "--bip39-passphrase", "--no-passphrase", "--vault", vault], home)
    t.read_until("Recovery phrase: ")
    t.type(" ".join(["abandon"] * 11 + ["about"]))
    t.read_until("BIP-39 passphrase: ")
    t.type(bip39)
    t.read_until("Repeat BIP-39 passphrase: ")
    t.type(bip39)
    status, screen = t.finish()
    assert status == 0, screen
    expected = _native.get_wallet("b", vault)["accounts"][0]["address"]

    # Three tries of the BIP-39 passphrase: two wrong ones are asked again, then it signs.
    answers = ("wrong", "Wrong", bip39) if hasattr(vek, "WrongBip39PassphraseError") else (bip39,)
    t = Terminal(["sign-message", "b", "ethereum", "hi", "--no-passphrase", "--vault", vault], home)
    before = ""
    for answer in answers:
        before += t.read_until("BIP-39 passphrase of wallet 'b'")
        t.seen = b""
        t.type(answer)
    status, screen = t.finish()
    assert status == 0 and expected in screen and (before + screen).count("try again") == len(answers) - 1, screen

    # A wallet passphrase: three wrong ones end with the error.
    _native.create_wallet("p", PASS, None, vault)
    t = Terminal(["pubkey", "p", "ethereum", "--vault", vault], home)
    before = ""
    for _ in range(3):
        before += t.read_until("Passphrase for wallet 'p'")
        t.seen = b""
        t.type(OTHER_PASS)
    status, screen = t.finish()
    assert status == 1 and (before + screen).count("try again") == 2
    assert screen.strip().splitlines()[-1].endswith("\x1b[Kerror: wrong passphrase (or the wallet file is damaged)")
