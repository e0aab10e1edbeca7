"""Compatibility with other wallets through vek.Vault: changing a passphrase in place,
and keys that come in and go out in the formats other wallets use (checked against
independent implementations)."""
import hashlib
import json
import pathlib
import signal

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
        app.import_key("ks2", ours.encode(), "keystore", key_password="nope", passphrase="")


def test_keystores_with_weak_or_foreign_parameters_are_refused(app, vault, monkeypatch):
    good = eth_account.Account.encrypt(SECP, "p", kdf="scrypt")

    def changed(**kdfparams):
        doc = json.loads(json.dumps(good))
        doc["crypto"]["kdfparams"].update(kdfparams)
        return json.dumps(doc)

    light = json.loads(json.dumps(good))
    light["crypto"]["kdf"], light["crypto"]["kdfparams"] = "pbkdf2", {"c": 10240, "dklen": 32, "prf": "hmac-sha256",
                                                                      "salt": "00" * 16}
    padded = json.dumps({**good, "pad": "x" * 65536})
    heavy = json.loads(json.dumps(light))
    heavy["crypto"]["kdfparams"]["c"] = 10_000_000
    hint = ("; pass allow_weak_kdf=True (vek import-keystore --allow-weak-kdf) to import it; the wallet is stored "
            "under the vault's own parameters")
    cases = {
        changed(n=4096): "scrypt N=4096 is below minimum 262144" + hint,
        changed(r=1): "scrypt r*p=1 is below minimum 8" + hint,
        changed(n=262143): "scrypt N must be a power of 2, got 262143",
        # Beyond what wallets write: refused before any key stretching.
        changed(n=2**22): "scrypt N=4194304 is above the limit of 262144",
        changed(p=8): "scrypt r*p=64 is above the limit of 8",
        padded: f"not a keystore file: {len(padded)} bytes, above the limit of 65536",
        changed(dklen=16): "dklen=16 is unsupported, expected exactly 32",
        changed(salt="00" * 8): "keystore salt is 8 bytes, below minimum 16",
        json.dumps(light): "pbkdf2 c=10240 is below minimum 262144" + hint,
        json.dumps(heavy): "pbkdf2 c=10000000 is above the limit of 1000000",
        json.dumps({**good, "version": 1}): "unsupported keystore version 1, expected 3",
        "[1, 2]": "not a keystore file: not a JSON object",
    }
    # The same work spread differently (r=1, p=8) is not weaker.
    monkeypatch.setattr(eth_keyfile.keyfile, "SCRYPT_R", 1)
    monkeypatch.setattr(eth_keyfile.keyfile, "SCRYPT_P", 8)
    r1p8 = eth_keyfile.create_keyfile_json(bytes.fromhex(SECP), b"p", kdf="scrypt")
    assert r1p8["crypto"]["kdfparams"]["r"] == 1
    same_work = app.import_key("r1p8", json.dumps(r1p8), "keystore", key_password="p", passphrase="")
    for text, message in cases.items():
        with pytest.raises(vek.CryptoError) as info:
            app.import_key("weak", text, "keystore", key_password="p", passphrase="")
        assert type(info.value) is vek.CryptoError
        assert str(info.value) == "invalid parameters: " + message
        assert "attack" not in str(info.value)
    other = json.loads(json.dumps(good))
    other["address"] = "00" * 20
    with pytest.raises(vek.InvalidInputError, match=r"^invalid input: the keystore's address does not match its key$"):
        app.import_key("weak", json.dumps(other), "keystore", key_password="p", passphrase="")
    assert app.wallets() == [same_work]


