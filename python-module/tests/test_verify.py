"""EIP-712 signing and EVM signature checks against eth-account, in both directions."""
import json

import pytest

import vek
from conftest import VECTORS_DIR

eth_account = pytest.importorskip("eth_account")
from eth_account.messages import encode_defunct, encode_typed_data  # noqa: E402

MAIL = json.loads((VECTORS_DIR / "eip712.json").read_text())["mail"]
KEY = eth_account.Account.from_key(bytes.fromhex(MAIL["key"]))

# Nested structs, arrays of structs and of atoms, fixed arrays, bytes, bytesN, signed
# integers as numbers, decimal and hex strings, booleans.
ORDER = {
    "types": {
        "EIP712Domain": [
            {"name": "name", "type": "string"},
            {"name": "chainId", "type": "uint256"},
            {"name": "salt", "type": "bytes32"},
        ],
        "Item": [{"name": "sku", "type": "bytes4"}, {"name": "qty", "type": "uint16"}, {"name": "delta", "type": "int64"}],
        "Order": [
            {"name": "items", "type": "Item[]"},
            {"name": "tags", "type": "string[2]"},
            {"name": "grid", "type": "int8[][]"},
            {"name": "payload", "type": "bytes"},
            {"name": "open", "type": "bool"},
            {"name": "owner", "type": "address"},
            {"name": "total", "type": "uint256"},
        ],
    },
    "primaryType": "Order",
    "domain": {"name": "Shop", "chainId": 137, "salt": "0x" + "ab" * 32},
    "message": {
        "items": [{"sku": "0x01020304", "qty": 3, "delta": -5}, {"sku": "0xffffffff", "qty": 65535, "delta": "-9223372036854775808"}],
        "tags": ["a", "\u00e9t\u00e9"],
        "grid": [[-128, 127], [], [0]],
        "payload": "0x" + "00ff" * 40,
        "open": True,
        "owner": MAIL["address"].lower(),
        "total": "115792089237316195423570985008687907853269984665640564039457584007913129639935",
    },
}


@pytest.fixture
def session(vault):
    app = vek.Vault(vault)
    app.import_private_key("cow", MAIL["key"], chain="ethereum", passphrase="p")
    with app.unlock("cow", "p") as s:
        yield s


@pytest.mark.parametrize(("doc", "chain"), [(MAIL["typed_data"], "ethereum"), (ORDER, "polygon")], ids=["eip712-example", "nested"])
def test_typed_data_signatures_agree_with_eth_account_both_ways(session, doc, chain):
    text = json.dumps(doc)
    ours = session.sign_typed_data(chain, text)
    theirs = KEY.sign_message(encode_typed_data(full_message=doc))
    assert ours.signature == theirs.signature.to_0x_hex()
    assert ours.recovery_id == theirs.v
    assert eth_account.Account.recover_message(encode_typed_data(full_message=doc), signature=ours.signature) == KEY.address
    assert vek.recover_address("ethereum", text, theirs.signature, format="eip712") == KEY.address
    assert vek.verify_typed_data("evm", KEY.address.lower(), text, ours.signature)
    assert vek.verify_typed_data("evm", KEY.address.lower(), text, ours.signature.removeprefix("0x"))
    if doc is MAIL["typed_data"]:
        assert ours.signature == "0x" + MAIL["signature"]


def test_typed_data_for_another_chain_is_refused(session):
    """A domain's chainId, however spelt, must be the chain's; a domain without one is signed anywhere."""
    other = {**ORDER, "domain": {**ORDER["domain"], "chainId": "0x1"}}
    calls = [lambda: session.sign_typed_data("polygon", json.dumps(MAIL["typed_data"])),
             lambda: session.sign_message("polygon", json.dumps(other), format="eip712")]
    for call in calls:
        with pytest.raises(vek.InvalidInputError) as info:
            call()
        assert str(info.value) == "invalid input: the typed data's domain chainId 1 is not that of 'polygon' (eip155:137)"
    unbound = json.loads(json.dumps(MAIL["typed_data"]))
    del unbound["domain"]["chainId"]
    unbound["types"]["EIP712Domain"] = [m for m in unbound["types"]["EIP712Domain"] if m["name"] != "chainId"]
    assert vek.recover_address("polygon", json.dumps(unbound), session.sign_typed_data("polygon", json.dumps(unbound)).signature,
                               format="eip712") == KEY.address


