"""The result types as values (pickle, hash, to_dict), the keys and addresses a session and a
stored wallet give, and EVM signatures in the text form EVM libraries use."""
import json
import pickle

import pytest

import vek
from cli_helpers import ED_KEY, solana_transfer
from test_broadcast import eip1559
from test_wallets import KEY, ZERO_PHRASE

eth_account = pytest.importorskip("eth_account")
eth_keys = pytest.importorskip("eth_keys")
from eth_account.messages import encode_defunct  # noqa: E402

PASS = "values"


@pytest.fixture
def app(vault):
    v = vek.Vault(vault.encode())  # a bytes path is the same directory
    v.import_mnemonic("phrase", ZERO_PHRASE, passphrase=PASS)
    v.import_private_key("keys", secp256k1_key=KEY, ed25519_key=ED_KEY, passphrase=PASS)
    return v


def results(app):
    with app.unlock(name_or_id="phrase", passphrase=PASS) as s:
        solana_tx, _ = solana_transfer(s.address("solana"))
        yield from (app.get("phrase"), app.get("phrase").accounts[3], s.sign_message("cosmos", "hi", format="adr036"),
                    s.sign_message("ethereum", "hi"), s.sign_transaction("ethereum", eip1559(1, 0)[1]))
    yield from (vek.decode_transaction("ethereum", eip1559(1, 7, value=3 * 10**20)[1]),
                vek.decode_transaction("solana", solana_tx), vek.known_chains()[-1], vek.families()[2],
                vek.rpc_endpoint("ethereum"))


def test_results_are_plain_values(app):
    for r in results(app):
        again = pickle.loads(pickle.dumps(r))
        assert again == r and hash(again) == hash(r) and repr(again) == repr(r)
        assert json.loads(json.dumps(r.to_dict())) == r.to_dict()
        with pytest.raises(TypeError):
            type(r).__new__(type(r)).__setstate__(())


def test_decoded_numbers_are_ints_beyond_64_bits():
    fields, unsigned = eip1559(10, 2**40, value=3 * 10**20)
    d = vek.decode_transaction("optimism", unsigned)
    assert (d.evm_chain_id, d.nonce, d.value_wei, d.gas_limit, d.max_fee_per_gas, d.max_priority_fee_per_gas) == (
        10, 2**40, 3 * 10**20, 21000, fields["maxFeePerGas"], fields["maxPriorityFeePerGas"])
    assert (d.value_ether, d.gas_price, d.fee_payer) == ("300", None, None)


def test_evm_signatures_read_as_eth_account_writes_them(app):
    signer = eth_account.Account.from_key(KEY)
    fields, unsigned = eip1559(137, 3)
    with app.unlock("keys", PASS) as s:
        assert s.sign_message("polygon", "hi").signature == signer.sign_message(
            encode_defunct(text="hi")).signature.to_0x_hex()
        tx = s.sign_transaction("polygon", unsigned)
        theirs = signer.sign_transaction(fields)
        assert tx.signature == "0x%064x%064x%02x" % (theirs.r, theirs.s, theirs.v)
        assert not s.sign_message("tron", "hi").signature.startswith("0x")


@pytest.mark.parametrize("wallet", ["phrase", "keys"])
def test_public_keys_are_the_signing_keys(app, wallet):
    with app.unlock(wallet, PASS) as s:
        for f in vek.families():
            assert s.public_key(f.default_chain) == app.public_key(wallet, f.default_chain, PASS)
        evm = eth_keys.keys.PublicKey.from_compressed_bytes(bytes.fromhex(s.public_key("base", index=4)))
        assert evm.to_checksum_address() == s.address("base", index=4)
        assert len(bytes.fromhex(s.public_key("ton"))) == 32
        with pytest.warns(DeprecationWarning, match="use Session.address"):
            assert s.derive("ethereum", index=1) == s.address("ethereum", index=1)


@pytest.mark.parametrize("wallet", ["phrase", "keys"])
def test_a_stored_address_is_the_sessions_or_refused(app, wallet):
    w = app.get(wallet)
    families = {c.chain_id: c.family for c in vek.known_chains()}
    assert [a.family for a in w.accounts] == [families[a.chain_id] for a in w.accounts]
    with app.unlock(wallet, PASS) as s:
        for c in vek.known_chains():
            try:
                assert w.address(c.name) == s.address(c.name), c.name
            except vek.InvalidInputError as e:
                assert str(e).endswith(f"; Session.address('{c.name}') derives it"), e
                assert s.address(c.name) not in str(e)
    refused = {c.name for c in vek.known_chains() if not_stored(w, c.name)}
    assert refused == ({"bitcoin-testnet", "bitcoin-signet", "secret", "kava", "ton-testnet"} if wallet == "phrase"
                       else {"ton-testnet"})
    with pytest.raises(vek.InvalidInputError, match="unknown chain"):
        w.address("nochain")


def not_stored(w, chain):
    try:
        w.address(chain)
    except vek.InvalidInputError:
        return True
    return False