def test_an_interrupt_during_a_keystore_import_writes_nothing(app):
    keystore = json.dumps(eth_account.Account.encrypt(SECP, "p", kdf="scrypt"))

    class Stop(Exception):
        pass

    def stop(signum, frame):
        raise Stop

    # The alarm goes off while the keystore's key is stretched (scrypt, N = 2^18): its
    # handler's exception ends the import there, before the wallet is encrypted and written.
    previous = signal.signal(signal.SIGALRM, stop)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.01)
        with pytest.raises(Stop):
            app.import_key("ks", keystore, "keystore", key_password="p", passphrase=PASS)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert app.wallets() == []


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
        other = addresses(app.import_key(f"w{i}", "\n" + text + "\n", "wif", passphrase=""))
        assert [other[f] for f in secp_families] == [addresses(w)[f] for f in secp_families]
    for i, text in enumerate(("0x" + SECP, "0X" + SECP.upper(), SECP)):
        assert addresses(app.import_key(f"h{i}", text, "hex", passphrase=""))["eip155"] == addresses(w)["eip155"]
    h = app.import_key("ed", ED, "hex", chain="solana", passphrase="")
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
            app.import_key("bad", text, "wif", passphrase="")
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
    assert addresses(app.import_key("pretty", pretty, "solana-json", passphrase=""))["solana"] == str(kp.pubkey())
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
            app.import_key("bad", text, fmt, passphrase="")
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
            app.import_key("x", SECP, fmt, chain=chain, passphrase="")
        assert str(info.value) == "invalid input: " + message


# ---------------------------------------------------------------- BIP-39 passphrase

BIP39 = "bip39 25th word"
NATIVE_REFUSAL = ("invalid input: wallet '{}' is protected by a BIP-39 passphrase, which vek._native cannot take; "
                  "sign with vek.Vault.unlock")


def oracle_addresses(phrase, bip39, index):
    """{CAIP-2 namespace: address} of the secp256k1 families and Solana, and TON's private key, from bip-utils."""
    seed = bip_utils.Bip39SeedGenerator(phrase).Generate(bip39)
    ext = bip_utils.Bip44Changes.CHAIN_EXT

    def bip44(coin, cls=bip_utils.Bip44):
        return cls.FromSeed(seed, coin).Purpose().Coin().Account(0).Change(ext).AddressIndex(index)

    solana = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.SOLANA).Purpose().Coin().Account(index).Change(ext)
    ton = bip_utils.Bip32Slip10Ed25519.FromSeed(seed).DerivePath(f"m/44'/607'/{index}'")
    return {
        "eip155": bip44(bip_utils.Bip44Coins.ETHEREUM).PublicKey().ToAddress(),
        "solana": solana.PublicKey().ToAddress(),
        "bip122": bip44(bip_utils.Bip84Coins.BITCOIN, bip_utils.Bip84).PublicKey().ToAddress(),
        "cosmos": bip44(bip_utils.Bip44Coins.COSMOS).PublicKey().ToAddress(),
        "tron": bip44(bip_utils.Bip44Coins.TRON).PublicKey().ToAddress(),
    }, ton.PrivateKey().Raw().ToHex()


# Composed characters, Cyrillic and an emoji: BIP-39 hashes its NFKD form, as bip-utils does.
UNICODE_BIP39 = "\u00dcn\u00efc\u00f6d\u00e9 \u043a\u043b\u044e\u0447 \U0001f511"


@pytest.mark.parametrize("bip39", ["", BIP39, UNICODE_BIP39])
def test_addresses_with_and_without_a_bip39_passphrase_match_bip_utils(app, bip39):
    names = {"eip155": "ethereum", "solana": "solana", "bip122": "bitcoin", "cosmos": "cosmos", "tron": "tron"}
    for index in (0, 1, 7):
        expected, ton_key = oracle_addresses(ZERO_PHRASE, bip39, index)
        for ns, address in expected.items():
            assert vek.derive_address(ZERO_PHRASE, names[ns], index, bip39) == address, (ns, index)
        w = app.import_mnemonic(f"i{index}", ZERO_PHRASE, PASS, index=index, bip39_passphrase=bip39)
        assert w.bip39_passphrase is bool(bip39)
        assert {ns: a for ns, a in addresses(w).items() if ns in expected} == expected
        # TON: the key behind the listed address is bip-utils' SLIP-10 key.
        assert app.export_key(w.id, "ton", "hex", PASS, bip39_passphrase=bip39 or None) == ton_key
    assert vek.derive_address(ZERO_PHRASE, "ethereum") == _native.derive_address(ZERO_PHRASE, "ethereum")


