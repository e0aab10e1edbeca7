"""A program calling every public function and method of vek, and reading every member
of its results, with the types an application would give them: `mypy --strict` must pass
on it (test_stubs.py). It is type-checked, never run: it would sign and send.
"""
from __future__ import annotations

import asyncio
import json
import os
import pathlib
import pickle
from typing import Any, Optional, TYPE_CHECKING

import vek
from vek import _native

if TYPE_CHECKING:
    from vek._native import AccountDict, BroadcastDict, SignatureDict, WalletDict


def plain(value: vek.Wallet | vek.Account | vek.Signature | vek.SignedTransaction | vek.DecodedTransaction) -> str:
    """Every result type is a value: hashable, picklable, and JSON-ready through to_dict()."""
    again = pickle.loads(pickle.dumps(value))
    assert again == value and hash(again) == hash(value)
    members: dict[str, Any] = value.to_dict()
    return json.dumps(members)


def vaults() -> list[vek.Vault]:
    # The vault directory as str, bytes or any os.PathLike; None for the default.
    return [vek.Vault(), vek.Vault(None), vek.Vault("/tmp/v"), vek.Vault(b"/tmp/v"), vek.Vault(pathlib.Path("/tmp/v")),
            vek.Vault(os.fsencode("/tmp/v"))]


def wallets(vault: vek.Vault) -> vek.Wallet:
    where: pathlib.Path = vault.path
    made: vek.Wallet = vault.create("a", passphrase="pw", words=24)
    vault.import_mnemonic("b", vek.generate_mnemonic(12), passphrase="", index=1, bip39_passphrase=None,
                          paths={"ethereum": vek.preset_path("evm-account", "ethereum", 1)})
    vault.import_private_key("c", "11" * 32, chain="ethereum", passphrase="pw")
    vault.import_private_key("d", secp256k1_key="11" * 32, ed25519_key="22" * 32, passphrase="pw")
    vault.import_key("e", b"{}", "keystore", chain="ethereum", key_password="kp", passphrase="pw")
    listed: list[vek.Wallet] = vault.wallets()
    got: vek.Wallet = vault.get(made.id)
    vault.rename("a", "a2")
    phrase: str = vault.export("a2", "pw")
    key: str = vault.export_key("a2", "solana", format="base58", passphrase="pw", key_password=None,
                                bip39_passphrase=None)
    public: str = vault.public_key("a2", "ton", passphrase="pw", bip39_passphrase=None)
    vault.change_passphrase("a2", "pw", "new")
    vault.delete("c")
    print(where, listed, phrase, key, public, repr(vault))
    return got


def members(w: vek.Wallet) -> None:
    ident: str = w.id
    name: str = w.name
    created: str = w.created_at
    under_bip39: bool = w.bip39_passphrase
    on_polygon: str = w.address("polygon")
    for a in w.accounts:
        fields: tuple[str, str, str, str] = (a.chain_id, a.family, a.address, a.derivation_path)
        print(fields, plain(a))
    print(ident, name, created, under_bip39, on_polygon, plain(w))


def signatures(s: vek.Session) -> None:
    message: vek.Signature = s.sign_message("cosmos", "hi", encoding=None, index=None, path=None, format="adr036")
    text: str = message.signature
    v: Optional[int] = message.recovery_id
    fmt: str = message.format
    key: Optional[dict[str, str]] = message.public_key
    ton: vek.Signature = s.sign_message("ton", b"payload", format="sign_data", domain="example.com", timestamp=1)
    typed: vek.Signature = s.sign_typed_data("ethereum", "{}", index=0, path=None)
    tx: vek.SignedTransaction = s.sign_transaction("ethereum", b"\x02", index=None, path="m/44'/60'/0'/0/0")
    raw: Optional[str] = tx.raw_transaction
    tx_hash: Optional[str] = tx.tx_hash
    tx_v: Optional[int] = tx.recovery_id
    sent: str = s.send("ethereum", "02", rpc_url="http://127.0.0.1:1", index=1, path=None)
    print(text, v, fmt, key, plain(ton), plain(typed), tx.signature, raw, tx_hash, tx_v, sent, plain(tx))


