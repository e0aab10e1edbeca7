"""New wallets: create, import-mnemonic, import-key, import-keystore."""

from __future__ import annotations

import argparse
import contextlib
import functools
import itertools
import warnings
from typing import Any, Iterator

import vek

from .chains import FAMILIES, check_chain, curve_families, family_of, import_key_formats, import_key_formats_help, title
from .common import (
    check_hex,
    label,
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
from .core import PROG, CliError, Output, State, UsageError, printable, progress, uninterrupted
from .prompts import SecretReader, Source, read_bip39_passphrase, read_new_passphrase, source
from .registry import arg, bip39_options, command, index_option, passphrase_options, secret_options

NAME = arg("name")


def note_duplicates(vault: vek.Vault, w: vek.Wallet, out: Output) -> None:
    """A notice when another wallet of the vault lists one of `w`'s addresses: the same
    secret imported twice."""
    mine = {(a.chain_id, a.address) for a in w.accounts}
    for other in vault.wallets():
        if other.id != w.id and any((a.chain_id, a.address) in mine for a in other.accounts):
            out.note(f"notice: wallet {label(other)} has the same addresses: this secret was imported before.")



@contextlib.contextmanager
def told_of_generated_keys() -> Iterator[None]:
    """The library's GeneratedKeyWarning, silenced: the tool says it in its own words
    (note_generated_keys), with the command that shows the key."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", vek.GeneratedKeyWarning)
        yield


def note_generated_keys(args: argparse.Namespace, w: vek.Wallet, out: Output) -> None:
    for curve in w.generated_keys:
        out.note(
            f"warning: the {curve_families(curve)} accounts use a new random key ({title(curve)}) that only "
            f"'{PROG}{vault_option(args)} export {w.id}' shows; back it up, or import with --both"
        )

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
        w = vault.create(args.name, passphrase=passphrase, words=args.words or 12)
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))
    out.note(f"Back up the recovery phrase now: {PROG}{vault_option(args)} export {w.id}")


@command(
    "import-mnemonic",
    "import a wallet from a recovery phrase",
    NAME,
    index_option("all six accounts (default 0)"),
    secret_options("mnemonic", "the phrase"),
    bip39_options(ask="the phrase has a BIP-39 passphrase: ask for it (twice)"),
    passphrase_options(new=True),
)
def import_mnemonic(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args, must_exist=False)
    check_name_free(vault, args.name)
    phrase = normalise_phrase(reader.secret("recovery phrase", "Recovery phrase: ", source(args, "mnemonic")))
    check_phrase(phrase)
    # An empty BIP-39 passphrase is none: the wallet then does not ask for one.
    bip39 = read_bip39_passphrase(args, reader, False, "BIP-39 passphrase: ", confirm=True) or None
    state.text = "no wallet was created"
    passphrase = read_new_passphrase(args, reader)
    with progress("deriving key…", out), uninterrupted():
        w = vault.import_mnemonic(args.name, phrase, passphrase=passphrase, index=args.index, bip39_passphrase=bip39)
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))
    if bip39 is not None:
        out.note("The accounts need this BIP-39 passphrase each time the wallet is used; it is not stored.")
    note_duplicates(vault, w, out)


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
        check_key_format(args.chain, args.format)
    if args.both:
        secp = strip_hex_prefix(reader.secret("secp256k1 key", "secp256k1 private key (hex): ", source(args, "secp256k1_key")).strip())
        ed = strip_hex_prefix(reader.secret("ed25519 key", "Ed25519 private key (hex): ", source(args, "ed25519_key")).strip())
        check_hex(secp, "private key", secret=True)
        check_hex(ed, "private key", secret=True)
        state.text = "no wallet was created"
        passphrase = read_new_passphrase(args, reader)
        with progress("deriving key…", out), uninterrupted(), told_of_generated_keys():
            w = vault.import_private_key(args.name, passphrase=passphrase, secp256k1_key=secp, ed25519_key=ed)
            created(state, args, w)
    else:
        key = read_key(args, reader, "private key", source(args, "key"))
        if args.format == "hex":
            key = strip_hex_prefix(key)
            check_hex(key, "private key", secret=True)
        state.text = "no wallet was created"
        passphrase = read_new_passphrase(args, reader)
        with progress("deriving key…", out), uninterrupted(), told_of_generated_keys():
            w = vault.import_key(args.name, key, args.format, args.chain, passphrase=passphrase)
            created(state, args, w)
    doc = wallet_dict(w)
    out.emit(doc, lambda: wallet_text(doc))
    note_generated_keys(args, w, out)
    note_duplicates(vault, w, out)


def check_key_format(chain: str, key_format: str) -> None:
    """Refuses a key format of another family than the chain's, before the key is read."""
    check_chain(chain)
    family = family_of(chain)
    if key_format != "hex" and key_format not in FAMILIES[family].key_formats:
        owner = next((title(f.name) for f in FAMILIES.values() if key_format in f.key_formats), "another")
        raise CliError(f"{key_format} is a {owner} key format, not one of {printable(chain)}'s")


@command(
    "import-keystore",
    "import a wallet from an Ethereum keystore (v3) file",
    NAME,
    arg("file", help="the keystore file"),
    secret_options("key_password", "the keystore's password"),
    arg(
        "--allow-weak-kdf",
        action="store_true",
        help="accept a keystore whose key derivation is cheaper than the documented minimum",
    ),
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
    options: dict[str, Any] = {"passphrase": passphrase, **({"allow_weak_kdf": True} if args.allow_weak_kdf else {})}
    call = functools.partial(vault.import_key, **options)
    # Ctrl-C cancels the import until the library has written the wallet.
    with progress("deriving keys…", out), uninterrupted(until=imported), told_of_generated_keys():
        imported.extend(itertools.starmap(call, [(args.name, document, "keystore", None, password)]))
        w = imported[0]
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))
    note_generated_keys(args, w, out)
    note_duplicates(vault, w, out)