def test_a_bip39_wallet_signs_only_through_a_session_given_its_passphrase(app, vault, capfd):
    w = app.import_mnemonic("p", ZERO_PHRASE, PASS, index=1, bip39_passphrase=BIP39)
    plain = app.import_mnemonic("plain", ZERO_PHRASE, PASS)
    doc = json.loads(wallet_file(vault, w.id).read_text())
    assert doc["bip39_passphrase"] is True and "bip39_passphrase" not in wallet_file(vault, plain.id).read_text()
    assert BIP39 not in wallet_file(vault, w.id).read_text()

    # vek._native lists it, but signs with none of its keys, and says why.
    listed = _native.get_wallet("p", vault)
    assert [a["address"] for a in listed["accounts"]] == [a.address for a in w.accounts]
    for call in (lambda: _native.sign_message("p", "ethereum", "m", PASS, vault_path_opt=vault),
                 lambda: _native.sign_transaction("p", "solana", "00", PASS, vault_path_opt=vault),
                 lambda: _native.sign_message("p", "ethereum", "m", PASS, index=1, vault_path_opt=vault)):
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == NATIVE_REFUSAL.format("p")
    # The backup is the phrase (the BIP-39 passphrase is the user's to keep), without a warning.
    capfd.readouterr()
    assert _native.export_wallet("p", PASS, vault) == ZERO_PHRASE
    assert capfd.readouterr().err == ""
    # A rename by vek._native keeps the mark.
    _native.rename_wallet("p", "q", vault)
    assert json.loads(wallet_file(vault, w.id).read_text())["bip39_passphrase"] is True

    errors = {
        ("q", None): (vek.InvalidInputError,
                      "wallet 'q' is protected by a BIP-39 passphrase; give it as bip39_passphrase to use the wallet"),
        ("q", "other words"): (vek.WrongBip39PassphraseError,
                               "the BIP-39 passphrase does not give the stored accounts of wallet 'q'"),
        ("plain", BIP39): (vek.InvalidInputError, "wallet 'plain' has no BIP-39 passphrase"),
    }
    for (name, bip39), (kind, message) in errors.items():
        for call in (lambda: app.unlock(name, PASS, bip39_passphrase=bip39),
                     lambda: app.export_key(name, "ethereum", passphrase=PASS, bip39_passphrase=bip39)):
            with pytest.raises(kind) as info:
                call()
            assert type(info.value) is kind and str(info.value) == "invalid input: " + message

    with app.unlock("q", PASS, bip39_passphrase=BIP39) as session:
        assert session.wallet.bip39_passphrase
        assert session.address("ethereum") == w.accounts[0].address
        signed = session.sign_message("ethereum", "twenty-fifth")
        assert eth_account.Account.recover_message(
            eth_account.messages.encode_defunct(text="twenty-fifth"),
            signature=signed.signature) == w.accounts[0].address
    # Changing the wallet passphrase keeps the mark and the accounts.
    app.change_passphrase("q", PASS, "new")
    with app.unlock("q", "new", bip39_passphrase=BIP39) as session:
        assert session.address("solana") == w.accounts[1].address
    assert app.get("q").bip39_passphrase


# ---------------------------------------------------------------- several accounts, any path


