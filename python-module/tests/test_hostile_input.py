"""Hostile input end to end: every one of the thirteen functions, given wrong types,
out-of-range integers, lone surrogates, empty, very long and NUL-laden texts, names in
the wrong case, malformed hex, unusable vault paths, and damaged or forged wallet files,
raises its documented exception with its exact message and leaves the vault unchanged.
"""
import hashlib
import inspect
import json
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

from conftest import wallet_files
from test_wallets import KEY, ZERO_PHRASE
from vek import _native

NAMES = list(_native.__all__)
TEXT = {"mnemonic", "chain", "name", "name_or_id", "new_name", "private_key_hex", "wallet", "message", "tx_hex"}
INTEGER = {"index", "words"}
UNKNOWN_CHAIN = "invalid input: unknown chain: '{}'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
CURVE_ORDER = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141"
ED_KEY = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"  # RFC 8032 test 1 secret
# An unsigned EIP-1559 transaction: 0x02 || rlp([1, 0, 0, 0, 21000, to, 0, "", []]).
EVM_TX = "02df01808080825208" + "94" + "22" * 20 + "8080c0"


def kind(function, parameter):
    """The parameter kinds of the binding: text, optional text, optional integer, integer."""
    default = inspect.signature(getattr(_native, function)).parameters[parameter].default
    if parameter in INTEGER:
        return "int" if default == 12 else "opt_int"
    if parameter in TEXT and default is inspect.Parameter.empty:
        return "text"
    return "opt_text"


class Surrogate:
    """Marker for a text with a lone surrogate, which UTF-8 cannot encode."""


# (value, exception, message with {p} for the parameter name); None: the interpreter's message.
BAD_VALUES = {
    "text": [
        (5, TypeError, "argument '{p}': 'int' object cannot be converted to 'PyString'"),
        (b"x", TypeError, "argument '{p}': 'bytes' object cannot be converted to 'PyString'"),
        (None, TypeError, "argument '{p}': 'NoneType' object cannot be converted to 'PyString'"),
        (pathlib.PurePosixPath("x"), TypeError, "argument '{p}': 'PurePosixPath' object cannot be converted to 'PyString'"),
        (Surrogate, UnicodeEncodeError, "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed"),
    ],
    "int": [
        (None, TypeError, "argument '{p}': 'NoneType' object cannot be interpreted as an integer"),
        ("12", TypeError, "argument '{p}': 'str' object cannot be interpreted as an integer"),
        (12.0, TypeError, "argument '{p}': 'float' object cannot be interpreted as an integer"),
        (-1, OverflowError, "out of range integral type conversion attempted"),
        (2**32, OverflowError, "out of range integral type conversion attempted"),
        (-(2**63), OverflowError, "out of range integral type conversion attempted"),
        (2**63, OverflowError, None),
        (-(2**100), OverflowError, None),
    ],
}
BAD_VALUES["opt_text"] = [v for v in BAD_VALUES["text"] if v[0] is not None]
BAD_VALUES["opt_int"] = [v for v in BAD_VALUES["int"] if v[0] is not None]


def conversion_cases():
    for function in NAMES:
        for parameter in inspect.signature(getattr(_native, function)).parameters:
            for value, exc, message in BAD_VALUES[kind(function, parameter)]:
                label = value.__name__ if value is Surrogate else repr(value)
                yield pytest.param(function, parameter, value, exc, message, id=f"{function}-{parameter}-{label}")


@pytest.mark.parametrize("function,parameter,value,exc,message", conversion_cases())
def test_argument_conversion(function, parameter, value, exc, message, vault, isolated_home):
    fn = getattr(_native, function)
    kwargs = {}
    for p in inspect.signature(fn).parameters:
        if kind(function, p) == "text":
            kwargs[p] = "x"
    if "vault_path_opt" in inspect.signature(fn).parameters:
        kwargs["vault_path_opt"] = vault
    kwargs[parameter] = "x\ud800" if value is Surrogate else value
    with pytest.raises(exc) as info:
        fn(**kwargs)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message.format(p=parameter)
    else:
        # Beyond 64 bits the interpreter's own conversion refuses the value.
        assert "out of range integral" not in str(info.value)
    # Nothing ran: no vault, not even the default one, came into being.
    assert not os.path.exists(vault)
    assert not (isolated_home / ".vek").exists()


# ---------------------------------------------------------------- operation errors

PASSPHRASE = "pw"


@pytest.fixture(scope="module")
def base_vault(tmp_path_factory):
    """A vault with a mnemonic wallet "main" (passphrase "pw") and a private-key wallet "pk"."""
    path = str(tmp_path_factory.mktemp("hostile") / "vault")
    main = _native.import_wallet_mnemonic("main", ZERO_PHRASE, PASSPHRASE, vault_path_opt=path)
    pk = _native.import_wallet_private_key("pk", KEY, ed25519_key=ED_KEY, vault_path_opt=path)
    return {"path": path, "main": main["id"], "pk": pk["id"]}


@pytest.fixture
def fresh(base_vault, tmp_path):
    """A copy of the base vault for one test."""
    path = str(tmp_path / "vault")
    shutil.copytree(base_vault["path"], path)
    return dict(base_vault, path=path)


