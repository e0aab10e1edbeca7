"""sign_and_send against local JSON-RPC servers that run as separate processes.

The module keeps the interpreter lock while curl runs, so a server thread inside this
process could never answer: rpc_server.py (canned replies, request log) and evm_node.py
(a real py-evm engine) are started with subprocess instead.
"""
import base64
import json
import os
import signal
import subprocess
import sys
import time
import urllib.request
from pathlib import Path

import pytest

from conftest import raises
from vek import _native

if not hasattr(_native, "sign_and_send"):
    pytest.skip("this build of vek._native has no sign_and_send", allow_module_level=True)
rlp = pytest.importorskip("rlp")  # the test oracles of requirements.txt
Account = pytest.importorskip("eth_account").Account

HERE = Path(__file__).resolve().parent
KEY = "1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727"  # secp256k1 key
ED_KEY = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"  # RFC 8032 test 1 secret
HASH = "0x" + "ab" * 32


class Server:
    """A server script run as a child process; its port is the first line it prints."""

    def __init__(self, script, *args):
        self.proc = subprocess.Popen(
            [sys.executable, str(HERE / script), *args], stdout=subprocess.PIPE, text=True
        )
        line = self.proc.stdout.readline()
        if not line:
            self.proc.wait()
            raise RuntimeError(f"{script} did not start")
        self.url = f"http://127.0.0.1:{int(line)}"

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        self.proc.stdout.close()


@pytest.fixture
def rpc(tmp_path):
    """rpc(*args) starts rpc_server.py with a request log of its own; .log() gives the
    requests it has seen."""
    started = []

    def start(*args):
        log = tmp_path / f"requests-{len(started)}.jsonl"
        server = Server("rpc_server.py", str(log), *args)
        server.log = lambda: [json.loads(l) for l in log.read_text().splitlines()] if log.exists() else []
        started.append(server)
        return server

    yield start
    for server in started:
        server.stop()


@pytest.fixture
def node():
    """A fresh Ethereum node that funds the test key's address with 10 ether."""
    pytest.importorskip("eth_tester")
    address = Account.from_key(KEY).address
    server = Server("evm_node.py", "--fund", f"{address}:{10 * 10**18}")
    server.address = address
    yield server
    server.stop()


def node_call(url, method, *params):
    body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": list(params)}).encode()
    req = urllib.request.Request(url, body, {"Content-Type": "application/json"})
    with urllib.request.urlopen(req) as r:
        return json.load(r)


def eip1559(chain_id, nonce, data=b"", gas=21000, to="0x" + "22" * 20, value=777):
    """The same transaction as eth-account's dict and as our unsigned bytes (0x02 || rlp(fields))."""
    fields = dict(chainId=chain_id, nonce=nonce, maxPriorityFeePerGas=10**9, maxFeePerGas=5 * 10**9,
                  gas=gas, to=to, value=value, data=data, accessList=[])
    unsigned = b"\x02" + rlp.encode([chain_id, nonce, 10**9, 5 * 10**9, gas, bytes.fromhex(to[2:]), value, data, []])
    return dict(fields, type=2), unsigned


@pytest.fixture
def wallet(vault):
    _native.import_wallet_private_key("w", KEY, vault_path_opt=vault, ed25519_key=ED_KEY)
    return "w"


# ---------------------------------------------------------------- against a real engine


