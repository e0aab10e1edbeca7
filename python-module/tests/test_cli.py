"""The `vek` tool run in this process through vek.cli.main: a temporary vault and HOME,
secrets piped as standard input bytes, named in variables or given on descriptors, and
never on the command line (test_cli_process.py runs it as a separate process and on a
terminal)."""
import json
import os
import pathlib
import shlex
import subprocess
import sys

import pytest

import vek
from cli_helpers import (  # noqa: F401  (fixtures)
    ED_KEY,
    EVM_TX,
    HERE,
    OTHER_PASS,
    PASS,
    REAL_CURL,
    SECP_KEY,
    SECP_KEY_EVM,
    ZERO_PHRASE,
    ZERO_PHRASE_EVM,
    Node,
    Server,
    assert_wallet_json,
    assert_wallet_text,
    cli,
    eip1559,
    error_of,
    home,
    listed,
    node,
    ok,
    raw_hash,
    shared,
    solana_transfer,
    write_config,
)
from vek import _native

Account = pytest.importorskip("eth_account").Account


def test_generate_in_both_modes(cli, home):
    words = ok(cli(["generate"])).out.split()
    assert len(words) == 12
    doc = json.loads(ok(cli(["generate", "--words", "24", "--json"])).out)
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
def test_derive_reads_the_phrase_from_a_pipe_or_a_named_variable(cli, args, stdin, env):
    assert ok(cli(args, stdin, env)).out == ZERO_PHRASE_EVM + "\n"


def test_derive_json_and_index(cli):
    doc = json.loads(ok(cli(["--json", "derive", "polygon", "--index", "2"], ZERO_PHRASE + "\n")).out)
    assert doc == {"chain": "polygon", "index": 2, "path": "m/44'/60'/0'/0/2",
                   "address": _native.derive_address(ZERO_PHRASE, "ethereum", 2)}
    assert doc["address"] != ZERO_PHRASE_EVM


def test_create_readable_then_export_with_piped_answers(cli, vault):
    p = ok(cli(["create", "main", "--vault", vault], PASS + "\n"))
    w = _native.get_wallet("main", vault)
    assert_wallet_text(p.out, w)
    assert f"vek --vault {vault} export {w['id']}" in p.err  # the reminder, ready to paste
    # The confirmation and then the passphrase, one line each.
    e = ok(cli(["export", "main", "--vault", vault], "y\n" + PASS + "\n"))
    assert "SECRET" in e.err and "[y/N]" in e.err
    phrase = e.out.strip()
    assert len(phrase.split()) == 12
    # The exported phrase is the wallet's: it derives the stored address.
    assert ok(cli(["derive", "ethereum"], phrase + "\n")).out.strip() == w["accounts"][0]["address"]


def test_create_json_with_passphrase_from_a_named_variable(cli, vault):
    p = ok(cli(["--json", "--vault", vault, "create", "w24", "--words", "24", "--passphrase-env", "VEK_PW"],
               env={"VEK_PW": PASS}))
    w = json.loads(p.out)
    assert_wallet_json(w, "w24")
    assert "vek export" not in p.err  # --json keeps advisory lines out
    assert json.loads(ok(cli(["list", "--json", "--vault", vault])).out) == [w]
    assert len(_native.export_wallet("w24", PASS, vault).split()) == 24


def test_import_mnemonic_in_both_modes(cli, vault):
    p = ok(cli(["import-mnemonic", "plain", "--vault", vault], ZERO_PHRASE + "\n" + PASS + "\n"))
    w = _native.get_wallet("plain", vault)
    assert_wallet_text(p.out, w)
    assert w["accounts"][0]["address"] == ZERO_PHRASE_EVM
    j = ok(cli(["import-mnemonic", "indexed", "--index", "2", "--json", "--vault", vault,
                "--mnemonic-env", "P", "--no-passphrase"], env={"P": ZERO_PHRASE}))
    w2 = json.loads(j.out)
    assert_wallet_json(w2, "indexed")
    assert [a["derivation_path"] for a in w2["accounts"]] == [
        "m/44'/60'/0'/0/2", "m/44'/501'/2'/0'", "m/84'/0'/0'/0/2",
        "m/44'/118'/0'/0/2", "m/44'/195'/0'/0/2", "m/44'/607'/2'",
    ]
    assert _native.export_wallet("plain", PASS, vault) == ZERO_PHRASE
    assert _native.export_wallet("indexed", None, vault) == ZERO_PHRASE


def test_import_key_single_warns_about_the_random_other_key(cli, vault):
    p = ok(cli(["import-key", "sol", "--chain", "solana", "--vault", vault], ED_KEY + "\n" + PASS + "\n"))
    w = _native.get_wallet("sol", vault)
    assert_wallet_text(p.out, w)
    assert all(a["derivation_path"] == "" for a in w["accounts"])
    assert "random key" in p.err and "export" in p.err
    e = ok(cli(["export", "sol", "--yes", "--json", "--passphrase-env", "PW", "--vault", vault],
               env={"PW": PASS}))
    doc = json.loads(e.out)
    assert doc["kind"] == "private_key" and doc["id"] == w["id"] and doc["name"] == "sol"
    keys = doc["secret"]  # an object, not JSON inside a string
    assert keys["ed25519"] == ED_KEY and len(keys["secp256k1"]) == 64


def test_import_key_both_keys_from_named_variables(cli, vault):
    p = ok(cli(["--json", "import-key", "pair", "--both", "--secp256k1-key-env", "K1", "--ed25519-key-env", "K2",
                "--vault", vault], PASS + "\n", env={"K1": "0x" + SECP_KEY, "K2": ED_KEY}))
    w = json.loads(p.out)
    assert_wallet_json(w, "pair")
    assert w["accounts"][0]["address"] == SECP_KEY_EVM
    assert "random key" not in p.err
    e = ok(cli(["export", "pair", "--yes", "--vault", vault], PASS + "\n"))
    assert SECP_KEY in e.out and ED_KEY in e.out and "secp256k1" in e.out


def test_list_and_show_in_both_modes(cli, shared):
    v, alpha = shared["vault"], shared["alpha"]
    listing = ok(cli(["list", "--vault", v])).out
    assert "alpha" in listing and alpha["id"] in listing and "NAME" in listing
    assert json.loads(ok(cli(["--json", "list", "--vault", v])).out) == [listed(alpha)]
    for key in ("alpha", alpha["id"]):
        assert_wallet_text(ok(cli(["show", key, "--vault", v])).out, alpha)
        assert json.loads(ok(cli(["show", key, "--json", "--vault", v])).out) == listed(alpha)


