"""Signing messages and transactions with stored wallets, checked against independent libraries."""
import hashlib
import json

import pytest

from conftest import wallet_files
from test_wallets import KEY, ZERO_PHRASE, expected_accounts, raises
from vek import _native

ec = pytest.importorskip("cryptography.hazmat.primitives.asymmetric.ec")
ed25519 = pytest.importorskip("cryptography.hazmat.primitives.asymmetric.ed25519")
from cryptography.hazmat.primitives import hashes  # noqa: E402
from cryptography.hazmat.primitives.asymmetric.utils import Prehashed, encode_dss_signature  # noqa: E402


def keccak(data):
    from Crypto.Hash import keccak as k  # pycryptodome, an independent Keccak

    h = k.new(digest_bits=256)
    h.update(data)
    return h.digest()


def secp_public(private_hex):
    key = ec.derive_private_key(int(private_hex, 16), ec.SECP256K1())
    return key.public_key()


def verify_secp(private_hex, digest, sig_hex):
    sig = bytes.fromhex(sig_hex)
    assert len(sig) == 65
    r, s = int.from_bytes(sig[:32], "big"), int.from_bytes(sig[32:64], "big")
    n = 0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEBAAEDCE6AF48A03BBFD25E8CD0364141
    assert s <= n // 2
    secp_public(private_hex).verify(encode_dss_signature(r, s), digest, ec.ECDSA(Prehashed(hashes.SHA256())))


def compact_size(n):
    if n < 0xFD:
        return bytes([n])
    if n <= 0xFFFF:
        return b"\xfd" + n.to_bytes(2, "little")
    return b"\xfe" + n.to_bytes(4, "little")


def digests(family, message):
    """The 32-byte digest each secp256k1 family signs for a message."""
    if family == "evm":
        return keccak(b"\x19Ethereum Signed Message:\n" + str(len(message)).encode() + message)
    if family == "tron":
        return keccak(b"\x19TRON Signed Message:\n" + str(len(message)).encode() + message)
    if family == "bitcoin":
        env = b"\x18Bitcoin Signed Message:\n" + compact_size(len(message)) + message
        return hashlib.sha256(hashlib.sha256(env).digest()).digest()
    if family == "cosmos":
        return hashlib.sha256(message).digest()
    raise AssertionError(family)


@pytest.fixture
def zero_wallet(vault):
    _native.import_wallet_mnemonic("zero", ZERO_PHRASE, passphrase="pw", vault_path_opt=vault)
    return vault


def test_sign_message_every_family(zero_wallet):
    vault = zero_wallet
    exp = expected_accounts()
    msg = "hello"
    for family, chain in [("evm", "ethereum"), ("tron", "tron"), ("bitcoin", "bitcoin"), ("cosmos", "cosmos")]:
        out = _native.sign_message("zero", chain, msg, "pw", vault_path_opt=vault)
        assert list(out) == ["signature", "recovery_id"]
        sig = bytes.fromhex(out["signature"])
        assert out["signature"] == out["signature"].lower()
        verify_secp(exp[(family, 0)][2], digests(family, msg.encode()), out["signature"])
        assert sig[64] == out["recovery_id"]
        assert out["recovery_id"] in ((27, 28) if family == "evm" else (0, 1))
    for family, chain in [("solana", "solana"), ("ton", "ton")]:
        out = _native.sign_message("zero", chain, msg, "pw", vault_path_opt=vault)
        assert out["recovery_id"] is None
        priv = ed25519.Ed25519PrivateKey.from_private_bytes(bytes.fromhex(exp[(family, 0)][2]))
        priv.public_key().verify(bytes.fromhex(out["signature"]), msg.encode())


def test_evm_message_recovers_with_eth_account(zero_wallet):
    account = pytest.importorskip("eth_account")
    from eth_account.messages import encode_defunct

    out = _native.sign_message("zero", "polygon", "hello", "pw", vault_path_opt=zero_wallet)
    signer = account.Account.recover_message(encode_defunct(text="hello"), signature=bytes.fromhex(out["signature"]))
    assert signer == expected_accounts()[("evm", 0)][1]


def test_hex_and_utf8_encodings(zero_wallet):
    v = zero_wallet
    a = _native.sign_message("zero", "ethereum", "Hello", "pw", vault_path_opt=v)
    b = _native.sign_message("zero", "ethereum", "48656c6c6f", "pw", encoding="hex", vault_path_opt=v)
    c = _native.sign_message("zero", "ethereum", "48656C6C6F", "pw", "hex", None, v)
    d = _native.sign_message("zero", "ethereum", "Hello", "pw", encoding="utf8", vault_path_opt=v)
    assert a == b == c == d