def test_evm_transactions_are_mined_by_a_real_node(node, wallet, vault):
    chain_id = int(node_call(node.url, "eth_chainId")["result"], 16)
    for nonce in (0, 1):
        tx, unsigned = eip1559(chain_id, nonce)
        expected = Account.from_key(KEY).sign_transaction(tx)
        prefix = "0x" if nonce == 0 else ""  # both hex spellings are accepted
        result = _native.sign_and_send(wallet, "ethereum", prefix + unsigned.hex(), rpc_url=node.url, vault_path_opt=vault)
        assert result == {"tx_hash": "0x" + expected.hash.hex().removeprefix("0x")}
        receipt = node_call(node.url, "eth_getTransactionReceipt", result["tx_hash"])["result"]
        assert receipt["status"] == "0x1"
        assert receipt["from"] == node.address
    assert node_call(node.url, "eth_getBalance", "0x" + "22" * 20, "latest")["result"] == hex(2 * 777)

    # A replayed nonce is the node's refusal, passed on as compact JSON.
    _, unsigned = eip1559(chain_id, 0)
    raises(RuntimeError,
           'broadcast failed: RPC error: {"code":-32000,"message":"Invalid transaction nonce: Expected 2, but got 0"}',
           _native.sign_and_send, wallet, "ethereum", unsigned.hex(), rpc_url=node.url, vault_path_opt=vault)


def test_evm_transaction_too_long_for_one_argument_is_mined(node, wallet, vault):
    # 100,000 bytes of calldata: a 200 KB request body, over Linux's 128 KiB limit for a
    # single command-line argument.
    chain_id = int(node_call(node.url, "eth_chainId")["result"], 16)
    tx, unsigned = eip1559(chain_id, 0, data=b"\xab" * 100_000, gas=5_000_000)
    expected = Account.from_key(KEY).sign_transaction(tx)
    result = _native.sign_and_send(wallet, "ethereum", unsigned.hex(), rpc_url=node.url, vault_path_opt=vault)
    assert result["tx_hash"] == "0x" + expected.hash.hex().removeprefix("0x")
    assert node_call(node.url, "eth_getTransactionReceipt", result["tx_hash"])["result"]["status"] == "0x1"


# ---------------------------------------------------------------- requests byte for byte


def test_evm_request_is_the_exact_envelope(rpc, wallet, vault):
    server = rpc("--default", "result:" + HASH)
    tx, unsigned = eip1559(1, 5)
    signed = Account.from_key(KEY).sign_transaction(tx).raw_transaction.hex().removeprefix("0x")
    url = server.url + "/v3/key/"
    assert _native.sign_and_send(wallet, "ethereum", "0x" + unsigned.hex(), rpc_url=url, vault_path_opt=vault) == {
        "tx_hash": HASH
    }
    [request] = server.log()
    assert request["method"] == "POST"
    assert request["path"] == "/v3/key/"
    assert request["headers"]["Content-Type"] == "application/json"
    assert request["body"] == '{"id":1,"jsonrpc":"2.0","method":"eth_sendRawTransaction","params":["0x' + signed + '"]}'


def test_body_too_long_for_one_argument_arrives_byte_for_byte(rpc, wallet, vault):
    # A 70,000-byte data field makes a request body of about 140 KB, over Linux's
    # 128 KiB limit for a single command-line argument.
    server = rpc("--default", "result:" + HASH)
    tx, unsigned = eip1559(1, 9, data=bytes(range(256)) * 273 + b"\x01" * 112, gas=2_000_000)
    assert len(tx["data"]) == 70_000
    signed = Account.from_key(KEY).sign_transaction(tx).raw_transaction.hex().removeprefix("0x")
    result = _native.sign_and_send(wallet, "ethereum", unsigned.hex(), rpc_url=server.url, vault_path_opt=vault)
    assert result == {"tx_hash": HASH}
    [request] = server.log()
    body = '{"id":1,"jsonrpc":"2.0","method":"eth_sendRawTransaction","params":["0x' + signed + '"]}'
    assert len(body) > 128 * 1024
    assert request["body"] == body