def test_personal_messages_verify_both_ways(session):
    theirs = KEY.sign_message(encode_defunct(text="gm"))
    assert vek.verify_message("ethereum", KEY.address, "gm", theirs.signature)
    assert vek.verify_message("base", KEY.address, b"gm", bytes(theirs.signature))
    assert not vek.verify_message("ethereum", KEY.address, "gn", theirs.signature)
    assert not vek.verify_message("ethereum", "0x" + "00" * 20, "gm", theirs.signature)
    ours = session.sign_message("ethereum", "gm")
    assert vek.recover_address("ethereum", "gm", ours.signature) == KEY.address
    # v as 0/1 is accepted as well as 27/28.
    low_v = ours.signature[:-2] + "%02x" % (ours.recovery_id - 27)
    assert vek.recover_address("ethereum", "gm", low_v) == KEY.address


def test_malformed_input_is_an_error_or_false_never_a_crash(session):
    sig = session.sign_message("ethereum", "m").signature
    cases = [
        (vek.InvalidInputError, "invalid input: invalid hex signature: Odd number of digits", ("ethereum", "m", sig[:-1])),
        (vek.SignerError, "invalid message: expected a 65-byte signature (r || s || v), got 64 bytes", ("ethereum", "m", sig[:-2])),
        (vek.SignerError, "invalid message: signature v must be 0, 1, 27 or 28, got 29", ("ethereum", "m", sig[:-2] + "1d")),
        (vek.InvalidInputError, "invalid input: unknown format for an EVM chain: 'bip322' (use eip191 or eip712)",
         ("ethereum", "m", sig, "bip322")),
        (vek.InvalidInputError, "invalid input: recovering the signer covers EVM, Cosmos, Bitcoin and Tron chains only, not solana", ("solana", "m", sig)),
    ]
    for cls, message, args in cases:
        with pytest.raises(cls) as info:
            vek.recover_address(*args)
        assert str(info.value) == message
    assert vek.verify_message("ethereum", KEY.address, "m", "00" * 65) is False
    with pytest.raises(vek.InvalidInputError, match="invalid EVM address: '0x12'"):
        vek.verify_message("ethereum", "0x12", "m", sig)
    with pytest.raises(vek.SignerError, match=r"typed data: message\.to: missing"):
        session.sign_typed_data("ethereum", json.dumps({**MAIL["typed_data"], "message": {"from": {"name": "a", "wallet": KEY.address}}}))
    with pytest.raises(vek.InvalidInputError, match="typed data is signed by EVM chains only, not solana"):
        session.sign_typed_data("solana", json.dumps(MAIL["typed_data"]))


def test_solana_raw_signatures_verify_both_ways_with_pynacl(vault):
    nacl = pytest.importorskip("nacl.signing")
    seed = bytes(range(32))
    app = vek.Vault(vault)
    wallet = app.import_private_key("sol", ed25519_key=seed.hex(), secp256k1_key="11" * 32, passphrase="")
    address = next(a.address for a in wallet.accounts if a.chain_id.startswith("solana:"))
    theirs = nacl.SigningKey(seed).sign(b"log in").signature
    assert vek.verify_message("solana", address, "log in", theirs)
    assert vek.verify_message("solana", address, b"log in", theirs.hex(), format="raw")
    assert not vek.verify_message("solana", address, "log out", theirs)
    with app.unlock("sol") as session:
        ours = session.sign_message("solana", "log in").signature
    nacl.VerifyKey(nacl.SigningKey(seed).verify_key.encode()).verify(b"log in", bytes.fromhex(ours))
    assert vek.verify_message("solana", address, "log in", ours)
    for args, cls, message in [
        ((address, "m", theirs[:63]), vek.SignerError, "invalid message: expected a 64-byte signature, got 63 bytes"),
        (("0OIl", "m", theirs), vek.SignerError, "invalid message: invalid Solana address: '0OIl'"),
        ((address, "m", theirs, "eip191"), vek.InvalidInputError, "invalid input: unknown format for a Solana chain: 'eip191' (use raw, offchain or offchain_domain)"),
    ]:
        with pytest.raises(cls) as info:
            vek.verify_message("solana", *args)
        assert str(info.value) == message
    with pytest.raises(vek.InvalidInputError, match="checking a TON signature needs the signer's public key"):
        vek.verify_message("ton", address, "m", theirs)