def test_derive_and_add_accounts_at_indices_and_paths(app, vault):
    w = app.import_mnemonic("multi", ZERO_PHRASE, PASS)
    seed = bip_utils.Bip39SeedGenerator(ZERO_PHRASE).Generate()
    ext = bip_utils.Bip44Changes.CHAIN_EXT
    eth = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.ETHEREUM).Purpose().Coin()
    btc = bip_utils.Bip84.FromSeed(seed, bip_utils.Bip84Coins.BITCOIN).Purpose().Coin()
    before = json.loads(wallet_file(vault, w.id).read_text())
    with app.unlock("multi", PASS) as session:
        # "Account-index" EVM wallets, BIP-84 accounts, and the default paths at other indices.
        account_3 = eth.Account(3).Change(ext).AddressIndex(0).PublicKey().ToAddress()
        assert session.address("ethereum", path="m/44'/60'/3'/0/0") == account_3
        assert session.address("bitcoin", path="m/84'/0'/2'/0/0") == btc.Account(2).Change(ext).AddressIndex(
            0).PublicKey().ToAddress()
        assert session.address("ethereum", 5) == eth.Account(0).Change(ext).AddressIndex(5).PublicKey().ToAddress()
        assert session.address("ethereum") == w.accounts[0].address
        assert json.loads(wallet_file(vault, w.id).read_text()) == before  # derive stores nothing

        grown = session.add_account("polygon", path="m/44'/60'/3'/0/0")
        assert session.add_account("ethereum", path="m/44'/60'/3'/0/0") == grown  # not twice
        grown = session.add_account("solana", index=4)
        assert (grown.id, grown.name, grown.created_at) == (w.id, w.name, w.created_at)
        assert grown.accounts[:6] == w.accounts and len(grown.accounts) == 8
        assert (grown.accounts[6].chain_id, grown.accounts[6].address) == ("eip155:1", account_3)
        assert grown.accounts[7].derivation_path == "m/44'/501'/4'/0'"
        assert session.wallet == w

        # Signing picks the account by path; the default stays the first stored account.
        signed = session.sign_message("ethereum", "by path", path="m/44'/60'/3'/0/0")
        assert eth_account.Account.recover_message(eth_account.messages.encode_defunct(text="by path"),
                                                   signature=signed.signature) == account_3
        assert session.address("ethereum") == w.accounts[0].address

        errors = [
            (vek.InvalidInputError, lambda: session.address("ethereum", 1, "m/44'/60'/0'/0/1"),
             "invalid input: give an index or a derivation path, not both"),
            (vek.DerivationError, lambda: session.address("solana", path="m/44'/501'/0'/0"), None),
            (vek.DerivationError, lambda: session.add_account("ethereum", path="m/44'/60'/x"), None),
        ]
        for cls, call, message in errors:
            with pytest.raises(cls) as info:
                call()
            assert message is None or str(info.value) == message
    after = json.loads(wallet_file(vault, w.id).read_text())
    assert {k: v for k, v in after.items() if k != "accounts"} == {k: v for k, v in before.items() if k != "accounts"}
    # vek._native lists the added accounts and still signs with the checked wallet.
    assert [a["address"] for a in _native.get_wallet("multi", vault)["accounts"]] == [a.address for a in grown.accounts]
    _native.sign_message("multi", "ethereum", "still", PASS, vault_path_opt=vault)
    with app.unlock("multi", PASS) as session:
        assert session.address("ethereum") == w.accounts[0].address

    k = app.import_private_key("k", KEY, passphrase=PASS)
    with app.unlock("k", PASS) as session:
        with pytest.raises(vek.InvalidInputError, match="^invalid input: a private-key wallet has one account per family$"):
            session.add_account("ethereum")
        with pytest.raises(vek.InvalidInputError, match="^invalid input: a private-key wallet has no derivation paths$"):
            session.address("ethereum", path="m/44'/60'/0'/0/0")
    assert app.get("k") == k


def test_preset_paths_give_what_those_wallets_show(app):
    seed = bip_utils.Bip39SeedGenerator(ZERO_PHRASE).Generate()
    ext = bip_utils.Bip44Changes.CHAIN_EXT
    eth = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.ETHEREUM).Purpose().Coin()
    sol = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.SOLANA).Purpose().Coin()
    btc = bip_utils.Bip84.FromSeed(seed, bip_utils.Bip84Coins.BITCOIN).Purpose().Coin()
    app.import_mnemonic("pre", ZERO_PHRASE, "")
    with app.unlock("pre") as session:
        for i in (0, 1, 9):
            cases = {
                ("evm-account", "ethereum"): eth.Account(i).Change(ext).AddressIndex(0),
                ("solana-account", "solana"): sol.Account(i),
                ("bitcoin-bip84", "bitcoin"): btc.Account(i).Change(ext).AddressIndex(0),
                ("default", "solana"): sol.Account(i).Change(ext),
                ("default", "ethereum"): eth.Account(0).Change(ext).AddressIndex(i),
            }
            for (preset, chain), node in cases.items():
                path = vek.preset_path(preset, chain, i)
                assert session.address(chain, path=path) == node.PublicKey().ToAddress(), (preset, i)
    assert vek.preset_path("default", "ton", 3) == "m/44'/607'/3'"
    for args, message in {("ledger", "ethereum"): "unknown derivation preset: ledger (use 'default', 'evm-account', "
                          "'solana-account', 'solana-seed' or 'bitcoin-bip84')",
                          ("evm-account", "solana"): "derivation preset 'evm-account' is for evm chains, not for 'solana'"
                          }.items():
        with pytest.raises(vek.InvalidInputError) as info:
            vek.preset_path(*args)
        assert str(info.value) == "invalid input: " + message


# ---------------------------------------------------------------- networks


