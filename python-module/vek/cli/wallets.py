"""The wallets of a vault: list, show, rename, delete, export, export-keystore,
change-passphrase, pubkey."""

from __future__ import annotations

import argparse
import json
import os
import shlex
import sys
from typing import Any, Optional

from .chains import check_chain, family_chain, family_of, named_chain, shares_addresses
from .common import (
    account_address,
    label,
    open_vault,
    resolve,
    vault_option,
    wallet_dict,
    wallet_text,
    with_secrets,
)
from .core import PROG, CliError, Output, State, UsageError, printable, progress, table, tell, uninterrupted
from .prompts import SecretReader, Source, read_new_passphrase, source
from .registry import CHAIN, WALLET, add_secret_options, arg, bip39_options, command, passphrase_options, secret_options, yes_option


@command(
    "list",
    "list the wallets, newest first, with an address each",
    arg("--chain", help="the chain of the ADDRESS column (default ethereum)"),
)
def list_wallets(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    chain = args.chain or "ethereum"
    named = named_chain(chain)
    family = family_of(chain)
    wallets = open_vault(args).wallets()
    # The wallet file holds public data only: an address that would need the secret
    # to derive is not shown (never the address of another chain or key in its place).
    shared = shares_addresses(named, family)
    addresses = [account_address(w, family) if shared else None for w in wallets]
    docs = [wallet_dict(w) for w in wallets]
    if args.chain is not None:
        if named is None and chain.lower() == "evm":
            named = family_chain("evm")
        for doc, address in zip(docs, addresses):
            doc["chain"] = named.chain_id if named is not None else chain
            doc["address"] = address

    def text() -> str:
        if not wallets:
            return "No wallets."
        return table(
            ["NAME", "ID", "ADDRESS", "CREATED"],
            [[w.name, w.id, a or "-", w.created_at] for w, a in zip(wallets, addresses)],
        )

    out.emit(docs, text)
    if wallets and not shared:
        out.note(
            f"No stored account for {printable(chain)}: '{PROG}{vault_option(args)} derive {shlex.quote(chain)} "
            "--wallet WALLET' derives its address (asks for the passphrase)."
        )


@command(
    "show",
    "show one wallet and its accounts",
    arg("wallet", help="wallet name, id or id prefix (8 characters or more)"),
)
def show(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    w = resolve(open_vault(args), args.wallet)
    out.emit(wallet_dict(w), lambda: wallet_text(w))


@command("rename", "rename a wallet", WALLET, arg("new_name"))
def rename(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    state.text = "the wallet was not renamed"
    with uninterrupted():
        vault.rename(w.id, args.new_name)
        state.text = "the wallet was renamed"
    renamed = vault.get(w.id)
    out.emit(
        wallet_dict(renamed),
        lambda: f"Renamed wallet '{printable(w.name)}' to '{printable(renamed.name)}' ({renamed.id}).",
    )


@command("delete", "delete a wallet file for good", WALLET, yes_option("do not ask for confirmation"))
def delete(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    state.text = "nothing was deleted"
    if not args.yes and not reader.confirm(
        f"Delete wallet {label(w)} for good? Without a backup of its secret its funds are lost."
    ):
        raise CliError("cancelled: nothing was deleted")
    with uninterrupted():
        vault.delete(w.id)
        state.text = f"wallet {label(w)} was deleted"
    out.emit({"id": w.id, "name": w.name, "deleted": True}, lambda: f"Deleted wallet {label(w)}.")


@command(
    "export",
    "show a wallet's secret (recovery phrase or private keys)",
    WALLET,
    yes_option("do not ask for confirmation"),
    passphrase_options(),
)
def export(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    tell(f"This shows the SECRET of wallet {label(w)} in plain text: anyone who sees it can take the wallet's funds.")
    if not args.yes and not reader.confirm("Show the secret?"):
        raise CliError("cancelled: nothing was shown")
    secret = with_secrets(w, args, reader, out, lambda p, b: vault.export(w.id, p), bip39=False)
    keys: Optional[dict[str, str]] = None
    if secret.startswith("{"):
        try:
            keys = {str(k): str(v) for k, v in json.loads(secret).items()}
        except (ValueError, AttributeError):
            keys = None
    kind = "private_key" if secret.startswith("{") else "mnemonic"

    def text() -> str:
        if keys:
            return table(["CURVE", "PRIVATE KEY"], [[k, v] for k, v in keys.items()])
        return secret

    doc: dict[str, Any] = {"id": w.id, "name": w.name, "kind": kind, "secret": keys if keys is not None else secret}
    if kind == "mnemonic":
        doc["bip39_passphrase"] = bool(w.bip39_passphrase)
    out.emit(doc, text)
    if w.bip39_passphrase:
        # Restored without it, the phrase gives other, empty accounts.
        tell(
            "note: this wallet also needs its BIP-39 passphrase (not shown, not stored): "
            "the phrase without it restores other, empty accounts."
        )


@command(
    "export-keystore",
    "write an EVM account's key as an Ethereum keystore (v3)",
    WALLET,
    arg("--chain", help="an EVM chain (default ethereum)"),
    arg("--out", metavar="FILE", help="write to FILE (created, mode 0600) instead of standard output"),
    secret_options("key_password", "the keystore's new password"),
    passphrase_options(),
    bip39_options(),
)
def export_keystore(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    chain = args.chain or "ethereum"
    check_chain(chain)
    if args.out is not None and os.path.lexists(args.out):
        raise CliError(f"{printable(args.out)} exists; nothing was written")
    password: list[str] = []

    def ask_password() -> None:  # after the wallet's secrets, as before
        password.append(
            reader.secret("keystore password", "New keystore password: ", source(args, "key_password"), confirm=True)
        )

    document = with_secrets(
        w,
        args,
        reader,
        out,
        lambda p, b: vault.export_key(w.id, chain, "keystore", p, password[0], bip39_passphrase=b),
        then=ask_password,
    )
    if args.out is None:
        sys.stdout.write(document + "\n")
        sys.stdout.flush()
        return
    try:
        fd = os.open(args.out, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write(document + "\n")
    except OSError as e:
        raise CliError(f"cannot write {printable(args.out)}: {e.strerror or e}") from None
    out.emit({"id": w.id, "file": args.out}, lambda: f"Wrote the keystore of wallet {label(w)} to {printable(args.out)}.")


def new_passphrase_options(p: argparse.ArgumentParser) -> None:
    """--new-passphrase-env/-fd or --no-new-passphrase: the new passphrase, as
    passphrase_options gives the current one (--no-passphrase: the current one is empty;
    --old-empty, its former name, is kept)."""
    g = p.add_mutually_exclusive_group()
    add_secret_options(g, "new_passphrase", "the new passphrase")
    g.add_argument("--no-new-passphrase", action="store_true", help="the new passphrase is the empty one")


@command(
    "change-passphrase",
    "encrypt a wallet under a new passphrase",
    WALLET,
    passphrase_options(),
    arg("--old-empty", dest="no_passphrase", action="store_true", help=argparse.SUPPRESS),
    new_passphrase_options,
    yes_option("do not ask (an empty new passphrase needs --no-new-passphrase)"),
)
def change_passphrase(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    if args.no_passphrase and source(args, "passphrase") != Source():
        raise UsageError("give --passphrase-env/-fd or --no-passphrase, not both")
    new: list[str] = []

    def change(old: Optional[str], bip39: Optional[str]) -> None:
        with uninterrupted():
            vault.change_passphrase(w.id, old, new[0])
            state.text = "the passphrase was changed"

    def ask_new() -> None:  # once, after the current passphrase
        new.append(read_new_passphrase(args, reader, source(args, "new_passphrase"), empty_flag="no_new_passphrase"))

    state.text = "the passphrase was not changed"
    with_secrets(w, args, reader, out, change, bip39=False, then=ask_new)
    out.emit({"id": w.id, "name": w.name, "changed": True}, lambda: f"Changed the passphrase of wallet {label(w)}.")


@command(
    "pubkey", "print the public key an account signs with", WALLET, CHAIN, passphrase_options(), bip39_options()
)
def pubkey(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    check_chain(args.chain)
    key = with_secrets(w, args, reader, out, lambda p, b: vault.public_key(w.id, args.chain, p, bip39_passphrase=b))
    out.emit({"chain": args.chain, "public_key": key}, lambda: key)