def unusable_paths(tmp):
    """Vault paths no vault can live at, with the error each gives."""
    a_file = tmp / "a-file"
    a_file.write_text("not a directory")
    (tmp / "loop").symlink_to("loop")
    (tmp / "filled" / "wallets").parent.mkdir()
    (tmp / "filled" / "wallets").write_text("not a directory")
    return [
        (str(tmp / "loop"), "I/O error: Too many levels of symbolic links (os error 40)"),
        (str(tmp / "filled"), "I/O error: File exists (os error 17)"),
        (str(tmp / "nul\0inside"), "I/O error: Invalid argument (os error 22)"),
        (str(a_file), "I/O error: Not a directory (os error 20)"),
        (str(a_file / "below"), "I/O error: Not a directory (os error 20)"),
        (str(tmp / ("n" * 256)), "I/O error: File name too long (os error 36)"),
        (str(tmp) + "/d" * 3000, "I/O error: File name too long (os error 36)"),
    ]


W = "\0vault\0"  # stands for the vault path in the table below

# (function, positional arguments, keyword arguments, message of the RuntimeError).
# Each row is checked against a copy of the base vault, which must come out unchanged.
OPERATION_ERRORS = [
    # generate_mnemonic: only 12 and 24 words.
    *[("generate_mnemonic", [w], {}, "invalid input: words must be 12 or 24") for w in (0, 1, True, 11, 13, 18, 23, 25, 4294967295)],
    # derive_address: the chain is checked first, then the phrase, then the index.
    ("derive_address", ["not a phrase", "eip155:5"], {}, UNKNOWN_CHAIN.format("eip155:5")),
    ("derive_address", [ZERO_PHRASE, ""], {}, UNKNOWN_CHAIN.format("")),
    ("derive_address", [ZERO_PHRASE, "ethereum\0"], {}, UNKNOWN_CHAIN.format("ethereum\0")),
    ("derive_address", [ZERO_PHRASE, "x" * 100000], {}, UNKNOWN_CHAIN.format("x" * 100000)),
    ("derive_address", ["", "ethereum"], {}, "invalid mnemonic phrase: the word `` is invalid"),
    ("derive_address", [ZERO_PHRASE.upper(), "ethereum"], {}, "invalid mnemonic phrase: the word `ABANDON` is invalid"),
    ("derive_address", [ZERO_PHRASE + " ", "ethereum"], {}, "invalid mnemonic phrase: the word `` is invalid"),
    ("derive_address", [ZERO_PHRASE.replace(" ", "  ", 1), "ethereum"], {}, "invalid mnemonic phrase: the word `` is invalid"),
    ("derive_address", [ZERO_PHRASE.replace(" ", "\t", 1), "ethereum"], {}, "invalid mnemonic phrase: the word `abandon\tabandon` is invalid"),
    ("derive_address", [ZERO_PHRASE.replace(" ", "\0", 1), "ethereum"], {}, "invalid mnemonic phrase: the word `abandon\0abandon` is invalid"),
    ("derive_address", [" ".join(["abandon"] * 12), "ethereum"], {}, "invalid mnemonic phrase: the phrase `" + " ".join(["abandon"] * 12) + "` is invalid"),
    ("derive_address", [" ".join(["abandon"] * 100000), "ethereum"], {}, "invalid mnemonic phrase: the mnemonic's entropy length `137500` is invalid"),
    ("derive_address", [ZERO_PHRASE, "ethereum", 2**31], {}, "invalid derivation path: index out of range in component '2147483648' of path 'm/44'/60'/0'/0/2147483648': must be below 2147483648"),
    ("derive_address", [ZERO_PHRASE, "ton", 2**32 - 1], {}, "invalid derivation path: index out of range in component '4294967295'' of path 'm/44'/607'/4294967295'': must be below 2147483648"),
    # create_wallet: the word count before the name, names compared exactly.
    ("create_wallet", ["main"], {"words": 18}, "invalid input: words must be 12 or 24"),
    ("create_wallet", ["main"], {}, "wallet name already exists: 'main'"),
    # import_wallet_mnemonic: a taken name is reported before a bad phrase.
    ("import_wallet_mnemonic", ["main", "not a phrase"], {}, "wallet name already exists: 'main'"),
    ("import_wallet_mnemonic", ["new", ZERO_PHRASE.upper()], {}, "invalid mnemonic phrase: the word `ABANDON` is invalid"),
    ("import_wallet_mnemonic", ["new", ZERO_PHRASE], {"index": 2**31}, "invalid derivation path: index out of range in component '2147483648' of path 'm/44'/60'/0'/0/2147483648': must be below 2147483648"),
    # import_wallet_private_key: hex first, then the keys themselves.
    ("import_wallet_private_key", ["pk", "zz"], {}, "wallet name already exists: 'pk'"),
    ("import_wallet_private_key", ["new", "0X" + KEY], {}, "invalid input: invalid hex private key: Invalid character 'X' at position 1"),
    ("import_wallet_private_key", ["new", KEY[:-1]], {}, "invalid input: invalid hex private key: Odd number of digits"),
    ("import_wallet_private_key", ["new", "0\u00e9"], {}, "invalid input: invalid hex private key: Odd number of digits"),
    ("import_wallet_private_key", ["new", "0\0"], {}, "invalid input: invalid hex private key: Invalid character '\0' at position 1"),
    ("import_wallet_private_key", ["new", "0x0x" + KEY], {}, "invalid input: invalid hex private key: Invalid character 'x' at position 1"),
    ("import_wallet_private_key", ["new", ""], {}, "invalid private key: signature error"),
    ("import_wallet_private_key", ["new", "00" * 32], {}, "invalid private key: signature error"),
    ("import_wallet_private_key", ["new", CURVE_ORDER], {}, "invalid private key: signature error"),
    ("import_wallet_private_key", ["new", KEY + "00"], {}, "invalid private key: signature error"),
    ("import_wallet_private_key", ["new", KEY[:-2], "solana"], {}, "invalid private key: expected 32 bytes, got 31"),
    ("import_wallet_private_key", ["new", KEY, "SOLANA!"], {}, UNKNOWN_CHAIN.format("SOLANA!")),
    ("import_wallet_private_key", ["new", "ignored"], {"secp256k1_key": "zz", "ed25519_key": ED_KEY}, "invalid input: invalid hex private key: Invalid character 'z' at position 0"),
    ("import_wallet_private_key", ["new", "ignored"], {"secp256k1_key": KEY, "ed25519_key": "0x"}, "invalid private key: expected 32 bytes, got 0"),
    ("import_wallet_private_key", ["new", KEY], {"ed25519_key": ED_KEY * 1000}, "invalid private key: expected 32 bytes, got 32000"),
    # get_wallet, delete_wallet, export_wallet, rename_wallet: exact names and ids only.
    *[
        (function, [ref], {}, f"wallet not found: '{ref}'")
        for function in ("get_wallet", "delete_wallet", "export_wallet")
        for ref in ("", "MAIN", "main ", " main", "main\0", "ma", "*", ".", "..", "/", "../wallets/main", "x" * 100000)
    ],
    ("rename_wallet", ["MAIN", "other"], {}, "wallet not found: 'MAIN'"),
    ("rename_wallet", ["main", "pk"], {}, "wallet name already exists: 'pk'"),
    # Signing: the chain and the hex are checked before the wallet is looked up.
    ("sign_message", ["main", "eth", "m"], {}, UNKNOWN_CHAIN.format("eth")),
    ("sign_message", ["main", "ethereum", "abc"], {"encoding": "hex"}, "invalid input: invalid hex message: Odd number of digits"),
    ("sign_message", ["main", "ethereum", "0x00"], {"encoding": "hex"}, "invalid input: invalid hex message: Invalid character 'x' at position 1"),
    *[
        ("sign_message", ["main", "ethereum", "m"], {"encoding": e}, f"invalid input: unsupported encoding: {e} (use 'utf8' or 'hex')")
        for e in ("", "UTF8", "utf-8", "Hex", "hex\0", "base64")
    ],
    ("sign_message", ["MAIN", "ethereum", "m"], {}, "wallet not found: 'MAIN'"),
    ("sign_transaction", ["main", "ETH", "00"], {}, UNKNOWN_CHAIN.format("ETH")),
    ("sign_transaction", ["main", "ethereum", "0X00"], {}, "invalid input: invalid hex transaction: Invalid character 'X' at position 1"),
    ("sign_transaction", ["main", "ethereum", "0x0"], {}, "invalid input: invalid hex transaction: Odd number of digits"),
    ("sign_transaction", ["main", "ethereum", "00\0\0"], {}, "invalid input: invalid hex transaction: Invalid character '\0' at position 2"),
    ("sign_transaction", ["Main", "ethereum", "00"], {}, "wallet not found: 'Main'"),
    ("sign_and_send", ["main", "nochain", "00"], {}, UNKNOWN_CHAIN.format("nochain")),
    ("sign_and_send", ["main", "ethereum", "zz"], {}, "invalid input: invalid hex transaction: Invalid character 'z' at position 0"),
    ("sign_and_send", ["nobody", "ethereum", EVM_TX], {}, "wallet not found: 'nobody'"),
    # Only EVM and Solana transactions can be sent; nothing reaches the network.
    ("sign_and_send", ["pk", "bitcoin", "00"], {"rpc_url": "http://127.0.0.1:1"}, "invalid transaction: encode_signed_transaction not implemented for bitcoin"),
    ("sign_and_send", ["pk", "ethereum", "00"], {"rpc_url": "http://127.0.0.1:1"}, "invalid transaction: unsupported transaction type (expected 0x01 or 0x02)"),
    # Bytes after the transaction would be signed but not sent.
    ("sign_and_send", ["pk", "ethereum", EVM_TX + "00"], {"rpc_url": "http://127.0.0.1:1"}, "invalid input: 1 byte follows the transaction's RLP list"),
    ("sign_and_send", ["pk", "polygon", EVM_TX + "c0c0"], {}, "invalid input: 2 bytes follow the transaction's RLP list"),
]


