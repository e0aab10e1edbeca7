"""The application face: vek.Vault and vek.Session over the same files and operations as
vek._native, with typed results and exceptions, released interpreter lock, and sessions
that sign with the account the wallet stores."""
import json
import math
import os
import pathlib
import subprocess
import sys
import threading
import time
import warnings

import pytest

import vek
from conftest import raises
from cli_helpers import solana_transfer
from test_broadcast import Server, eip1559, rpc  # noqa: F401 (rpc is a fixture)
from test_wallets import KEY, ZERO_PHRASE
from vek import _native

eth_account = pytest.importorskip("eth_account")
from eth_account.messages import encode_defunct  # noqa: E402

from eth_utils import keccak  # noqa: E402

PASS = "app passphrase"
CHAINS = ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"]
REPO = pathlib.Path(__file__).resolve().parents[2]


def recover(message, signature_hex):
    return eth_account.Account.recover_message(encode_defunct(text=message), signature=signature_hex)


def app_form(chain, native_signature):
    """The application API writes EVM signatures as EVM libraries do, with "0x"; vek._native without."""
    evm = any(c.family == "evm" for c in vek.known_chains() if c.name == chain)
    return ("0x" if evm else "") + native_signature


@pytest.fixture
def app(vault):
    return vek.Vault(vault)


# ---------------------------------------------------------------- the stored account signs


def test_a_wallet_imported_at_index_2_signs_with_its_listed_index_2_keys(app, vault):
    wallet = app.import_mnemonic("two", ZERO_PHRASE, PASS, index=2)
    listed = {a.chain_id: a.address for a in wallet.accounts}
    with app.unlock("two", PASS) as session:
        for chain, account in zip(CHAINS, wallet.accounts):
            assert account.derivation_path.endswith(("/2", "/2'", "2'/0'")), account
            assert session.address(chain) == account.address == _native.derive_address(ZERO_PHRASE, chain, 2)
            # The same signature as vek._native gives only when told the index again.
            # format "raw" (EVM: its standard eip191) is vek._native's layout.
            signed = session.sign_message(chain, "stored index", format=None if chain == "ethereum" else "raw")
            ours = _native.sign_message("two", chain, "stored index", PASS, index=2, vault_path_opt=vault)
            assert (signed.signature, signed.recovery_id) == (app_form(chain, ours["signature"]), ours["recovery_id"])
            assert session.address(chain) != _native.derive_address(ZERO_PHRASE, chain, 0)
        # eth-account recovers the listed index-2 address from the signature.
        evm = session.sign_message("ethereum", "stored index")
        assert recover("stored index", evm.signature) == listed["eip155:1"]
        # An explicit index selects the default path for that index instead.
        assert session.address("ethereum", index=0) == _native.derive_address(ZERO_PHRASE, "ethereum", 0)
        assert recover("i0", session.sign_message("polygon", "i0", index=0).signature) == session.address("evm", 0)


def test_private_key_wallet_signs_with_its_stored_keys(app, vault):
    wallet = app.import_private_key("pk", KEY, passphrase=PASS)
    with app.unlock("pk", PASS) as session:
        assert [session.address(c) for c in CHAINS] == [a.address for a in wallet.accounts]
        assert session.address("ethereum", index=7) == wallet.accounts[0].address
        assert recover("k", session.sign_message("ethereum", "k").signature) == wallet.accounts[0].address
        # bytes are signed as they are; hex text as the bytes it spells.
        assert session.sign_message("ethereum", b"k") == session.sign_message("ethereum", "6b", encoding="hex")


def test_evm_transaction_carries_the_signed_raw_transaction_and_its_hash(app, vault):
    app.import_private_key("pk", KEY, passphrase=PASS)
    fields, unsigned = eip1559(1, 5, data=b"\x01\x02")
    with app.unlock("pk", PASS) as session:
        signed = session.sign_transaction("ethereum", "0x" + unsigned.hex())
        assert session.sign_transaction("ethereum", unsigned) == signed
    reference = eth_account.Account.sign_transaction(fields, "0x" + KEY)
    assert signed.raw_transaction == "0x" + bytes(reference.raw_transaction).hex()
    assert signed.tx_hash == "0x" + keccak(bytes.fromhex(signed.raw_transaction[2:])).hex() == "0x" + bytes(
        reference.hash).hex()
    ours = _native.sign_transaction("pk", "ethereum", unsigned.hex(), PASS, vault_path_opt=vault)
    assert (signed.signature, signed.recovery_id) == ("0x" + ours["signature"], ours["recovery_id"])
    # Bytes that are no Solana transaction are not signed as one (vek._native signs them as given).
    with app.unlock("pk", PASS) as session:
        raises(vek.InvalidInputError, "invalid input: invalid solana transaction: it has no signature slots",
               session.sign_transaction, "solana", "abcd")
    assert _native.sign_transaction("pk", "solana", "abcd", PASS, vault_path_opt=vault)["signature"]


