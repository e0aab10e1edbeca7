"""vek.web3.SessionAccount with web3.py on eth-tester's engine (in-process, no network),
eth-account as the oracle of every signature, and the signature text forms checks take."""
import pytest

import vek

web3 = pytest.importorskip("web3")
eth_account = pytest.importorskip("eth_account")
from eth_account import Account  # noqa: E402
from eth_account.messages import encode_defunct, encode_intended_validator, encode_typed_data  # noqa: E402
from web3.middleware import SignAndSendRawMiddlewareBuilder  # noqa: E402

from vek.web3 import SessionAccount  # noqa: E402

KEY = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
ORACLE = Account.from_key(KEY)
CHAIN_ID = 1337
TO = "0x09616C3d61b3331fc4109a9E41a8BDB7d9776609"
MAIL = {
    "types": {"EIP712Domain": [{"name": "name", "type": "string"}, {"name": "chainId", "type": "uint256"}],
              "Mail": [{"name": "to", "type": "address"}, {"name": "contents", "type": "string"}]},
    "primaryType": "Mail",
    "domain": {"name": "Ether Mail", "chainId": CHAIN_ID},
    "message": {"to": TO, "contents": "Hello"},
}


@pytest.fixture(scope="module")
def session(tmp_path_factory):
    """One unlock for the module: the key derivation is the slow part."""
    app = vek.Vault(str(tmp_path_factory.mktemp("vault")))
    app.import_private_key("w", KEY, passphrase="", ed25519_key=bytes(range(32)).hex())
    with app.unlock("w", "") as s:
        yield s


@pytest.fixture
def account(session):
    return SessionAccount(session, f"eip155:{CHAIN_ID}")


def test_web3_middleware_sends_through_the_session_to_a_real_engine(session):
    w3 = web3.Web3(web3.EthereumTesterProvider())
    account = SessionAccount(session, f"eip155:{w3.eth.chain_id}")
    assert account.address == ORACLE.address
    w3.eth.send_transaction({"from": w3.eth.accounts[0], "to": account.address, "value": 10**18})
    w3.middleware_onion.inject(SignAndSendRawMiddlewareBuilder.build(account), layer=0)

    tx_hash = w3.eth.send_transaction({"from": account.address, "to": TO, "value": 12345})
    receipt = w3.eth.wait_for_transaction_receipt(tx_hash)
    assert receipt.status == 1 and receipt["from"] == account.address
    assert w3.eth.get_balance(TO) == 12345

    tx = {"to": TO, "value": 1, "gas": 21000, "nonce": w3.eth.get_transaction_count(account.address),
          "maxFeePerGas": 3 * 10**9, "maxPriorityFeePerGas": 10**9}
    sent = w3.eth.send_raw_transaction(account.sign_transaction(tx).raw_transaction)
    assert w3.eth.wait_for_transaction_receipt(sent).status == 1
    assert w3.eth.get_balance(TO) == 12346


BASE = {"chainId": CHAIN_ID, "nonce": 34, "gas": 100000, "maxFeePerGas": 2 * 10**9, "maxPriorityFeePerGas": 10**9,
        "to": TO, "value": 10**18, "data": b"abc"}


@pytest.mark.parametrize("tx", [
    BASE,
    dict(BASE, value=2**255 + 7, nonce=0, data=b"", type=2),  # value beyond 64 bits, zero nonce
    dict(BASE, value="0x5af3107a4000", gas="0x5208", data="0x616263", type="0x2"),  # web3's hex forms
    dict(BASE, accessList=[{"address": TO, "storageKeys": ["0x" + "01" * 32, "0x" + "00" * 32]}]),
    {k: v for k, v in BASE.items() if k not in ("maxFeePerGas", "maxPriorityFeePerGas")}
    | {"gasPrice": 7, "accessList": [{"address": TO, "storageKeys": []}]},  # type 1
    {k: v for k, v in BASE.items() if k != "to"} | {"data": bytes(100)},  # contract creation, long payload
])
def test_transactions_sign_exactly_as_eth_account_signs_them(account, tx):
    ours, theirs = account.sign_transaction(tx), ORACLE.sign_transaction(tx)
    assert (ours.raw_transaction, ours.hash, ours.r, ours.s, ours.v) == \
           (theirs.raw_transaction, theirs.hash, theirs.r, theirs.s, theirs.v)
    assert ours["rawTransaction"] == ours.rawTransaction == ours[0] == theirs.raw_transaction
    assert ours.raw_transaction.to_0x_hex() == theirs.raw_transaction.to_0x_hex()


def test_missing_chain_id_is_the_chains_and_from_must_be_the_account(account):
    without = {k: v for k, v in BASE.items() if k != "chainId"}
    assert account.sign_transaction(without).raw_transaction == ORACLE.sign_transaction(BASE).raw_transaction
    with_from = dict(BASE, **{"from": ORACLE.address.lower()})
    assert account.sign_transaction(with_from).raw_transaction == ORACLE.sign_transaction(BASE).raw_transaction