def test_list_of_an_empty_vault(cli, vault):
    pathlib.Path(vault).mkdir()
    assert ok(cli(["list", "--vault", vault])).out == "No wallets.\n"
    assert json.loads(ok(cli(["list", "--vault", vault, "--json"])).out) == []


def test_default_vault_is_under_home(cli, home):
    w = _native.create_wallet("homed", None, None, str(home / ".vek"))
    assert json.loads(ok(cli(["list", "--json"])).out) == [listed(w)]


def test_rename_and_delete_in_both_modes(cli, vault):
    a = _native.create_wallet("a", None, None, vault)
    b = _native.create_wallet("b", None, None, vault)
    r = ok(cli(["rename", "a", "a2", "--vault", vault]))
    assert "'a'" in r.out and "'a2'" in r.out and a["id"] in r.out
    r = json.loads(ok(cli(["rename", a["id"], "a3", "--vault", vault, "--json"])).out)
    assert r == listed(dict(a, name="a3"))
    assert error_of(cli(["rename", "a3", "b", "--vault", vault])) == "error: wallet name already exists: 'b'"

    # Refused confirmations leave the wallet in place: an answer other than yes, and no answer at all.
    for answer in ("n\n", "maybe\n", ""):
        p = cli(["delete", "b", "--vault", vault], answer)
        assert error_of(p) == "error: cancelled: nothing was deleted"
        assert "Delete wallet 'b'" in p.err
    assert _native.get_wallet("b", vault) == b

    d = ok(cli(["delete", "b", "--vault", vault], "yes\n"))
    assert "Deleted wallet 'b'" in d.out
    d = json.loads(ok(cli(["delete", "a3", "--yes", "--json", "--vault", vault])).out)
    assert d == {"id": a["id"], "name": "a3", "deleted": True}
    assert _native.list_wallets(vault) == []


def test_export_refused_shows_nothing(cli, shared):
    for answer in ("n\n", ""):
        p = cli(["export", "alpha", "--vault", shared["vault"]], answer + PASS + "\n")
        assert error_of(p) == "error: cancelled: nothing was shown"
        assert "abandon" not in p.err


def test_sign_message_in_both_modes_and_encodings(cli, shared, tmp_path):
    v = shared["vault"]
    expected = _native.sign_message("alpha", "ethereum", "Hello", PASS, None, 1, v)
    expected = dict(signer=_native.derive_address(ZERO_PHRASE, "ethereum", 1), **expected, format="eip191")
    plain = ok(cli(["sign-message", "alpha", "ethereum", "Hello", "--index", "1", "--vault", v], PASS + "\n"))
    assert plain.out.split() == ["signer", expected["signer"], "signature", expected["signature"],
                                 "recovery_id", str(expected["recovery_id"]), "format", "eip191"]
    # Hex messages take a 0x prefix, as transactions do.
    # Bytes the user does not see are signed after a yes (--yes, or the answer before the passphrase).
    hexed = ok(cli(["sign-message", "alpha", "ethereum", "0x48656c6c6f", "--encoding", "hex", "--index", "1",
                    "--json", "--yes", "--vault", v, "--passphrase-env", "PW"], env={"PW": PASS}))
    assert json.loads(hexed.out) == expected
    (tmp_path / "msg").write_bytes(b"Hello")
    from_file = ok(cli(["--json", "--vault", v, "sign-message", "alpha", "ethereum", "--message-file",
                        str(tmp_path / "msg"), "--index", "1"], "y\n" + PASS + "\n"))
    assert json.loads(from_file.out) == expected


def test_sign_message_without_recovery_id_is_readable(cli, shared):
    p = ok(cli(["sign-message", "alpha", "solana", "hi", "--vault", shared["vault"]], PASS + "\n"))
    assert p.out.split()[-4:] == ["recovery_id", "none", "format", "raw"]
    assert len(p.out.split()[3]) == 128


def test_sign_tx_in_both_modes(cli, shared, tmp_path):
    v = shared["vault"]
    plain = ok(cli(["sign-tx", "alpha", "ethereum", "0x" + EVM_TX, "--vault", v], PASS + "\n"))
    (tmp_path / "tx.hex").write_text(EVM_TX[:2] + "\n" + EVM_TX[2:] + "\n")
    doc = json.loads(ok(cli(["sign-tx", "alpha", "ethereum", "--tx-file", str(tmp_path / "tx.hex"), "--json",
                             "--vault", v], PASS + "\n")).out)
    assert list(doc) == ["signer", "signature", "recovery_id", "raw_transaction", "tx_hash", "transaction"]
    assert doc["recovery_id"] in (0, 1) and doc["signature"].endswith("%02x" % doc["recovery_id"])
    assert plain.out.split() == ["signer", ZERO_PHRASE_EVM, "signature", doc["signature"], "recovery_id",
                                 str(doc["recovery_id"]), "raw_transaction", doc["raw_transaction"],
                                 "tx_hash", doc["tx_hash"]]


def test_send_in_both_modes(cli, shared, node):
    v = shared["vault"]
    sig = _native.sign_transaction("alpha", "ethereum", EVM_TX, PASS, None, v)["signature"]
    # The confirmation, then the passphrase.
    plain = ok(cli(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", node.url, "--vault", v],
                   "y\n" + PASS + "\n", env=REAL_CURL))
    doc = json.loads(ok(cli(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", node.url, "--json", "--yes",
                             "--passphrase-env", "PW", "--vault", v], env={"PW": PASS, **REAL_CURL})).out)
    assert len(node.bodies) == 2 and node.bodies[0] == node.bodies[1]
    body = node.bodies[0]
    assert plain.out == raw_hash(body["params"][0]) + "\n" and "send? [y/N]" in plain.err
    assert doc == {"signer": ZERO_PHRASE_EVM, "tx_hash": raw_hash(body["params"][0])}
    assert body["method"] == "eth_sendRawTransaction"
    # The signed transaction carries the signature's r and s.
    assert body["params"][0].startswith("0x02") and sig[:64] in body["params"][0] and sig[64:128] in body["params"][0]


def test_broadcast_failure_is_one_line(cli, shared):
    n = Node(status=500)
    try:
        p = cli(["send", "alpha", "ethereum", EVM_TX, "--rpc-url", n.url, "--yes", "--vault", shared["vault"]],
                PASS + "\n", env=REAL_CURL)
    finally:
        n.close()
    # The node may have taken it: exit status 3, and the hash to look up.
    assert error_of(p, 3).startswith("error: not known whether the transaction was sent: curl: (22) ") and "500" in p.error
    assert p.error.endswith(" on the chain before sending it again")


