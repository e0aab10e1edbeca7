"""Helpers of several commands: the vault and its wallets, phrases, hex and files."""

from __future__ import annotations

import argparse
import difflib
import shlex
from typing import Any, Callable, Optional, Sequence, TypeVar

import vek

from .chains import FAMILIES, FAMILY_OF, chain_label
from .core import PROG, CliError, Output, State, UsageError, pairs, printable, progress, table, tell
from .prompts import SecretReader, Source, read_bip39_passphrase, read_passphrase, source

T = TypeVar("T")
# How often a passphrase typed at a prompt is asked for when it is wrong.
PASSPHRASE_TRIES = 3
def wallet_dict(w: vek.Wallet) -> dict[str, Any]:
    return {
        "id": w.id,
        "name": w.name,
        "accounts": [
            {"chain_id": a.chain_id, "address": a.address, "derivation_path": a.derivation_path} for a in w.accounts
        ],
        "created_at": w.created_at,
        "bip39_passphrase": bool(w.bip39_passphrase),
        "generated_keys": list(w.generated_keys),
    }


def wallet_text(w: Any) -> str:
    """The wallet as a table. An account whose key was made at random at import is marked
    "*" (its key is only in the wallet: export is its backup)."""
    d = w if isinstance(w, dict) else wallet_dict(w)
    rows = [["Name", d["name"]], ["ID", d["id"]], ["Created", d["created_at"]]]
    if d.get("bip39_passphrase"):
        rows.append(["BIP-39", "the accounts need the wallet's BIP-39 passphrase (asked for when used)"])
    random = d.get("generated_keys") or []
    if random:
        rows.append(["Random key", f"* {', '.join(random)}: made at import, only in this wallet (export backs it up)"])
    curves = {f.name: f.curve for f in FAMILIES.values()}
    accounts = table(
        ["CHAIN", "ADDRESS", "PATH"],
        [
            [
                chain_label(a["chain_id"]),
                a["address"] + (" *" if curves.get(FAMILY_OF.get(a["chain_id"], "")) in random else ""),
                a["derivation_path"] or "-",
            ]
            for a in d["accounts"]
        ],
    )
    return pairs(rows) + "\n\n" + accounts


def account_address(w: vek.Wallet, family: str) -> Optional[str]:
    """The address of the first account the wallet stores for `family` (the one it signs with)."""
    for a in w.accounts:
        if FAMILY_OF.get(a.chain_id) == family:
            return a.address
    return None


def private_key_wallet(w: vek.Wallet) -> bool:
    """A wallet of imported keys: its accounts have no derivation paths."""
    return all(not a.derivation_path for a in w.accounts)


def vault_option(args: argparse.Namespace) -> str:
    """The --vault option to repeat in a hint, or nothing for the default vault."""
    return f" --vault {shlex.quote(args.vault)}" if args.vault is not None else ""


def open_vault(args: argparse.Namespace, must_exist: bool = True) -> vek.Vault:
    """The vault of the command line. Commands that only read refuse a vault
    directory that does not exist rather than make one (a typo in --vault)."""
    vault = vek.Vault(args.vault)
    if must_exist and not vault.path.is_dir():
        raise CliError(f"no vault at {printable(str(vault.path))} (nothing was created)")
    return vault


def resolve(vault: vek.Vault, name_or_id: str) -> vek.Wallet:
    """The wallet a name, an id or a unique id prefix (8 characters or more) stands for."""
    try:
        return vault.get(name_or_id)
    except vek.WalletNotFoundError:
        if len(name_or_id) < 8:
            raise
        matches = [w for w in vault.wallets() if w.id.startswith(name_or_id.lower())]
        if len(matches) == 1:
            return matches[0]
        if len(matches) > 1:
            raise CliError(
                f"ambiguous id prefix '{printable(name_or_id)}': {len(matches)} wallets; give more characters"
            ) from None
        raise


def label(w: vek.Wallet) -> str:
    return f"'{printable(w.name)}' ({printable(w.id)})"


def check_name_free(vault: vek.Vault, name: str) -> None:
    if vault.path.is_dir() and any(w.name == name for w in vault.wallets()):
        raise CliError(f"wallet name already exists: '{printable(name)}'")


def check_bip39_given(w: vek.Wallet, args: argparse.Namespace) -> None:
    """Refuses a BIP-39 passphrase for a wallet without one, before anything is asked."""
    if not w.bip39_passphrase and source(args, "bip39_passphrase") != Source():
        raise CliError(f"wallet {label(w)} has no BIP-39 passphrase; give none")


