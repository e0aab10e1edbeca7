"""Message formats of Session.sign_message, vek.verify_message and vek.recover_address:
every format round-trips, each standard format agrees with an independent implementation
or a published vector in both directions, and malformed input is an error or False."""
import base64
import hashlib
import json

import pytest

import vek
from vek import _native
from conftest import VECTORS_DIR

coincurve = pytest.importorskip("coincurve")
bip_utils = pytest.importorskip("bip_utils")

KEY = bytes.fromhex("0c28fca386c7a227600b2fe50b7cae11ec86d3bf1fbe471be89827e19d72aa1d")
BIP322 = json.loads((VECTORS_DIR / "bip322.json").read_text())
MESSAGE = "log in \u2713"

# (chain, format, recoverable) for every format a session signs.
FORMATS = [
    ("ethereum", "eip191", True),
    ("solana", "raw", False),
    ("bitcoin", "bip322", False),
    ("bitcoin", "bip137", True),
    ("bitcoin", "raw", True),
    ("cosmos", "adr036", False),
    ("cosmos", "raw", True),
    ("tron", "tip191", True),
    ("tron", "raw", True),
]
DEFAULTS = {"ethereum": "eip191", "solana": "raw", "bitcoin": "bip322", "cosmos": "adr036", "tron": "tip191", "ton": "raw"}


@pytest.fixture
def session(vault):
    app = vek.Vault(vault)
    app.import_private_key("k", KEY.hex(), ed25519_key="22" * 32, passphrase="p")
    with app.unlock("k", "p") as s:
        yield s


def p2wpkh(public_key: bytes) -> str:
    return bip_utils.P2WPKHAddrEncoder.EncodeKey(public_key, hrp="bc", wit_ver=0)


def test_every_format_round_trips_and_raw_is_the_native_signature(session, vault):
    for chain, fmt, recoverable in FORMATS:
        address = session.address(chain)
        signed = session.sign_message(chain, MESSAGE, format=fmt)
        assert signed.format == fmt
        assert vek.verify_message(chain, address, MESSAGE, signed.signature, format=fmt), fmt
        assert not vek.verify_message(chain, address, MESSAGE + ".", signed.signature, format=fmt), fmt
        if recoverable:
            assert vek.recover_address(chain, MESSAGE.encode(), signed.signature, format=fmt) == address, fmt
        if fmt in ("raw", "eip191"):
            native = _native.sign_message("k", chain, MESSAGE, "p", vault_path_opt=vault)
            assert (signed.signature, signed.recovery_id) == (native["signature"], native.get("recovery_id")), fmt
    for chain, fmt in DEFAULTS.items():
        assert session.sign_message(chain, b"m").format == fmt
    assert session.sign_message("ethereum", json.dumps(json.loads((VECTORS_DIR / "eip712.json").read_text())["mail"]["typed_data"]), format="eip712").format == "eip712"


def test_bip322_against_the_bip322_package_and_the_published_vectors(session):
    bip322 = pytest.importorskip("bip322")  # returns None for a valid signature, raises otherwise
    signed = session.sign_message("bitcoin", MESSAGE)
    bip322.verify_simple_encoded(session.address("bitcoin"), MESSAGE, signed.signature)
    with pytest.raises(bip322.VerificationError):
        bip322.verify_simple_encoded(session.address("bitcoin"), "other", signed.signature)
    for case in BIP322["messages"]:
        for theirs in case["signatures"]:
            assert vek.verify_message("bitcoin", BIP322["address"], case["message"], theirs)
            bip322.verify_simple_encoded(BIP322["address"], case["message"], theirs)


def test_bip137_against_bitcoin_utils_and_coincurve(session):
    bitcoinutils = pytest.importorskip("bitcoinutils.keys")
    pytest.importorskip("bitcoinutils.setup").setup("mainnet")
    text = "log in"  # bitcoin-utils prefixes the length in characters, not bytes: ASCII only
    theirs_key = bitcoinutils.PrivateKey.from_bytes(KEY)
    legacy = theirs_key.get_public_key().get_address().to_string()
    theirs = theirs_key.sign_message(text)  # header 31-34, as for a compressed P2PKH key
    assert vek.verify_message("bitcoin", legacy, text, theirs, format="bip137")
    assert vek.verify_message("bitcoin", session.address("bitcoin"), text, theirs, format="bip137")
    assert vek.recover_address("bitcoin", text, theirs, format="bip137") == legacy

    ours = base64.b64decode(session.sign_message("bitcoin", text, format="bip137").signature)
    assert ours[0] in (39, 40)
    # bitcoin-utils reads P2PKH headers only: the same r || s under the P2PKH header.
    assert bitcoinutils.PublicKey.verify_message(legacy, base64.b64encode(bytes([ours[0] - 8]) + ours[1:]).decode(), text)
    body = text.encode()
    digest = hashlib.sha256(hashlib.sha256(b"\x18Bitcoin Signed Message:\n" + bytes([len(body)]) + body).digest()).digest()
    public = coincurve.PublicKey.from_signature_and_message(ours[1:] + bytes([ours[0] - 39]), digest, hasher=None)
    assert p2wpkh(public.format()) == session.address("bitcoin")