def call(function, args, kwargs, vault):
    args = [vault if a == W else a for a in args]
    if "vault_path_opt" in inspect.signature(getattr(_native, function)).parameters:
        kwargs = dict(kwargs, vault_path_opt=vault)
    return getattr(_native, function)(*args, **kwargs)


def expect_error(message, function, args, kwargs, vault):
    with pytest.raises(RuntimeError) as info:
        call(function, args, kwargs, vault)
    assert type(info.value) is RuntimeError
    assert info.value.args == (message,)


@pytest.mark.parametrize(
    "function,args,kwargs,message",
    [pytest.param(*row, id=f"{row[0]}-{n}") for n, row in enumerate(OPERATION_ERRORS)],
)
def test_operation_errors(function, args, kwargs, message, fresh, capfd):
    before = wallet_files(fresh["path"])
    expect_error(message, function, args, kwargs, fresh["path"])
    assert wallet_files(fresh["path"]) == before
    assert capfd.readouterr().err == ""


def test_names_and_ids_in_another_case(fresh):
    v = fresh["path"]
    before = wallet_files(v)
    for ref in (fresh["main"].upper(), fresh["main"][:-1], fresh["main"] + ".json", "wallets/" + fresh["main"]):
        for function in ("get_wallet", "export_wallet", "delete_wallet"):
            expect_error(f"wallet not found: '{ref}'", function, [ref], {}, v)
    assert wallet_files(v) == before


