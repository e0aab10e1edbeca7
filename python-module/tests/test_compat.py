"""Compatibility with other wallets through vek.Vault: changing a passphrase in place,
and keys that come in and go out in the formats other wallets use (checked against
independent implementations)."""
import json
import pathlib

import pytest

import vek
from test_wallets import KEY, ZERO_PHRASE
from vek import _native

PASS = "compat passphrase"


@pytest.fixture
def app(vault):
    return vek.Vault(vault)


def wallet_file(vault, wallet_id):
    return pathlib.Path(vault) / "wallets" / f"{wallet_id}.json"


# ---------------------------------------------------------------- change passphrase


@pytest.mark.parametrize("kind", ["mnemonic", "private_key"])
def test_change_passphrase_replaces_only_the_envelope(app, vault, kind):
    if kind == "mnemonic":
        w = app.import_mnemonic("w", ZERO_PHRASE, PASS, index=3)
    else:
        w = app.import_private_key("w", KEY, passphrase=PASS)
    path = wallet_file(vault, w.id)
    before = json.loads(path.read_text())
    secret = app.export("w", PASS)

    app.change_passphrase("w", PASS, "new one")

    after = json.loads(path.read_text())
    assert {k: v for k, v in after.items() if k != "crypto"} == {k: v for k, v in before.items() if k != "crypto"}
    old_c, new_c = before["crypto"], after["crypto"]
    assert new_c["kdfparams"]["salt"] != old_c["kdfparams"]["salt"]
    assert new_c["cipherparams"]["iv"] != old_c["cipherparams"]["iv"]
    assert {k: v for k, v in new_c["kdfparams"].items() if k != "salt"} == {"dklen": 32, "n": 262144, "p": 1, "r": 8}
    assert list(path.parent.iterdir()) == [path]  # no temporary file left behind
    # The same secret, now under the new passphrase only, for both faces of the module.
    assert app.export("w", "new one") == _native.export_wallet(w.id, "new one", vault) == secret
    with pytest.raises(vek.WrongPassphraseError):
        app.export("w", PASS)
    with app.unlock("w", "new one") as session:
        assert session.address("ethereum") == w.accounts[0].address
    # None is the empty passphrase, both ways.
    app.change_passphrase(w.id, "new one", None)
    assert _native.export_wallet("w", None, vault) == secret
    assert app.get("w") == w


def test_change_passphrase_failures_change_nothing(app, vault):
    w = app.import_mnemonic("w", ZERO_PHRASE, PASS)
    path = wallet_file(vault, w.id)
    original = path.read_bytes()
    with pytest.raises(vek.WrongPassphraseError, match=r"^decryption failed: aead::Error$"):
        app.change_passphrase("w", "wrong", "new")
    with pytest.raises(vek.WalletNotFoundError, match=r"^wallet not found: 'nobody'$"):
        app.change_passphrase("nobody", PASS, "new")
    assert path.read_bytes() == original

    # A file whose listed address is not its secret's is not sealed again.
    doc = json.loads(original)
    doc["accounts"][0]["address"] = _native.derive_address(ZERO_PHRASE, "ethereum", 1)
    path.write_text(json.dumps(doc))
    tampered = path.read_bytes()
    with pytest.raises(vek.InvalidInputError) as info:
        app.change_passphrase("w", PASS, "new")
    assert str(info.value) == "invalid input: the stored accounts of wallet 'w' do not match its secret"
    assert path.read_bytes() == tampered


def test_change_passphrase_acts_on_the_file_the_wallet_was_read_from(app, vault):
    # A copy under another file name is changed there; the wallet does not move.
    w = app.create("c", PASS)
    src = wallet_file(vault, w.id)
    copy = src.with_name("backup-copy.json")
    src.rename(copy)
    app.change_passphrase("c", PASS, "moved")
    assert sorted(p.name for p in src.parent.iterdir()) == ["backup-copy.json"]
    assert len(app.export("c", "moved").split()) == 12


# ---------------------------------------------------------------- key interchange

eth_account = pytest.importorskip("eth_account")
eth_keyfile = pytest.importorskip("eth_keyfile")
bip_utils = pytest.importorskip("bip_utils")
solders_keypair = pytest.importorskip("solders.keypair")

SECP = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
ED = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"


def addresses(wallet):
    return {a.chain_id.split(":")[0]: a.address for a in wallet.accounts}


