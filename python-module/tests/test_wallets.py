"""Deriving addresses, creating, importing, listing, renaming, deleting and exporting wallets."""
import json
import os
import pathlib
import stat

import pytest

from conftest import VECTORS_DIR, raises, wallet_files
from vek import _native

ZERO_PHRASE = " ".join(["abandon"] * 11 + ["about"])
VECTORS = json.loads((VECTORS_DIR / "derived-accounts-computed.json").read_text())

CHAIN_IDS = [
    "eip155:1",
    "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
    "bip122:000000000019d6689c085ae165831e93",
    "cosmos:cosmoshub-4",
    "tron:mainnet",
    "ton:mainnet",
]
FAMILY_OF = dict(zip(CHAIN_IDS, ["evm", "solana", "bitcoin", "cosmos", "tron", "ton"]))
CHAIN_NAME = {"evm": "ethereum", "solana": "solana", "bitcoin": "bitcoin", "cosmos": "cosmos", "tron": "tron", "ton": "ton"}


def paths_for(i):
    return [
        f"m/44'/60'/0'/0/{i}",
        f"m/44'/501'/{i}'/0'",
        f"m/84'/0'/0'/0/{i}",
        f"m/44'/118'/0'/0/{i}",
        f"m/44'/195'/0'/0/{i}",
        f"m/44'/607'/{i}'",
    ]


def expected_accounts():
    """{(family, index): (path, address, private_key)} from the independently computed vectors."""
    out = {}
    for acc in VECTORS["accounts"]:
        path = acc["path"]
        index = int(path.rstrip("'").split("/")[-1].rstrip("'"))
        if acc["family"] == "solana":
            index = int(path.split("/")[3].rstrip("'"))
        out[(acc["family"], index)] = (path, acc["address"], acc["private_key"])
    return out


# ---------------------------------------------------------------- derive_address


@pytest.mark.parametrize("index", [0, 1])
def test_derive_address_known_answers(index):
    expected = expected_accounts()
    for family, chain in CHAIN_NAME.items():
        path, address, _ = expected[(family, index)]
        assert _native.derive_address(ZERO_PHRASE, chain, index) == address, family


def test_derive_address_chain_aliases_and_defaults():
    eth = _native.derive_address(ZERO_PHRASE, "ethereum")
    assert eth == _native.derive_address(ZERO_PHRASE, "ethereum", None) == _native.derive_address(ZERO_PHRASE, "ethereum", 0)
    for chain in ["polygon", "eip155:1", "EVM", "Base", "eip155:43114"]:
        assert _native.derive_address(ZERO_PHRASE, chain) == eth


def test_derive_address_errors():
    unknown = "invalid input: unknown chain: 'eip155:5'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
    # The chain is checked before the phrase.
    raises(RuntimeError, unknown, _native.derive_address, "not a phrase", "eip155:5")
    raises(RuntimeError, "invalid mnemonic phrase: the word `` is invalid", _native.derive_address, "", "ethereum")
    raises(
        RuntimeError,
        "invalid derivation path: index out of range in component '2147483648' of path "
        "'m/44'/60'/0'/0/2147483648': must be below 2147483648",
        _native.derive_address,
        ZERO_PHRASE,
        "ethereum",
        2**31,
    )
    raises(TypeError, "derive_address() missing 1 required positional argument: 'chain'", _native.derive_address, ZERO_PHRASE)


# ---------------------------------------------------------------- create_wallet


def test_create_wallet_shape_and_file(vault):
    d = _native.create_wallet("main", vault_path_opt=vault)
    assert list(d) == ["id", "name", "accounts", "created_at"]
    assert d["name"] == "main"
    assert [a["chain_id"] for a in d["accounts"]] == CHAIN_IDS
    assert [a["derivation_path"] for a in d["accounts"]] == paths_for(0)
    assert all(list(a) == ["chain_id", "address", "derivation_path"] for a in d["accounts"])
    assert list(d["accounts"][0].values())[0] == "eip155:1"
    assert len(d["id"]) == 36 and d["id"][14] == "4" and d["id"] == d["id"].lower()

    files = wallet_files(vault)
    assert list(files) == [d["id"] + ".json"]
    path = pathlib.Path(vault) / "wallets" / (d["id"] + ".json")
    assert stat.S_IMODE(path.stat().st_mode) == 0o600
    assert stat.S_IMODE(path.parent.stat().st_mode) == 0o700
    assert stat.S_IMODE(pathlib.Path(vault).stat().st_mode) == 0o700
    doc = json.loads(files[d["id"] + ".json"])
    assert list(doc) == ["vek_version", "id", "name", "created_at", "accounts", "crypto", "key_type"]
    assert doc["vek_version"] == 2 and doc["key_type"] == "mnemonic"
    assert [a["account_id"] for a in doc["accounts"]] == [f"{a['chain_id']}:{a['address']}" for a in d["accounts"]]
    assert _native.get_wallet(d["id"], vault) == d


