"""Secrets given to the application API: sessions over a phrase or key with no vault,
phrases and BIP-39 passphrases in NFKD form, the passphrase a new wallet must be given,
keys made at random said so, and keystores with light key stretching."""
import json
import pathlib
import unicodedata
import warnings

import pytest

import vek
from conftest import raises, wallet_files
from test_compat import UNICODE_BIP39
from test_wallets import KEY, ZERO_PHRASE
from vek import _native

bip_utils = pytest.importorskip("bip_utils")
eth_account = pytest.importorskip("eth_account")
eth_keyfile = pytest.importorskip("eth_keyfile")

PASS = "ephemeral passphrase"
ED = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"
FULL_WIDTH = ZERO_PHRASE.replace("abandon", "\uff41\uff42\uff41\uff4e\uff44\uff4f\uff4e").replace(" ", "\u3000")


@pytest.fixture
def app(vault):
    return vek.Vault(vault)


def oracle_eth(phrase, bip39, path_index=0):
    seed = bip_utils.Bip39SeedGenerator(phrase).Generate(bip39)
    node = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.ETHEREUM).Purpose().Coin().Account(0)
    return node.Change(bip_utils.Bip44Changes.CHAIN_EXT).AddressIndex(path_index).PublicKey().ToAddress()


@pytest.mark.parametrize("form", ["NFC", "NFD"])
def test_unicode_bip39_passphrases_and_phrases_give_what_bip_utils_gives(app, form):
    bip39 = unicodedata.normalize(form, UNICODE_BIP39)
    expected = oracle_eth(ZERO_PHRASE, UNICODE_BIP39)
    assert vek.derive_address(FULL_WIDTH, "ethereum", bip39_passphrase=bip39) == expected
    with vek.Session.from_mnemonic(FULL_WIDTH, bip39) as eph:
        assert eph.address("ethereum") == expected
        assert eph.wallet.bip39_passphrase and eph.wallet.accounts[0].address == expected
        stored = app.import_mnemonic("u", ZERO_PHRASE, PASS, bip39_passphrase=UNICODE_BIP39)
        assert stored.accounts == eph.wallet.accounts
        # Unlocked under the other composition: the same seed, the same signatures.
        with app.unlock("u", PASS, bip39_passphrase=bip39) as unlocked:
            assert unlocked.sign_message("solana", "m") == eph.sign_message("solana", "m")
    with pytest.raises(vek.WrongBip39PassphraseError) as info:
        app.unlock("u", PASS, bip39_passphrase=UNICODE_BIP39.upper())
    assert isinstance(info.value, vek.WrongPassphraseError)


def test_an_ephemeral_session_is_a_session_without_a_file(app, vault):
    with pytest.warns(vek.GeneratedKeyWarning, match="^this session: the ed25519 key was not given"):
        eph = vek.Session.from_private_key("0x" + KEY, ttl=60)
    assert (eph.wallet.id, eph.wallet.name, eph.wallet.generated_keys) == ("", "", ["ed25519"])
    account = eth_account.Account.from_key(KEY)
    assert eph.address("ethereum") == account.address
    assert eph.sign_message("ethereum", "hi").signature.removeprefix("0x") == \
        account.sign_message(eth_account.messages.encode_defunct(text="hi")).signature.hex().removeprefix("0x")
    raises(vek.InvalidInputError, "invalid input: a session made from a phrase or key (not unlocked from a vault) "
           "has no wallet file to add an account to", eph.add_account, "ethereum", 1)
    eph.close()
    with pytest.raises(vek.SessionClosedError):
        eph.address("ethereum")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        both = vek.Session.from_private_key(secp256k1_key=KEY, ed25519_key=ED)
        assert both.wallet.generated_keys == [] and both.address("ethereum") == account.address
        from_phrase = vek.Session.from_mnemonic(ZERO_PHRASE)
    assert from_phrase.wallet.accounts == app.import_mnemonic("z", ZERO_PHRASE, "").accounts
    for bad in (lambda: vek.Session.from_mnemonic(ZERO_PHRASE, ttl=0),
                lambda: vek.Session.from_private_key(KEY, ttl=-1)):
        raises(vek.InvalidInputError, "invalid input: ttl must be a positive number of seconds", bad)
    raises(vek.InvalidInputError, "invalid input: invalid hex private key: Odd number of digits",
           vek.Session.from_private_key, KEY[:-1])
    with pytest.raises(vek.MnemonicError):
        vek.Session.from_mnemonic("abandon")
    assert list(wallet_files(vault)) == [f"{app.get('z').id}.json"]