def test_solana_request_carries_the_signed_transaction_in_base64(rpc, wallet, vault):
    ed25519 = pytest.importorskip("cryptography.hazmat.primitives.asymmetric.ed25519")
    server = rpc("--default", "result:5VERv8NMvzbJMEkV8xnrLkEaWRtSz9CosKDYjCJjBRnbJLgp8uirBgmQpjKhoR4tjF3ZpRzr")
    message = bytes([1, 0, 1, 3]) + bytes(range(200, 256)) + b"\xfb\xff"
    unsigned = b"\x01" + bytes(64) + message
    signature = ed25519.Ed25519PrivateKey.from_private_bytes(bytes.fromhex(ED_KEY)).sign(message)
    result = _native.sign_and_send(wallet, "solana", unsigned.hex(), rpc_url=server.url, vault_path_opt=vault)
    assert result == {"tx_hash": "5VERv8NMvzbJMEkV8xnrLkEaWRtSz9CosKDYjCJjBRnbJLgp8uirBgmQpjKhoR4tjF3ZpRzr"}
    [request] = server.log()
    b64 = base64.b64encode(b"\x01" + signature + message).decode()
    # Without the options object a node would read the text as base58.
    assert request["body"] == (
        '{"id":1,"jsonrpc":"2.0","method":"sendTransaction","params":["' + b64 + '",{"encoding":"base64"}]}'
    )


def test_configured_endpoint_is_used_without_rpc_url(rpc, wallet, vault, isolated_home):
    server = rpc("--default", "result:" + HASH)
    (isolated_home / ".vek").mkdir()
    config = {"vault_path": vault, "rpc": {"eip155:137": server.url + "/polygon"}}
    (isolated_home / ".vek" / "config.json").write_text(json.dumps(config))
    _, unsigned = eip1559(137, 0)
    assert _native.sign_and_send(wallet, "polygon", unsigned.hex(), vault_path_opt=vault) == {"tx_hash": HASH}
    assert [r["path"] for r in server.log()] == ["/polygon"]


# ---------------------------------------------------------------- replies and failures


@pytest.mark.parametrize(
    "mode, message",
    [
        ('error:{"message":"nonce too low","code":-32000}',
         'broadcast failed: RPC error: {"code":-32000,"message":"nonce too low"}'),
        ("error:null", "broadcast failed: RPC error: null"),
        ("number:5", 'broadcast failed: no \'result\' in response: {"jsonrpc": "2.0", "id": 1, "result": 5}'),
        ('raw:{"id": 1}\n', 'broadcast failed: no \'result\' in response: {"id": 1}\n'),
        ("status:500", "broadcast failed: curl: (22) The requested URL returned error: 500\n"),
    ],
)
def test_reply_failures(rpc, wallet, vault, mode, message):
    server = rpc("--default", mode)
    _, unsigned = eip1559(1, 0)
    raises(RuntimeError, message, _native.sign_and_send, wallet, "ethereum", unsigned.hex(),
           rpc_url=server.url, vault_path_opt=vault)


def test_non_json_reply_is_a_json_error(rpc, wallet, vault):
    server = rpc("--default", "raw:<html>Bad Gateway</html>")
    _, unsigned = eip1559(1, 0)
    with pytest.raises(RuntimeError) as info:
        _native.sign_and_send(wallet, "ethereum", unsigned.hex(), rpc_url=server.url, vault_path_opt=vault)
    assert str(info.value).startswith("JSON error: [json.exception.parse_error.101] parse error at line 1, column 1")


@pytest.mark.parametrize("chain, family", [("cosmos", "cosmos"), ("bitcoin", "bitcoin"), ("tron", "tron"), ("ton", "ton")])
def test_families_that_cannot_assemble_send_nothing(rpc, wallet, vault, chain, family):
    server = rpc()
    raises(RuntimeError, f"invalid transaction: encode_signed_transaction not implemented for {family}",
           _native.sign_and_send, wallet, chain, "0a0b0c", rpc_url=server.url, vault_path_opt=vault)
    assert server.log() == []


