"""Recovery phrases and addresses: generate, derive."""

from __future__ import annotations

import argparse
from typing import Any

import vek

from .chains import chain_examples, check_chain
from .common import check_phrase, label, normalise_phrase, open_vault, resolve, unlock, wallet_dict
from .core import Output, State, UsageError, uninterrupted
from .prompts import SecretReader, Source, source
from .registry import arg, command, index_option, secret_options


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
        return
    if source(args, "mnemonic") != Source():
        raise UsageError("--mnemonic-env and --mnemonic-fd do not apply with --wallet (the wallet's own phrase is used)")
    if sum(x is not None for x in (args.index, args.path)) > 1:
        raise UsageError("give --index or --path, not both")


@command(
    "derive",
    "print an address: of a recovery phrase, or of a stored wallet with --wallet",
    arg("chain", help=f"chain name ({chain_examples()}) or CAIP-2 id"),
    index_option("the address (default 0)"),
    secret_options("mnemonic", "the phrase"),
    arg("--wallet", metavar="WALLET", help="derive from this stored wallet (asks its passphrase)"),
    arg("--path", metavar="PATH", help="with --wallet: this derivation path"),
    arg(
        "--preset",
        metavar="PRESET",
        help="with --wallet: the path of a preset for --index (default, evm-account, solana-account, bitcoin-bip84)",
    ),
    arg("--add", action="store_true", help="with --wallet: store the account in the wallet"),
    secret_options("passphrase", "the wallet's passphrase (with --wallet)"),
    check=check_derive,
)
def derive(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    if args.wallet is not None:
        return derive_stored(args, out, reader, state)
    check_chain(args.chain)
    phrase = normalise_phrase(reader.secret("recovery phrase", "Recovery phrase: ", source(args, "mnemonic")))
    check_phrase(phrase)
    address = vek.derive_address(phrase, args.chain, args.index)
    index = 0 if args.index is None else args.index
    out.emit({"chain": args.chain, "index": index, "address": address}, lambda: address)


def derive_stored(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    check_chain(args.chain)
    path = args.path
    if args.preset is not None:
        if path is not None:
            raise UsageError("give --preset or --path, not both")
        path = vek.preset_path(args.preset, args.chain, args.index or 0)
    index = None if path is not None else args.index
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    with unlock(vault, w, args, reader, out) as session:
        address = session.address(args.chain, index=index, path=path)
        stored = None
        if args.add:
            state.text = "the account was not added"
            with uninterrupted():
                stored = session.add_account(args.chain, index=index, path=path)
                state.text = "the account was added"
    doc: dict[str, Any] = {"chain": args.chain, "address": address, "index": index, "path": path}
    if stored is not None:
        doc["wallet"] = wallet_dict(stored)
    out.emit(doc, lambda: address)
    if stored is not None:
        out.note(f"Added to wallet {label(stored)}.")
