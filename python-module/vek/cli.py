"""The ``vek`` command-line tool: wallets in a vault from the shell.

Every subcommand is a thin layer over one or two functions of ``vek._native``.
Secrets (passphrases, recovery phrases, private keys) are never taken from the
command line, where other users (through the process list) and the shell history
would see them. Each secret comes, in this order of preference, from an
environment variable the user names (``--passphrase-env NAME``), from a prompt
without echo when standard input is a terminal, or from the next line of standard
input otherwise.

Exit status: 0 on success, 1 on any error (one line "error: ..." on standard
error), 2 for a usage error.
"""

from __future__ import annotations

import argparse
import getpass
import json
import os
import sys
from typing import TYPE_CHECKING, Any, Callable, NoReturn, Optional, Sequence

from vek import __version__, _native, known_chains

if TYPE_CHECKING:
    from vek._native import SignatureDict, WalletDict

PROG = "vek"
MAX_INDEX = 4294967295

# Display names of the chains the library knows, by CAIP-2 id.
CHAIN_NAMES = {chain.chain_id: chain.name for chain in known_chains()}


class CliError(Exception):
    """A failure reported as one "error: ..." line with exit status 1."""


class UsageError(Exception):
    """A command line that cannot be run: exit status 2."""


# ---------------------------------------------------------------- output helpers


def printable(text: str) -> str:
    """`text` with control and other non-printable characters escaped, so that a
    wallet name cannot rewrite the terminal or fake extra output lines."""
    if text.isprintable():
        return text
    return "".join(c if c.isprintable() else c.encode("unicode_escape").decode("ascii") for c in text)


def one_line(message: str) -> str:
    """A message as a single line: surrounding blank space dropped, inner line breaks as spaces."""
    return " ".join(part.strip() for part in message.strip().splitlines() if part.strip())