def test_missing_curl(wallet, vault, tmp_path, monkeypatch):
    empty = tmp_path / "empty-bin"
    empty.mkdir()
    monkeypatch.setenv("PATH", str(empty))
    _, unsigned = eip1559(1, 0)
    raises(RuntimeError, "broadcast failed: failed to run curl: No such file or directory (os error 2)",
           _native.sign_and_send, wallet, "ethereum", unsigned.hex(), rpc_url="http://127.0.0.1:9", vault_path_opt=vault)


# ---------------------------------------------------------------- a node that never answers

# Run in a child process: a wait that signals could not end would hang the child, not
# the test run.
WAITER = """
import json, os, signal, sys, time
from vek import _native
vault, url, tx, mode = sys.argv[1:]
alarms = []
def on_alarm(signum, frame):
    alarms.append(time.monotonic())
    if len(alarms) == 2:
        raise TimeoutError("second alarm")
signal.signal(signal.SIGALRM, on_alarm)
if mode == "alarm":
    signal.setitimer(signal.ITIMER_REAL, 0.3, 0.3)
else:
    print("waiting", flush=True)
try:
    _native.sign_and_send("w", "ethereum", tx, rpc_url=url, vault_path_opt=vault)
    outcome = "returned"
except BaseException as e:
    outcome = f"{type(e).__name__}: {e}"
signal.setitimer(signal.ITIMER_REAL, 0)
try:
    os.waitpid(-1, os.WNOHANG)
    children = "left"
except ChildProcessError:
    children = "none"
print(json.dumps({"outcome": outcome, "alarms": len(alarms), "children": children}), flush=True)
"""


@pytest.mark.parametrize("mode", ["alarm", "ctrl-c"])
def test_signals_end_the_wait_for_a_hung_node(rpc, wallet, vault, mode):
    server = rpc("--default", "hang:")
    _, unsigned = eip1559(1, 0)
    child = subprocess.Popen([sys.executable, "-c", WAITER, vault, server.url, unsigned.hex(), mode],
                             stdout=subprocess.PIPE, text=True, start_new_session=True)
    try:
        if mode == "ctrl-c":
            # The terminal sends SIGINT to the whole foreground group: curl and Python alike.
            assert child.stdout.readline() == "waiting\n"
            while not server.log():
                time.sleep(0.05)
            os.killpg(child.pid, signal.SIGINT)
        out, _ = child.communicate(timeout=30)
    finally:
        child.kill()
        child.wait()
    report = json.loads(out)
    if mode == "alarm":
        # The first handler returns and the wait goes on; the second raises and ends it.
        assert report == {"outcome": "TimeoutError: second alarm", "alarms": 2, "children": "none"}
    else:
        assert report == {"outcome": "KeyboardInterrupt: ", "alarms": 0, "children": "none"}
    assert len(server.log()) == 1


def test_key_is_wiped_before_the_node_is_awaited(rpc, tmp_path):
    """While curl waits for the node, no copy of the wallet's secrets is left in memory."""
    memory = pytest.importorskip("test_secrets_memory")
    if not sys.platform.startswith("linux"):
        pytest.skip("reads /proc/PID/mem")
    vault = str(tmp_path / "vault")
    name, secrets = memory.private_key_wallet(vault)
    server = rpc("--default", "hang:")
    _, unsigned = eip1559(1, 0)
    call = (f"from vek import _native; _native.sign_and_send({name!r}, 'ethereum', {unsigned.hex()!r}, "
            f"{memory.PASSPHRASE!r}, rpc_url={server.url!r}, vault_path_opt={vault!r})")
    child = subprocess.Popen([sys.executable, "-c", call], stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while not server.log():  # the request arrived: signing is over, curl waits
            assert child.poll() is None and time.monotonic() < deadline
            time.sleep(0.05)
        regions = memory.writable_memory(child.pid)
    finally:
        child.kill()
        child.wait()
    assert memory.find_in_memory(regions, [("passphrase", memory.PASSPHRASE.encode())]), "the snapshot sees nothing"
    assert memory.find_in_memory(regions, secrets) == []