def test_an_evm_transaction_is_signed_only_for_the_chain_it_names(app, vault):
    from test_broadcast import eip1559

    app.import_private_key("evm", KEY, passphrase=PASS)
    fields, on_polygon = eip1559(137, 0)
    with app.unlock("evm", PASS) as session:
        signed = session.sign_transaction("polygon", on_polygon)
        assert signed.raw_transaction == "0x" + bytes(
            eth_account.Account.sign_transaction(fields, "0x" + KEY).raw_transaction).hex().removeprefix("0x")
        for chain, caip in (("ethereum", "eip155:1"), ("base", "eip155:8453")):
            for call in (lambda: session.sign_transaction(chain, on_polygon), lambda: session.send(chain, on_polygon)):
                with pytest.raises(vek.InvalidInputError) as info:
                    call()
                assert str(info.value) == f"invalid input: the transaction's chain id 137 is not that of '{chain}' ({caip})"
        big = b"\x02" + bytes([0xc0 + 10, 0x89]) + bytes(range(1, 10))
        with pytest.raises(vek.InvalidInputError, match=r"chain id 0x010203040506070809 is not that of"):
            session.sign_transaction("ethereum", big)
    # vek._native signs what it is given, as before.
    _native.sign_transaction("evm", "ethereum", on_polygon.hex(), PASS, vault_path_opt=vault)


# ---------------------------------------------------------------- networks, prefixes and paths

pytoniq_core = pytest.importorskip("pytoniq_core")

# An unsigned EIP-1559 transaction for the EVM chain 5: nonce 0, fees 1, gas 21000, no value.
EIP1559_CHAIN5 = "02df05800101825208" + "94" + "11" * 20 + "8080c0"

# The v5r1 wallet code cell: its representation hash and depth (the contract every TON
# wallet deploys for a key); the wallet id is the network's global id XOR 2^31.
V5R1_CODE_HASH = bytes.fromhex("20834b7b72b112147e1b2fb457b84e74d1a30f04f737d4f62a668e9552d2b72f")
V5R1_CODE_DEPTH = 6
TON_WALLET_ID = {"ton": (-239 ^ -(2**31)) & 0xFFFFFFFF, "ton-testnet": (-3 ^ -(2**31)) & 0xFFFFFFFF}


def ton_v5r1_address(public_key, chain):
    """The user-friendly address TON wallets show for the v5r1 wallet of a key: the data
    cell built with pytoniq-core, the StateInit representation hashed here."""
    data = (pytoniq_core.Builder().store_bit(1).store_uint(0, 32).store_uint(TON_WALLET_ID[chain], 32)
            .store_bytes(public_key).store_bit(0).end_cell())
    state_init = (bytes([2, 1, 0x34]) + V5R1_CODE_DEPTH.to_bytes(2, "big") + data.get_depth().to_bytes(2, "big")
                  + V5R1_CODE_HASH + data.hash)
    address = pytoniq_core.Address((0, hashlib.sha256(state_init).digest()))
    return address.to_str(is_user_friendly=True, is_bounceable=False, is_test_only=chain == "ton-testnet")


def network_oracle(seed, index):
    """{chain: address} at each chain's default path for `index`, from bip-utils, solders and
    the TON routine above."""
    ext = bip_utils.Bip44Changes.CHAIN_EXT

    def at(coin, cls=bip_utils.Bip44):
        return cls.FromSeed(seed, coin).Purpose().Coin().Account(0).Change(ext).AddressIndex(index).PublicKey()

    solana = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.SOLANA).Purpose().Coin().Account(index).Change(ext)
    ton_key = bip_utils.Bip32Slip10Ed25519.FromSeed(seed).DerivePath(f"m/44'/607'/{index}'").PublicKey().RawCompressed()
    cosmos = at(bip_utils.Bip44Coins.COSMOS).RawCompressed().ToBytes()
    return {
        "eip155:11155111": at(bip_utils.Bip44Coins.ETHEREUM).ToAddress(),
        "eip155:5": at(bip_utils.Bip44Coins.ETHEREUM).ToAddress(),
        "solana-devnet": solana.PublicKey().ToAddress(),
        "solana-testnet": solana.PublicKey().ToAddress(),
        "bitcoin-testnet": at(bip_utils.Bip84Coins.BITCOIN_TESTNET, bip_utils.Bip84).ToAddress(),
        "bitcoin-signet": at(bip_utils.Bip84Coins.BITCOIN_TESTNET, bip_utils.Bip84).ToAddress(),
        "osmosis": at(bip_utils.Bip44Coins.OSMOSIS).ToAddress(),
        "celestia": bip_utils.AtomAddrEncoder.EncodeKey(cosmos, hrp="celestia"),
        "secret": at(bip_utils.Bip44Coins.SECRET_NETWORK_NEW).ToAddress(),
        "kava": at(bip_utils.Bip44Coins.KAVA).ToAddress(),
        "ton": ton_v5r1_address(ton_key.ToBytes()[1:], "ton"),
        "ton-testnet": ton_v5r1_address(ton_key.ToBytes()[1:], "ton-testnet"),
    }


