"""vek.families(), vek.message_formats() and vek.broadcast(): each fact a family reports
is checked against what the operations themselves accept and do; broadcast against local
JSON-RPC servers only."""
import json

import pytest

import vek
from cli_helpers import solana_transfer
from conftest import raises
from test_broadcast import ED_KEY, KEY, eip1559, rpc  # noqa: F401 (rpc is a fixture)

PASS = "query passphrase"
TYPED_DATA = json.dumps({"types": {"EIP712Domain": [{"name": "name", "type": "string"}]},
                         "primaryType": "EIP712Domain", "domain": {"name": "vek"}, "message": {}})
UNKNOWN_CHAIN = ("invalid input: unknown chain: 'nope'. Use a chain name (ethereum, solana, bitcoin, ...) "
                 "or CAIP-2 ID (eip155:1, ...)")


@pytest.fixture(scope="module")
def session(tmp_path_factory):
    app = vek.Vault(tmp_path_factory.mktemp("queries") / "vault")
    app.import_private_key("pk", passphrase=PASS, secp256k1_key=KEY, ed25519_key=ED_KEY)
    with app.unlock("pk", PASS) as s:
        yield app, s


def test_families_follow_the_chain_table():
    families = vek.families()
    assert [f.name for f in families] == ["evm", "solana", "cosmos", "bitcoin", "tron", "ton"]
    chains = vek.known_chains()
    for f in families:
        own = [c for c in chains if c.family == f.name]
        assert f.chains == [c.name for c in own]
        assert f.default_chain == f.chains[0]
        assert f.coin_type == own[0].coin_type
        for index in (0, 7):
            assert f.default_path.format(index=index) == own[0].default_path(index)
    assert vek.families() == families and repr(families[0]).startswith("Family(name='evm', curve='secp256k1'")


def test_message_formats_are_exactly_those_a_session_signs(session):
    _, s = session
    everything = {name for f in vek.families() for name in f.message_formats}
    for f in vek.families():
        for chain in f.chains:
            assert vek.message_formats(chain) == f.message_formats
        for name in f.message_formats:
            message = TYPED_DATA if name == "eip712" else "query"
            signed = s.sign_message(f.default_chain, message, format=name, domain="example.com", timestamp=1)
            assert signed.format == name
        assert s.sign_message(f.default_chain, "query").format == f.message_formats[0]
        for other in everything - set(f.message_formats):
            with pytest.raises(vek.InvalidInputError, match="unknown format"):
                s.sign_message(f.default_chain, "query", format=other)
    assert vek.message_formats("eip155:5") == vek.message_formats("ethereum")
    raises(vek.InvalidInputError, UNKNOWN_CHAIN, vek.message_formats, "nope")


def test_key_formats_are_those_export_key_accepts(session):
    app, _ = session
    everything = {name for f in vek.families() for name in f.key_formats}
    assert all("hex" in f.key_formats for f in vek.families())
    for f in vek.families():
        for name in everything:
            export = lambda: app.export_key("pk", f.chains[-1], name, PASS, key_password="k")  # noqa: E731
            if name not in f.key_formats:
                with pytest.raises(vek.InvalidInputError, match=f"key format '{name}' is for"):
                    export()
            elif name != "keystore" and (name != "hex" or f.name == "ton"):  # each decryption is slow
                assert export()


def test_capability_flags_match_the_operations(session):
    _, s = session
    _, unsigned = eip1559(1, 0)
    for f in vek.families():
        assert f.build is False
        # Solana signs a whole transaction of its signer; the other families bytes as given.
        tx = {"evm": unsigned, "solana": solana_transfer(s.address("solana"))[0]}.get(f.name, bytes(range(40)))
        signed = s.sign_transaction(f.default_chain, tx)
        assert f.sign_transaction and signed.signature
        # secp256k1 signatures carry a recovery id, Ed25519 ones none.
        assert (signed.recovery_id is None) == (f.curve == "ed25519"), f.name
        try:
            vek.decode_transaction(f.default_chain, b"\x00")
            decoded = True
        except vek.InvalidInputError as error:
            decoded = "decoding covers" not in str(error)
        assert decoded == f.decode, f.name
        try:
            vek.broadcast(f.default_chain, b"\x01" + bytes(64), rpc_url="http://127.0.0.1:1")
            sent = True
        except vek.InvalidInputError as error:
            sent = "no broadcast method" not in str(error)
        except vek.BroadcastError:
            sent = True
        assert sent == f.broadcast, f.name


def test_broadcast_submits_what_session_send_submits(session, rpc):
    _, s = session
    fields, unsigned = eip1559(1, 0)
    signed = s.sign_transaction("ethereum", unsigned)
    by_session, by_hex, by_bytes = (rpc("--default", "result:" + signed.tx_hash) for _ in range(3))
    assert s.send("ethereum", unsigned, rpc_url=by_session.url) == signed.tx_hash
    assert vek.broadcast("ethereum", signed.raw_transaction, rpc_url=by_hex.url) == signed.tx_hash
    raw = bytes.fromhex(signed.raw_transaction[2:])
    assert vek.broadcast("eip155:1", raw, rpc_url=by_bytes.url) == signed.tx_hash
    bodies = [server.log()[0]["body"] for server in (by_session, by_hex, by_bytes)]
    assert bodies[0] == bodies[1] == bodies[2]
    assert json.loads(bodies[0])["params"] == [signed.raw_transaction]

    # The node's answer must be the transaction's own hash.
    other = rpc("--default", "result:0x" + "11" * 32)
    raises(vek.BroadcastError, f"broadcast failed: the node answered transaction hash 0x{'11' * 32}, "
           f"but the transaction sent has hash {signed.tx_hash}", vek.broadcast, "ethereum", raw, rpc_url=other.url)


def test_broadcast_refusals_come_before_any_request(rpc):
    server = rpc()
    raises(vek.InvalidInputError, UNKNOWN_CHAIN, vek.broadcast, "nope", "zz", rpc_url=server.url)
    with pytest.raises(vek.InvalidInputError, match="hex"):
        vek.broadcast("ethereum", "zz", rpc_url=server.url)
    raises(vek.InvalidInputError, "invalid input: no broadcast method for chain family 'bitcoin'",
           vek.broadcast, "bitcoin", b"\x01", rpc_url=server.url)
    # Without rpc_url a chain with no endpoint is refused; nothing falls back to a public node.
    with pytest.raises(vek.InvalidInputError, match="no RPC endpoint for 'eip155:5'"):
        vek.broadcast("eip155:5", b"\x02")
    assert server.log() == []


def test_generated_docstrings_list_every_family_and_format():
    families = vek.families()
    formats = {name for f in families for name in f.message_formats}
    assert all(name in vek.Signature.format.__doc__ for name in formats)
    assert all(f.name in vek.Chain.family.__doc__ for f in families)
    for f in families:
        listed = ", ".join(f'"{name}"' for name in f.message_formats)
        assert listed in " ".join(vek.verify_message.__doc__.split()), f.name