def test_message_and_transaction_errors_come_before_the_wallet(vault):
    unknown = "invalid input: unknown chain: 'eth'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
    raises(RuntimeError, unknown, _native.sign_message, "missing", "eth", "x", vault_path_opt=vault)
    raises(RuntimeError, unknown, _native.sign_transaction, "missing", "eth", "zz", vault_path_opt=vault)
    raises(RuntimeError, "invalid input: invalid hex message: Odd number of digits", _native.sign_message, "missing", "ethereum", "abc", encoding="hex", vault_path_opt=vault)
    raises(RuntimeError, "invalid input: invalid hex message: Invalid character 'x' at position 1", _native.sign_message, "missing", "ethereum", "0x12", encoding="hex", vault_path_opt=vault)
    for enc in ["base64", "UTF8", "utf-8", "HEX", ""]:
        raises(RuntimeError, f"invalid input: unsupported encoding: {enc} (use 'utf8' or 'hex')", _native.sign_message, "missing", "ethereum", "x", encoding=enc, vault_path_opt=vault)
    raises(RuntimeError, "invalid input: invalid hex transaction: Odd number of digits", _native.sign_transaction, "missing", "ethereum", "0x123", vault_path_opt=vault)
    raises(RuntimeError, "invalid input: invalid hex transaction: Invalid character 'X' at position 1", _native.sign_transaction, "missing", "ethereum", "0X12", vault_path_opt=vault)
    raises(RuntimeError, "wallet not found: 'missing'", _native.sign_transaction, "missing", "ethereum", "0x", vault_path_opt=vault)


def test_sign_transaction_digests_and_prefix(zero_wallet):
    v = zero_wallet
    exp = expected_accounts()
    tx = bytes.fromhex("02c0")
    with_prefix = _native.sign_transaction("zero", "ethereum", "0x02c0", "pw", vault_path_opt=v)
    assert with_prefix == _native.sign_transaction("zero", "ethereum", "02C0", "pw", vault_path_opt=v)
    assert with_prefix["recovery_id"] in (0, 1)
    verify_secp(exp[("evm", 0)][2], keccak(tx), with_prefix["signature"])
    verify_secp(exp[("tron", 0)][2], hashlib.sha256(tx).digest(), _native.sign_transaction("zero", "tron", "02c0", "pw", vault_path_opt=v)["signature"])
    verify_secp(exp[("bitcoin", 0)][2], hashlib.sha256(hashlib.sha256(tx).digest()).digest(), _native.sign_transaction("zero", "bitcoin", "02c0", "pw", vault_path_opt=v)["signature"])
    cosmos = _native.sign_transaction("zero", "cosmos", "02c0", "pw", vault_path_opt=v)
    assert cosmos == _native.sign_message("zero", "cosmos", "02c0", "pw", encoding="hex", vault_path_opt=v)
    # Empty transactions reach the signer.
    empty = _native.sign_transaction("zero", "ethereum", "0x", "pw", vault_path_opt=v)
    verify_secp(exp[("evm", 0)][2], keccak(b""), empty["signature"])
    # Without broadcasting, the bytes are signed as given (no slot handling).
    sol_tx = bytes([1]) + bytes(64) + b"message"
    sol = _native.sign_transaction("zero", "solana", sol_tx.hex(), "pw", vault_path_opt=v)
    assert sol["recovery_id"] is None
    priv = ed25519.Ed25519PrivateKey.from_private_bytes(bytes.fromhex(exp[("solana", 0)][2]))
    priv.public_key().verify(bytes.fromhex(sol["signature"]), sol_tx)


def test_index_selects_the_account(vault):
    _native.import_wallet_mnemonic("zero", ZERO_PHRASE, vault_path_opt=vault)
    exp = expected_accounts()
    out = _native.sign_message("zero", "ethereum", "m", index=1, vault_path_opt=vault)
    verify_secp(exp[("evm", 1)][2], digests("evm", b"m"), out["signature"])
    # Index 3 signs with m/44'/60'/0'/0/3: the address derived there recovers from it.
    account = pytest.importorskip("eth_account")
    from eth_account.messages import encode_defunct

    out3 = _native.sign_message("zero", "ethereum", "m", index=3, vault_path_opt=vault)
    assert account.Account.recover_message(encode_defunct(text="m"), signature=bytes.fromhex(out3["signature"])) == _native.derive_address(ZERO_PHRASE, "ethereum", 3)


def test_private_key_wallet_ignores_index_and_picks_curve(vault):
    exp = expected_accounts()
    ed = exp[("solana", 0)][2]
    _native.import_wallet_private_key("pk", KEY, ed25519_key=ed, vault_path_opt=vault)
    a = _native.sign_message("pk", "ethereum", "x", vault_path_opt=vault)
    b = _native.sign_message("pk", "ethereum", "x", index=7, vault_path_opt=vault)
    assert a == b
    verify_secp(KEY, digests("evm", b"x"), a["signature"])
    s = _native.sign_message("pk", "solana", "x", index=5, vault_path_opt=vault)
    ed25519.Ed25519PrivateKey.from_private_bytes(bytes.fromhex(ed)).public_key().verify(bytes.fromhex(s["signature"]), b"x")


def test_wrong_passphrase_gives_no_signature(zero_wallet):
    raises(RuntimeError, "decryption failed: aead::Error", _native.sign_message, "zero", "ethereum", "x", vault_path_opt=zero_wallet)
    raises(RuntimeError, "decryption failed: aead::Error", _native.sign_transaction, "zero", "ethereum", "00", "nope", vault_path_opt=zero_wallet)


def test_signing_writes_nothing(zero_wallet):
    before = wallet_files(zero_wallet)
    _native.sign_message("zero", "ton", "x", "pw", vault_path_opt=zero_wallet)
    assert wallet_files(zero_wallet) == before