def test_create_wallet_exports_its_phrase_and_addresses_match(vault):
    d = _native.create_wallet("w", passphrase="pw", words=24, vault_path_opt=vault)
    phrase = _native.export_wallet("w", "pw", vault)
    assert len(phrase.split(" ")) == 24
    for acc in d["accounts"]:
        chain = CHAIN_NAME[FAMILY_OF[acc["chain_id"]]]
        assert _native.derive_address(phrase, chain) == acc["address"]


def test_create_wallet_name_rules(vault):
    _native.create_wallet("a", vault_path_opt=vault)
    before = wallet_files(vault)
    raises(RuntimeError, "wallet name already exists: 'a'", _native.create_wallet, "a", vault_path_opt=vault)
    # The word count is checked before the name.
    raises(RuntimeError, "invalid input: words must be 12 or 24", _native.create_wallet, "a", words=18, vault_path_opt=vault)
    assert wallet_files(vault) == before
    _native.create_wallet("A", vault_path_opt=vault)  # names are case-sensitive
    assert len(_native.list_wallets(vault)) == 2


def test_default_vault_is_under_home(isolated_home):
    d = _native.create_wallet("home-wallet")
    assert (isolated_home / ".vek" / "wallets" / (d["id"] + ".json")).exists()
    assert _native.list_wallets()[0]["id"] == d["id"]


# ---------------------------------------------------------------- imports


def test_import_mnemonic_known_answers_with_index(vault):
    expected = expected_accounts()
    for index in (0, 1):
        d = _native.import_wallet_mnemonic(f"z{index}", ZERO_PHRASE, index=index, vault_path_opt=vault)
        assert [a["derivation_path"] for a in d["accounts"]] == paths_for(index)
        for acc in d["accounts"]:
            assert acc["address"] == expected[(FAMILY_OF[acc["chain_id"]], index)][1]


def test_import_mnemonic_index_two_agrees_with_derive(vault):
    d = _native.import_wallet_mnemonic("z", ZERO_PHRASE, None, 2, vault)
    assert [a["derivation_path"] for a in d["accounts"]] == paths_for(2)
    assert d["accounts"][0]["address"] == _native.derive_address(ZERO_PHRASE, "ethereum", 2)
    assert d["accounts"][1]["address"] == _native.derive_address(ZERO_PHRASE, "solana", 2)
    assert _native.export_wallet("z", vault_path_opt=vault) == ZERO_PHRASE


def test_import_mnemonic_error_order(vault):
    _native.create_wallet("taken", vault_path_opt=vault)
    before = wallet_files(vault)
    # A taken name is reported before a bad phrase.
    raises(RuntimeError, "wallet name already exists: 'taken'", _native.import_wallet_mnemonic, "taken", "bad", vault_path_opt=vault)
    raises(RuntimeError, "invalid mnemonic phrase: the word `bad` is invalid", _native.import_wallet_mnemonic, "new", "bad", vault_path_opt=vault)
    raises(
        RuntimeError,
        "invalid mnemonic phrase: the word `` is invalid",
        _native.import_wallet_mnemonic,
        "new",
        ZERO_PHRASE + " ",
        vault_path_opt=vault,
    )
    assert wallet_files(vault) == before


KEY = "1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727"  # EVM key of the zero phrase


def test_import_private_key_prefixes_and_random_other_curve(vault):
    a = _native.import_wallet_private_key("a", KEY, vault_path_opt=vault)
    b = _native.import_wallet_private_key("b", "0x" + KEY, vault_path_opt=vault)
    assert a["accounts"][0]["address"] == b["accounts"][0]["address"] == "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"
    assert all(acc["derivation_path"] == "" for acc in a["accounts"])
    assert [acc["chain_id"] for acc in a["accounts"]] == CHAIN_IDS
    doc_a = _native.export_wallet("a", vault_path_opt=vault)
    keys = json.loads(doc_a)
    assert list(keys) == ["ed25519", "secp256k1"]
    assert doc_a == json.dumps(keys, separators=(",", ":"))
    assert keys["secp256k1"] == KEY
    assert len(keys["ed25519"]) == 64
    # The Ed25519 side of each import is an independent random key.
    assert json.loads(_native.export_wallet("b", vault_path_opt=vault))["ed25519"] != keys["ed25519"]