def test_derive_address_at_a_path_or_a_preset():
    preset = vek.preset_path("evm-account", "ethereum", 3)
    at_preset = vek.derive_address(ZERO_PHRASE, "ethereum", 3, preset="evm-account")
    assert at_preset == vek.derive_address(ZERO_PHRASE, "ethereum", path=preset) != \
        vek.derive_address(ZERO_PHRASE, "ethereum", 3)
    with vek.Session.from_mnemonic(ZERO_PHRASE) as eph:
        assert eph.address("ethereum", path=preset) == at_preset
        assert vek.derive_address(ZERO_PHRASE, "solana", preset="solana-seed") == \
            eph.address("solana", path="seed[0:32]")
    for kwargs in ({"index": 1, "path": preset}, {"preset": "default", "path": preset}):
        raises(vek.InvalidInputError, "invalid input: give a path, or an index and a preset, not both",
               vek.derive_address, ZERO_PHRASE, "ethereum", **kwargs)
    with pytest.raises(vek.InvalidInputError, match="unknown derivation preset"):
        vek.derive_address(ZERO_PHRASE, "ethereum", preset="nope")


def test_a_new_wallet_needs_its_passphrase_said(app, vault):
    message = ('invalid input: passphrase is required: give the wallet\'s passphrase, or passphrase="" to store the '
               "wallet without one")
    for call in (lambda: app.create("a"), lambda: app.import_mnemonic("b", ZERO_PHRASE, None),
                 lambda: app.import_private_key("c", KEY), lambda: app.import_key("d", KEY, "hex")):
        raises(vek.InvalidInputError, message, call)
    assert wallet_files(vault) == {}


@pytest.mark.parametrize("how, generated", [
    (dict(private_key=KEY), ["ed25519"]),
    (dict(private_key=ED, chain="solana"), ["secp256k1"]),
    (dict(secp256k1_key=KEY, ed25519_key=ED), []),
])
def test_a_random_key_is_said_and_recorded_and_native_reads_the_file_as_before(app, vault, how, generated):
    with warnings.catch_warnings(record=True) as said:
        warnings.simplefilter("always")
        w = app.import_private_key("k", passphrase="", **how)
    assert [str(m.message).split(": the ")[1].split(" key")[0] for m in said] == generated
    assert all(m.category is vek.GeneratedKeyWarning and m.filename == __file__ for m in said)
    path = pathlib.Path(vault) / "wallets" / f"{w.id}.json"
    doc = json.loads(path.read_text())
    assert w.generated_keys == app.get("k").generated_keys == doc.get("generated_keys", []) == generated
    native = _native.get_wallet("k", vault)
    doc.pop("generated_keys", None)
    path.write_text(json.dumps(doc))
    assert _native.get_wallet("k", vault) == native and "generated_keys" not in native
    assert app.get("k").generated_keys == []


def test_light_keystores_import_only_when_allowed_and_are_stored_under_the_vaults_parameters(app, vault, monkeypatch):
    monkeypatch.setattr(eth_keyfile.keyfile, "SCRYPT_P", 6)
    geth_light = eth_keyfile.create_keyfile_json(bytes.fromhex(KEY), b"pw", kdf="scrypt", iterations=4096)
    few_rounds = eth_account.Account.encrypt(KEY, "pw", kdf="pbkdf2", iterations=10240)
    address = eth_account.Account.from_key(KEY).address
    for name, keystore in (("scrypt", geth_light), ("pbkdf2", few_rounds)):
        with pytest.raises(vek.CryptoError, match="allow_weak_kdf=True") as info:
            app.import_key(name, json.dumps(keystore), "keystore", key_password="pw", passphrase=PASS)
        assert "attack" not in str(info.value)
        with pytest.warns(vek.GeneratedKeyWarning):
            w = app.import_key(name, json.dumps(keystore), "keystore", key_password="pw", passphrase=PASS,
                               allow_weak_kdf=True)
        assert w.accounts[0].address == address and w.generated_keys == ["ed25519"]
        stored = json.loads((pathlib.Path(vault) / "wallets" / f"{w.id}.json").read_text())["crypto"]
        assert stored["kdfparams"]["n"] == 262144
        assert app.export_key(name, "ethereum", passphrase=PASS) == KEY