@pytest.mark.parametrize("bip39", ["", BIP39])
def test_networks_prefixes_and_paths_match_the_oracles(app, bip39):
    seed = bip_utils.Bip39SeedGenerator(ZERO_PHRASE).Generate(bip39)
    ext = bip_utils.Bip44Changes.CHAIN_EXT
    b39 = bip39 or None
    w = app.import_mnemonic("n", ZERO_PHRASE, PASS, index=2, bip39_passphrase=b39)
    with app.unlock("n", PASS, bip39_passphrase=b39) as session:
        for index in (0, 1, 7):
            for chain, expected in network_oracle(seed, index).items():
                assert vek.derive_address(ZERO_PHRASE, chain, index, b39) == expected, (chain, index)
                assert session.address(chain, index=index) == expected, (chain, index)
        # Without an index a chain uses the stored account (index 2), on its own coin type.
        for chain, expected in network_oracle(seed, 2).items():
            assert session.address(chain) == expected, chain
        # Named paths of other wallets, at several accounts.
        eth = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.ETHEREUM).Purpose().Coin()
        btc = bip_utils.Bip84.FromSeed(seed, bip_utils.Bip84Coins.BITCOIN).Purpose().Coin()
        tbtc = bip_utils.Bip84.FromSeed(seed, bip_utils.Bip84Coins.BITCOIN_TESTNET).Purpose().Coin()
        slip10 = bip_utils.Bip32Slip10Ed25519.FromSeed(seed)
        for i in (0, 3, 11):
            cases = {
                ("evm-account", "ethereum"): eth.Account(i).Change(ext).AddressIndex(0).PublicKey().ToAddress(),
                ("bitcoin-bip84", "bitcoin"): btc.Account(i).Change(ext).AddressIndex(0).PublicKey().ToAddress(),
                ("bitcoin-bip84", "bitcoin-testnet"): tbtc.Account(i).Change(ext).AddressIndex(0).PublicKey().ToAddress(),
                ("solana-account", "solana-devnet"): bip_utils.SolAddrEncoder.EncodeKey(
                    slip10.DerivePath(f"m/44'/501'/{i}'").PublicKey().RawCompressed().ToBytes()[1:]),
            }
            for (preset, chain), expected in cases.items():
                assert session.address(chain, path=vek.preset_path(preset, chain, i)) == expected, (preset, chain, i)
        # The test networks' WIF prefix, for the key behind the testnet address.
        key = app.export_key("n", "bitcoin-testnet", "hex", PASS, bip39_passphrase=b39)
        wif = app.export_key("n", "bitcoin-testnet", "wif", PASS, bip39_passphrase=b39)
        assert wif == bip_utils.WifEncoder.Encode(bytes.fromhex(key), net_ver=b"\xef") and wif[0] == "c"
        assert key == tbtc.Account(0).Change(ext).AddressIndex(2).PrivateKey().Raw().ToHex()
    # Nothing of the test networks is stored.
    assert app.get("n") == w and all(a.chain_id in {c.chain_id for c in vek.known_chains() if c.native}
                                     for a in w.accounts)