def with_secrets(
    w: vek.Wallet,
    args: argparse.Namespace,
    reader: SecretReader,
    out: Output,
    action: Callable[[Optional[str], Optional[str]], T],
    bip39: bool = True,
    then: Optional[Callable[[], None]] = None,
) -> T:
    """action(passphrase, bip39_passphrase) with the wallet's passphrase and, when the
    wallet has one (and `bip39`), its BIP-39 passphrase. A wrong one typed at a prompt is
    asked for again, up to three times; one from a variable or a descriptor is not.
    `then` runs once the secrets are read, before the first try (a further question)."""
    check_bip39_given(w, args)
    ask = f"Passphrase for wallet {label(w)}: "
    ask_bip39 = f"BIP-39 passphrase of wallet {label(w)}: "
    passphrase = read_passphrase(args, reader, ask)
    phrase_pass = read_bip39_passphrase(args, reader, bip39 and w.bip39_passphrase, ask_bip39) if bip39 else None
    if then is not None:
        then()
    attempt = 1
    while True:
        try:
            with progress("deriving key…", out):
                return action(passphrase, phrase_pass)
        except vek.WrongPassphraseError as e:
            wrong_bip39 = isinstance(e, vek.WrongBip39PassphraseError)
            typed = reader.prompts(source(args, "bip39_passphrase" if wrong_bip39 else "passphrase"))
            if attempt == PASSPHRASE_TRIES or not typed or (getattr(args, "no_passphrase", False) and not wrong_bip39):
                raise
            attempt += 1
            if wrong_bip39:
                tell("Wrong BIP-39 passphrase; try again.")
                phrase_pass = reader.secret("BIP-39 passphrase", ask_bip39)
            else:
                tell("Wrong passphrase; try again.")
                passphrase = reader.secret("passphrase", ask)


def unlock(
    vault: vek.Vault, w: vek.Wallet, args: argparse.Namespace, reader: SecretReader, out: Output
) -> vek.Session:
    return with_secrets(w, args, reader, out, lambda p, b: vault.unlock(w.id, p, bip39_passphrase=b))


def account(args: argparse.Namespace, chain: str) -> dict[str, Any]:
    """The account --index, --path or --preset name, as the session's methods take it."""
    preset = getattr(args, "preset", None)
    if preset is not None:
        return {"path": vek.preset_path(preset, chain, args.index or 0)}
    if getattr(args, "path", None) is not None:
        return {"path": args.path}
    return {"index": args.index}


def stored_account(args: argparse.Namespace) -> bool:
    """Whether the command signs with the wallet's stored account (no --index, --path, --preset)."""
    return all(getattr(args, k, None) is None for k in ("index", "path", "preset"))


def created(state: State, args: argparse.Namespace, w: vek.Wallet) -> None:
    state.text = f"wallet {label(w)} was created; back it up: {PROG}{vault_option(args)} export {w.id}"


# ---------------------------------------------------------------- phrases and keys


def normalise_phrase(text: str) -> str:
    """A typed or pasted phrase: lower case, single spaces."""
    return " ".join(text.lower().split())


def check_phrase(phrase: str) -> None:
    """Reports a word that is not in the list, with the nearest words, and then any
    other fault of the phrase (word count, checksum), before a passphrase is asked."""
    words = vek.mnemonic_words()
    known = set(words)
    for n, word in enumerate(phrase.split(), 1):
        if word not in known:
            close = difflib.get_close_matches(word, words, n=3, cutoff=0.6)
            hint = f"; did you mean {' or '.join(repr(c) for c in close)}?" if close else ""
            raise CliError(f"word {n} of the recovery phrase is not in the word list: '{printable(word)}'{hint}")
    vek.derive_address(phrase, "ethereum")


def strip_hex_prefix(text: str) -> str:
    return text[2:] if text[:2] in ("0x", "0X") else text


def check_hex(text: str, what: str, secret: bool = False) -> None:
    """Reports text that is not hex before any secret is asked for; a secret is not quoted."""
    try:
        bytes.fromhex(text)
    except ValueError:
        shown = "not an even number of hex digits" if secret else f"'{printable(text[:80])}'"
        raise CliError(f"invalid hex {what}: {shown}") from None


def one_of(value: Optional[str], path: Optional[str], what: str, option: str) -> None:
    """Exactly one of a positional value and its --...-file option must be given."""
    if value is not None and path is not None:
        raise UsageError(f"give the {what} or {option}, not both")
    if value is None and path is None:
        raise UsageError(f"the {what} is required (or {option} FILE)")


def read_file(path: str) -> bytes:
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise CliError(f"cannot read {printable(path)}: {e.strerror or e}") from None


def review(signer: Optional[str], rows: Sequence[Sequence[str]]) -> None:
    """What is about to be signed, on standard error: the signing address, then `rows`."""
    shown: list[list[str]] = [["from", signer]] if signer else []
    shown += [list(r) for r in rows]
    if shown:
        tell(pairs(shown))


def signature_doc(signer: str, result: Any) -> dict[str, Any]:
    # The tool writes an EVM signer's signatures in bare hex, as vek._native does (the
    # application API writes them with "0x"); only EVM addresses start with "0x".
    signature = strip_hex_prefix(result.signature) if signer.startswith("0x") else result.signature
    doc: dict[str, Any] = {"signer": signer, "signature": signature, "recovery_id": result.recovery_id}
    for field in ("format", "raw_transaction", "tx_hash"):
        value = getattr(result, field, None)
        if value is not None:
            doc[field] = value
    key = getattr(result, "public_key", None)
    if key is not None:
        doc["public_key"] = key
    return doc


def signature_text(doc: dict[str, Any]) -> str:
    rows = [["signer", doc["signer"]], ["signature", doc["signature"]]]
    rid = doc["recovery_id"]
    rows.append(["recovery_id", "none" if rid is None else str(rid)])
    for field in ("format", "raw_transaction", "tx_hash"):
        if field in doc:
            rows.append([field, doc[field]])
    if "public_key" in doc:
        rows.append(["public_key", doc["public_key"]["value"]])
    return pairs(rows)