def session(vault: vek.Vault) -> None:
    s: vek.Session = vault.unlock("a2", "new", ttl=60.0, bip39_passphrase=None)
    with vault.unlock(name_or_id="a2", passphrase="new") as same:
        closed: bool = same.closed
    address: str = s.address("bitcoin", index=2)
    public: str = s.public_key("solana", index=None, path="m/44'/501'/0'/0'")
    old: str = s.derive("ethereum")
    stored: vek.Wallet = s.add_account("ethereum", index=3)
    signatures(s)
    mine: vek.Wallet = s.wallet
    s.close()
    print(closed, address, public, old, stored, mine, repr(s))


def queries() -> None:
    chains: list[vek.Chain] = vek.known_chains()
    for c in chains:
        row: tuple[str, str, str, int, str, bool, bool, str] = (
            c.name, c.family, c.chain_id, c.coin_type, c.address_prefix, c.testnet, c.native, c.default_path(1))
        assert pickle.loads(pickle.dumps(c)) == c
        print(row, c.to_dict())
    families: list[vek.Family] = vek.families()
    for f in families:
        facts: tuple[str, str, int, str, str] = (f.name, f.curve, f.coin_type, f.default_path, f.default_chain)
        lists: tuple[list[str], list[str], list[str]] = (f.chains, f.message_formats, f.key_formats)
        does: tuple[bool, bool, bool, bool] = (f.sign_transaction, f.decode, f.build, f.broadcast)
        print(facts, lists, does, f.to_dict())
    formats: list[str] = vek.message_formats("ethereum")
    words: list[str] = vek.mnemonic_words()
    codes: list[tuple[str, str, str, str]] = vek.error_codes()
    endpoint: vek.Endpoint = vek.rpc_endpoint("ethereum")
    where: tuple[str, str, str] = (endpoint.url, endpoint.source, endpoint.config_file)
    print(formats, words, codes, where, endpoint.to_dict(), vek.__version__)


def checks() -> None:
    derived: str = vek.derive_address("phrase", "ethereum", index=1, bip39_passphrase=None)
    signer: str = vek.recover_address("ethereum", "hi", "0x00", format="eip191")
    ok: bool = vek.verify_message("ton", "EQ", b"hi", b"\x00", format="ton_proof", public_key=None, domain="d",
                                  timestamp=1, state_init="te6")
    typed: bool = vek.verify_typed_data("ethereum", "0x00", "{}", "0x00")
    tx_hash: str = vek.broadcast("ethereum", b"\x02", rpc_url="http://127.0.0.1:1")
    d: vek.DecodedTransaction = vek.decode_transaction("ethereum", "02")
    evm: tuple[Optional[int], Optional[int], Optional[int], Optional[int], Optional[int], Optional[str]] = (
        d.tx_type, d.evm_chain_id, d.nonce, d.value_wei, d.gas_limit, d.value_ether)
    fees: tuple[Optional[int], Optional[int], Optional[int], Optional[int]] = (
        d.gas_price, d.max_fee_per_gas, d.max_priority_fee_per_gas, d.data_length)
    solana: tuple[Optional[str], Optional[int], Optional[int]] = (d.fee_payer, d.signatures, d.instructions)
    common: tuple[str, str, Optional[str], bytes] = (d.chain_id, d.family, d.to, d.signing_payload)
    print(derived, signer, ok, typed, tx_hash, evm, fees, solana, common, plain(d))


def errors() -> None:
    failures: list[type[vek.VekError]] = [
        vek.WalletNotFoundError, vek.AmbiguousWalletError, vek.WalletNameExistsError, vek.InvalidInputError,
        vek.BroadcastError, vek.CryptoError, vek.WrongPassphraseError, vek.SignerError, vek.MnemonicError,
        vek.DerivationError, vek.VaultError, vek.JsonError, vek.SessionClosedError, vek.OutOfMemoryError,
        vek.InternalError]
    try:
        vek.Vault().get("x")
    except vek.VekError as e:
        text: str = str(e)
        print(text, [isinstance(e, f) for f in failures])


