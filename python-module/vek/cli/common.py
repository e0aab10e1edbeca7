"""Helpers of several commands: the vault and its wallets, phrases, hex and files."""

from __future__ import annotations

import argparse
import difflib
import shlex
from typing import Any, Optional, Sequence

import vek

from .chains import FAMILY_OF, chain_label
from .core import PROG, CliError, Output, State, UsageError, pairs, printable, progress, table, tell
from .prompts import SecretReader, read_passphrase


def wallet_dict(w: vek.Wallet) -> dict[str, Any]:
    return {
        "id": w.id,
        "name": w.name,
        "accounts": [
            {"chain_id": a.chain_id, "address": a.address, "derivation_path": a.derivation_path} for a in w.accounts
        ],
        "created_at": w.created_at,
    }


def wallet_text(w: Any) -> str:
    d = w if isinstance(w, dict) else wallet_dict(w)
    head = pairs([["Name", d["name"]], ["ID", d["id"]], ["Created", d["created_at"]]])
    accounts = table(
        ["CHAIN", "ADDRESS", "PATH"],
        [[chain_label(a["chain_id"]), a["address"], a["derivation_path"] or "-"] for a in d["accounts"]],
    )
    return head + "\n\n" + accounts


def account_address(w: vek.Wallet, family: str) -> Optional[str]:
    """The address of the first account the wallet stores for `family` (the one it signs with)."""
    for a in w.accounts:
        if FAMILY_OF.get(a.chain_id) == family:
            return a.address
    return None


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


def unlock(
    vault: vek.Vault, w: vek.Wallet, args: argparse.Namespace, reader: SecretReader, out: Output
) -> vek.Session:
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet {label(w)}: ")
    with progress("deriving key…", out):
        return vault.unlock(w.id, passphrase)


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