def adr036_doc(signer: str, message: bytes) -> bytes:
    doc = {
        "account_number": "0",
        "chain_id": "",
        "fee": {"amount": [], "gas": "0"},
        "memo": "",
        "msgs": [{"type": "sign/MsgSignData", "value": {"data": base64.b64encode(message).decode(), "signer": signer}}],
        "sequence": "0",
    }
    return json.dumps(doc, sort_keys=True, separators=(",", ":")).encode()


def test_adr036_against_an_independent_sign_document(session):
    address = session.address("cosmos")
    signed = session.sign_message("cosmos", MESSAGE)
    assert signed.public_key == {"type": "tendermint/PubKeySecp256k1", "value": base64.b64encode(coincurve.PrivateKey(KEY).public_key.format()).decode()}
    ecdsa = pytest.importorskip("ecdsa")
    public = ecdsa.VerifyingKey.from_string(base64.b64decode(signed.public_key["value"]), curve=ecdsa.SECP256k1)
    rs = base64.b64decode(signed.signature)
    assert len(rs) == 64 and int.from_bytes(rs[32:], "big") <= ecdsa.SECP256k1.order // 2
    assert public.verify(rs, adr036_doc(address, MESSAGE.encode()), hashfunc=hashlib.sha256)
    theirs = coincurve.PrivateKey(KEY).sign_recoverable(hashlib.sha256(adr036_doc(address, b"\x00\xffbinary")).digest(), hasher=None)[:64]
    assert vek.verify_message("cosmos", address, b"\x00\xffbinary", base64.b64encode(theirs).decode())
    assert not vek.verify_message("cosmos", address, b"\x00\xff", base64.b64encode(theirs).decode())
    wallet = json.loads((VECTORS_DIR / "adr036.json").read_text())
    assert vek.verify_message("cosmos", wallet["address"], wallet["message"], wallet["signature"])
    assert not vek.verify_message("cosmos", wallet["address"], wallet["message"] + " ", wallet["signature"])


def test_tip191_against_coincurve_and_bip_utils(session):
    address = session.address("tron")
    body = MESSAGE.encode()
    digest = bip_utils.Kekkak256.QuickDigest(b"\x19TRON Signed Message:\n" + str(len(body)).encode() + body)
    theirs = coincurve.PrivateKey(KEY).sign_recoverable(digest, hasher=None)
    theirs = theirs[:64] + bytes([theirs[64] + 27])
    assert vek.verify_message("tron", address, MESSAGE, theirs.hex())
    assert vek.recover_address("tron", MESSAGE, theirs) == address
    ours = bytes.fromhex(session.sign_message("tron", MESSAGE).signature)
    assert ours[64] in (27, 28)
    public = coincurve.PublicKey.from_signature_and_message(ours[:64] + bytes([ours[64] - 27]), digest, hasher=None)
    assert bip_utils.TrxAddrEncoder.EncodeKey(public.format(False)) == address


def test_malformed_input_and_unsupported_requests(session):
    btc = session.address("bitcoin")
    cases = [
        (vek.InvalidInputError, "invalid input: unknown format for a Bitcoin chain: 'eip191' (use bip322, bip137 or raw)",
         lambda: session.sign_message("bitcoin", "m", format="eip191")),
        (vek.InvalidInputError, "invalid input: unknown format for a Tron chain: 'bip137' (use tip191 or raw)",
         lambda: vek.verify_message("tron", "T", "m", "00", format="bip137")),
        (vek.InvalidInputError, "invalid input: invalid base64 signature: invalid base64 length 3",
         lambda: vek.verify_message("bitcoin", btc, "m", "abc")),
        (vek.InvalidInputError, "invalid input: the signer of a bip322 signature cannot be recovered; verify it against "
         "an address (formats of Bitcoin that allow recovery: bip137 and raw)", lambda: vek.recover_address("bitcoin", "m", "AA==")),
        (vek.InvalidInputError, "invalid input: recovering the signer covers EVM, Bitcoin, Cosmos and Tron chains only, not solana",
         lambda: vek.recover_address("solana", "m", "00")),
        (vek.InvalidInputError, "invalid input: signature checks cover EVM, Solana, Bitcoin, Cosmos and Tron chains only, not ton",
         lambda: vek.verify_message("ton", "EQ", "m", "00")),
        (vek.SignerError, "invalid message: malformed BIP-322 witness: expected 2 witness items",
         lambda: vek.verify_message("bitcoin", btc, "m", "AA==")),
        (vek.SignerError, "invalid message: invalid Cosmos address: 'cosmos1x'",
         lambda: vek.verify_message("cosmos", "cosmos1x", "m", base64.b64encode(bytes(64)).decode())),
        (vek.SignerError, "invalid message: BIP-137 header must be 27 to 42, got 0",
         lambda: vek.verify_message("bitcoin", btc, "m", base64.b64encode(bytes(65)).decode(), format="bip137")),
    ]
    for cls, message, call in cases:
        with pytest.raises(cls) as info:
            call()
        assert str(info.value) == message
    # Signatures of no key, or with s in the upper half, are simply not the address's.
    assert vek.verify_message("cosmos", session.address("cosmos"), "m", base64.b64encode(b"\xff" * 64).decode()) is False
    assert vek.verify_message("tron", session.address("tron"), "m", "00" * 65) is False