def evm_hash(fields):
    """The hash of the transaction eth-account signs with KEY: what a node answers."""
    return "0x" + bytes(eth_account.Account.sign_transaction(fields, "0x" + KEY).hash).hex()


def test_send_posts_the_raw_transaction_and_returns_the_node_hash(app, tmp_path):
    app.import_private_key("pk", KEY, passphrase=PASS)
    log = tmp_path / "requests.jsonl"
    # The second body (200 KB) is longer than a line curl reads from its configuration.
    small, large = eip1559(1, 0), eip1559(1, 1, data=b"\xab" * 100_000, gas=5_000_000)
    server = Server("rpc_server.py", str(log), "--route", "/small=result:" + evm_hash(small[0]),
                    "--route", "/large=result:" + evm_hash(large[0]))
    raws = []
    try:
        with app.unlock("pk", PASS) as session:
            for path, (fields, unsigned) in (("/small", small), ("/large", large)):
                assert session.send("ethereum", unsigned.hex(), rpc_url=server.url + path) == evm_hash(fields)
                raws.append(session.sign_transaction("ethereum", unsigned).raw_transaction)
    finally:
        server.stop()
    requests = [json.loads(line) for line in log.read_text().splitlines()]
    assert [json.loads(r["body"])["params"] for r in requests] == [[raw] for raw in raws]


# ---------------------------------------------------------------- submitting: endpoint, redirects, hash


@pytest.fixture
def pk_session(app):
    app.import_private_key("pk", KEY, passphrase=PASS)
    with app.unlock("pk", PASS) as session:
        yield session


def test_send_follows_a_redirect_only_to_the_same_host(pk_session, rpc):
    fields, unsigned = eip1559(1, 0)
    admin = rpc("--default", "raw:internal admin reply")
    node = rpc("--route", "/a=redirect:307:/b", "--route", "/b=result:" + evm_hash(fields),
                   "--route", f"/away=redirect:307:{admin.url}/internal-admin", "--route", "/loop=redirect:308:/loop")
    node_url = node.url.replace("127.0.0.1", "localhost")  # the admin service is on another host name
    assert pk_session.send("ethereum", unsigned, rpc_url=node_url + "/a") == evm_hash(fields)
    a, b = node.log()
    assert (a["path"], b["path"], b["method"], b["body"]) == ("/a", "/b", "POST", a["body"])
    raises(vek.BroadcastError, "broadcast failed: refusing the node's redirect to http://127.0.0.1: a redirect is "
           "followed only to the endpoint's own host (localhost) and never from https to http",
           pk_session.send, "ethereum", unsigned, rpc_url=node_url + "/away")
    assert admin.log() == []
    raises(vek.BroadcastError, "broadcast failed: the node redirected more than 3 times",
           pk_session.send, "ethereum", unsigned, rpc_url=node_url + "/loop")
    assert [r["path"] for r in node.log()[3:]] == ["/loop"] * 4