def test_import_private_key_for_solana(vault):
    sol_key = expected_accounts()[("solana", 0)][2]
    d = _native.import_wallet_private_key("s", sol_key.upper(), chain="solana", vault_path_opt=vault)
    assert d["accounts"][1]["address"] == expected_accounts()[("solana", 0)][1]
    keys = json.loads(_native.export_wallet("s", vault_path_opt=vault))
    assert keys["ed25519"] == sol_key
    assert len(keys["secp256k1"]) == 64


def test_import_private_key_explicit_keys(vault):
    exp = expected_accounts()
    secp, ed = exp[("evm", 0)][2], exp[("ton", 0)][2]
    # With both explicit keys the main key text is not read at all.
    d = _native.import_wallet_private_key("x", "zz", chain="nonsense", secp256k1_key=secp, ed25519_key=ed, vault_path_opt=vault)
    assert d["accounts"][0]["address"] == exp[("evm", 0)][1]
    assert d["accounts"][5]["address"] == exp[("ton", 0)][1]
    # One explicit key for the other curve is used; one for the main key's curve is ignored.
    d2 = _native.import_wallet_private_key("y", secp, ed25519_key=ed, vault_path_opt=vault)
    assert d2["accounts"][5]["address"] == exp[("ton", 0)][1]
    d3 = _native.import_wallet_private_key("z", secp, secp256k1_key="00" * 32, vault_path_opt=vault)
    assert d3["accounts"][0]["address"] == exp[("evm", 0)][1]


@pytest.mark.parametrize(
    "kwargs,message",
    [
        ({"private_key_hex": "0X" + KEY}, "invalid input: invalid hex private key: Invalid character 'X' at position 1"),
        ({"private_key_hex": KEY[:-1]}, "invalid input: invalid hex private key: Odd number of digits"),
        ({"private_key_hex": "0x"}, "invalid private key: signature error"),
        ({"private_key_hex": ""}, "invalid private key: signature error"),
        ({"private_key_hex": "00" * 32}, "invalid private key: signature error"),
        ({"private_key_hex": KEY, "chain": "dogecoin"}, "invalid input: unknown chain: 'dogecoin'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"),
        ({"private_key_hex": KEY[:62], "chain": "solana"}, "invalid private key: expected 32 bytes, got 31"),
        ({"private_key_hex": KEY, "ed25519_key": "abc"}, "invalid input: invalid hex private key: Odd number of digits"),
        ({"private_key_hex": KEY, "secp256k1_key": "g0", "ed25519_key": KEY}, "invalid input: invalid hex private key: Invalid character 'g' at position 0"),
    ],
)
def test_import_private_key_errors_write_nothing(vault, kwargs, message):
    _native.create_wallet("keep", vault_path_opt=vault)
    before = wallet_files(vault)
    raises(RuntimeError, message, _native.import_wallet_private_key, "new", vault_path_opt=vault, **kwargs)
    assert wallet_files(vault) == before


def test_import_private_key_taken_name_first(vault):
    _native.import_wallet_private_key("k", KEY, vault_path_opt=vault)
    raises(RuntimeError, "wallet name already exists: 'k'", _native.import_wallet_private_key, "k", "zz", vault_path_opt=vault)


# ---------------------------------------------------------------- management


