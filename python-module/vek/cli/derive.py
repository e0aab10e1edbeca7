"""Recovery phrases and addresses: generate, derive."""

from __future__ import annotations

import argparse
from typing import Any, Optional

import vek

from .chains import FAMILIES, chain_examples, check_chain, family_chain, family_of, named_chain
from .common import (
    account,
    check_phrase,
    label,
    normalise_phrase,
    open_vault,
    private_key_wallet,
    resolve,
    unlock,
    wallet_dict,
)
from .core import Output, State, UsageError, uninterrupted
from .prompts import SecretReader, Source, read_bip39_passphrase, source
from .registry import account_options, arg, bip39_options, command, passphrase_options, secret_options


@command(
    "generate",
    "print a new recovery phrase (nothing is stored)",
    arg("--words", type=int, choices=(12, 24), default=12, help="12 (default) or 24 words"),
)
def generate(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    phrase = vek.generate_mnemonic(args.words)
    out.emit({"mnemonic": phrase}, lambda: phrase)


def check_derive(args: argparse.Namespace) -> None:
    if args.wallet is None:
        if args.path is not None or args.add or args.preset is not None:
            raise UsageError("--path, --preset and --add need --wallet (see 'vek derive --help')")
        if args.no_passphrase or source(args, "passphrase") != Source():
            raise UsageError("--passphrase-env/-fd and --no-passphrase need --wallet (see 'vek derive --help')")
        return
    if source(args, "mnemonic") != Source():
        raise UsageError("--mnemonic-env and --mnemonic-fd do not apply with --wallet (the wallet's own phrase is used)")
    if args.bip39_passphrase:
        raise UsageError("--bip39-passphrase does not apply with --wallet (it is asked for when the wallet has one)")


@command(
    "derive",
    "print an address: of a recovery phrase, or of a stored wallet with --wallet",
    arg("chain", help=f"chain name ({chain_examples()}) or CAIP-2 id"),
    account_options("the address (default 0); --path and --preset need --wallet"),
    secret_options("mnemonic", "the phrase"),
    bip39_options(ask="the phrase has a BIP-39 passphrase: ask for it"),
    arg("--wallet", metavar="WALLET", help="derive from this stored wallet (asks its passphrase)"),
    arg("--add", action="store_true", help="with --wallet: store the account in the wallet"),
    passphrase_options(),
    check=check_derive,
)
def derive(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    if args.wallet is not None:
        return derive_stored(args, out, reader, state)
    check_chain(args.chain)
    phrase = normalise_phrase(reader.secret("recovery phrase", "Recovery phrase: ", source(args, "mnemonic")))
    check_phrase(phrase)
    bip39 = read_bip39_passphrase(args, reader, False, "BIP-39 passphrase: ") or None
    address = vek.derive_address(phrase, args.chain, args.index, bip39)
    index = 0 if args.index is None else args.index
    path = vek.preset_path("default", args.chain, index)
    out.emit({"chain": args.chain, "index": index, "path": path, "address": address}, lambda: address)


def stored_path(w: vek.Wallet, chain: str) -> Optional[str]:
    """The path a wallet derives `chain`'s address on without --index or --path: its stored
    account of the chain's family, on the chain's own coin type when that differs (as the
    library does); None for a wallet of private keys."""
    family = family_of(chain)
    main = family_chain(family)
    stored = next((a.derivation_path for a in w.accounts if a.chain_id == main.chain_id), "")
    if not stored:
        return None if private_key_wallet(w) else vek.preset_path("default", chain, 0)
    named = named_chain(chain)
    if named is None or named.coin_type == main.coin_type:
        return stored
    parts = stored.split("/")
    if len(parts) > 2 and parts[2] == f"{FAMILIES[family].coin_type}'":
        return "/".join(parts[:2] + [f"{named.coin_type}'"] + parts[3:])
    return vek.preset_path("default", chain, 0)


def derive_stored(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    check_chain(args.chain)
    where = account(args, args.chain)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    with unlock(vault, w, args, reader, out) as session:
        address = session.address(args.chain, **where)
        stored = None
        if args.add:
            state.text = "the account was not added"
            with uninterrupted():
                stored = session.add_account(args.chain, **where)
                state.text = "the account was added"
    index = where.get("index")
    if "path" in where:
        path: Optional[str] = where["path"]
    elif index is not None:
        path = vek.preset_path("default", args.chain, index) if not private_key_wallet(w) else None
    else:
        path = stored_path(w, args.chain)
    doc: dict[str, Any] = {"chain": args.chain, "address": address, "index": index, "path": path}
    if stored is not None:
        doc["wallet"] = wallet_dict(stored)
    out.emit(doc, lambda: address)
    if stored is not None:
        out.note(f"Added to wallet {label(stored)}.")