def test_wrong_passphrases(fresh):
    v = fresh["path"]
    before = wallet_files(v)
    expect_error("decryption failed: aead::Error", "export_wallet", ["main", "PW"], {}, v)
    expect_error("decryption failed: aead::Error", "sign_message", ["pk", "solana", "m", "\0x"], {}, v)
    assert wallet_files(v) == before


@pytest.mark.parametrize("function", [f for f in NAMES if "vault_path_opt" in inspect.signature(getattr(_native, f)).parameters])
def test_unusable_vault_paths(function, tmp_path):
    tmp_path = tmp_path / "paths"
    tmp_path.mkdir()
    # Arguments that get as far as the vault: valid ones wherever they are checked first.
    args = {
        "create_wallet": ["w"],
        "import_wallet_mnemonic": ["w", ZERO_PHRASE],
        "import_wallet_private_key": ["w", KEY],
        "list_wallets": [],
        "get_wallet": ["w"],
        "delete_wallet": ["w"],
        "export_wallet": ["w"],
        "rename_wallet": ["w", "v"],
        "sign_transaction": ["w", "ethereum", "00"],
        "sign_message": ["w", "ethereum", "m"],
        "sign_and_send": ["w", "ethereum", EVM_TX],
    }[function]
    for path, message in unusable_paths(tmp_path):
        with pytest.raises(RuntimeError) as info:
            getattr(_native, function)(*args, vault_path_opt=path)
        assert info.value.args == (message,), path[:80]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a-file", "filled", "loop"]
    assert [p.name for p in (tmp_path / "filled").iterdir()] == ["wallets"]


def test_rpc_url_other_than_http_never_reaches_curl(fresh, tmp_path):
    """Only http and https endpoints are used: curl would put a file:// URL's contents in
    the error, reach local services through gopher:// or dict://, and read a URL that
    begins with '-' as an option (here "-K": a config file naming another URL and an
    output file)."""
    if shutil.which("curl") is None:
        pytest.skip("needs curl")
    target = tmp_path / "written-by-curl"
    config = tmp_path / "curl.conf"
    config.write_text(f'url = "file://{config}"\noutput = "{target}"\n')
    urls = [f"-K{config}", f"--config={config}", "-", f"file://{config}", f"FILE://{config}",
            "gopher://127.0.0.1:1/_x", "dict://127.0.0.1:1/info", "telnet://127.0.0.1:1", "", "127.0.0.1:8545"]
    for url in urls:
        with pytest.raises(RuntimeError) as info:
            _native.sign_and_send("pk", "ethereum", EVM_TX, rpc_url=url, vault_path_opt=fresh["path"])
        assert info.value.args == (f"invalid input: RPC URL must start with http:// or https://: '{url}'",)
        assert not target.exists()
    # The scheme in any case is accepted, and then only curl's own failure is left.
    with pytest.raises(RuntimeError) as info:
        _native.sign_and_send("pk", "ethereum", EVM_TX, rpc_url="HTTP://127.0.0.1:1", vault_path_opt=fresh["path"])
    assert str(info.value).startswith("broadcast failed: curl: (7) ")


# ---------------------------------------------------------------- damaged wallet files


def edit(doc_fn):
    """A damage done to the parsed wallet document, written back as JSON."""

    def damage(text):
        doc = json.loads(text)
        doc_fn(doc)
        return json.dumps(doc, indent=2).encode()

    return damage


def kdf(**fields):
    return edit(lambda d: d["crypto"]["kdfparams"].update(fields))


