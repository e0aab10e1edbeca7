"""New wallets: create, import-mnemonic, import-key, import-keystore."""

from __future__ import annotations

import argparse
import itertools

import vek

from .chains import check_chain, import_key_formats, import_key_formats_help
from .common import (
    check_hex,
    check_name_free,
    check_phrase,
    created,
    normalise_phrase,
    open_vault,
    read_file,
    strip_hex_prefix,
    vault_option,
    wallet_dict,
    wallet_text,
)
from .core import PROG, Output, State, UsageError, progress, uninterrupted
from .prompts import SecretReader, Source, read_new_passphrase, source
from .registry import arg, command, index_option, passphrase_options, secret_options

NAME = arg("name")


@command(
    "create",
    "create a wallet with a new recovery phrase",
    NAME,
    arg("--words", type=int, choices=(12, 24), help="12 (default) or 24 words"),
    passphrase_options(new=True),
)
def create(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args, must_exist=False)
    check_name_free(vault, args.name)
    state.text = "no wallet was created"
    passphrase = read_new_passphrase(args, reader)
    with progress("deriving key…", out), uninterrupted():
        w = vault.create(args.name, passphrase, args.words or 12)
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))
    out.note(f"Back up the recovery phrase now: {PROG}{vault_option(args)} export {w.id}")


@command(
    "import-mnemonic",
    "import a wallet from a recovery phrase",
    NAME,
    index_option("all six accounts (default 0)"),
    secret_options("mnemonic", "the phrase"),
    passphrase_options(new=True),
)
def import_mnemonic(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args, must_exist=False)
    check_name_free(vault, args.name)
    phrase = normalise_phrase(reader.secret("recovery phrase", "Recovery phrase: ", source(args, "mnemonic")))
    check_phrase(phrase)
    state.text = "no wallet was created"
    passphrase = read_new_passphrase(args, reader)
    with progress("deriving key…", out), uninterrupted():
        w = vault.import_mnemonic(args.name, phrase, passphrase, args.index)
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))


def read_key(args: argparse.Namespace, reader: SecretReader, what: str, given: Source) -> str:
    if args.key_file is not None:
        return read_file(args.key_file).decode("utf-8", "replace").strip()
    return reader.secret(what, f"{what[0].upper()}{what[1:]}: ", given).strip()


def check_import_key(args: argparse.Namespace) -> None:
    key = source(args, "key") != Source()
    if args.both and (args.chain is not None or key or args.key_file is not None):
        raise UsageError("--both takes no --chain, --key-env, --key-fd or --key-file (see 'vek import-key --help')")
    if args.both and args.format != "hex":
        raise UsageError("--both takes hex keys only (see 'vek import-key --help')")
    if not args.both and (source(args, "secp256k1_key") != Source() or source(args, "ed25519_key") != Source()):
        raise UsageError("--secp256k1-key-env/-fd and --ed25519-key-env/-fd need --both (see 'vek import-key --help')")
    if key and args.key_file is not None:
        raise UsageError("give --key-env, --key-fd or --key-file, not more than one")


@command(
    "import-key",
    "import a wallet from a private key (hex, WIF or a Solana keypair)",
    NAME,
    arg("--chain", help="a chain whose curve the key belongs to (default: ethereum)"),
    arg("--format", choices=import_key_formats(), default="hex", help=import_key_formats_help()),
    secret_options("key", "the key"),
    arg("--key-file", metavar="FILE", help="read the key from FILE (e.g. a Solana keypair file)"),
    arg("--both", action="store_true", help="read one secp256k1 and one Ed25519 key (hex)"),
    secret_options("secp256k1_key", "the secp256k1 key (with --both)"),
    secret_options("ed25519_key", "the Ed25519 key (with --both)"),
    passphrase_options(new=True),
    check=check_import_key,
)
def import_key(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args, must_exist=False)
    check_name_free(vault, args.name)
    if args.chain is not None:
        check_chain(args.chain)
    if args.both:
        secp = strip_hex_prefix(reader.secret("secp256k1 key", "secp256k1 private key (hex): ", source(args, "secp256k1_key")).strip())
        ed = strip_hex_prefix(reader.secret("ed25519 key", "Ed25519 private key (hex): ", source(args, "ed25519_key")).strip())
        check_hex(secp, "private key", secret=True)
        check_hex(ed, "private key", secret=True)
        state.text = "no wallet was created"
        passphrase = read_new_passphrase(args, reader)
        with progress("deriving key…", out), uninterrupted():
            w = vault.import_private_key(args.name, None, None, passphrase, secp, ed)
            created(state, args, w)
    else:
        key = read_key(args, reader, "private key", source(args, "key"))
        if args.format == "hex":
            key = strip_hex_prefix(key)
            check_hex(key, "private key", secret=True)
        state.text = "no wallet was created"
        passphrase = read_new_passphrase(args, reader)
        with progress("deriving key…", out), uninterrupted():
            w = vault.import_key(args.name, key, args.format, args.chain, None, passphrase)
            created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))
    if not args.both:
        out.note(
            "warning: the other curve's accounts use a new random key that only "
            f"'{PROG}{vault_option(args)} export {w.id}' shows; back it up, or import with --both"
        )


@command(
    "import-keystore",
    "import a wallet from an Ethereum keystore (v3) file",
    NAME,
    arg("file", help="the keystore file"),
    secret_options("key_password", "the keystore's password"),
    passphrase_options(new=True),
)
def import_keystore(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args, must_exist=False)
    check_name_free(vault, args.name)
    document = read_file(args.file)
    password = reader.secret("keystore password", "Keystore password: ", source(args, "key_password"))
    state.text = "no wallet was created"
    passphrase = read_new_passphrase(args, reader)
    imported: list[vek.Wallet] = []
    # Ctrl-C cancels the import until the library has written the wallet.
    with progress("deriving keys…", out), uninterrupted(until=imported):
        imported.extend(
            itertools.starmap(vault.import_key, [(args.name, document, "keystore", None, password, passphrase)])
        )
        w = imported[0]
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))

