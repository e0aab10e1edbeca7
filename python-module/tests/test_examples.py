"""The example programs of examples/ run as their users run them, against local servers
only (evm_node.py, the sign-in server itself); test_stubs checks them with mypy --strict."""

import json
import os
import pathlib
import subprocess
import sys
import urllib.error
import urllib.request

import pytest

import vek
from test_broadcast import Server, node_call

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def run_example(name, *args, env=(), timeout=300):
    return subprocess.run([sys.executable, str(EXAMPLES / name), *map(str, args)], capture_output=True, text=True,
                          env={**os.environ, **dict(env)}, timeout=timeout)


def test_payment_bot_pays_every_payee_through_a_local_node(vault):
    eth_account = pytest.importorskip("eth_account")
    pytest.importorskip("web3")
    pytest.importorskip("eth_tester")
    payer = vek.Vault(vault).create("bot", passphrase="bot pass").accounts[0].address
    node = Server("evm_node.py", "--fund", f"{payer}:{10**18}")
    payees = {"0x" + c * 40: (i + 1) * 10**15 for i, c in enumerate("123")}
    env = {"VEK_BOT_PASSPHRASE": "bot pass", "VEK_RPC_URL": node.url}
    try:
        p = run_example("payment_bot.py", "--vault", vault, "--wallet", "bot", *[f"{a}:{w}" for a, w in payees.items()],
                        env=env)
        assert p.returncode == 0, p.stdout + p.stderr
        lines = [json.loads(line) for line in p.stdout.splitlines()]
        assert {line["to"]: line["wei"] for line in lines} == payees
        for line in lines:
            assert int(node_call(node.url, "eth_getBalance", line["to"], "latest")["result"], 16) == line["wei"]
            receipt = node_call(node.url, "eth_getTransactionReceipt", line["tx_hash"])["result"]
            assert int(receipt["status"], 16) == 1
            note = eth_account.messages.encode_defunct(text=line["note"])
            assert eth_account.Account.recover_message(note, signature=line["note_signature"]) == payer
        # More than the wallet holds: refused before anything is sent.
        p = run_example("payment_bot.py", "--vault", vault, "--wallet", "bot", f"{'0x' + '4' * 40}:{10**18}", env=env)
        assert p.returncode == 1 and "the payments need up to" in p.stderr
        assert node_call(node.url, "eth_getTransactionCount", payer, "latest")["result"] == hex(len(payees))
        # A wrong passphrase stops the bot with the library's error.
        p = run_example("payment_bot.py", "--vault", vault, "--wallet", "bot", f"{'0x' + '4' * 40}:1",
                        env={**env, "VEK_BOT_PASSPHRASE": "wrong"})
        assert (p.returncode, p.stderr) == (1, "error: wrong passphrase for wallet 'bot'\n")
    finally:
        node.stop()


def post(url, path, **body):
    request = urllib.request.Request(url + path, json.dumps(body).encode(), {"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request) as r:
            return r.status, json.load(r)
    except urllib.error.HTTPError as e:
        return e.code, json.load(e)


def test_sign_in_server_accepts_each_family_once_and_refuses_another_signer():
    server = Server(str(EXAMPLES / "sign_in_server.py"), "--port", "0")
    user = vek.Session.from_mnemonic(vek.generate_mnemonic(12), bip39_passphrase=None)
    other = vek.Session.from_mnemonic(vek.generate_mnemonic(12), bip39_passphrase=None)
    try:
        for family in vek.families():
            chain = family.default_chain
            address = user.address(chain)

            def attempt(session):
                status, body = post(server.url, "/challenge", chain=chain, address=address)
                assert status == 200, body
                signed = session.sign_message(chain, body["challenge"])
                key = signed.public_key["value"] if family.name == "ton" else None
                return post(server.url, "/sign-in", chain=chain, address=address, signature=signed.signature,
                            public_key=key)

            assert attempt(other)[0] == 401, chain
            status, body = attempt(user)
            assert (status, body) == (200, {"signed_in": address}), chain
        # A challenge is good for one attempt: the same signature again is refused.
        status, body = post(server.url, "/challenge", chain="ethereum", address=user.address("ethereum"))
        signature = user.sign_message("ethereum", body["challenge"]).signature
        for expected in (200, 401):
            assert post(server.url, "/sign-in", chain="ethereum", address=user.address("ethereum"),
                        signature=signature)[0] == expected
        assert post(server.url, "/challenge", chain="nowhere", address="x")[0] == 400
    finally:
        user.close()
        other.close()
        server.stop()


def test_import_check_agrees_with_bip_utils_under_a_non_ascii_bip39_passphrase():
    pytest.importorskip("bip_utils")
    p = run_example("import_check.py")
    assert p.returncode == 0, p.stdout + p.stderr
    assert p.stdout.count(" ok ") == 6 and "a wrong BIP-39 passphrase is refused" in p.stdout


def test_the_demo_still_runs(tmp_path):
    # quickstart.py: test_stubs.
    p = run_example("demo.py", env={"HOME": str(tmp_path)})
    assert p.returncode == 0, p.stdout + p.stderr
    assert p.stdout.count("recovery id") == 6