def test_chain_names_ids_and_endpoints_of_further_networks(app, vault, monkeypatch, tmp_path):
    w = app.import_mnemonic("e", ZERO_PHRASE, PASS)
    for bad in ("eip155:0", "eip155:007", "eip155:", "eip155:18446744073709551616"):
        with pytest.raises(vek.InvalidInputError, match=r"^invalid input: invalid EVM chain id: '" + bad):
            vek.derive_address(ZERO_PHRASE, bad)
    # vek._native knows none of them, and its messages stay.
    for chain in ("eip155:5", "bitcoin-testnet", "osmosis", "ton-testnet", "solana-devnet", "eip155:0"):
        with pytest.raises(RuntimeError, match=r"^invalid input: unknown chain: '"):
            _native.derive_address(ZERO_PHRASE, chain)
        with pytest.raises(RuntimeError, match=r"^invalid input: unknown chain: '"):
            _native.sign_message("e", chain, "hi", PASS, vault_path_opt=vault)
    with app.unlock("e", PASS) as session:
        with pytest.raises(vek.InvalidInputError, match=r"^invalid input: accounts are stored for 'bitcoin', not for "
                                                         r"'bitcoin-testnet', whose keys have their own coin type \(1\); "
                                                         r"add the account on 'bitcoin'$"):
            session.add_account("bitcoin-testnet", index=1)
        # A chain of the family's coin type stores the account on the family's first chain.
        stored = session.add_account("eip155:5", index=1)
        assert stored.accounts[-1].chain_id == "eip155:1"
        assert stored.accounts[-1].address == session.address("ethereum", index=1)
        # An EVM chain given by id: its transactions' chain id is checked, and it has no endpoint.
        tx5 = "02" + "c5" + "05" + "80808080"  # type 2, chain id 5 (not a complete transaction)
        with pytest.raises(vek.InvalidInputError, match=r"chain id 5 is not that of 'ethereum' \(eip155:1\)"):
            session.sign_transaction("ethereum", tx5)
        with pytest.raises(vek.InvalidInputError, match=r"chain id 1 is not that of 'eip155:5' \(eip155:5\)"):
            session.sign_transaction("eip155:5", "02c50180808080")
        monkeypatch.setenv("HOME", str(tmp_path))
        with pytest.raises(vek.InvalidInputError, match=r"^invalid input: no RPC endpoint for 'eip155:5' \(eip155:5\): "
                                                         r"give rpc_url, or add \"eip155:5\" to the \"rpc\" object of "):
            session.send("eip155:5", EIP1559_CHAIN5)


def test_the_solana_seed_prefix_key_is_stored_under_its_marker_and_never_signed_for_by_native(app, vault, capfd):
    seed = bip_utils.Bip39SeedGenerator(ZERO_PHRASE).Generate()
    expected = str(solders_keypair.Keypair.from_seed(seed[:32]).pubkey())
    marker = vek.preset_path("solana-seed", "solana")
    assert marker == "seed[0:32]" and vek.preset_path("solana-seed", "solana-devnet") == marker
    with pytest.raises(vek.InvalidInputError, match=r"^invalid input: derivation preset 'solana-seed' names one key: "
                                                     r"give index 0$"):
        vek.preset_path("solana-seed", "solana", 1)
    with pytest.raises(vek.InvalidInputError, match="is for solana chains, not for 'ton'"):
        vek.preset_path("solana-seed", "ton")
    app.import_mnemonic("s", ZERO_PHRASE, PASS)
    with app.unlock("s", PASS) as session:
        assert session.address("solana", path=marker) == session.address("solana-devnet", path=marker) == expected
        with pytest.raises(vek.DerivationError, match=r"the seed-prefix key 'seed\[0:32\]' is an Ed25519 key"):
            session.address("ethereum", path=marker)
        stored = session.add_account("solana", path=marker)
        assert (stored.accounts[-1].address, stored.accounts[-1].derivation_path) == (expected, marker)
        signed = session.sign_message("solana", "hi", path=marker)
        assert vek.verify_message("solana", expected, "hi", signed.signature)
    # vek._native checks the marker like any stored account (no warning) and lists it, but
    # signs with its default paths only: the first stored Solana account.
    assert _native.export_wallet("s", PASS, vault) == ZERO_PHRASE
    assert "warning" not in capfd.readouterr().err
    assert _native.get_wallet("s", vault)["accounts"][-1]["derivation_path"] == marker
    native = _native.sign_message("s", "solana", "hi", PASS, vault_path_opt=vault)
    assert vek.verify_message("solana", stored.accounts[1].address, "hi", native["signature"])