def table(headers: Sequence[str], rows: Sequence[Sequence[str]]) -> str:
    """Left-aligned columns separated by two spaces, headers on the first line."""
    cells = [list(headers)] + [[printable(c) for c in row] for row in rows]
    widths = [max(len(r[i]) for r in cells) for i in range(len(headers))]
    lines = ["  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() for r in cells]
    return "\n".join(lines)


def chain_label(chain_id: str) -> str:
    return CHAIN_NAMES.get(chain_id, chain_id)


def wallet_text(w: WalletDict) -> str:
    head = table(["", ""], [["Name", w["name"]], ["ID", w["id"]], ["Created", w["created_at"]]])
    # The empty header line of the key/value table is dropped.
    head = head.split("\n", 1)[1]
    accounts = table(
        ["CHAIN", "ADDRESS", "PATH"],
        [[chain_label(a["chain_id"]), a["address"], a["derivation_path"] or "-"] for a in w["accounts"]],
    )
    return head + "\n\n" + accounts


class Output:
    """Writes a result either as JSON or as readable text on standard output."""

    def __init__(self, as_json: bool) -> None:
        self.as_json = as_json

    def emit(self, data: Any, text: Callable[[], str]) -> None:
        if self.as_json:
            sys.stdout.write(json.dumps(data, indent=2, ensure_ascii=False) + "\n")
        else:
            sys.stdout.write(text() + "\n")
        sys.stdout.flush()

    def note(self, message: str) -> None:
        """An advisory line on standard error (kept off standard output so that
        --json output stays one document)."""
        sys.stderr.write(message + "\n")
        sys.stderr.flush()


# ---------------------------------------------------------------- secret input


class SecretReader:
    """Reads secrets and confirmations for one command run.

    An environment variable named by the user wins; otherwise a terminal gets a
    prompt without echo, and a pipe or file on standard input gives one line per
    request, in the order the command asks for them.
    """

    def __init__(self, stdin: Any = None, environ: Optional[dict[str, str]] = None) -> None:
        self.stdin = stdin if stdin is not None else sys.stdin
        self.environ = environ if environ is not None else dict(os.environ)

    def interactive(self) -> bool:
        try:
            return bool(self.stdin.isatty())
        except (AttributeError, ValueError):
            return False

    def _line(self, what: str) -> str:
        """The next line of standard input without its line ending."""
        stream = getattr(self.stdin, "buffer", self.stdin)
        raw = stream.readline() if stream is not None else ""
        if not raw:
            raise CliError(f"no {what} on standard input")
        if isinstance(raw, bytes):
            try:
                raw = raw.decode("utf-8")
            except UnicodeDecodeError:
                raise CliError(f"the {what} on standard input is not valid UTF-8") from None
        if raw.endswith("\n"):
            raw = raw[:-1]
            if raw.endswith("\r"):
                raw = raw[:-1]
        return str(raw)

    def _from_env(self, name: str) -> str:
        value = self.environ.get(name)
        if value is None:
            raise CliError(f"environment variable {name} is not set")
        return value

    def secret(self, what: str, prompt: str, env: Optional[str] = None, confirm: bool = False) -> str:
        """One secret: from the variable `env` when named, else prompted or read.

        With `confirm`, a prompted secret is asked twice and must match (a typing
        mistake in a new passphrase would lock the wallet for good)."""
        if env is not None:
            return self._from_env(env)
        if not self.interactive():
            return self._line(what)
        try:
            value = getpass.getpass(prompt)
            if confirm and getpass.getpass("Repeat " + prompt[0].lower() + prompt[1:]) != value:
                raise CliError(f"the two {what}s do not match")
        except EOFError:
            raise CliError(f"no {what} entered") from None
        return value

    def confirm(self, question: str) -> bool:
        """Asks a yes/no question on standard error; only "y" or "yes" agree."""
        sys.stderr.write(question + " [y/N] ")
        sys.stderr.flush()
        if self.interactive():
            answer = self.stdin.readline()
            if not answer:
                sys.stderr.write("\n")
        else:
            stream = getattr(self.stdin, "buffer", self.stdin)
            answer = stream.readline() if stream is not None else ""
            if isinstance(answer, bytes):
                answer = answer.decode("utf-8", "replace")
            # A piped answer is not echoed: end the question's line here.
            sys.stderr.write("\n")
        return str(answer).strip().lower() in ("y", "yes")


def normalise_words(text: str) -> str:
    """A typed recovery phrase with surrounding blanks and repeated blanks removed."""
    return " ".join(text.split())


def read_passphrase(args: argparse.Namespace, reader: SecretReader, prompt: str, new: bool = False) -> Optional[str]:
    if args.no_passphrase:
        return None
    return reader.secret("passphrase", prompt, args.passphrase_env, confirm=new)


# ---------------------------------------------------------------- commands


def resolve(name_or_id: str, vault: Optional[str]) -> WalletDict:
    """The wallet a name or id stands for, looked up before any secret is asked for."""
    return _native.get_wallet(name_or_id, vault)


def cmd_generate(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    phrase = _native.generate_mnemonic(args.words)
    out.emit({"mnemonic": phrase}, lambda: phrase)


def cmd_derive(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    phrase = normalise_words(reader.secret("recovery phrase", "Recovery phrase: ", args.mnemonic_env))
    address = _native.derive_address(phrase, args.chain, args.index)
    index = 0 if args.index is None else args.index
    out.emit({"chain": args.chain, "index": index, "address": address}, lambda: address)


def cmd_create(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    passphrase = read_passphrase(args, reader, "New passphrase: ", new=True)
    w = _native.create_wallet(args.name, passphrase, args.words, args.vault)
    out.emit(w, lambda: wallet_text(w))
    if not out.as_json:
        out.note(f"Back up the recovery phrase now: {PROG} export {printable(w['id'])}")


def cmd_import_mnemonic(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    phrase = normalise_words(reader.secret("recovery phrase", "Recovery phrase: ", args.mnemonic_env))
    passphrase = read_passphrase(args, reader, "New passphrase: ", new=True)
    w = _native.import_wallet_mnemonic(args.name, phrase, passphrase, args.index, args.vault)
    out.emit(w, lambda: wallet_text(w))


def cmd_import_key(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    if args.both:
        secp = reader.secret("secp256k1 key", "secp256k1 private key (hex): ", args.secp256k1_key_env).strip()
        ed = reader.secret("ed25519 key", "Ed25519 private key (hex): ", args.ed25519_key_env).strip()
        passphrase = read_passphrase(args, reader, "New passphrase: ", new=True)
        w = _native.import_wallet_private_key(args.name, "", None, passphrase, args.vault, secp, ed)
    else:
        key = reader.secret("private key", "Private key (hex): ", args.key_env).strip()
        passphrase = read_passphrase(args, reader, "New passphrase: ", new=True)
        w = _native.import_wallet_private_key(args.name, key, args.chain, passphrase, args.vault)
    out.emit(w, lambda: wallet_text(w))
    if not args.both:
        out.note(
            "warning: the other curve's accounts use a new random key that only "
            f"'{PROG} export' shows; back it up, or import with --both"
        )


def cmd_list(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    wallets = _native.list_wallets(args.vault)

    def text() -> str:
        if not wallets:
            return "No wallets."
        return table(["NAME", "ID", "CREATED"], [[w["name"], w["id"], w["created_at"]] for w in wallets])

    out.emit(wallets, text)


def cmd_show(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    w = resolve(args.wallet, args.vault)
    out.emit(w, lambda: wallet_text(w))


def cmd_rename(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    w = resolve(args.wallet, args.vault)
    _native.rename_wallet(w["id"], args.new_name, args.vault)
    renamed = resolve(w["id"], args.vault)
    out.emit(
        renamed,
        lambda: f"Renamed wallet '{printable(w['name'])}' to '{printable(renamed['name'])}' ({renamed['id']}).",
    )


def cmd_delete(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    w = resolve(args.wallet, args.vault)
    label = f"'{printable(w['name'])}' ({w['id']})"
    if not args.yes and not reader.confirm(
        f"Delete wallet {label} for good? Without a backup of its secret its funds are lost."
    ):
        raise CliError("cancelled: nothing was deleted")
    _native.delete_wallet(w["id"], args.vault)
    out.emit({"id": w["id"], "name": w["name"], "deleted": True}, lambda: f"Deleted wallet {label}.")


def cmd_export(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    w = resolve(args.wallet, args.vault)
    label = f"'{printable(w['name'])}' ({w['id']})"
    out.note(
        f"This shows the SECRET of wallet {label} in plain text: anyone who sees it "
        "can take the wallet's funds."
    )
    if not args.yes and not reader.confirm("Show the secret?"):
        raise CliError("cancelled: nothing was shown")
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet {label}: ")
    secret = _native.export_wallet(w["id"], passphrase, args.vault)
    kind = "mnemonic"
    keys: dict[str, str] = {}
    if secret.startswith("{"):
        kind = "private_key"
        try:
            keys = {str(k): str(v) for k, v in json.loads(secret).items()}
        except (ValueError, AttributeError):
            keys = {}

    def text() -> str:
        if kind == "private_key" and keys:
            return table(["CURVE", "PRIVATE KEY"], [[k, v] for k, v in keys.items()])
        return secret

    out.emit({"id": w["id"], "name": w["name"], "kind": kind, "secret": secret}, text)


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
        raise CliError(f"cannot read {path}: {e.strerror or e}") from None


def signature_text(result: SignatureDict) -> str:
    rid = result["recovery_id"]
    rows = [["signature", result["signature"]], ["recovery_id", "none" if rid is None else str(rid)]]
    return table(["", ""], rows).split("\n", 1)[1]


def cmd_sign_message(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    one_of(args.message, args.message_file, "message", "--message-file")
    if args.message_file is not None:
        if args.encoding is not None:
            raise UsageError("--encoding does not apply to --message-file (its bytes are signed as they are)")
        # The file's bytes are signed exactly, whatever they hold, by passing them as hex.
        message, encoding = read_file(args.message_file).hex(), "hex"
    else:
        message, encoding = args.message, args.encoding
    w = resolve(args.wallet, args.vault)
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet '{printable(w['name'])}': ")
    result = _native.sign_message(w["id"], args.chain, message, passphrase, encoding, args.index, args.vault)
    out.emit(result, lambda: signature_text(result))


def read_transaction(args: argparse.Namespace) -> str:
    """The transaction hex from the command line, or from a file holding hex text
    (white space, line breaks included, is ignored there)."""
    one_of(args.tx, args.tx_file, "transaction", "--tx-file")
    if args.tx_file is None:
        return str(args.tx)
    data = read_file(args.tx_file)
    try:
        return "".join(data.decode("ascii").split())
    except UnicodeDecodeError:
        raise CliError(f"{args.tx_file} does not hold hex text") from None


def cmd_sign_tx(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    tx = read_transaction(args)
    w = resolve(args.wallet, args.vault)
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet '{printable(w['name'])}': ")
    result = _native.sign_transaction(w["id"], args.chain, tx, passphrase, args.index, args.vault)
    out.emit(result, lambda: signature_text(result))


def cmd_send(args: argparse.Namespace, out: Output, reader: SecretReader) -> None:
    tx = read_transaction(args)
    w = resolve(args.wallet, args.vault)
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet '{printable(w['name'])}': ")
    result = _native.sign_and_send(w["id"], args.chain, tx, passphrase, args.index, args.rpc_url, args.vault)
    out.emit(result, lambda: str(result["tx_hash"]))


# ---------------------------------------------------------------- argument parsing


class Parser(argparse.ArgumentParser):
    """An argument parser whose usage errors are one line and exit with status 2."""

    def error(self, message: str) -> NoReturn:
        raise UsageError(f"{message} (see '{self.prog} --help')")


def index_arg(text: str) -> int:
    try:
        value = int(text, 10)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid index: '{text}'") from None
    if not 0 <= value <= MAX_INDEX:
        raise argparse.ArgumentTypeError(f"index out of range: {text} (0 to {MAX_INDEX})")
    return value


def build_parser() -> Parser:
    # --vault and --json are accepted before and after the subcommand. The copies on
    # the subcommands default to SUPPRESS so they do not overwrite a value given earlier.
    common = Parser(add_help=False)
    common.add_argument("--vault", metavar="PATH", default=argparse.SUPPRESS, help="vault directory (default ~/.vek)")
    common.add_argument(
        "--json", action="store_true", default=argparse.SUPPRESS, help="print machine-readable JSON"
    )

    def passphrase_options(p: argparse.ArgumentParser) -> None:
        g = p.add_mutually_exclusive_group()
        g.add_argument("--passphrase-env", metavar="NAME", help="read the passphrase from environment variable NAME")
        g.add_argument("--no-passphrase", action="store_true", help="use no passphrase (the empty one)")

    def index_option(p: argparse.ArgumentParser, what: str) -> None:
        p.add_argument("--index", type=index_arg, metavar="N", help=f"account index for {what} (default 0)")

    parser = Parser(
        prog=PROG,
        description="Local, non-custodial, multi-chain wallets. Secrets are never taken from "
        "the command line: they are prompted for, read from standard input, or taken from "
        "an environment variable named with an --...-env option.",
    )
    parser.add_argument("--vault", metavar="PATH", default=None, help="vault directory (default ~/.vek)")
    parser.add_argument("--json", action="store_true", default=False, help="print machine-readable JSON")
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=Parser)
    sub.required = True

    def add(name: str, func: Callable[..., None], help_text: str) -> argparse.ArgumentParser:
        p = sub.add_parser(name, parents=[common], help=help_text, description=help_text)
        p.set_defaults(func=func)
        return p

    p = add("generate", cmd_generate, "print a new recovery phrase (nothing is stored)")
    p.add_argument("--words", type=int, choices=(12, 24), default=12, help="12 (default) or 24 words")

    p = add("derive", cmd_derive, "print the address of a recovery phrase on a chain (nothing is stored)")
    p.add_argument("chain", help="chain name (ethereum, solana, ...) or CAIP-2 id")
    index_option(p, "the address")
    p.add_argument("--mnemonic-env", metavar="NAME", help="read the phrase from environment variable NAME")

    p = add("create", cmd_create, "create a wallet with a new recovery phrase")
    p.add_argument("name")
    p.add_argument("--words", type=int, choices=(12, 24), help="12 (default) or 24 words")
    passphrase_options(p)

    p = add("import-mnemonic", cmd_import_mnemonic, "import a wallet from a recovery phrase")
    p.add_argument("name")
    index_option(p, "all six accounts")
    p.add_argument("--mnemonic-env", metavar="NAME", help="read the phrase from environment variable NAME")
    passphrase_options(p)

    p = add("import-key", cmd_import_key, "import a wallet from private keys")
    p.add_argument("name")
    p.add_argument("--chain", help="a chain whose curve the key belongs to (default: secp256k1)")
    p.add_argument("--key-env", metavar="NAME", help="read the key from environment variable NAME")
    p.add_argument("--both", action="store_true", help="read one secp256k1 and one Ed25519 key")
    p.add_argument("--secp256k1-key-env", metavar="NAME", help="with --both: the secp256k1 key's variable")
    p.add_argument("--ed25519-key-env", metavar="NAME", help="with --both: the Ed25519 key's variable")
    passphrase_options(p)

    add("list", cmd_list, "list the wallets, newest first")

    p = add("show", cmd_show, "show one wallet and its accounts")
    p.add_argument("wallet", help="wallet name or id")

    p = add("rename", cmd_rename, "rename a wallet")
    p.add_argument("wallet", help="wallet name or id")
    p.add_argument("new_name")

    p = add("delete", cmd_delete, "delete a wallet file for good")
    p.add_argument("wallet", help="wallet name or id")
    p.add_argument("--yes", "-y", action="store_true", help="do not ask for confirmation")

    p = add("export", cmd_export, "show a wallet's secret (recovery phrase or private keys)")
    p.add_argument("wallet", help="wallet name or id")
    p.add_argument("--yes", "-y", action="store_true", help="do not ask for confirmation")
    passphrase_options(p)

    p = add("sign-message", cmd_sign_message, "sign a message with a wallet's key")
    p.add_argument("wallet", help="wallet name or id")
    p.add_argument("chain", help="chain name or CAIP-2 id")
    p.add_argument("message", nargs="?", help="the message text")
    p.add_argument("--message-file", metavar="FILE", help="sign the bytes of FILE instead")
    p.add_argument("--encoding", choices=("utf8", "hex"), help="utf8 (default) or hex")
    index_option(p, "the key")
    passphrase_options(p)

    for name, func, help_text in (
        ("sign-tx", cmd_sign_tx, "sign a transaction (nothing is sent)"),
        ("send", cmd_send, "sign a transaction and broadcast it (EVM and Solana chains)"),
    ):
        p = add(name, func, help_text)
        p.add_argument("wallet", help="wallet name or id")
        p.add_argument("chain", help="chain name or CAIP-2 id")
        p.add_argument("tx", nargs="?", metavar="TX_HEX", help="the unsigned transaction in hex")
        p.add_argument("--tx-file", metavar="FILE", help="read the transaction hex from FILE")
        index_option(p, "the key")
        if name == "send":
            p.add_argument("--rpc-url", metavar="URL", help="node endpoint (default: from ~/.vek/config.json)")
        passphrase_options(p)

    return parser


def check_options(args: argparse.Namespace) -> None:
    if args.command == "import-key":
        if args.both and (args.chain is not None or args.key_env is not None):
            raise UsageError("--both takes no --chain or --key-env (see 'vek import-key --help')")
        if not args.both and (args.secp256k1_key_env is not None or args.ed25519_key_env is not None):
            raise UsageError("--secp256k1-key-env and --ed25519-key-env need --both (see 'vek import-key --help')")


# ---------------------------------------------------------------- entry point


def fail(message: str, status: int) -> int:
    try:
        sys.stderr.write(f"error: {one_line(message)}\n")
        sys.stderr.flush()
    except OSError:
        pass
    return status


def main(argv: Optional[Sequence[str]] = None, reader: Optional[SecretReader] = None) -> int:
    """Runs the tool; returns the exit status."""
    try:
        try:
            args = build_parser().parse_args(argv)
            check_options(args)
        except UsageError as e:
            return fail(str(e), 2)
        out = Output(args.json)
        args.func(args, out, reader or SecretReader())
        return 0
    except UsageError as e:
        return fail(str(e), 2)
    except CliError as e:
        return fail(str(e), 1)
    except KeyboardInterrupt:
        sys.stderr.write("\n")
        return fail("interrupted", 130)
    except BrokenPipeError:
        # The reader of standard output went away (for example `vek list | head -1`).
        try:
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, sys.stdout.fileno())
        except OSError:
            pass
        return 1
    except (RuntimeError, TypeError, ValueError, OverflowError, OSError) as e:
        # RuntimeError carries the library's message; the others come from argument
        # conversion (for example text that is not valid UTF-8).
        return fail(str(e) or type(e).__name__, 1)
    except BaseException as e:  # noqa: BLE001 - includes the native PanicException
        if isinstance(e, SystemExit):
            raise
        return fail(f"internal error: {type(e).__name__}: {e}", 1)
