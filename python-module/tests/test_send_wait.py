"""Session.send/vek.broadcast with a time limit and a cancel token, "not sent" told from
"not known", Session.wait, and the awaitable forms under asyncio. Local servers only
(rpc_server.py, evm_node.py), each its own process."""
import asyncio
import json
import pickle
import socket
import threading
import time

import pytest

import vek
from conftest import raises
from test_api import PASS, evm_hash
from test_broadcast import Server, eip1559, rpc  # noqa: F401 (rpc is a fixture)
from test_wallets import KEY



def b58(data):
    alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"
    n, out = int.from_bytes(data, "big"), ""
    while n:
        n, r = divmod(n, 58)
        out = alphabet[r] + out
    return "1" * (len(data) - len(data.lstrip(b"\0"))) + out


SOL_SIG = b58(bytes(range(1, 65)))  # base58 of 64 bytes is what a signature must be


@pytest.fixture
def session(vault):
    app = vek.Vault(vault)
    app.import_private_key("pk", KEY, passphrase=PASS)
    with app.unlock("pk", PASS) as s:
        yield s


def closed_port_url():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return f"http://127.0.0.1:{s.getsockname()[1]}"


def await_request(server, deadline=30):
    end = time.monotonic() + deadline
    while not server.log():
        assert time.monotonic() < end, "the request never arrived"
        time.sleep(0.02)


def test_each_failure_says_whether_the_transaction_may_have_gone_out(session, rpc):
    fields, unsigned = eip1559(1, 0)
    ours = evm_hash(fields)
    look_up = f"; look up {ours} on the chain before sending it again"
    cases = [
        (closed_port_url(), vek.NotSentError, "transaction not sent: curl: (7) "),
        (rpc("--default", 'error:{"code": -32000, "message": "nonce too low"}').url, vek.NotSentError,
         'transaction not sent: RPC error: {"code":-32000,"message":"nonce too low"}'),
        (rpc("--default", "status:404").url, vek.NotSentError,
         "transaction not sent: curl: (22) The requested URL returned error: 404"),
        (rpc("--default", "status:502").url, vek.SendOutcomeUnknownError,
         "not known whether the transaction was sent: curl: (22) The requested URL returned error: 502" + look_up),
        (rpc("--default", "hang:").url, vek.SendOutcomeUnknownError,
         "not known whether the transaction was sent: no answer within 0.5 s" + look_up),
    ]
    for url, cls, message in cases:
        for call in (lambda: session.send("ethereum", unsigned, rpc_url=url, timeout=0.5),
                     lambda: vek.broadcast("ethereum", session.sign_transaction("ethereum", unsigned).raw_transaction,
                                           rpc_url=url, timeout=0.5)):
            started = time.monotonic()
            with pytest.raises(vek.BroadcastError) as info:
                call()
            assert type(info.value) is cls, (url, info.value)
            text = str(info.value)
            assert text.startswith(message) and "\n" not in text, text
            assert getattr(info.value, "tx_hash", None) == (ours if cls is vek.SendOutcomeUnknownError else None)
            assert time.monotonic() - started < 5


def test_cancel_from_another_thread_ends_a_send_at_once(session, rpc):
    _, unsigned = eip1559(1, 0)
    node = rpc("--default", "hang:")
    token = vek.Cancel()
    threading.Thread(target=lambda: (await_request(node), token.cancel())).start()
    started = time.monotonic()
    with pytest.raises(vek.SendOutcomeUnknownError) as info:
        session.send("ethereum", unsigned, rpc_url=node.url, timeout=600, cancel=token)
    assert time.monotonic() - started < 2 + 1  # the request's arrival, then at most 2 s
    assert str(info.value).startswith("not known whether the transaction was sent: cancelled while waiting for the node")
    assert token.cancelled
    # A token cancelled already stops the next call before anything goes out.
    quiet = rpc()
    raises(vek.NotSentError, "transaction not sent: cancelled before the request was made",
           session.send, "ethereum", unsigned, rpc_url=quiet.url, cancel=token)
    assert quiet.log() == []


def test_the_timeout_comes_from_the_call_else_the_configuration(session, rpc, isolated_home, vault):
    _, unsigned = eip1559(1, 0)
    node = rpc("--default", "hang:")
    config = isolated_home / ".vek" / "config.json"
    config.parent.mkdir()
    config.write_text(json.dumps({"vault_path": vault, "timeout": 0.5}))
    with pytest.raises(vek.SendOutcomeUnknownError, match="no answer within 0.5 s"):
        session.send("ethereum", unsigned, rpc_url=node.url)
    for bad, shown in (("1", "string"), (0, "0"), (-2, "-2"), (True, "boolean")):
        config.write_text(json.dumps({"vault_path": vault, "timeout": bad}))
        raises(vek.InvalidInputError, f"invalid input: the configuration file {config} is not used: invalid value for "
               f"`timeout`: expected a number of seconds above 0 and at most 1000000, found {shown}",
               session.send, "ethereum", unsigned, rpc_url=node.url)
    for bad in (0, -1, float("nan"), float("inf"), 1e7):
        with pytest.raises(vek.InvalidInputError, match="timeout must be a number of seconds above 0"):
            session.send("ethereum", unsigned, rpc_url=node.url, timeout=bad)
    assert len(node.log()) == 1  # only the first call reached the node


# ---------------------------------------------------------------- waiting


def evm_receipt(tx_hash, status="0x1"):
    return {"jsonrpc": "2.0", "id": 1, "result": {"transactionHash": tx_hash, "blockNumber": "0x1b4",
                                                  "gasUsed": "0x5208", "status": status}}