# Files the listing cannot read: skipped with one warning line, so the wallet is not found.
UNREADABLE = {
    "empty": lambda t: b"",
    "truncated": lambda t: t[: len(t) // 2],
    "last byte cut": lambda t: t[:-1],
    "trailing text": lambda t: t + b"\n}",
    "two documents": lambda t: t + t,
    "NUL byte": lambda t: t.replace(b'"name"', b'"na\0me"', 1),
    "invalid UTF-8": lambda t: t.replace(b'"main"', b'"m\xffain"', 1),
    "a lone surrogate escape": lambda t: t.replace(b'"main"', b'"main\\ud800"', 1),
    "not an object": lambda t: b"[" + t + b"]",
    "key type in another case": edit(lambda d: d.update(key_type="Mnemonic")),
    "key type unknown": edit(lambda d: d.update(key_type="seed")),
    "accounts not a list": edit(lambda d: d.update(accounts={})),
    "account without address": edit(lambda d: d["accounts"][0].pop("address")),
    "negative version": edit(lambda d: d.update(vek_version=-1)),
    "version beyond 32 bits": edit(lambda d: d.update(vek_version=2**32)),
    "id missing": edit(lambda d: d.pop("id")),
    "name a number": edit(lambda d: d.update(name=5)),
    "duplicate key": lambda t: t.replace(b'"name": "main"', b'"name": "main", "name": "main"', 1),
    "nested a million deep": lambda t: t[:-1] + b', "metadata": ' + b"[" * 10**6 + b"]" * 10**6 + b"}",
}

# Files that read but whose envelope decryption refuses: the message of the refusal.
REFUSED = {
    "scrypt N below the minimum": (kdf(n=131072), "invalid parameters: scrypt N=131072 is below minimum 262144 \u2014 possible downgrade attack"),
    "scrypt N zero": (kdf(n=0), "invalid parameters: scrypt N must be a power of 2, got 0"),
    "scrypt N not a power of two": (kdf(n=262143), "invalid parameters: scrypt N must be a power of 2, got 262143"),
    "scrypt r below the minimum": (kdf(r=7), "invalid parameters: scrypt r=7 is below minimum 8 \u2014 possible downgrade attack"),
    "scrypt p zero": (kdf(p=0), "invalid parameters: scrypt p=0 is below minimum 1 \u2014 possible downgrade attack"),
    "dklen 16": (kdf(dklen=16), "invalid parameters: dklen=16 is below minimum 32"),
    "dklen 64": (kdf(dklen=64), "invalid parameters: dklen=64 is unsupported, expected exactly 32"),
    "salt of odd length": (kdf(salt="abc"), "invalid parameters: Odd number of digits"),
    "salt not hex": (kdf(salt="zz"), "invalid parameters: Invalid character 'z' at position 0"),
    "iv of 16 bytes": (edit(lambda d: d["crypto"]["cipherparams"].update(iv="00" * 16)), "invalid parameters: iv must be 12 bytes, got 16"),
    "ciphertext not hex": (edit(lambda d: d["crypto"].update(ciphertext="x" + d["crypto"]["ciphertext"][1:])), "invalid parameters: Invalid character 'x' at position 0"),
}
# Absurd scrypt costs are refused before any memory is taken: r * p must stay below 2^30
# (RFC 7914), and the working memory and the mixing work have ceilings.
REFUSED.update({
    "scrypt r of 2^31": (kdf(r=2**31), "invalid parameters: invalid scrypt parameters"),
    "scrypt p of 2^31": (kdf(p=2**31), "invalid parameters: invalid scrypt parameters"),
    "scrypt r and p at the RFC 7914 limit": (kdf(r=2**15, p=2**15), "invalid parameters: invalid scrypt parameters"),
    "scrypt N, r and p all huge": (kdf(n=2**31, r=2**31 - 1, p=2**31 - 1), "invalid parameters: invalid scrypt parameters"),
})
ABSURD = {
    "scrypt N of 2^31": (kdf(n=2**31), "bytes of memory"),
    "scrypt N of 2^31 and r of 2^20": (kdf(n=2**31, r=2**20), "bytes of memory"),
    "scrypt r of 2^20": (kdf(r=2**20), "bytes of memory"),
    "scrypt p of 2^20": (kdf(p=2**20), "bytes of work"),
}
# Envelopes that do not convert: the JSON error names the member.
NOT_ENVELOPES = {
    "kdfparams missing": (edit(lambda d: d["crypto"].pop("kdfparams")), "kdfparams"),
    "crypto a string": (edit(lambda d: d.update(crypto="scrypt")), "crypto"),
    "N beyond 32 bits": (kdf(n=2**32), "kdfparams.n"),
    "N negative": (kdf(n=-262144), "kdfparams.n"),
    "N fractional": (kdf(n=262144.5), "kdfparams.n"),
    "N a text": (kdf(n="262144"), "kdfparams.n"),
    "iv a number": (edit(lambda d: d["crypto"]["cipherparams"].update(iv=0)), "cipherparams.iv"),
}


def damaged_vault(fresh, damage):
    path = pathlib.Path(fresh["path"]) / "wallets" / f"{fresh['main']}.json"
    path.write_bytes(damage(path.read_bytes()))
    return path


@pytest.mark.parametrize("case", sorted(UNREADABLE))
def test_unreadable_wallet_file_is_skipped(case, fresh, capfd):
    v = fresh["path"]
    path = damaged_vault(fresh, UNREADABLE[case])
    before = wallet_files(v)
    assert [w["name"] for w in _native.list_wallets(v)] == ["pk"]
    lines = capfd.readouterr().err.splitlines()
    assert len(lines) == 1 and lines[0].startswith(f"warning: skipping {path}: "), lines
    for function, args in [("get_wallet", ["main"]), ("export_wallet", ["main", PASSPHRASE]), ("sign_message", ["main", "ethereum", "m", PASSPHRASE]),
                           ("rename_wallet", ["main", "x"]), ("delete_wallet", ["main"]), ("delete_wallet", [fresh["main"]])]:
        ref = args[0]
        expect_error(f"wallet not found: '{ref}'", function, args, {}, v)
    # The other wallet still works, and the name of the unreadable one is free again.
    assert _native.get_wallet("pk", v)["id"] == fresh["pk"]
    assert wallet_files(v) == before


@pytest.mark.parametrize("case", sorted(REFUSED) + sorted(ABSURD) + sorted(NOT_ENVELOPES))
def test_damaged_envelope_is_refused_before_any_key_derivation(case, fresh, capfd):
    v = fresh["path"]
    damage = {**REFUSED, **ABSURD, **NOT_ENVELOPES}[case][0]
    damaged_vault(fresh, damage)
    before = wallet_files(v)
    for function, args in [("export_wallet", ["main", PASSPHRASE]), ("sign_message", ["main", "ton", "m", PASSPHRASE]),
                           ("sign_transaction", ["main", "ethereum", "00", PASSPHRASE])]:
        with pytest.raises(RuntimeError) as info:
            call(function, args, {}, v)
        message = str(info.value)
        if case in REFUSED:
            assert message == REFUSED[case][1]
        elif case in ABSURD:
            assert message.startswith("invalid parameters: scrypt parameters need ") and ABSURD[case][1] in message, message
        else:
            assert message.startswith("JSON error: ") and NOT_ENVELOPES[case][1] in message, message
    # The file is still listed and can still be renamed and deleted without the passphrase.
    assert _native.get_wallet("main", v)["id"] == fresh["main"]
    assert wallet_files(v) == before
    assert capfd.readouterr().err == ""


def test_altered_ciphertext_and_tag_fail_authentication(fresh):
    v = fresh["path"]
    flip = lambda h: ("0" if h[0] != "0" else "1") + h[1:]  # noqa: E731
    damaged_vault(fresh, edit(lambda d: d["crypto"].update(auth_tag=flip(d["crypto"]["auth_tag"]))))
    before = wallet_files(v)
    expect_error("decryption failed: aead::Error", "export_wallet", ["main", PASSPHRASE], {}, v)
    assert wallet_files(v) == before


def test_entries_that_are_not_wallet_files_are_skipped_promptly(fresh, tmp_path):
    """A FIFO would block the open, a link to /dev/zero never ends and a huge sparse file
    would take all memory: each is one skipped entry, and the other wallets stay usable."""
    v = fresh["path"]
    wallets = pathlib.Path(v) / "wallets"
    os.mkfifo(wallets / "fifo.json")
    (wallets / "zero.json").symlink_to("/dev/zero")
    with open(wallets / "sparse.json", "wb") as f:
        f.truncate(2**40)
    (wallets / "loop.json").symlink_to("loop.json")
    (wallets / "dangling.json").symlink_to(tmp_path / "missing")
    (wallets / "directory.json").mkdir()
    before = sorted(p.name for p in wallets.iterdir())
    # In a child process with a memory limit and a time-out, so that a regression fails
    # this test instead of hanging or exhausting the machine.
    script = (
        "import json, resource, sys\n"
        "resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\n"
        "from vek import _native\n"
        "print(json.dumps(sorted(w['name'] for w in _native.list_wallets(sys.argv[1]))))\n"
    )
    run = subprocess.run([sys.executable, "-c", script, v], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert json.loads(run.stdout) == ["main", "pk"]
    path = lambda name: f"{wallets}/{name}"  # noqa: E731
    assert sorted(run.stderr.splitlines()) == sorted([
        f"warning: skipping {path('fifo.json')}: not a regular file",
        f"warning: skipping {path('zero.json')}: not a regular file",
        f"warning: skipping {path('sparse.json')}: larger than the limit of 67108864 bytes",
        f"warning: skipping {path('loop.json')}: Too many levels of symbolic links (os error 40)",
        f"warning: skipping {path('dangling.json')}: No such file or directory (os error 2)",
        f"warning: skipping {path('directory.json')}: Is a directory (os error 21)",
    ])
    assert sorted(p.name for p in wallets.iterdir()) == before


@pytest.mark.parametrize("forged_id", ["../outside", "../../outside", "a/b", "/tmp/outside", ".", "..", ""])
def test_ids_that_are_not_file_names_never_reach_outside(forged_id, fresh):
    """A file may claim any id. Writing or deleting by such an id must not touch a path
    outside the wallets directory; here a bait file sits where "../outside" points."""
    v = fresh["path"]
    wallets = pathlib.Path(v) / "wallets"
    doc = json.loads((wallets / f"{fresh['main']}.json").read_text())
    doc.update(id=forged_id, name="forged")
    (wallets / "forged.json").write_text(json.dumps(doc, indent=2))
    bait = pathlib.Path(v) / "outside.json"
    bait.write_text("bait")
    before = wallet_files(v)
    # It is listed and found by its id (or by name), like any wallet.
    assert _native.get_wallet("forged", v)["id"] == forged_id
    expect_error(f"invalid input: wallet id is not a plain file name: '{forged_id}'", "rename_wallet", ["forged", "renamed"], {}, v)
    expect_error(f"wallet not found: '{forged_id}'", "delete_wallet", ["forged"], {}, v)
    assert wallet_files(v) == before
    assert bait.read_text() == "bait"
    assert sorted(p.name for p in pathlib.Path(v).iterdir()) == ["outside.json", "wallets"]


# ---------------------------------------------------------------- forged secrets


@pytest.fixture(scope="module")
def forge():
    """Writes a wallet whose envelope holds any plaintext, under PASSPHRASE."""
    aead = pytest.importorskip("cryptography.hazmat.primitives.ciphers.aead")
    salt = bytes(range(32))
    key = hashlib.scrypt(PASSPHRASE.encode(), salt=salt, n=2**18, r=8, p=1, maxmem=2**30, dklen=32)

    def write(vault, source_id, key_type, plaintext):
        iv = os.urandom(12)
        sealed = aead.AESGCM(key).encrypt(iv, plaintext, None)
        path = pathlib.Path(vault) / "wallets" / f"{source_id}.json"
        doc = json.loads(path.read_text())
        doc["key_type"] = key_type
        doc["crypto"] = {
            "auth_tag": sealed[-16:].hex(), "cipher": "aes-256-gcm", "cipherparams": {"iv": iv.hex()},
            "ciphertext": sealed[:-16].hex(), "kdf": "scrypt",
            "kdfparams": {"dklen": 32, "n": 2**18, "p": 1, "r": 8, "salt": salt.hex()},
        }
        path.write_text(json.dumps(doc, indent=2))

    return write


GOOD_SECP = KEY
NOT_OF_KEY_TYPE = "invalid input: the wallet's stored secret does not match its key type"
FORGED = [
    # (key type, plaintext, message of signing on ethereum, message of export or None when it succeeds)
    ("private_key", b"not json", "JSON error: expected a value at line 1 column 1", None),
    ("private_key", b"", "JSON error: unexpected end of input at line 1 column 1", None),
    ("private_key", b'{"ed25519":"00"', "JSON error: unexpected end of input at line 1 column 16", None),
    ("private_key", b"[" * 10**6, "JSON error: nesting deeper than 128 levels at line 1 column 129", None),
    ("private_key", b'{"ed25519":"00"}', "invalid input: missing secp256k1 key", None),
    ("private_key", b'{"secp256k1":"' + GOOD_SECP.encode() + b'"}', "invalid input: missing ed25519 key", None),
    ("private_key", b'{"secp256k1":1,"ed25519":"00"}', "invalid input: missing secp256k1 key", None),
    ("private_key", b'["secp256k1","ed25519"]', "invalid input: missing secp256k1 key", None),
    ("private_key", b'{"secp256k1":"zz","ed25519":"00"}', "invalid input: invalid secp256k1 hex: Invalid character 'z' at position 0", None),
    ("private_key", b'{"secp256k1":"0x' + GOOD_SECP.encode() + b'","ed25519":"00"}', "invalid input: invalid secp256k1 hex: Invalid character 'x' at position 1", None),
    ("private_key", b'{"secp256k1":"' + GOOD_SECP.encode() + b'","ed25519":"abc"}', "invalid input: invalid ed25519 hex: Odd number of digits", None),
    ("private_key", b'{"secp256k1":"00","ed25519":"00"}', "invalid private key: signature error", None),
    ("private_key", b"\xff\xfe", "invalid input: invalid key pair data", "invalid input: wallet contains invalid key data"),
    ("mnemonic", b"\xc3\x28", "invalid input: wallet contains invalid UTF-8 mnemonic", "invalid input: wallet contains invalid UTF-8 mnemonic"),
    # No text of a decrypted secret is quoted, so an invalid phrase gets one fixed message.
    ("mnemonic", b"abandon", NOT_OF_KEY_TYPE, None),
    ("mnemonic", ZERO_PHRASE.upper().encode(), NOT_OF_KEY_TYPE, None),
]


@pytest.mark.parametrize("key_type,plaintext,sign_message,export_message", FORGED, ids=[f"{k}-{n}" for n, (k, *_) in enumerate(FORGED)])
def test_forged_secrets_are_refused(key_type, plaintext, sign_message, export_message, fresh, forge):
    v = fresh["path"]
    forge(v, fresh["main"], key_type, plaintext)
    before = wallet_files(v)
    expect_error(sign_message, "sign_message", ["main", "ethereum", "m", PASSPHRASE], {}, v)
    if export_message is not None:
        expect_error(export_message, "export_wallet", ["main", PASSPHRASE], {}, v)
    assert wallet_files(v) == before


def edit_wallet(vault, wallet_id, change):
    path = pathlib.Path(vault) / "wallets" / f"{wallet_id}.json"
    doc = json.loads(path.read_text())
    change(doc)
    path.write_text(json.dumps(doc, indent=2))


def every_decrypting_call(v, ref, passphrase):
    """(function, args, kwargs) of each operation that decrypts, refused before any network use."""
    return [
        ("sign_message", [ref, "ethereum", "m", passphrase], {}),
        ("sign_message", [ref, "solana", "m", passphrase], {}),
        ("sign_transaction", [ref, "ethereum", EVM_TX, passphrase], {}),
        ("sign_and_send", [ref, "ethereum", EVM_TX, passphrase], {"rpc_url": "http://127.0.0.1:1"}),
    ]


@pytest.mark.parametrize("source,key_type", [("pk", "mnemonic"), ("main", "private_key")])
def test_relabelled_key_type_quotes_no_secret(source, key_type, fresh, capfd):
    """Editing only the clear-text key_type (no passphrase needed) once made signing quote
    the whole key document as an invalid word. Now every call that decrypts gives a fixed
    message, and export still returns the secret, with a warning."""
    v, passphrase = fresh["path"], PASSPHRASE if source == "main" else None
    secret = _native.export_wallet(source, passphrase, v)
    edit_wallet(v, fresh[source], lambda d: d.update(key_type=key_type))
    before = wallet_files(v)
    for function, args, kwargs in every_decrypting_call(v, source, passphrase):
        expect_error(NOT_OF_KEY_TYPE, function, args, kwargs, v)
    assert capfd.readouterr().err == ""
    assert _native.export_wallet(source, passphrase, v) == secret
    assert capfd.readouterr().err == f"warning: the stored accounts of wallet '{source}' do not match its secret\n"
    assert wallet_files(v) == before


ATTACKER_EVM = "0x" + "De" * 20
TAMPERED_ACCOUNTS = {
    "evm address": ("main", 0, "address", ATTACKER_EVM),
    "path beside its address": ("main", 0, "derivation_path", "m/44'/60'/0'/0/1"),
    "unknown chain": ("main", 2, "chain_id", "bip122:ffffffffffffffffffffffffffffffff"),
    "key wallet solana address": ("pk", 1, "address", "11111111111111111111111111111111"),
}


@pytest.mark.parametrize("source,account,field,value", TAMPERED_ACCOUNTS.values(), ids=TAMPERED_ACCOUNTS.keys())
def test_accounts_not_derived_from_the_secret_are_refused(source, account, field, value, fresh, capfd):
    """Someone who can write the file but lacks the passphrase replaces a displayed
    account. Signing and sending refuse; export returns the secret and warns. The name,
    read from the file, is quoted with its control characters escaped."""
    v, ref, passphrase = fresh["path"], fresh[source], PASSPHRASE if source == "main" else None
    secret = _native.export_wallet(ref, passphrase, v)
    assert capfd.readouterr().err == ""

    def tamper(doc):
        doc["accounts"][account][field] = value
        doc["name"] = "evil\x1b[2J\u0085"

    edit_wallet(v, ref, tamper)
    before = wallet_files(v)
    shown = "evil\\u001b[2J\u0085"
    for function, args, kwargs in every_decrypting_call(v, ref, passphrase):
        expect_error(f"invalid input: the stored accounts of wallet '{shown}' do not match its secret", function, args, kwargs, v)
    assert _native.export_wallet(ref, passphrase, v) == secret
    assert capfd.readouterr().err == f"warning: the stored accounts of wallet '{shown}' do not match its secret\n"
    assert wallet_files(v) == before


# ---------------------------------------------------------------- a crippled OpenSSL

BASE_PROVIDER_ONLY = """openssl_conf = openssl_init
[openssl_init]
providers = provider_sect
[provider_sect]
base = base_sect
[base_sect]
activate = 1
"""
CRIPPLED_CHILD = """
import json, sys
from vek import _native
phrases, vault = json.loads(sys.argv[1]), sys.argv[2]
out = {}
def run(label, fn, *args, **kwargs):
    try:
        out[label] = ["ok", fn(*args, **kwargs)]
    except Exception as e:
        out[label] = [type(e).__name__, str(e)]
for n, phrase in enumerate(phrases):
    for chain in ("ethereum", "bitcoin", "cosmos", "tron", "solana"):
        run(f"{chain}-{n}", _native.derive_address, phrase, chain)
run("generate", lambda: len(_native.generate_mnemonic(24).split()))
run("export", _native.export_wallet, "main", "pw", vault)
run("sign", _native.sign_message, "pk", "ethereum", "m", vault_path_opt=vault)
print(json.dumps(out))
"""


def test_openssl_without_its_algorithms_gives_errors_not_a_crash(fresh, tmp_path):
    """With a configuration that loads only OpenSSL's base provider (no digest, cipher or
    Ed25519), nothing ends the interpreter: the hashes, which need no provider, give the
    usual results (a 24-word phrase is longer than a SHA-512 block, so its seed hashes
    the HMAC key first), and what needs a provider fails with an error."""
    conf = tmp_path / "base-only.cnf"
    conf.write_text(BASE_PROVIDER_ONLY)
    phrases = [ZERO_PHRASE, " ".join(["abandon"] * 23 + ["art"])]
    child = subprocess.run(
        [sys.executable, "-c", CRIPPLED_CHILD, json.dumps(phrases), fresh["path"]],
        env=dict(os.environ, OPENSSL_CONF=str(conf)), capture_output=True, text=True, timeout=120,
    )
    assert child.returncode == 0, child.stderr
    out = json.loads(child.stdout)
    for n, phrase in enumerate(phrases):
        for chain in ("ethereum", "bitcoin", "cosmos", "tron"):
            assert out[f"{chain}-{n}"] == ["ok", _native.derive_address(phrase, chain)]
        kind, message = out[f"solana-{n}"]
        assert kind == "RuntimeError" and message.startswith("address derivation failed: OpenSSL cannot make an Ed25519 key: ")
    assert out["generate"] == ["ok", 24]
    for label in ("export", "sign"):
        kind, message = out[label]
        assert kind == "RuntimeError" and message.startswith("decryption failed: "), (label, message)


LONG_TYPE_CHAIN = """
import json, threading, vek
types = {"EIP712Domain": []}
for i in range(10000):
    types[f"T{i}"] = [{"name": "c", "type": f"T{i + 1}[]"}] if i < 9999 else []
doc = json.dumps({"types": types, "primaryType": "T0", "domain": {}, "message": {"c": []}})
def check():
    try:
        vek.verify_typed_data("ethereum", "0x" + "00" * 20, doc, "00" * 65)
    except vek.SignerError as e:
        print(e)
threading.stack_size(1 << 20)
t = threading.Thread(target=check)
t.start()
t.join()
"""


def test_typed_data_of_a_long_type_chain_is_refused_not_a_crash():
    """10,000 types T0 -> T1[] -> ... (450 KB) once took a stack frame each and killed
    the interpreter on a thread with 1 MiB of stack."""
    p = subprocess.run([sys.executable, "-c", LONG_TYPE_CHAIN], capture_output=True, text=True, timeout=120, check=False)
    assert (p.returncode, p.stdout, p.stderr) == (0, "invalid message: typed data: more than 1024 types\n", "")