@pytest.mark.parametrize("kdf", ["scrypt", "pbkdf2"])
def test_keystore_written_by_eth_account_imports_and_ours_opens_there(app, kdf):
    # eth-keyfile writes scrypt with N=2^18, r=8, p=1 and pbkdf2 with 1,000,000 rounds.
    keystore = eth_account.Account.encrypt(SECP, "ks pass", kdf=kdf)
    w = app.import_key("ks", json.dumps(keystore), "keystore", key_password="ks pass", passphrase=PASS)
    expected = eth_account.Account.from_key(SECP).address
    assert addresses(w)["eip155"] == expected
    assert app.export_key("ks", "ethereum", passphrase=PASS) == SECP
    ours = app.export_key("ks", "polygon", "keystore", PASS, key_password="out pass")
    doc = json.loads(ours)
    assert doc["version"] == 3 and doc["address"] == expected[2:].lower()
    assert doc["crypto"]["kdfparams"]["n"] == 262144 and doc["crypto"]["kdfparams"]["r"] == 8
    assert eth_account.Account.decrypt(ours, "out pass").hex().removeprefix("0x") == SECP
    assert eth_keyfile.decode_keyfile_json(doc, b"out pass").hex() == SECP
    # Bytes of a file work too, and the wrong password is a wrong passphrase.
    with pytest.raises(vek.WrongPassphraseError, match=r"^decryption failed: keystore MAC mismatch \(wrong password or altered file\)$"):
        app.import_key("ks2", ours.encode(), "keystore", key_password="nope")


def test_keystores_with_weak_or_foreign_parameters_are_refused(app, vault, monkeypatch):
    good = eth_account.Account.encrypt(SECP, "p", kdf="scrypt")

    def changed(**kdfparams):
        doc = json.loads(json.dumps(good))
        doc["crypto"]["kdfparams"].update(kdfparams)
        return json.dumps(doc)

    light = json.loads(json.dumps(good))
    light["crypto"]["kdf"], light["crypto"]["kdfparams"] = "pbkdf2", {"c": 10240, "dklen": 32, "prf": "hmac-sha256",
                                                                      "salt": "00" * 16}
    cases = {
        changed(n=4096): "scrypt N=4096 is below minimum 262144 \u2014 possible downgrade attack",
        changed(r=1): "scrypt r*p=1 is below minimum 8 \u2014 possible downgrade attack",
        changed(n=262143): "scrypt N must be a power of 2, got 262143",
        changed(n=2**22): "scrypt parameters need 4294970432 bytes of memory, above the limit of 2147483648",
        changed(dklen=16): "dklen=16 is unsupported, expected exactly 32",
        changed(salt="00" * 8): "keystore salt is 8 bytes, below minimum 16",
        json.dumps(light): "pbkdf2 c=10240 is below minimum 262144 \u2014 possible downgrade attack",
        json.dumps({**good, "version": 1}): "unsupported keystore version 1, expected 3",
        "[1, 2]": "not a keystore file: not a JSON object",
    }
    # The same work spread differently (r=1, p=8) is not weaker.
    monkeypatch.setattr(eth_keyfile.keyfile, "SCRYPT_R", 1)
    monkeypatch.setattr(eth_keyfile.keyfile, "SCRYPT_P", 8)
    r1p8 = eth_keyfile.create_keyfile_json(bytes.fromhex(SECP), b"p", kdf="scrypt")
    assert r1p8["crypto"]["kdfparams"]["r"] == 1
    same_work = app.import_key("r1p8", json.dumps(r1p8), "keystore", key_password="p")
    for text, message in cases.items():
        with pytest.raises(vek.CryptoError) as info:
            app.import_key("weak", text, "keystore", key_password="p")
        assert type(info.value) is vek.CryptoError
        assert str(info.value) == "invalid parameters: " + message
    other = json.loads(json.dumps(good))
    other["address"] = "00" * 20
    with pytest.raises(vek.InvalidInputError, match=r"^invalid input: the keystore's address does not match its key$"):
        app.import_key("weak", json.dumps(other), "keystore", key_password="p")
    assert app.wallets() == [same_work]


def test_wif_and_hex_match_bip_utils_both_ways(app):
    wif = bip_utils.WifEncoder.Encode(bytes.fromhex(SECP))
    w = app.import_key("wif", wif, "wif", passphrase=PASS)
    pub = bip_utils.Secp256k1PrivateKey.FromBytes(bytes.fromhex(SECP)).PublicKey()
    assert addresses(w)["bip122"] == bip_utils.P2WPKHAddrEncoder.EncodeKey(pub, hrp="bc")
    assert app.export_key("wif", "bitcoin", "wif", PASS) == wif
    # Testnet and uncompressed WIF carry the same key.
    secp_families = ("eip155", "bip122", "cosmos", "tron")
    for i, text in enumerate((bip_utils.WifEncoder.Encode(bytes.fromhex(SECP), net_ver=b"\xef"),
                              bip_utils.WifEncoder.Encode(bytes.fromhex(SECP),
                                                          pub_key_mode=bip_utils.WifPubKeyModes.UNCOMPRESSED))):
        other = addresses(app.import_key(f"w{i}", "\n" + text + "\n", "wif"))
        assert [other[f] for f in secp_families] == [addresses(w)[f] for f in secp_families]
    for i, text in enumerate(("0x" + SECP, "0X" + SECP.upper(), SECP)):
        assert addresses(app.import_key(f"h{i}", text, "hex"))["eip155"] == addresses(w)["eip155"]
    h = app.import_key("ed", ED, "hex", chain="solana")
    assert app.export_key("ed", "solana") == ED
    assert addresses(h)["solana"] == str(solders_keypair.Keypair.from_seed(bytes.fromhex(ED)).pubkey())
    bad = {
        wif[:-1] + ("1" if wif[-1] != "1" else "2"): "invalid input: invalid wif key: base58check checksum mismatch",
        bip_utils.Base58Encoder.CheckEncode(b"\x00" + bytes(32)): "invalid input: invalid wif key: "
        "version byte 0x00 is not a private key's (0x80 or 0xef)",
        bip_utils.Base58Encoder.CheckEncode(b"\x80" + bytes(31)): "invalid input: invalid wif key: 32 bytes, expected 33 or 34",
        bip_utils.Base58Encoder.CheckEncode(b"\x80" + bytes.fromhex(SECP) + b"\x02"): "invalid input: invalid wif key: "
        "compression flag 0x02, expected 0x01",
    }
    for text, message in bad.items():
        with pytest.raises(vek.InvalidInputError) as info:
            app.import_key("bad", text, "wif")
        assert str(info.value) == message