def test_wait_polls_until_the_node_has_a_receipt(session, rpc, tmp_path):
    reply = tmp_path / "reply.json"
    reply.write_text(json.dumps({"jsonrpc": "2.0", "id": 1, "result": None}))
    node = rpc("--default", f"file:{reply}")
    tx_hash = "0x" + "AB" * 32
    threading.Timer(1.2, lambda: reply.write_text(json.dumps(evm_receipt(tx_hash.lower(), "0x0")))).start()
    receipt = session.wait("ethereum", tx_hash, rpc_url=node.url, timeout=20)
    assert (receipt.tx_hash, receipt.status, receipt.block_number, receipt.gas_used, receipt.error) == (
        tx_hash.lower(), "reverted", 0x1B4, 21000, None)
    assert receipt.to_dict()["status"] == "reverted"
    assert pickle.loads(pickle.dumps(receipt)) == receipt
    bodies = [json.loads(r["body"]) for r in node.log()]
    assert len(bodies) >= 2 and all(b["method"] == "eth_getTransactionReceipt" for b in bodies)
    assert bodies[0]["params"] == [tx_hash.lower()]


def test_wait_on_solana_reads_the_confirmation_and_its_error(session, rpc):
    sig = SOL_SIG
    status = {"slot": 77, "confirmations": 3, "err": {"InstructionError": [0, {"Custom": 1}]},
              "confirmationStatus": "confirmed"}
    node = rpc("--default", "raw:" + json.dumps({"jsonrpc": "2.0", "id": 1, "result": {"context": {"slot": 80},
                                                                                      "value": [status]}}))
    receipt = session.wait("solana", sig, rpc_url=node.url)
    assert (receipt.status, receipt.block_number, receipt.gas_used) == ("failed", 77, None)
    assert receipt.error == '{"InstructionError":[0,{"Custom":1}]}'
    assert json.loads(node.log()[0]["body"])["params"] == [[sig], {"searchTransactionHistory": True}]


def test_wait_times_out_is_cancelled_and_refuses_what_it_cannot_wait_for(session, rpc):
    tx_hash = "0x" + "cd" * 32
    pending = rpc("--default", "raw:" + json.dumps({"jsonrpc": "2.0", "id": 1, "result": None}))
    started = time.monotonic()
    with pytest.raises(vek.WaitTimeoutError) as info:
        session.wait("ethereum", tx_hash, rpc_url=pending.url, timeout=1)
    assert 1 <= time.monotonic() - started < 4
    assert str(info.value) == f"wait timed out: no receipt for {tx_hash} within 1 s; the transaction may still be included"
    assert info.value.tx_hash == tx_hash

    hung = rpc("--default", "hang:")
    token = vek.Cancel()
    threading.Thread(target=lambda: (await_request(hung), token.cancel())).start()
    started = time.monotonic()
    with pytest.raises(vek.WaitCancelledError):
        session.wait("ethereum", tx_hash, rpc_url=hung.url, timeout=600, cancel=token)
    assert time.monotonic() - started < 3

    session.close()  # waiting needs no key
    refused = rpc("--default", 'error:{"code": -32601, "message": "no such method"}')
    raises(vek.BroadcastError, 'broadcast failed: RPC error: {"code":-32601,"message":"no such method"}',
           session.wait, "ethereum", tx_hash, rpc_url=refused.url)
    for chain, bad, message in (
        ("bitcoin", tx_hash, "invalid input: waiting covers EVM and Solana chains only, not bitcoin"),
        ("ethereum", tx_hash[:-1], f"invalid input: not an EVM transaction hash (0x and 64 hex digits): '{tx_hash[:-1]}'"),
        ("solana", "0OIl", "invalid input: not a Solana transaction signature (base58 of 64 bytes): '0OIl'"),
    ):
        raises(vek.InvalidInputError, message, session.wait, chain, bad, rpc_url=refused.url)
    assert len(refused.log()) == 1


# ---------------------------------------------------------------- asyncio


def test_awaitables_unlock_send_and_wait_under_asyncio(vault, rpc):
    app = vek.Vault(vault)
    app.import_private_key("pk", KEY, passphrase=PASS)
    fields, unsigned = eip1559(1, 0)
    ours = evm_hash(fields)
    ok = rpc("--default", "result:" + ours)
    mined = rpc("--default", "raw:" + json.dumps(evm_receipt(ours)))
    hung = rpc("--default", "hang:")

    async def main():
        session = await app.unlock_async("pk", PASS)
        assert await session.send_async("ethereum", unsigned, rpc_url=ok.url) == ours
        receipt = await session.wait_async("ethereum", ours, rpc_url=mined.url)
        assert receipt.status == "success"
        with pytest.raises(vek.WrongPassphraseError):
            await app.unlock_async("pk", "wrong")
        # Cancelling the task kills the send's curl: the loop's executor is free again at once.
        task = asyncio.ensure_future(session.send_async("ethereum", unsigned, rpc_url=hung.url, timeout=600))
        while not hung.log():
            await asyncio.sleep(0.02)
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await task
        waiting = asyncio.ensure_future(session.wait_async("ethereum", ours, rpc_url=hung.url, timeout=600))
        await asyncio.sleep(0.3)
        waiting.cancel()
        with pytest.raises(asyncio.CancelledError):
            await waiting
        with pytest.raises(TypeError, match="takes no cancel"):
            session.send_async("ethereum", unsigned, cancel=vek.Cancel())
        session.close()

    started = time.monotonic()
    asyncio.run(main())  # returns once the executor's threads are done
    assert time.monotonic() - started < 20
    with pytest.raises(RuntimeError, match="no running event loop"):
        app.unlock_async("pk", PASS)