def test_wrong_passphrase(cli, shared):
    p = cli(["sign-message", "alpha", "ethereum", "hi", "--vault", shared["vault"]], OTHER_PASS + "\n")
    assert error_of(p) == "error: wrong passphrase (or the wallet file is damaged)"
    p = cli(["sign-message", "alpha", "ethereum", "hi", "--verbose", "--vault", shared["vault"]],
            OTHER_PASS + "\n")
    assert error_of(p) == "error: wrong passphrase (or the wallet file is damaged): decryption failed: aead::Error"
    p = cli(["--json", "sign-message", "alpha", "ethereum", "hi", "--vault", shared["vault"]],
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
def test_unknown_wallet_is_reported_before_any_question(cli, shared, args):
    p = cli(args + ["--vault", shared["vault"]], "y\n" + PASS + "\n")
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
        (["derive", "ethereum", "--index", "2147483648"], "index out of range: 2147483648 (0 to 2147483647)"),
        (["sign-tx", "alpha", "ethereum", "00", "--path", "m/0", "--index", "1"], "--index: not allowed with"),
        (["sign-message", "alpha", "solana", "m", "--preset", "default", "--path", "m/0"], "not allowed with"),
        (["derive", "ethereum", "--wallet", "w", "--bip39-passphrase"], "--bip39-passphrase does not apply"),
        (["receive", "alpha", "ethereum", "--amount", "1", "--index", "-3"], "index out of range: -3"),
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
def test_usage_errors_exit_with_status_2(cli, vault, args, message):
    p = cli(args + (["--vault", vault] if args else []))
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
        (["import-key", "w", "--no-passphrase"], "0x" + SECP_KEY[:-1] + "\n", None,
         "error: invalid hex private key: not an even number of hex digits"),
        (["sign-tx", "alpha", "ethereum", "0x0"], PASS + "\n", None,
         "error: invalid input: invalid hex transaction: Odd number of digits"),
        (["sign-message", "alpha", "ethereum", "--message-file", "/nonexistent/m"], "", None,
         "error: cannot read /nonexistent/m: No such file or directory"),
    ],
)
def test_errors_are_one_line_with_status_1(cli, shared, args, stdin, env, message):
    p = cli(args + ["--vault", shared["vault"]], stdin, env)
    assert error_of(p) == message
    assert [w["name"] for w in _native.list_wallets(shared["vault"])] == ["alpha"]


def test_names_cannot_rewrite_the_terminal():
    from vek import cli as tool  # noqa: PLC0415

    hostile = "evil\nfake line\x1b[2J\r"
    w = {"id": "i", "name": hostile, "accounts": [], "created_at": "t"}
    text = tool.wallet_text(w)
    assert "\x1b" not in text and "\r" not in text
    assert "evil\\nfake line\\x1b[2J\\r" in text
    assert tool.printable("Zoë 钱包") == "Zoë 钱包"


@pytest.fixture
def indexed(tmp_path_factory):
    """A vault whose wallet 'ix' was imported at index 2 (the all-zero phrase, passphrase PASS)."""
    vault = str(tmp_path_factory.mktemp("ix") / "vault")
    w = _native.import_wallet_mnemonic("ix", ZERO_PHRASE, PASS, 2, vault)
    return vault, w


def test_the_stored_account_signs_and_is_shown(cli, indexed):
    vault, w = indexed
    evm = w["accounts"][0]["address"]
    m = json.loads(ok(cli(["--json", "sign-message", "ix", "ethereum", "hi", "--vault", vault],
                          PASS + "\n")).out)
    assert m["signer"] == evm and vek.recover_address("ethereum", "hi", m["signature"]) == evm
    tx, unsigned = eip1559()
    t = ok(cli(["sign-tx", "ix", "ethereum", unsigned, "--vault", vault], PASS + "\n"))
    # Shown before the passphrase: the sender and the decoded fields.
    for shown in (f"from          {evm}", "0.000000000000000777 ETH (777 wei)", "max cost      0.000105000000000777 ETH", "0x" + "22" * 20, "21000"):
        assert shown in t.err
    fields = dict(line.split(None, 1) for line in t.out.splitlines())
    assert fields["signer"] == evm
    assert Account.recover_transaction(fields["raw_transaction"]) == evm
    from eth_utils import keccak  # noqa: PLC0415

    assert fields["tx_hash"] == "0x" + keccak(hexstr=fields["raw_transaction"]).hex().removeprefix("0x")


def test_solana_sign_tx_takes_the_whole_transaction_as_send_does(cli, shared):
    nacl = pytest.importorskip("nacl.signing")
    v, alpha = shared["vault"], shared["alpha"]
    payer = alpha["accounts"][1]["address"]
    whole, message = solana_transfer(payer)
    doc = json.loads(ok(cli(["--json", "sign-tx", "alpha", "solana", whole, "--vault", v], PASS + "\n")).out)
    transaction = doc["transaction"]
    assert {k: transaction[k] for k in ("fee_payer", "signatures", "instructions")} == {
        "fee_payer": payer, "signatures": 1, "instructions": 1}
    assert [(t["kind"], t["source"], t["amount"]) for t in transaction["transfers"]] == [("transfer", payer, 5)]
    from solders.pubkey import Pubkey  # noqa: PLC0415

    nacl.VerifyKey(bytes(Pubkey.from_string(payer))).verify(message, bytes.fromhex(doc["signature"]))
    # The signed transaction comes assembled: the signature in the payer's slot, after the count.
    signed = bytes.fromhex(doc["raw_transaction"].removeprefix("0x"))
    assert signed == bytes.fromhex(whole[:2] + doc["signature"] + whole[130:])
    p = cli(["sign-tx", "alpha", "solana", message.hex(), "--vault", v], PASS + "\n")
    assert error_of(p) == ("error: invalid input: invalid solana transaction: this is a message without its "
                           "signature slots; give the whole transaction (signature count, signature slots, message)")