def test_solana_keypairs_match_solders_both_ways(app, tmp_path):
    kp = solders_keypair.Keypair.from_seed(bytes.fromhex(ED))
    a = app.import_key("b58", str(kp), "solana-base58", passphrase=PASS)
    b = app.import_key("json", kp.to_json(), "solana-json", passphrase=PASS)
    assert addresses(a)["solana"] == addresses(b)["solana"] == str(kp.pubkey())
    # What we export is what the Solana tools read: the file format and the base58 text.
    exported_json = app.export_key("json", "solana", "solana-json", PASS)
    assert solders_keypair.Keypair.from_json(exported_json) == kp
    assert json.loads(exported_json) == list(bytes(kp))
    assert solders_keypair.Keypair.from_base58_string(app.export_key("b58", "solana", "solana-base58", PASS)) == kp
    pretty = "[\n  " + ",\n  ".join(str(x) for x in bytes(kp)) + "\n]\n"
    assert addresses(app.import_key("pretty", pretty, "solana-json"))["solana"] == str(kp.pubkey())
    wrong_half = bytes(kp)[:32] + bytes(solders_keypair.Keypair().pubkey())
    bad = {
        ("solana-json", json.dumps(list(wrong_half))): "its public key does not match its secret key",
        ("solana-json", json.dumps(list(bytes(kp))[:63])): "63 bytes, expected 64",
        ("solana-json", json.dumps(list(bytes(kp))[:63] + [256])): "not a JSON array of integers from 0 to 255",
        ("solana-json", str(kp)): "not a JSON array of integers from 0 to 255",
        ("solana-base58", str(kp) + "0"): f"invalid base58 character at position {len(str(kp))}",
    }
    for (fmt, text), reason in bad.items():
        with pytest.raises(vek.InvalidInputError) as info:
            app.import_key("bad", text, fmt)
        assert str(info.value) == f"invalid input: invalid {fmt} key: {reason}"


def test_key_export_uses_the_stored_account_and_checks_formats(app, vault):
    w = app.import_mnemonic("m", ZERO_PHRASE, PASS, index=2)
    seed = bip_utils.Bip39SeedGenerator(ZERO_PHRASE).Generate()
    evm = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.ETHEREUM).Purpose().Coin().Account(0).Change(
        bip_utils.Bip44Changes.CHAIN_EXT).AddressIndex(2)
    assert app.export_key("m", "ethereum", "hex", PASS) == evm.PrivateKey().Raw().ToHex()
    keystore = app.export_key("m", "ethereum", "keystore", PASS, key_password="k")
    assert eth_account.Account.from_key(eth_account.Account.decrypt(keystore, "k")).address == addresses(w)["eip155"]
    sol = solders_keypair.Keypair.from_base58_string(app.export_key("m", "solana", "solana-base58", PASS))
    assert str(sol.pubkey()) == addresses(w)["solana"]
    with pytest.raises(vek.WrongPassphraseError):
        app.export_key("m", "ethereum", "hex", "wrong")
    errors = {
        ("ethereum", "wif"): "key format 'wif' is for bitcoin keys, not for 'ethereum'",
        ("bitcoin", "keystore"): "key format 'keystore' is for evm keys, not for 'bitcoin'",
        ("ton", "solana-json"): "key format 'solana-json' is for solana keys, not for 'ton'",
        ("ethereum", "pem"): "unsupported key format: pem (use 'hex', 'wif', 'keystore', 'solana-base58' or 'solana-json')",
    }
    for (chain, fmt), message in errors.items():
        with pytest.raises(vek.InvalidInputError) as info:
            app.export_key("m", chain, fmt, PASS)
        assert str(info.value) == "invalid input: " + message
        with pytest.raises(vek.InvalidInputError) as info:
            app.import_key("x", SECP, fmt, chain=chain)
        assert str(info.value) == "invalid input: " + message