@pytest.mark.parametrize("change, message", [
    ({"maxFeePerGas": None, "maxPriorityFeePerGas": None, "gasPrice": 5},
     "legacy transactions (gasPrice without an access list) are not signed yet; give maxFeePerGas and "
     "maxPriorityFeePerGas"),
    ({"type": 0}, "type 0: legacy transactions are not signed yet"),
    ({"type": 3}, "transaction type 3 is not signed (types 1 and 2 are)"),
    ({"chainId": 1}, f"the transaction's chain id 1 is not that of 'eip155:{CHAIN_ID}' (eip155:{CHAIN_ID})"),
    ({"nonce": 1.0}, "nonce is a float; give an int (exact) or 0x-hex text"),
    ({"value": True}, "value is a bool; give an int"),
    ({"value": -1}, "value is negative"),
    ({"value": "100"}, "value must be an integer or 0x-hex text, got '100'"),
    ({"value": 2**256}, "value does not fit in 256 bits"),
    ({"nonce": 2**64}, "nonce does not fit in 64 bits"),
    ({"nonce": None}, "nonce is missing"),
    ({"maxPriorityFeePerGas": 3 * 10**9}, "maxPriorityFeePerGas is above maxFeePerGas"),
    ({"to": TO.lower()[:-1]}, "to must be an address"),
    ({"to": TO[:-1] + "7"}, "to must be an address"),  # broken EIP-55 checksum
    ({"data": "0x123"}, "data: Odd number of digits"),
    ({"gasLimit": 21000}, "unknown field 'gasLimit'"),
    ({"from": "0x" + "44" * 20}, "from 0x" + "44" * 20 + " is not the signing account " + ORACLE.address),
    ({"accessList": [{"address": TO, "storageKeys": ["0x01"]}]}, "accessList[0].storageKeys[0] must be 32 bytes"),
])
def test_malformed_transactions_are_refused_naming_the_field(account, change, message):
    tx = {k: v for k, v in dict(BASE, **change).items() if v is not None}
    with pytest.raises(vek.InvalidInputError) as info:
        account.sign_transaction(tx)
    assert message in str(info.value)


@pytest.mark.parametrize("signable", [
    encode_defunct(text="Hello, vek"),
    encode_defunct(hexstr="0x" + "00ff" * 40),
    encode_typed_data(full_message=MAIL),
    encode_intended_validator(TO, b"payload"),
])
def test_signable_messages_sign_as_eth_account_and_recover(account, signable):
    ours, theirs = account.sign_message(signable), ORACLE.sign_message(signable)
    assert (ours.signature, ours.message_hash, ours.v) == (theirs.signature, theirs.message_hash, theirs.v)
    assert Account.recover_message(signable, signature=ours.signature) == account.address


def test_typed_data_and_unsafe_hashes(session, account):
    assert account.sign_typed_data(full_message=MAIL).signature == ORACLE.sign_typed_data(full_message=MAIL).signature
    with pytest.raises(vek.InvalidInputError, match="domain chainId 1 is not that of"):
        account.sign_typed_data(full_message=dict(MAIL, domain={"name": "x", "chainId": 1}))
    digest = bytes(range(32))
    with pytest.raises(vek.InvalidInputError, match="allow_unsafe_sign_hash=True"):
        account.unsafe_sign_hash(digest)
    allowed = SessionAccount(session, f"eip155:{CHAIN_ID}", allow_unsafe_sign_hash=True)
    assert allowed.unsafe_sign_hash(digest).signature == ORACLE.unsafe_sign_hash(digest).signature
    assert allowed.unsafe_sign_hash("0x" + digest.hex()) == allowed.unsafe_sign_hash(digest)
    with pytest.raises(vek.InvalidInputError, match="the hash must be 32 bytes, got 31"):
        allowed.unsafe_sign_hash(digest[:31])
    with pytest.raises(vek.InvalidInputError, match="version 0x02 is not signed"):
        session.sign_signable_message("ethereum", b"\x02", b"", b"")
    with pytest.raises(vek.InvalidInputError, match="EVM chain, not solana"):
        SessionAccount(session, "solana")
    assert not hasattr(account, "key")


def test_solana_checks_take_base58_and_hex_and_sign_message_takes_0x_hex(session):
    nacl = pytest.importorskip("nacl.signing")
    solders = pytest.importorskip("solders.signature")
    seed = bytes(range(32))
    address = session.address("solana")
    raw = nacl.SigningKey(seed).sign(b"log in").signature
    base58 = str(solders.Signature(raw))
    for sig in (base58, raw.hex(), "0x" + raw.hex(), "0X" + raw.hex().upper(), raw):
        assert vek.verify_message("solana", address, "log in", sig)
    assert not vek.verify_message("solana", address, "log out", base58)
    offchain = session.sign_message("solana", "hi", format="offchain").signature
    from_base58 = bytes(solders.Signature.from_string(offchain))
    assert vek.verify_message("solana", address, "hi", "0x" + from_base58.hex(), format="offchain")
    with pytest.raises(vek.InvalidInputError, match="invalid signature: neither hex nor base58"):
        vek.verify_message("solana", address, "log in", "0OIl")
    assert session.sign_message("ethereum", "0xABCD", encoding="hex") == \
           session.sign_message("ethereum", b"\xab\xcd")