def test_list_get_rename_delete(vault):
    assert _native.list_wallets(vault) == []
    w1 = _native.create_wallet("w1", vault_path_opt=vault)
    w2 = _native.create_wallet("w2", vault_path_opt=vault)
    assert [w["name"] for w in _native.list_wallets(vault)] == ["w2", "w1"]
    assert _native.get_wallet("w1", vault) == _native.get_wallet(w1["id"], vault) == w1
    raises(RuntimeError, "wallet not found: 'W1'", _native.get_wallet, "W1", vault)

    file1 = pathlib.Path(vault) / "wallets" / (w1["id"] + ".json")
    before = file1.read_bytes()
    assert _native.rename_wallet("w1", "w1", vault) is None
    assert file1.read_bytes() == before
    raises(RuntimeError, "wallet name already exists: 'w2'", _native.rename_wallet, "w1", "w2", vault)
    assert file1.read_bytes() == before
    assert _native.rename_wallet("w1", "W2", vault) is None
    renamed = _native.get_wallet(w1["id"], vault)
    assert renamed["name"] == "W2"
    assert renamed["created_at"] == w1["created_at"] and renamed["accounts"] == w1["accounts"]
    assert [w["id"] for w in _native.list_wallets(vault)] == [w2["id"], w1["id"]]
    assert _native.export_wallet("W2", vault_path_opt=vault).count(" ") == 11

    assert _native.delete_wallet("W2", vault) is None
    assert not file1.exists()
    raises(RuntimeError, "wallet not found: 'W2'", _native.delete_wallet, "W2", vault)
    assert [w["name"] for w in _native.list_wallets(vault)] == ["w2"]


def test_ambiguous_names_and_id_wins(vault):
    a = _native.create_wallet("main", vault_path_opt=vault)
    b = _native.create_wallet("other", vault_path_opt=vault)
    _native.rename_wallet(b["id"], "x", vault)
    # Two wallets can share a name only by editing files; make the second one "main".
    path = pathlib.Path(vault) / "wallets" / (b["id"] + ".json")
    doc = json.loads(path.read_text())
    doc["name"] = "main"
    path.write_text(json.dumps(doc, indent=2))
    msg = "ambiguous wallet name 'main' matches 2 wallets; use the wallet ID instead"
    raises(RuntimeError, msg, _native.get_wallet, "main", vault)
    raises(RuntimeError, msg, _native.delete_wallet, "main", vault)
    assert _native.get_wallet(a["id"], vault)["id"] == a["id"]
    # A wallet named like another wallet's id: the id match wins.
    _native.rename_wallet(a["id"], b["id"], vault)
    assert _native.get_wallet(b["id"], vault)["id"] == b["id"]


def test_rename_and_delete_act_on_the_file_read(vault):
    """Two files claiming one id (a restored backup, a copied file): renaming or deleting
    one of them touches that file only, never the other wallet's secret."""
    alice = _native.create_wallet("alice", vault_path_opt=vault)
    bob = _native.create_wallet("bob", vault_path_opt=vault)
    wallets = pathlib.Path(vault) / "wallets"
    bob_file = wallets / (bob["id"] + ".json")
    bob_file.write_text(bob_file.read_text().replace(bob["id"], alice["id"]))
    alice_bytes = (wallets / (alice["id"] + ".json")).read_bytes()
    bob_phrase = _native.export_wallet("bob", vault_path_opt=vault)

    _native.rename_wallet("bob", "carol", vault)
    assert json.loads(bob_file.read_text())["name"] == "carol"
    assert (wallets / (alice["id"] + ".json")).read_bytes() == alice_bytes
    assert _native.export_wallet("carol", vault_path_opt=vault) == bob_phrase
    _native.delete_wallet("carol", vault)
    assert wallet_files(vault) == {alice["id"] + ".json": alice_bytes}

def test_export_passphrases(vault):
    _native.create_wallet("p", passphrase="secret", vault_path_opt=vault)
    _native.create_wallet("n", vault_path_opt=vault)
    assert len(_native.export_wallet("p", "secret", vault).split()) == 12
    bad = "decryption failed: aead::Error"
    raises(RuntimeError, bad, _native.export_wallet, "p", "wrong", vault)
    raises(RuntimeError, bad, _native.export_wallet, "p", None, vault)
    raises(RuntimeError, bad, _native.export_wallet, "p", "", vault)
    assert _native.export_wallet("n", vault_path_opt=vault) == _native.export_wallet("n", "", vault)
    raises(RuntimeError, bad, _native.export_wallet, "n", "x", vault)
    raises(RuntimeError, "wallet not found: 'q'", _native.export_wallet, "q", "secret", vault)


def test_names_are_free_form(vault):
    for name in ["", "Ünïcödé 名前", "with space", "a/b"]:
        d = _native.create_wallet(name, vault_path_opt=vault) if name != "a/b" else _native.import_wallet_private_key(name, KEY, vault_path_opt=vault)
        assert _native.get_wallet(d["id"], vault)["name"] == name


def test_vault_path_is_literal(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    _native.list_wallets("~/wallets")
    assert (tmp_path / "~" / "wallets" / "wallets").is_dir()