def test_send_shows_asks_and_checks_before_anything_leaves(cli, home, shared, tmp_path):
    v = shared["vault"]
    # No endpoint anywhere: the built-in public node is named, and "no" sends nothing.
    p = cli(["send", "alpha", "ethereum", EVM_TX, "--vault", v], "n\n")
    assert error_of(p) == "error: cancelled: nothing was sent"
    assert "(built-in public mainnet node)" in p.err and "send? [y/N]" in p.err
    help_text = ok(cli(["send", "--help"])).out
    assert "PUBLIC MAINNET" in help_text and "config.json" in help_text
    # Another chain's transaction is refused before any question.
    p = cli(["send", "alpha", "polygon", EVM_TX, "--vault", v], "y\n" + PASS + "\n")
    assert error_of(p) == ("error: invalid input: invalid evm transaction: the chain id 1 is not that of "
                           "'polygon' (eip155:137)")
    assert "[y/N]" not in p.err
    # A configuration file without vault_path is an error, not silently the public node.
    config = write_config(home, {"rpc": {"eip155:1": "http://127.0.0.1:9/"}})
    p = cli(["send", "alpha", "ethereum", EVM_TX, "--vault", v], "y\n")
    assert error_of(p) == (f"error: invalid input: the configuration file {config} is not used: "
                           "missing field `vault_path`")
    # A valid one names its endpoint; a node's hash that is not the transaction's is an error,
    # printed escaped; the passphrase variable does not reach curl.
    expected_hash = json.loads(ok(cli(["--json", "sign-tx", "alpha", "ethereum", EVM_TX, "--vault", v],
                                      PASS + "\n")).out)["tx_hash"]
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default", "result:0xab\x1b[2Jcd")
    try:
        write_config(home, {"vault_path": "x", "rpc": {"eip155:1": server.url}})
        fake = tmp_path / "bin"
        fake.mkdir()
        (fake / "curl").write_text(f"#!/bin/sh\nenv > {tmp_path / 'curl.env'}\nexec /usr/bin/curl \"$@\"\n")
        (fake / "curl").chmod(0o755)
        p = cli(["send", "alpha", "ethereum", EVM_TX, "--passphrase-env", "PW", "--vault", v], "y\n",
                env={"PW": PASS, "PATH": f"{fake}:{os.environ['PATH']}"})
        assert f"{server.url} (from {config})" in p.err
        assert error_of(p, 3) == ("error: broadcast failed: the node answered transaction hash 0xab\\u001b[2Jcd, but the "
                               f"transaction sent has hash {expected_hash} (whether the transaction was sent is not "
                               f"known; look up {expected_hash} before sending it again)")
        assert p.out == ""
        assert "PW=" not in (tmp_path / "curl.env").read_text()
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
def test_cheap_checks_and_empty_passphrases(cli, shared, args, stdin, message):
    p = cli(args + ["--vault", shared["vault"]], stdin)
    assert error_of(p) == message
    assert [w["name"] for w in _native.list_wallets(shared["vault"])] == ["alpha"]


def test_inputs_are_taken_in_the_forms_users_have(cli, vault, tmp_path):
    # A pasted phrase in capitals with stray blanks; an empty passphrase confirmed with "y".
    p = ok(cli(["--json", "import-mnemonic", "m", "--vault", vault],
               "  " + ZERO_PHRASE.upper().replace(" ", "  ") + "\n\ny\n"))
    assert json.loads(p.out)["accounts"][0]["address"] == ZERO_PHRASE_EVM
    # WIF, and a Solana keypair file.
    wif = vek.Vault(vault).export_key("m", "bitcoin", "wif")
    w = json.loads(ok(cli(["--json", "import-key", "w", "--format", "wif", "--no-passphrase", "--vault", vault], wif + "\n")).out)
    assert w["accounts"][2]["address"] == _native.get_wallet("m", vault)["accounts"][2]["address"]
    (tmp_path / "id.json").write_text(vek.Vault(vault).export_key("m", "solana", "solana-json"))
    s = json.loads(ok(cli(["--json", "import-key", "s", "--format", "solana-json", "--key-file",
                           str(tmp_path / "id.json"), "--no-passphrase", "--vault", vault])).out)
    assert s["accounts"][1]["address"] == _native.get_wallet("m", vault)["accounts"][1]["address"]


def test_output_vaults_and_wallet_selection(cli, shared, tmp_path):
    v, alpha = shared["vault"], shared["alpha"]
    # Read-only commands on a mistyped vault create nothing.
    missing = str(tmp_path / "typo")
    for args in (["list"], ["show", "alpha"]):
        assert error_of(cli(args + ["--vault", missing])) == f"error: no vault at {missing} (nothing was created)"
    assert not os.path.exists(missing)
    # The address column, for the default chain and for --chain; an id prefix selects a wallet.
    listing = ok(cli(["list", "--vault", v])).out
    assert "ADDRESS" in listing and ZERO_PHRASE_EVM in listing
    assert alpha["accounts"][1]["address"] in ok(cli(["list", "--chain", "solana", "--vault", v])).out
    assert json.loads(ok(cli(["--json", "show", alpha["id"][:8], "--vault", v])).out)["id"] == alpha["id"]
    assert error_of(cli(["--json", "show", "nope", "--vault", v])) == {
        "type": "WalletNotFoundError", "message": "wallet not found: 'nope'"}


def test_new_commands(cli, vault, tmp_path):
    Path = pathlib.Path
    ok(cli(["import-mnemonic", "m", "--vault", vault], ZERO_PHRASE + "\n" + PASS + "\n"))
    # verify: a valid signature, a recovered signer, another address refused.
    sig = json.loads(ok(cli(["--json", "sign-message", "m", "ethereum", "hi", "--vault", vault],
                            PASS + "\n")).out)["signature"]
    assert ok(cli(["verify", "ethereum", "hi", "--signature", sig, "--address", ZERO_PHRASE_EVM])).out == "valid\n"
    assert ok(cli(["verify", "ethereum", "hi", "--signature", sig])).out == ZERO_PHRASE_EVM + "\n"
    assert error_of(cli(["verify", "ethereum", "ho", "--signature", sig, "--address", ZERO_PHRASE_EVM])) == \
        f"error: the signature is not {ZERO_PHRASE_EVM}'s"
    # sign-typed-data, checked by eth-account.
    typed = {"types": {"EIP712Domain": [{"name": "name", "type": "string"}],
                       "Mail": [{"name": "body", "type": "string"}]},
             "primaryType": "Mail", "domain": {"name": "t"}, "message": {"body": "hello"}}
    Path(tmp_path / "typed.json").write_text(json.dumps(typed))
    s = json.loads(ok(cli(["--json", "sign-typed-data", "m", "ethereum", str(tmp_path / "typed.json"), "--vault",
                           vault], "y\n" + PASS + "\n")).out)
    from eth_account.messages import encode_typed_data  # noqa: PLC0415
    assert Account.recover_message(encode_typed_data(full_message=typed), signature=s["signature"]) == ZERO_PHRASE_EVM
    typed["types"]["EIP712Domain"].append({"name": "chainId", "type": "uint256"})
    Path(tmp_path / "typed.json").write_text(json.dumps({**typed, "domain": {"name": "t", "chainId": 1}}))
    assert error_of(cli(["sign-typed-data", "m", "polygon", str(tmp_path / "typed.json"), "--vault", vault],
                        "y\n" + PASS + "\n")) == "error: the typed data's domain chainId 1 is not that of 'polygon' (eip155:137)"
    # pubkey: the key of the stored address.
    pub = ok(cli(["pubkey", "m", "ethereum", "--vault", vault], PASS + "\n")).out.strip()
    from eth_keys import keys  # noqa: PLC0415
    assert keys.PublicKey.from_compressed_bytes(bytes.fromhex(pub)).to_checksum_address() == ZERO_PHRASE_EVM
    # derive on the stored wallet, then stored with --add.
    d = json.loads(ok(cli(["--json", "derive", "ethereum", "--wallet", "m", "--path", "m/44'/60'/3'/0/0", "--add",
                           "--vault", vault], PASS + "\n")).out)
    assert d["address"] in [a["address"] for a in _native.get_wallet("m", vault)["accounts"]]
    # keystores: out and back in, the password from a variable.
    ok(cli(["export-keystore", "m", "--out", str(tmp_path / "ks.json"), "--key-password-env", "KP", "--vault", vault], PASS + "\n", env={"KP": OTHER_PASS}))
    assert Account.decrypt(json.loads((tmp_path / "ks.json").read_text()), OTHER_PASS)
    k = json.loads(ok(cli(["--json", "import-keystore", "k", str(tmp_path / "ks.json"), "--key-password-env", "KP",
                           "--no-passphrase", "--vault", vault], env={"KP": OTHER_PASS})).out)
    assert k["accounts"][0]["address"] == ZERO_PHRASE_EVM
    # change-passphrase: the old one no longer opens the wallet.
    ok(cli(["change-passphrase", "m", "--vault", vault], PASS + "\n" + OTHER_PASS + "\n"))
    assert error_of(cli(["pubkey", "m", "ethereum", "--vault", vault], PASS + "\n")) == \
        "error: wrong passphrase (or the wallet file is damaged)"
    assert _native.export_wallet("m", OTHER_PASS, vault) == ZERO_PHRASE


@pytest.mark.parametrize("shell", ["bash", "zsh", "fish"])
def test_completion_scripts_name_every_command(cli, shell):
    script = ok(cli(["completion", shell])).out
    for command in ("send", "sign-typed-data", "change-passphrase", "rpc-url", "timeout"):
        assert command in script
    if shell == "bash":
        assert subprocess.run(["bash", "-n"], input=script, text=True).returncode == 0


def test_documented_texts_are_the_ones_printed(cli, vault):
    errors_md = (HERE.parents[1] / "docs" / "errors.md").read_text()
    (pathlib.Path(vault) / "wallets" / "d.json").mkdir(parents=True)
    p = ok(cli(["list", "--vault", vault]))
    assert "skipping " in p.err and p.err.rstrip().endswith(": Is a directory (os error 21)")
    assert '"Is a directory (os error 21)"' in errors_md
    for line in ("error: interrupted: {state}", "error: wrong passphrase (or the wallet file is damaged)"):
        assert line in errors_md
    assert "fraction of a second" not in (HERE.parents[1] / "docs" / "reference.md").read_text()


def test_ton_connect_formats_sign_and_verify_through_the_tool(cli, shared):
    v = shared["vault"]
    binding = ["--domain", "example.com", "--timestamp", "1700000000"]
    signed = json.loads(ok(cli(["--json", "--vault", v, "sign-message", "alpha", "ton", "nonce", "--format", "ton_proof"]
                               + binding, PASS + "\n")).out)
    assert signed["format"] == "ton_proof" and signed["public_key"]["type"] == "ed25519"
    check = ["verify", "ton", "nonce", "--format", "ton_proof", "--signature", signed["signature"], "--address",
             signed["signer"], "--public-key", signed["public_key"]["value"]]
    assert ok(cli(check + binding)).out.strip() == "valid"
    assert error_of(cli(check + ["--domain", "example.org", "--timestamp", "1700000000"])) == (
        f"error: the signature is not {signed['signer']}'s")


RAW_WARNING = ("warning: a raw signature signs these bytes as they are: if they are the signing bytes of a "
               "transaction, it authorises that transaction on {} and on every other chain where this key signs{}.\n")


def test_raw_and_unseen_message_bytes_are_signed_only_after_a_yes(cli, shared, vault):
    v = shared["vault"]
    asked = "Sign these bytes? [y/N] \n"
    status, out, err = cli(["sign-message", "alpha", "cosmos", "hi", "--format", "raw", "--vault", v],
                            "n\n" + PASS + "\n")
    assert (status, out, err) == (1, "", RAW_WARNING.format("cosmos", "") + asked +
                                  "error: cancelled: nothing was signed\n")
    # --yes signs; under --json the warning is on standard error.
    status, out, err = cli(["--json", "sign-message", "alpha", "cosmos", "hi", "--format", "raw", "--yes",
                                     "--vault", v], PASS + "\n")
    assert (status, json.loads(out)["format"], err) == (0, "raw", RAW_WARNING.format("cosmos", ""))
    # Hex bytes under Solana's standard (raw) format, and the key a private-key wallet shares.
    _native.import_wallet_private_key("pk", SECP_KEY, None, None, vault)
    status, _, err = cli(["sign-message", "alpha", "solana", "00ff", "--encoding", "hex", "--vault", v], "")
    assert status == 1 and err.startswith(RAW_WARNING.format("solana", "") + asked)
    status, _, err = cli(["sign-message", "pk", "tron", "hi", "--format", "raw", "--vault", vault], "")
    shared_key = " (this private-key wallet signs for EVM, Cosmos, Bitcoin and Tron chains with one secp256k1 key)"
    assert status == 1 and err.startswith(RAW_WARNING.format("tron", shared_key) + asked)
    status, _, err = cli(["sign-message", "pk", "ethereum", "00", "--encoding", "hex", "--vault", vault], "")
    assert status == 1 and err.startswith("warning: the message is bytes that are not shown here: sign them only if "
                                          "you know what they are.\n" + asked)


def test_sign_typed_data_shows_the_document_and_asks(cli, shared, tmp_path):
    permit = {"types": {}, "primaryType": "PermitSingle",
              "domain": {"name": "Permit2", "chainId": 1, "verifyingContract": "0x" + "22" * 20},
              "message": {"details": {"token": "0x" + "33" * 20, "amount": str(2**160 - 1)},
                          "spenders": ["0x" + "44" * 20, "\x9b"]}}
    (tmp_path / "permit.json").write_text(json.dumps(permit))
    status, out, err = cli(["sign-typed-data", "alpha", "ethereum", str(tmp_path / "permit.json"),
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


def test_untrusted_text_is_escaped_on_every_line(cli, vault, tmp_path):
    from vek import cli as tool  # noqa: PLC0415

    assert tool.printable("a\x7fb\x9bc\u202ed\u200be\nf\u2028") == "a\\x7fb\\x9bc\\u202ed\\u200be\\nf\\u2028"
    # A keystore's names and a typed-data value, quoted by the library's errors.
    keystore = Account.encrypt(SECP_KEY, OTHER_PASS, kdf="pbkdf2", iterations=2)
    keystore["crypto"]["kdfparams"]["prf"] = "hmac\x9b2J\x7f"
    (tmp_path / "ks.json").write_text(json.dumps(keystore))
    args = ["import-keystore", "k", str(tmp_path / "ks.json"), "--no-passphrase", "--vault", vault]
    assert cli(args, OTHER_PASS + "\n")[2] == (
        "error: invalid parameters: unsupported keystore prf 'hmac\\x9b2J\\x7f', expected hmac-sha256\n")
    assert json.loads(cli(["--json"] + args, OTHER_PASS + "\n")[2])["error"]["message"].endswith(
        "prf 'hmac\x9b2J\x7f', expected hmac-sha256")
    _native.create_wallet("w", None, None, vault)
    typed = {"types": {"EIP712Domain": [], "M": [{"name": "n", "type": "uint256"}]}, "primaryType": "M",
             "domain": {}, "message": {"n": "1\x9b\x7f"}}
    (tmp_path / "t.json").write_text(json.dumps(typed))
    err = cli(["--json", "sign-typed-data", "w", "ethereum", str(tmp_path / "t.json"), "--yes",
                        "--no-passphrase", "--vault", vault])[2]
    assert "\x9b" not in err and "\x7f" not in err and "\\u009b" in err
    # A node's error reply.
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default",
                    'error:{"code": -32000, "message": "nonce \\u009b\\u007f"}')
    try:
        err = cli(["send", "w", "ethereum", EVM_TX, "--rpc-url", server.url, "--yes", "--no-passphrase",
                   "--vault", vault], env=REAL_CURL).err
    finally:
        server.stop()
    assert err.splitlines()[-1] == ('error: transaction not sent: RPC error: {"code":-32000,"message":"nonce '
                                    '\\x9b\\x7f"}')


def test_secrets_from_file_descriptors(cli, vault):
    _native.import_wallet_mnemonic("m", ZERO_PHRASE, PASS, None, vault)
    r, w = os.pipe()
    os.write(w, f"{PASS}\n{OTHER_PASS}\n".encode())
    os.close(w)
    try:
        # Both passphrases from one descriptor, a line each; standard input is not read.
        status, out, err = cli(["change-passphrase", "m", "--passphrase-fd", str(r), "--new-passphrase-fd",
                                         str(r), "--vault", vault])
        assert (status, err) == (0, ""), err
        assert cli(["pubkey", "m", "ethereum", "--passphrase-fd", str(r), "--vault", vault])[2] == \
            "error: no passphrase on file descriptor %d\n" % r
    finally:
        os.close(r)
    assert _native.export_wallet("m", OTHER_PASS, vault) == ZERO_PHRASE
    assert cli(["pubkey", "m", "ethereum", "--passphrase-fd", str(r), "--vault", vault])[2] == \
        "error: cannot read the passphrase from file descriptor %d: Bad file descriptor\n" % r


def test_list_shows_only_the_address_of_the_chain_asked_for(cli, shared):
    v, alpha = shared["vault"], shared["alpha"]
    with vek.Vault(v).unlock("alpha", PASS) as session:
        derived = {c.name: session.address(c.name) for c in vek.known_chains()}
    listed = {}
    for name in derived:
        status, out, _ = cli(["--json", "list", "--chain", name, "--vault", v])
        [doc] = json.loads(out)
        assert status == 0 and doc["chain"] == next(c.chain_id for c in vek.known_chains() if c.name == name)
        listed[name] = doc["address"]
    assert {n for n, a in listed.items() if a is None} == {
        "bitcoin-testnet", "bitcoin-signet", "osmosis", "celestia", "secret", "kava", "ton-testnet"}
    assert all(a == derived[n] for n, a in listed.items() if a is not None)
    status, out, err = cli(["list", "--chain", "kava", "--vault", v])
    assert out.split("\n")[1].split()[:3] == ["alpha", alpha["id"], "-"]
    assert err == (f"No stored account for kava: 'vek --vault {v} derive kava --wallet WALLET' derives its address "
                   "(asks for the passphrase).\n")


# ---------------------------------------------------------------- what the tool takes from the library's tables


def test_the_family_queries_agree_with_the_chain_table():
    chains = {c.name: c for c in vek.known_chains()}
    families = vek.families()
    assert [f.name for f in families] == ["evm", "solana", "cosmos", "bitcoin", "tron", "ton"]
    assert sorted(n for f in families for n in f.chains) == sorted(chains)
    for f in families:
        default = chains[f.default_chain]
        assert f.chains[0] == f.default_chain and {chains[n].family for n in f.chains} == {f.name}
        assert (f.coin_type, f.default_path.format(index=3)) == (default.coin_type, default.default_path(3))
        assert all(vek.message_formats(n) == f.message_formats for n in f.chains)
    assert vek.message_formats("eip155:5") == families[0].message_formats
    with pytest.raises(vek.InvalidInputError, match="unknown chain: 'atlantis'"):
        vek.message_formats("atlantis")


def test_help_and_refusals_follow_the_family_queries(cli, shared):
    v = shared["vault"]
    sign_help = " ".join(ok(cli(["sign-message", "--help"])).out.split())
    import_help = ok(cli(["import-key", "--help"])).out
    for f in vek.families():
        assert f"{', '.join(f.message_formats)} (" in sign_help
        assert all(k in import_help for k in f.key_formats if k != "keystore")
        # send takes what the library broadcasts; sign-tx notes what it cannot decode.
        sent = cli(["send", "alpha", f.default_chain, "00", "--vault", v])
        refused = f"error: sending covers EVM and Solana chains only, not {f.name}"
        assert (sent.error == refused) == (not f.broadcast), sent.error
        signed = cli(["sign-tx", "alpha", f.default_chain, "00", "--vault", v])
        assert ("transactions are not decoded" in signed.err) == (not f.decode), signed.err
    assert "keystore" not in import_help  # it has a command of its own


def test_send_signs_once_and_broadcasts_the_signed_bytes(cli, shared, monkeypatch):
    sent = []

    def broadcast(chain, signed, rpc_url, *, timeout=None):
        sent.append((chain, signed, rpc_url))
        return "0x" + "ab" * 32

    # The stand-in records what the tool hands vek.broadcast; the runner's curl fails any real request.
    monkeypatch.setattr(vek, "broadcast", broadcast, raising=False)
    v, url = shared["vault"], "http://127.0.0.1:9/"
    signed = json.loads(ok(cli(["--json", "sign-tx", "alpha", "ethereum", EVM_TX, "--vault", v], PASS + "\n")).out)
    doc = json.loads(ok(cli(["--json", "send", "alpha", "ethereum", EVM_TX, "--yes", "--rpc-url", url, "--vault", v],
                            PASS + "\n")).out)
    assert sent == [("ethereum", bytes.fromhex(signed["raw_transaction"][2:]), url)]
    assert doc == {"signer": ZERO_PHRASE_EVM, "tx_hash": "0x" + "ab" * 32}
    # Solana: the signature fills the fee payer's slot; the message is sent as given.
    nacl = pytest.importorskip("nacl.signing")
    payer = shared["alpha"]["accounts"][1]["address"]
    whole, message = solana_transfer(payer)
    ok(cli(["send", "alpha", "solana", whole, "--yes", "--rpc-url", url, "--vault", v], PASS + "\n"))
    chain, raw, _ = sent[1]
    assert (chain, raw[0], raw[65:]) == ("solana", 1, message)
    from solders.pubkey import Pubkey  # noqa: PLC0415

    nacl.VerifyKey(bytes(Pubkey.from_string(payer))).verify(message, raw[1:65])


# ---------------------------------------------------------------- BIP-39 passphrases, accounts, receiving

BIP39 = "  Mixed Case Pass "  # blanks and case are part of it


def evm_address(path, bip39=""):
    Account.enable_unaudited_hdwallet_features()
    return Account.from_mnemonic(ZERO_PHRASE, passphrase=bip39, account_path=path).address


def test_a_bip39_passphrase_is_imported_asked_for_and_named(cli, vault, shared):
    expected = evm_address("m/44'/60'/0'/0/0", BIP39)
    p = ok(cli(["--json", "import-mnemonic", "b", "--bip39-passphrase", "--vault", vault],
               ZERO_PHRASE + "\n" + BIP39 + "\n" + PASS + "\n"))
    w = json.loads(p.out)
    assert w["bip39_passphrase"] is True and w["accounts"][0]["address"] == expected
    assert "BIP-39" in ok(cli(["show", "b", "--vault", vault])).out
    # Asked for after the wallet's passphrase (piped), or named; the signer is the BIP-39 account.
    for stdin, env, extra in ((PASS + "\n" + BIP39 + "\n", None, []),
                              (PASS + "\n", {"BP": BIP39}, ["--bip39-passphrase-env", "BP"])):
        doc = json.loads(ok(cli(["--json", "sign-message", "b", "ethereum", "hi", "--vault", vault, *extra],
                                stdin, env)).out)
        assert doc["signer"] == expected
    wrong = cli(["sign-message", "b", "ethereum", "hi", "--vault", vault], PASS + "\n" + BIP39.strip() + "\n")
    assert "BIP-39" in error_of(wrong)
    # Export says the phrase alone is not the wallet; derive takes the passphrase too.
    e = ok(cli(["export", "b", "--yes", "--vault", vault], PASS + "\n"))
    assert e.out == ZERO_PHRASE + "\n" and "BIP-39 passphrase" in e.err
    assert json.loads(ok(cli(["--json", "export", "b", "--yes", "--vault", vault], PASS + "\n")).out)[
        "bip39_passphrase"] is True
    assert ok(cli(["derive", "ethereum", "--bip39-passphrase"], ZERO_PHRASE + "\n" + BIP39 + "\n")).out == expected + "\n"
    # A wallet without one refuses one before anything is asked.
    p = cli(["sign-message", "alpha", "ethereum", "hi", "--bip39-passphrase-env", "BP", "--vault", shared["vault"]],
            env={"BP": "x"})
    assert error_of(p) == f"error: wallet 'alpha' ({shared['alpha']['id']}) has no BIP-39 passphrase; give none"


def test_imports_say_what_they_made_and_what_was_there(cli, vault):
    p = ok(cli(["--json", "import-key", "k", "--vault", vault], SECP_KEY + "\n" + PASS + "\n"))
    assert json.loads(p.out)["generated_keys"] == ["ed25519"]
    if hasattr(vek.Wallet, "generated_keys"):  # the wallet file records it
        shown = ok(cli(["show", "k", "--vault", vault])).out
        marked = [line.split()[0] for line in shown.splitlines() if line.endswith("*") or " * " in line]
        assert "Random" in shown and {"solana", "ton"} <= set(marked) and "ethereum" not in marked
    # The same phrase twice: imported, with a notice naming the first wallet; a short passphrase gets a hint.
    ok(cli(["import-mnemonic", "one", "--no-passphrase", "--vault", vault], ZERO_PHRASE + "\n"))
    p = ok(cli(["import-mnemonic", "two", "--vault", vault], ZERO_PHRASE + "\nshort\n"))
    assert "wallet 'one'" in p.err and "imported before" in p.err and "hint:" in p.err


def test_signing_commands_take_a_path_or_a_preset(cli, shared, tmp_path):
    v = shared["vault"]
    cases = [(["--path", "m/44'/60'/0'/0/3"], "m/44'/60'/0'/0/3"),
             (["--preset", "evm-account", "--index", "2"], "m/44'/60'/2'/0/0")]
    typed = tmp_path / "t.json"
    typed.write_text(json.dumps(TYPED))
    for option, path in cases:
        for command in (["sign-message", "alpha", "ethereum", "hi"], ["sign-tx", "alpha", "ethereum", EVM_TX],
                        ["sign-typed-data", "alpha", "ethereum", str(typed), "--yes"]):
            doc = json.loads(ok(cli(["--json", *command, *option, "--vault", v], PASS + "\n")).out)
            assert doc["signer"] == evm_address(path), command
    doc = json.loads(ok(cli(["--json", "derive", "ethereum", "--wallet", "alpha", *cases[1][0], "--vault", v],
                            PASS + "\n")).out)
    assert doc["path"] == cases[1][1] and doc["address"] == evm_address(cases[1][1])
    assert json.loads(ok(cli(["--json", "derive", "bitcoin", "--index", "4"], ZERO_PHRASE + "\n")).out)[
        "path"] == "m/84'/0'/0'/0/4"


TYPED = {
    "types": {"EIP712Domain": [{"name": "name", "type": "string"}, {"name": "chainId", "type": "uint256"}],
              "Mail": [{"name": "body", "type": "string"}]},
    "primaryType": "Mail",
    "domain": {"name": "d", "chainId": 1},
    "message": {"body": "hi"},
}


@pytest.mark.parametrize(
    "args, document, message",
    [
        (["sign-message", "alpha", "ethereum", "hi", "--format", "eip999"], None,
         "error: unknown message format for ethereum: 'eip999' (it signs in eip191, eip712)"),
        (["sign-message", "alpha", "ton", "hi", "--format", "ton_proof"], None,
         "error: ton_proof signs for a dApp: give its domain with --domain"),
        (["sign-typed-data", "alpha", "solana"], TYPED,
         "error: typed data (EIP-712) is signed on EVM chains, not on solana (Solana)"),
        (["sign-typed-data", "alpha", "ethereum"], dict(TYPED, domain={"name": "d", "chainId": "0x89"}),
         "error: the typed data's domain chainId 137 is not that of 'ethereum' (eip155:1)"),
        (["import-key", "k", "--chain", "solana", "--format", "wif"], None,
         "error: wif is a Bitcoin key format, not one of solana's"),
        (["receive", "alpha", "cosmos", "--amount", "1"], None,
         "error: Cosmos has no payment URI: --amount does not apply to cosmos"),
    ],
)
def test_checks_without_a_secret_come_before_any_question(cli, shared, tmp_path, args, document, message):
    if document is not None:
        (tmp_path / "t.json").write_text(json.dumps(document))
        args = args + [str(tmp_path / "t.json")]
    p = cli(args + ["--vault", shared["vault"]], "y\n" + PASS + "\n")
    assert error_of(p, p.returncode) == message and p.returncode in (1, 2)
    assert "[y/N]" not in p.err and "Passphrase" not in p.err


@pytest.mark.parametrize(
    "chain, amount, uri",
    [
        ("bitcoin", "0.00010", "bitcoin:{a}?amount=0.0001"),
        ("ethereum", "1.5", "ethereum:{a}@1?value=1500000000000000000"),
        ("polygon", "123456789.123456789012345678", "ethereum:{a}@137?value=123456789123456789012345678"),
        ("solana", ".25", "solana:{a}?amount=0.25"),
        ("ethereum", None, "ethereum:{a}@1"),
        ("cosmos", None, None),
    ],
)
def test_receive_shows_the_address_its_uri_and_its_qr_code(cli, shared, chain, amount, uri):
    segno = pytest.importorskip("segno")
    v = shared["vault"]
    extra = ["--amount", amount] if amount else []
    slot = {"bitcoin": 2, "ethereum": 0, "polygon": 0, "solana": 1, "cosmos": 3}[chain]
    address = shared["alpha"]["accounts"][slot]["address"]
    doc = json.loads(ok(cli(["--json", "receive", "alpha", chain, *extra, "--vault", v])).out)
    assert doc["address"] == address
    assert doc["uri"] == (uri.format(a=address) if uri else None)
    text = ok(cli(["receive", "alpha", chain, *extra, "--vault", v])).out.splitlines()
    assert text[0] == address and (uri is None or text[1] == doc["uri"])
    # The drawing, two rows of modules a line (a light module is a block), is segno's matrix,
    # and a QR reader (zxing-cpp) reads the URI from it.
    drawing = text[2 if uri else 1:]
    drawing = drawing[1:] if drawing[0] == "" else drawing
    light = {"█": (1, 1), "▀": (1, 0), "▄": (0, 1), " ": (0, 0)}
    rows = [r for line in drawing for r in zip(*(light[c] for c in line))]
    modules = [[1 - m for m in row[4:-4]] for row in rows[4:4 + len(rows[0]) - 8]]
    assert modules == [[int(m) for m in row] for row in segno.make_qr(doc["uri"] or address, error="m").matrix]
    assert read_qr(rows) == (doc["uri"] or address)


def read_qr(rows, scale=4):
    """The text a QR reader finds in `rows` of modules (1: light), drawn `scale` pixels a module."""
    zxingcpp = pytest.importorskip("zxingcpp")
    pixels = bytes(255 * m for row in rows for _ in range(scale) for m in row for _ in range(scale))

    class Image:  # a grey image as the reader takes it, without numpy
        __array_interface__ = {"shape": (len(rows) * scale, len(rows[0]) * scale), "typestr": "|u1",
                               "data": pixels, "version": 3}

    return "".join(b.text for b in zxingcpp.read_barcodes(Image()))


@pytest.mark.parametrize(
    "chain, amount, message",
    [
        ("ethereum", "-1", "error: the amount must not be negative: -1"),
        ("ethereum", "1e5", "error: invalid amount: '1e5' (a decimal number, such as 0.25)"),
        ("bitcoin", "NaN", "error: invalid amount: 'NaN' (a decimal number, such as 0.25)"),
        ("solana", "0.0000000001", "error: SOL has 9 decimals: 0.0000000001 has more"),
        ("bitcoin", "0.000", "error: the amount must be above zero"),
    ],
)
def test_receive_refuses_amounts_it_cannot_write_exactly(cli, shared, chain, amount, message):
    assert error_of(cli(["receive", "alpha", chain, "--amount", amount, "--vault", shared["vault"]])) == message


def test_change_passphrase_flags_have_one_meaning_each(cli, vault):
    ok(cli(["import-mnemonic", "m", "--no-passphrase", "--vault", vault], ZERO_PHRASE + "\n"))
    ok(cli(["change-passphrase", "m", "--no-passphrase", "--new-passphrase-env", "N", "--vault", vault],
           env={"N": PASS}))
    ok(cli(["change-passphrase", "m", "--no-new-passphrase", "--vault", vault], PASS + "\n"))
    ok(cli(["change-passphrase", "m", "--old-empty", "--vault", vault], OTHER_PASS + "\n"))  # the former name
    assert _native.export_wallet("m", OTHER_PASS, vault) == ZERO_PHRASE
    p = cli(["change-passphrase", "m", "--no-new-passphrase", "--new-passphrase-env", "N", "--vault", vault])
    assert "not allowed with argument" in error_of(p, 2)


def test_completion_follows_the_vault_to_wallet_and_chain_names(cli, shared, tmp_path):
    script = ok(cli(["completion", "bash"])).out
    stub = tmp_path / "vek"
    stub.write_text(f"#!/bin/sh\nexec {sys.executable} -m vek \"$@\"\n")
    stub.chmod(0o755)

    def complete(*words):
        run = script + f"COMP_WORDS=({' '.join(shlex.quote(w) for w in words)}); COMP_CWORD={len(words) - 1}\n" \
            "_vek_complete; printf '%s\\n' \"${COMPREPLY[@]}\"\n"
        env = dict(os.environ, PATH=f"{tmp_path}:{os.environ['PATH']}")
        return subprocess.run(["bash", "-c", run], capture_output=True, text=True, env=env).stdout.split()

    assert complete("vek", "--vault", shared["vault"], "show", "") == ["alpha"]
    assert complete("vek", "--vault", shared["vault"], "sign-message", "alpha", "pol") == ["polygon"]
    assert complete("vek", "sign-tx", "--index", "3", "alpha", "sol")[:1] == ["solana"]
    assert "--preset" in complete("vek", "send", "--pr")