def newer(vault: vek.Vault) -> None:
    """Sessions without a vault, waits, cancels, awaitables, EVM signing by parts, review details."""
    s = vek.Session.from_mnemonic("phrase", bip39_passphrase="Grüße", ttl=None)
    k = vek.Session.from_private_key("11" * 32, chain="ethereum", secp256k1_key=None, ed25519_key=None, ttl=9.0)
    stop = vek.Cancel()
    stop.cancel()
    stopped: bool = stop.cancelled
    sent: str = s.send("ethereum", "02", rpc_url="http://127.0.0.1:1", timeout=5.0, cancel=stop)
    r: vek.Receipt = s.wait("ethereum", sent, rpc_url="http://127.0.0.1:1", timeout=1.0, cancel=stop)
    fields: tuple[str, str, int, Optional[int], Optional[str]] = (r.tx_hash, r.status, r.block_number, r.gas_used,
                                                                   r.error)
    m: vek.Signature = k.sign_signable_message("ethereum", b"E", b"thereum Signed Message:\n2", b"hi")
    h: vek.Signature = k.unsafe_sign_hash("ethereum", "00" * 32)
    generated: list[str] = vault.get("c").generated_keys
    d = vek.decode_transaction("solana", "00")
    money: tuple[str, int, Optional[str], Optional[int], Optional[str]] = (
        d.currency, d.decimals, d.value_text, d.max_cost, d.max_cost_text)
    rows: list[tuple[str, str]] = d.review
    for i in d.instruction_details:
        ix: vek.SolanaInstruction = i
        parts: tuple[str, Optional[str], Optional[str], Optional[str], Optional[str], Optional[str]] = (
            ix.program_id, ix.program, ix.kind, ix.source, ix.destination, ix.authority)
        amounts: tuple[Optional[int], Optional[str], Optional[int], int, int, str] = (
            ix.amount, ix.mint, ix.decimals, ix.accounts, ix.data_length, ix.text)
        print(parts, amounts)
    chain = vek.known_chains()[0]
    unit: tuple[str, int] = (chain.currency, chain.decimals)
    failures: list[type[Exception]] = [vek.WrongBip39PassphraseError, vek.NotSentError, vek.SendOutcomeUnknownError,
                                       vek.WaitTimeoutError, vek.WaitCancelledError, vek.GeneratedKeyWarning]
    print(stopped, fields, plain(m), plain(h), generated, money, rows, unit, failures, r.to_dict())


async def awaited(vault: vek.Vault) -> None:
    s: vek.Session = await vault.unlock_async("a2", "new", ttl=None, bip39_passphrase=None)
    sent: str = await s.send_async("ethereum", "02", rpc_url="http://127.0.0.1:1", index=None, path=None,
                                   timeout=3.0)
    r: vek.Receipt = await s.wait_async("ethereum", sent, rpc_url="http://127.0.0.1:1", timeout=3.0)
    print(r)


def native(vault: str) -> None:
    phrase: str = _native.generate_mnemonic(12)
    address: str = _native.derive_address(phrase, "ethereum", 0)
    made: WalletDict = _native.create_wallet("n", "pw", 12, vault)
    _native.import_wallet_mnemonic("m", phrase, "pw", 0, vault)
    _native.import_wallet_private_key("k", "11" * 32, "ethereum", "pw", vault, None, None)
    listed: list[WalletDict] = _native.list_wallets(vault)
    got: WalletDict = _native.get_wallet("n", vault)
    account: AccountDict = got["accounts"][0]
    _native.rename_wallet("n", "n2", vault)
    secret: str = _native.export_wallet("n2", "pw", vault)
    tx: SignatureDict = _native.sign_transaction("n2", "ethereum", "02", "pw", None, vault)
    message: SignatureDict = _native.sign_message("n2", "ethereum", "hi", "pw", None, None, vault)
    sent: BroadcastDict = _native.sign_and_send("n2", "ethereum", "02", "pw", None, "http://127.0.0.1:1", vault)
    _native.delete_wallet("n2", vault)
    print(address, made, listed, account, secret, tx, message, sent)


def main() -> None:
    vault = vaults()[2]
    members(wallets(vault))
    session(vault)
    queries()
    checks()
    errors()
    newer(vault)
    asyncio.run(awaited(vault))
    native("/tmp/v")


if __name__ == "__main__":
    main()