def curl_children():
    """The argument vectors of this process's curl children, from /proc."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            stat = (entry / "stat").read_text()
            cmdline = (entry / "cmdline").read_bytes()
        except (OSError, ValueError):
            continue
        comm, fields = stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2:].split()
        if comm == "curl" and int(fields[1]) == os.getpid():
            found.append(cmdline.split(b"\0")[:-1])
    return found


def test_send_keeps_the_endpoint_and_the_transaction_off_the_command_line(pk_session, rpc, isolated_home, vault):
    node = rpc("--default", "hang:")
    url = node.url + "/rpc?apikey=SECRET-KEY-42"
    (isolated_home / ".vek").mkdir()
    (isolated_home / ".vek" / "config.json").write_text(json.dumps({"vault_path": vault, "rpc": {"eip155:1": url}}))
    _, unsigned = eip1559(1, 0)
    outcome = []

    def send():
        try:
            pk_session.send("ethereum", unsigned)
        except vek.VekError as e:
            outcome.append(type(e))

    waiter = threading.Thread(target=send)
    waiter.start()
    try:
        deadline = time.monotonic() + 30
        while not node.log():  # the request arrived: curl now waits for the reply
            assert waiter.is_alive() and time.monotonic() < deadline
            time.sleep(0.05)
        argv = curl_children()
    finally:
        node.stop()  # the connection drops and curl fails
        waiter.join()
    assert node.log()[0]["path"] == "/rpc?apikey=SECRET-KEY-42"
    assert argv == [[b"curl", b"-q", b"-K", b"/dev/fd/3"]]
    assert outcome == [vek.SendOutcomeUnknownError]  # the request had gone out when the node went away


def test_an_unusable_configuration_is_refused_never_passed_over(pk_session, isolated_home, tmp_path, monkeypatch):
    # A stand-in curl first on PATH: a fall-back to a public node would reach it, not the network.
    fake = tmp_path / "bin"
    fake.mkdir()
    (fake / "curl").write_text(f"#!/bin/sh\ntouch {tmp_path / 'curl-ran'}\nexit 7\n")
    (fake / "curl").chmod(0o755)
    monkeypatch.setenv("PATH", f"{fake}:{os.environ['PATH']}")
    config = isolated_home / ".vek" / "config.json"
    config.parent.mkdir()
    config.write_text(json.dumps({"rpc": {"eip155:1": "http://127.0.0.1:9/"}}))
    _, unsigned = eip1559(1, 0)
    unused = f"invalid input: the configuration file {config} is not used: missing field `vault_path`"
    raises(vek.InvalidInputError, unused, vek.rpc_endpoint, "ethereum")
    raises(vek.InvalidInputError, unused, pk_session.send, "ethereum", unsigned)
    assert not (tmp_path / "curl-ran").exists()
    # Without a file, a chain with no built-in node has no endpoint (never an empty URL).
    config.unlink()
    none = (f'invalid input: no RPC endpoint for \'eip155:5\' (eip155:5): give rpc_url, or add "eip155:5" to the "rpc" '
            f"object of {config}")
    raises(vek.InvalidInputError, none, vek.rpc_endpoint, "eip155:5")
    raises(vek.InvalidInputError, none, pk_session.send, "eip155:5", eip1559(5, 0)[1])
    assert not (tmp_path / "curl-ran").exists()


def test_send_refuses_a_node_hash_that_is_not_the_transactions(pk_session, rpc):
    solders = pytest.importorskip("solders.signature")
    fields, unsigned = eip1559(1, 0)
    ours = evm_hash(fields)
    whole, _ = solana_transfer(pk_session.address("solana"))
    whole = bytes.fromhex(whole)
    signature = pk_session.sign_transaction("solana", whole).signature
    solana_hash = str(solders.Signature.from_bytes(bytes.fromhex(signature)))
    hostile = "\x1b[2J" + "a" * 200
    for answer, chain, tx, expected in [
        ("0x" + "11" * 32, "ethereum", unsigned, f"0x{'11' * 32}, but the transaction sent has hash {ours}"),
        (hostile, "ethereum", unsigned, "\\u001b[2J" + "a" * 91 + f"…, but the transaction sent has hash {ours}"),
        (ours, "solana", whole, f"{ours}, but the transaction sent has hash {solana_hash}"),
    ]:
        node = rpc("--default", "result:" + answer)
        raises(vek.BroadcastError, "broadcast failed: the node answered transaction hash " + expected,
               pk_session.send, chain, tx, rpc_url=node.url)
    # EVM hashes are hex, whatever their case; a Solana hash is the signature's base58.
    shouted = "0x" + ours[2:].upper()
    assert pk_session.send("ethereum", unsigned, rpc_url=rpc("--default", "result:" + shouted).url) == shouted
    assert pk_session.send("solana", whole, rpc_url=rpc("--default", "result:" + solana_hash).url) == solana_hash


def test_evm_transactions_a_node_would_read_otherwise_are_refused_on_every_session_path(app, vault):
    """Bytes after the transaction, or a chain id in a non-canonical form, would be signed as
    given but read differently by a node (another sender, or another chain than checked)."""
    app.import_private_key("pk", KEY, passphrase=PASS)
    _, unsigned = eip1559(1, 0)
    _, polygon = eip1559(137, 0)
    assert polygon[1] < 0xF7 and polygon[2:4] == b"\x81\x89"
    long_form = bytes([2, polygon[1] + 1]) + b"\xb8\x01\x89" + polygon[4:]  # 137 as b8 01 89
    refused = {
        unsigned + b"\x00": "invalid input: 1 byte follows the transaction's RLP list",
        long_form: "invalid input: non-canonical RLP length: a long form for a length below 56",
    }
    with app.unlock("pk", PASS) as session:
        for tx, message in refused.items():
            for call in (lambda: session.sign_transaction("ethereum", tx),
                         lambda: session.send("ethereum", tx.hex(), rpc_url="http://127.0.0.1:1")):
                with pytest.raises(vek.InvalidInputError) as info:
                    call()
                assert str(info.value) == message
    with pytest.raises(RuntimeError) as native:
        _native.sign_and_send("pk", "ethereum", (unsigned + b"\x00").hex(), PASS, None, "http://127.0.0.1:1", vault)
    assert str(native.value) == refused[unsigned + b"\x00"]
    with pytest.raises(vek.InvalidInputError) as info:
        vek.decode_transaction("ethereum", long_form)
    assert str(info.value) == ("invalid input: invalid evm transaction: "
                               "non-canonical RLP length: a long form for a length below 56")


# ---------------------------------------------------------------- closed and expired sessions


def test_closed_and_expired_sessions_refuse_and_say_why(app):
    app.create("c", PASS)
    closed = "session closed: unlock the wallet again to sign"
    with app.unlock("c", PASS) as session:
        assert not session.closed
        assert session.wallet == app.get("c")
    assert session.closed
    for call in (lambda: session.address("ethereum"), lambda: session.sign_message("ethereum", "m"),
                 lambda: session.sign_transaction("ethereum", "02c0"), lambda: session.send("ethereum", "02c0")):
        with pytest.raises(vek.SessionClosedError) as info:
            call()
        assert str(info.value) == closed
    session.close()  # again: nothing happens
    # Argument errors still come first, as in vek._native.
    with pytest.raises(vek.InvalidInputError):
        session.sign_message("nochain", "m")

    # A forked child gets the session wiped (its pages are not inherited), never a zeroed seed.
    with app.unlock("c", PASS) as session:
        pid = os.fork()
        if pid == 0:  # pragma: no cover - the child reports through its exit status
            try:
                session.sign_message("ethereum", "child")
                os._exit(1)
            except vek.SessionClosedError as e:
                os._exit(0 if str(e) == "session closed: a session does not pass to a forked process; "
                                         "unlock the wallet again to sign" and session.closed else 2)
            except BaseException:
                os._exit(3)
        assert os.waitpid(pid, 0)[1] == 0
        assert session.address("ethereum") == app.get("c").accounts[0].address

    short = app.unlock("c", PASS, ttl=0.05)
    short.address("ethereum")
    threading.Event().wait(0.1)
    with pytest.raises(vek.SessionClosedError) as info:
        short.sign_message("ethereum", "late")
    assert str(info.value) == "session closed: its time to live of 0.05 s ran out; unlock the wallet again to sign"
    assert short.closed
    for ttl in (0, -1.0, math.nan):
        with pytest.raises(vek.InvalidInputError) as info:
            app.unlock("c", PASS, ttl=ttl)
        assert str(info.value) == "invalid input: ttl must be a positive number of seconds"
    assert not app.unlock("c", PASS, ttl=math.inf).closed


def test_unlock_refuses_a_wallet_whose_stored_address_was_replaced(app, vault):
    wallet = app.create("shown", PASS)
    path = pathlib.Path(vault) / "wallets" / f"{wallet.id}.json"
    doc = json.loads(path.read_text())
    doc["accounts"][0]["address"] = "0x" + "ab" * 20
    path.write_text(json.dumps(doc))
    with pytest.raises(vek.InvalidInputError) as info:
        app.unlock("shown", PASS)
    assert str(info.value) == "invalid input: the stored accounts of wallet 'shown' do not match its secret"
    with pytest.raises(RuntimeError) as native:
        _native.sign_message("shown", "ethereum", "m", PASS, vault_path_opt=vault)
    assert str(native.value) == str(info.value)


FORKED = "session closed: a session does not pass to a forked process; unlock the wallet again to sign"


def test_a_child_forked_while_another_thread_signs_finds_the_session_closed(app):
    app.create("f", PASS)
    with app.unlock("f", PASS) as session:
        stop = threading.Event()

        def sign():
            while not stop.is_set():
                session.sign_message("ethereum", "busy")

        signer = threading.Thread(target=sign)
        signer.start()
        try:
            for _ in range(5):
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore", DeprecationWarning)  # fork with a thread running
                    pid = os.fork()
                if pid == 0:  # pragma: no cover - the child reports through its exit status
                    code = 3
                    try:
                        session.sign_message("ethereum", "child")
                        code = 1
                    except vek.SessionClosedError as e:
                        session.close()
                        code = 0 if str(e) == FORKED and session.closed else 2
                    finally:
                        os._exit(code)
                # A child that hangs on the lock fails the test instead of hanging it.
                for _ in range(600):
                    done, status = os.waitpid(pid, os.WNOHANG)
                    if done:
                        break
                    threading.Event().wait(0.05)
                else:
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                    pytest.fail("the forked child hung on the session")
                assert os.waitstatus_to_exitcode(status) == 0
        finally:
            stop.set()
            signer.join()
        assert not session.closed


def test_add_account_refuses_a_file_that_now_holds_another_secret(app, vault):
    w = app.create("a", PASS)
    with app.unlock("a", PASS) as session:
        # Another wallet's file restored under this wallet's id.
        other = app.create("b", PASS)
        wallets = pathlib.Path(vault) / "wallets"
        doc = json.loads((wallets / f"{other.id}.json").read_text())
        doc["id"], doc["name"] = w.id, "a"
        (wallets / f"{other.id}.json").unlink()
        (wallets / f"{w.id}.json").write_text(json.dumps(doc))
        before = (wallets / f"{w.id}.json").read_bytes()
        with pytest.raises(vek.VaultError) as info:
            session.add_account("ethereum", index=1)
        assert str(info.value) == (
            f"I/O error: refusing to add an account to wallet '{w.id}': its file holds another encrypted "
            "secret than the one this session unlocked; unlock the wallet again"
        )
        assert (wallets / f"{w.id}.json").read_bytes() == before


def test_reading_a_missing_vault_creates_nothing(tmp_path, vault):
    root = tmp_path / "typo" / "path"
    app = vek.Vault(root)
    assert app.wallets() == []
    for call in (lambda: app.get("main"), lambda: app.unlock("main", PASS), lambda: app.export("main", PASS),
                 lambda: app.export_key("main", "ethereum", "hex", PASS), lambda: app.public_key("main", "ethereum", PASS),
                 lambda: app.delete("main"), lambda: app.rename("main", "new"),
                 lambda: app.change_passphrase("main", PASS, "new")):
        with pytest.raises(vek.WalletNotFoundError) as info:
            call()
        assert str(info.value) == "wallet not found: 'main'"
    assert not (tmp_path / "typo").exists()
    # An existing directory does not get a wallets directory either, until a wallet is written.
    root.mkdir(parents=True)
    assert app.wallets() == []
    assert list(root.iterdir()) == []
    app.create("main", PASS)
    assert [w.name for w in app.wallets()] == ["main"]
    # vek._native keeps creating the vault on every call.
    _native.list_wallets(vault)
    assert (pathlib.Path(vault) / "wallets").is_dir()


PHRASE_ERRORS = [
    (ZERO_PHRASE.replace("about", "abuot"), "word 12 is not in the BIP-39 English word list: `abuot`"),
    (ZERO_PHRASE.replace(" ", "\t", 3), "word 1 is not in the BIP-39 English word list (not shown: not a run of "
                                        "at most 16 letters; words are separated by single spaces)"),
    ("abandon" * 3 + " " + ZERO_PHRASE, "word 1 is not in the BIP-39 English word list (not shown: not a run of "
                                        "at most 16 letters; words are separated by single spaces)"),
    (ZERO_PHRASE + " ", "word 13 is empty (words are separated by single spaces, with none before or after)"),
    (" ".join(["abandon"] * 12), "the checksum does not match: a word is wrong, or the words are out of order"),
    (" ".join(["abandon"] * 11), "11 words; a phrase has 12, 15, 18, 21 or 24 words"),
    ("abandon", "1 word; a phrase has 12, 15, 18, 21 or 24 words"),
]


def test_phrase_errors_quote_no_more_than_the_word_not_in_the_list(app):
    for phrase, reason in PHRASE_ERRORS:
        for call in (lambda: vek.derive_address(phrase, "ethereum"), lambda: app.import_mnemonic("m", phrase, "")):
            with pytest.raises(vek.MnemonicError) as info:
                call()
            assert str(info.value) == "invalid mnemonic phrase: " + reason
    # vek._native keeps its texts.
    with pytest.raises(RuntimeError) as info:
        _native.derive_address(" ".join(["abandon"] * 12), "ethereum")
    assert str(info.value) == "invalid mnemonic phrase: the phrase `" + " ".join(["abandon"] * 12) + "` is invalid"


OUT_OF_MEMORY = "not enough memory for the key derivation: scrypt needs 268435456 bytes (256 MiB)"


def test_a_key_derivation_without_memory_is_not_a_wrong_passphrase(app, vault, isolated_home):
    app.create("m", PASS)
    # The address space is limited to what the child has mapped and 64 MiB more: scrypt's
    # 256 MiB cannot be mapped.
    script = """if True:
        import resource, sys, vek, vek.cli
        with open("/proc/self/status") as f:
            size = next(int(line.split()[1]) for line in f if line.startswith("VmSize:")) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + (64 << 20),) * 2)
        try:
            vek.Vault(sys.argv[1]).unlock("m", sys.argv[2])
        except vek.OutOfMemoryError as e:
            print(isinstance(e, MemoryError), isinstance(e, vek.VekError), str(e))
        sys.exit(vek.cli.main(["--vault", sys.argv[1], "pubkey", "m", "ethereum", "--passphrase-env", "P"]))
    """
    env = dict(os.environ, P=PASS)
    p = subprocess.run([sys.executable, "-c", script, vault, PASS], capture_output=True, text=True, env=env, timeout=120)
    assert p.stdout == f"True True {OUT_OF_MEMORY}\n"
    assert (p.returncode, p.stderr) == (1, f"error: {OUT_OF_MEMORY}\n")


# ---------------------------------------------------------------- exceptions


def copy_wallet(vault, wallet_id, new_id, name, **crypto_changes):
    d = pathlib.Path(vault) / "wallets"
    doc = json.loads((d / f"{wallet_id}.json").read_text())
    doc["id"], doc["name"] = new_id, name
    doc["crypto"]["kdfparams"].update(crypto_changes)
    (d / f"{new_id}.json").write_text(json.dumps(doc))


@pytest.fixture
def failures(app, vault, tmp_path):
    """{exception class: (call of vek, call of vek._native for the same failure or None)}."""
    w = app.create("w", PASS)
    copy_wallet(vault, w.id, "weak-kdf", "weak", n=1024)
    copy_wallet(vault, w.id, "twin-1", "twins")
    copy_wallet(vault, w.id, "twin-2", "twins")
    app.import_mnemonic("b39", ZERO_PHRASE, PASS, bip39_passphrase="right")
    a_file = tmp_path / "a-file"
    a_file.write_text("")
    server = Server("rpc_server.py", str(tmp_path / "log"), "--default", "raw:<html>", "--route", "/500=status:500",
                    "--route", "/404=status:404", "--route", "/null=raw:" + json.dumps({"result": None}),
                    "--route", "/other=result:0x" + "11" * 32)
    cancelled = vek.Cancel()
    cancelled.cancel()
    session = app.unlock("w", PASS)
    tx = eip1559(1, 0)[1]
    v = vault
    yield {
        vek.WalletNotFoundError: (lambda: app.get("nobody"), lambda: _native.get_wallet("nobody", v)),
        vek.AmbiguousWalletError: (lambda: app.unlock("twins", PASS), lambda: _native.get_wallet("twins", v)),
        vek.WalletNameExistsError: (lambda: app.create("w", ""), lambda: _native.create_wallet("w", vault_path_opt=v)),
        vek.InvalidInputError: (lambda: app.create("x", "", words=13), lambda: _native.create_wallet("x", None, 13, v)),
        # A node answering another transaction's hash (vek._native does not compare hashes).
        vek.BroadcastError: (lambda: session.send("ethereum", tx, rpc_url=server.url + "/other"), None),
        vek.NotSentError: (lambda: session.send("ethereum", tx, rpc_url=server.url + "/404"), None),
        vek.SendOutcomeUnknownError: (lambda: session.send("ethereum", tx, rpc_url=server.url + "/500"), None),
        vek.WaitTimeoutError: (lambda: session.wait("ethereum", "0x" + "00" * 32, rpc_url=server.url + "/null",
                                                    timeout=0.2), None),
        vek.WaitCancelledError: (lambda: session.wait("ethereum", "0x" + "00" * 32, rpc_url=server.url,
                                                      cancel=cancelled), None),
        vek.CryptoError: (lambda: app.unlock("weak", PASS), lambda: _native.export_wallet("weak", PASS, v)),
        vek.WrongPassphraseError: (lambda: app.unlock("w", "wrong"), lambda: _native.export_wallet("w", "wrong", v)),
        # vek._native cannot take a BIP-39 passphrase (its own refusal is tested in test_compat).
        vek.WrongBip39PassphraseError: (lambda: app.unlock("b39", PASS, bip39_passphrase="wrong"), None),
        vek.SignerError: (lambda: app.import_private_key("z", "00" * 32, passphrase=""),
                          lambda: _native.import_wallet_private_key("z", "00" * 32, vault_path_opt=v)),
        # Its texts quote none of the phrase, unlike vek._native's (a test of their own).
        vek.MnemonicError: (lambda: app.import_mnemonic("m", "abandon", ""), None),
        vek.DerivationError: (lambda: session.address("ethereum", index=2**31), None),
        vek.VaultError: (lambda: vek.Vault(a_file).wallets(), lambda: _native.list_wallets(str(a_file))),
        vek.JsonError: (lambda: session.send("ethereum", tx, rpc_url=server.url),
                        lambda: _native.sign_and_send("w", "ethereum", tx.hex(), PASS, None, server.url, v)),
        vek.SessionClosedError: (lambda: (session.close(), session.address("ethereum")), None),
    }
    server.stop()


def test_each_failure_raises_its_class_with_the_native_message(failures):
    names = [n for n in vek.__all__ if n.endswith("Error")]
    # InternalError is a fault of the native code, which no input can raise.
    assert issubclass(vek.InternalError, vek.VekError)
    # OutOfMemoryError needs a limited address space: a test of its own, in a child process.
    assert sorted(c.__name__ for c in failures) == sorted(set(names) - {"VekError", "InternalError", "OutOfMemoryError"})
    for cls, (call, native) in failures.items():
        with pytest.raises(vek.VekError) as info:
            call()
        assert type(info.value) is cls, (cls, info.value)
        assert isinstance(info.value, RuntimeError)
        if native is not None:
            with pytest.raises(RuntimeError) as expected:
                native()
            assert type(expected.value) is RuntimeError
            assert str(info.value) == str(expected.value), cls
    assert issubclass(vek.WrongPassphraseError, vek.CryptoError)


# ---------------------------------------------------------------- paths


class FsPath:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


def test_vault_paths_may_be_str_bytes_or_pathlike(vault, isolated_home):
    wallet_id = vek.Vault(vault).create("p", "").id
    for form in (vault, pathlib.Path(vault), FsPath(vault), os.fsencode(vault), FsPath(os.fsencode(vault))):
        v = vek.Vault(form)
        assert v.path == pathlib.Path(vault)
        assert [w.id for w in v.wallets()] == [wallet_id]
    # None: the default data directory, where vek._native looks as well.
    assert vek.Vault().path == isolated_home / ".vek"
    vek.Vault().create("home", "")
    assert [w["name"] for w in _native.list_wallets()] == ["home"]
    for bad in (3, FsPath(3)):
        with pytest.raises(TypeError):
            vek.Vault(bad)


# ---------------------------------------------------------------- threads


def test_unlock_lets_other_threads_run(app):
    """With a switch interval far longer than an unlock, the main thread can only run while
    the other thread is inside unlock() if unlock released the interpreter lock."""
    app.create("g", PASS)
    started, finished = threading.Event(), []
    seen_during_unlock = []

    def unlock():
        started.set()
        app.unlock("g", PASS).close()
        finished.append(True)

    old = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        t = threading.Thread(target=unlock)
        t.start()
        started.wait()
        seen_during_unlock.append(not finished)
    finally:
        sys.setswitchinterval(old)
    t.join()
    assert seen_during_unlock == [True]


def test_two_threads_unlock_two_wallets_and_share_one_session(app):
    app.import_mnemonic("a", ZERO_PHRASE, PASS, index=1)
    app.import_private_key("b", KEY, passphrase="other")
    sessions = {}

    def unlock(name, passphrase):
        sessions[name] = app.unlock(name, passphrase)

    threads = [threading.Thread(target=unlock, args=a) for a in (("a", PASS), ("b", "other"))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert sessions["a"].address("ethereum") == _native.derive_address(ZERO_PHRASE, "ethereum", 1)
    assert sessions["b"].wallet.name == "b"

    session = sessions["a"]
    messages = [f"message {i}" for i in range(40)]
    expected = {m: session.sign_message(CHAINS[i % 6], m) for i, m in enumerate(messages)}
    results, errors = {}, []

    def sign(part):
        try:
            for i in range(part, len(messages), 4):
                results[messages[i]] = session.sign_message(CHAINS[i % 6], messages[i])
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    workers = [threading.Thread(target=sign, args=(p,)) for p in range(4)]
    for t in workers:
        t.start()
    for t in workers:
        t.join()
    assert errors == [] and results == expected
    for s in sessions.values():
        s.close()


# ---------------------------------------------------------------- one vault, two faces


def test_files_are_interchangeable_with_native(app, vault):
    made_here = app.create("here", PASS, words=24)
    made_there = _native.import_wallet_private_key("there", KEY, passphrase=PASS, vault_path_opt=vault)
    listed = _native.list_wallets(vault)
    assert [w.id for w in app.wallets()] == [w["id"] for w in listed]
    for w, d in zip(app.wallets(), listed):
        assert (w.id, w.name, w.created_at) == (d["id"], d["name"], d["created_at"])
        assert [(a.chain_id, a.address, a.derivation_path) for a in w.accounts] == [
            (a["chain_id"], a["address"], a["derivation_path"]) for a in d["accounts"]]
    assert app.export("here", PASS) == _native.export_wallet("here", PASS, vault)
    assert len(app.export("here", PASS).split()) == 24
    for name in ("here", made_there["id"]):
        with app.unlock(name, PASS) as session:
            for chain in ("ethereum", "solana"):
                assert session.sign_message(chain, "both").signature == app_form(chain, _native.sign_message(
                    name, chain, "both", PASS, vault_path_opt=vault)["signature"])
    app.rename("here", "renamed")
    assert _native.get_wallet("renamed", vault)["id"] == made_here.id
    _native.rename_wallet("renamed", "back", vault)
    app.delete("back")
    assert [w["name"] for w in _native.list_wallets(vault)] == ["there"]


def test_known_chains_are_the_chains_the_operations_accept(app):
    every = vek.known_chains()
    assert len({c.name for c in every}) == len({c.chain_id for c in every}) == len(every)
    chains = [c for c in every if c.native]
    assert chains == every[:12] and len(chains) == 12
    first = {}
    for c in chains:
        first.setdefault(c.family, c)
    # A wallet's accounts, in their order, are on the first chain of each family.
    wallet = app.import_mnemonic("chains", ZERO_PHRASE, PASS)
    families = ["evm", "solana", "bitcoin", "cosmos", "tron", "ton"]
    assert [a.chain_id for a in wallet.accounts] == [first[f].chain_id for f in families]
    account = dict(zip(families, wallet.accounts))
    # Each name (in any letter case) and each id selects that chain's family.
    for c in chains:
        address = _native.derive_address(ZERO_PHRASE, c.name.upper(), 0)
        assert address == _native.derive_address(ZERO_PHRASE, c.chain_id, 0) == account[c.family].address, c


# ---------------------------------------------------------------- type information


def test_stub_is_what_stubgen_generates_from_the_module(tmp_path):
    pytest.importorskip("nanobind")
    out = tmp_path / "_vek.pyi"
    subprocess.run([sys.executable, "-m", "nanobind.stubgen", "-q", "-m", "vek._vek", "-o", str(out)], check=True,
                   cwd=tmp_path)
    committed = REPO / "python-module" / "vek" / "_vek.pyi"
    assert out.read_text() == committed.read_text(), "regenerate python-module/vek/_vek.pyi with nanobind.stubgen"
    assert (pathlib.Path(vek.__file__).parent / "_vek.pyi").read_bytes() == committed.read_bytes()
    public = {n for n in dir(vek._vek) if not n.startswith("_")}
    assert public == set(vek.__all__) - {"_native", "__version__"}


def test_mypy_checks_calls_against_the_stub(tmp_path):
    pytest.importorskip("mypy")
    bad = tmp_path / "bad.py"
    bad.write_text(
        "import vek\n"
        "v = vek.Vault(3)\n"
        "with v.unlock('w', 'p') as s:\n"
        "    n: int = s.sign_message('ethereum', 'm').signature\n",
        encoding="utf-8",
    )
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--cache-dir",
                             str(tmp_path / "cache"), str(bad)], cwd=tmp_path, capture_output=True, text=True)
    assert result.returncode == 1
    assert 'Argument 1 to "Vault" has incompatible type "int"' in result.stdout
    assert 'Incompatible types in assignment (expression has type "str", variable has type "int")' in result.stdout


def test_the_module_exports_only_its_init_function():
    out = subprocess.run(["nm", "-D", "--defined-only", vek._vek.__file__], capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip("nm not available")
    # Weak and unique symbols (nanobind's exception type information) count too.
    assert [line.split()[-1] for line in out.stdout.splitlines() if line.strip()] == ["PyInit__vek"]