def test_import_at_the_paths_another_wallet_shows_and_native_refuses_what_it_cannot_derive(app, vault):
    seed = bip_utils.Bip39SeedGenerator(ZERO_PHRASE).Generate(BIP39)
    ext = bip_utils.Bip44Changes.CHAIN_EXT
    eth1 = bip_utils.Bip44.FromSeed(seed, bip_utils.Bip44Coins.ETHEREUM).Purpose().Coin().Account(1).Change(
        ext).AddressIndex(0).PublicKey().ToAddress()
    sol = bip_utils.SolAddrEncoder.EncodeKey(bip_utils.Bip32Slip10Ed25519.FromSeed(seed).DerivePath(
        "m/44'/501'/0'").PublicKey().RawCompressed().ToBytes()[1:])
    paths = {"evm": vek.preset_path("evm-account", "ethereum", 1), "solana-devnet": "m/44'/501'/0'"}
    w = app.import_mnemonic("p", ZERO_PHRASE, PASS, index=4, bip39_passphrase=BIP39, paths=paths)
    assert [(a.address, a.derivation_path) for a in w.accounts[:2]] == [(eth1, "m/44'/60'/1'/0/0"),
                                                                         (sol, "m/44'/501'/0'")]
    assert w.accounts[2].derivation_path == "m/84'/0'/0'/0/4"  # the others at `index`
    with app.unlock("p", PASS, bip39_passphrase=BIP39) as session:
        assert session.address("polygon") == eth1 and session.address("solana-testnet") == sol
        signed = session.sign_message("ethereum", "hi")
        assert vek.verify_message("ethereum", eth1, "hi", signed.signature)

    # vek._native: a wallet whose first accounts are its default paths signs; one whose first
    # EVM or Solana account is elsewhere (here the seed-prefix key) is listed and checked,
    # but not signed for in those families.
    app.import_mnemonic("q", ZERO_PHRASE, PASS, paths={"ethereum": "m/44'/60'/0'/0/3", "solana": "seed[0:32]"})
    assert _native.get_wallet("q", vault)["accounts"][1]["derivation_path"] == "seed[0:32]"
    assert _native.export_wallet("q", PASS, vault) == ZERO_PHRASE
    native = _native.sign_message("q", "ethereum", "hi", PASS, None, 3, vault)
    assert vek.verify_message("ethereum", _native.get_wallet("q", vault)["accounts"][0]["address"], "hi",
                              native["signature"])
    refusal = ("invalid input: wallet 'q' stores its solana account at derivation path seed[0:32], which "
               "vek._native does not derive; sign with vek.Vault.unlock")
    for call in (lambda: _native.sign_message("q", "solana", "hi", PASS, vault_path_opt=vault),
                 lambda: _native.sign_transaction("q", "solana", "00", PASS, vault_path_opt=vault),
                 lambda: _native.sign_and_send("q", "solana", "00", PASS, rpc_url="http://127.0.0.1:9",
                                               vault_path_opt=vault)):
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == refusal
    _native.sign_message("q", "ton", "hi", PASS, vault_path_opt=vault)  # the other families sign as before
    app.import_mnemonic("r", ZERO_PHRASE, PASS, paths={"ethereum": "m/44'/60'/2'/0/0"})
    with pytest.raises(RuntimeError, match=r"stores its evm account at derivation path m/44'/60'/2'/0/0, which"):
        _native.sign_message("r", "polygon", "hi", PASS, vault_path_opt=vault)

    # Failures write nothing.
    before = sorted(p.name for p in (pathlib.Path(vault) / "wallets").iterdir())
    with pytest.raises(vek.InvalidInputError, match=r"^invalid input: two paths given for the evm family$"):
        app.import_mnemonic("x", ZERO_PHRASE, "", paths={"ethereum": "m/44'/60'/0'/0/1", "polygon": "m/44'/60'/0'/0/2"})
    with pytest.raises(vek.DerivationError):
        app.import_mnemonic("x", ZERO_PHRASE, "", paths={"solana": "m/44'/501'/0'/0"})
    with pytest.raises(vek.DerivationError, match="is an Ed25519 key"):
        app.import_mnemonic("x", ZERO_PHRASE, "", paths={"bitcoin": "seed[0:32]"})
    with pytest.raises(vek.InvalidInputError, match="unknown chain: 'dogecoin'"):
        app.import_mnemonic("x", ZERO_PHRASE, "", paths={"dogecoin": "m/44'/3'/0'/0/0"})
    assert sorted(p.name for p in (pathlib.Path(vault) / "wallets").iterdir()) == before
