"""The ``vek`` command-line tool: wallets in a vault from the shell.

Every subcommand is a thin layer over the application API (``vek.Vault``,
``vek.Session`` and the module functions): it parses arguments, asks for what it
needs, shows what is about to happen and formats the result. Secrets (passphrases,
recovery phrases, private keys) are never taken from the command line, where other
users (through the process list) and the shell history would see them. Each secret
comes, in this order of preference, from a file descriptor the user names
(``--passphrase-fd N``: one line), from an environment variable the user names
(``--passphrase-env NAME``; the variable is then removed from the environment of
child processes, though /proc/<pid>/environ keeps showing it), from a prompt
without echo when standard input is a terminal, or from the next line of standard
input otherwise.

Cheap checks (the wallet, the chain, the name, the words of a phrase, hex, the
transaction) come before any secret is asked for.

Exit status: 0 on success, 1 on any error (one line "error: ..." on standard error,
or with --json one JSON object {"error": {"type", "message"}}), 2 for a usage error,
130 when interrupted (the line says what state things are in).
"""

from __future__ import annotations

import argparse
import contextlib
import difflib
import getpass
import itertools
import json
import os
import re
import shlex
import signal
import sys
import threading
from typing import Any, Callable, Iterator, NamedTuple, NoReturn, Optional, Sequence

import vek
from vek import __version__

PROG = "vek"
MAX_INDEX = 4294967295
NEW_PASSPHRASE_TRIES = 3
WRONG_PASSPHRASE = "wrong passphrase (or the wallet file is damaged)"

CHAINS = vek.known_chains()
CHAIN_NAMES = {chain.chain_id: chain.name for chain in CHAINS}
FAMILY_OF = {chain.chain_id: chain.family for chain in CHAINS}


class CliError(Exception):
    """A failure reported as one "error: ..." line with exit status 1."""

    kind = "Error"


class UsageError(CliError):
    """A command line that cannot be run: exit status 2."""

    kind = "UsageError"


class SendTimeout(Exception):
    """The node did not answer within --timeout."""


# ---------------------------------------------------------------- output helpers


def printable(text: str) -> str:
    """`text` with every character that is not printable escaped (``\\n``, ``\\x1b``,
    ``\\x9b``, ``\\u202e``): the C0 controls, DEL, the C1 controls (U+0080 to U+009F),
    the format characters (bidirectional overrides and isolates, zero-width characters,
    the soft hyphen), line and paragraph separators, and blank characters other than the
    space. So text the tool did not write (a wallet name or id, a file name, a node's
    reply, a value quoted by the library) cannot rewrite the terminal, reorder what is
    shown, or fake extra output lines. Every line the tool prints goes through it."""
    if text.isprintable():
        return text
    return "".join(c if c.isprintable() else c.encode("unicode_escape").decode("ascii") for c in text)


def printable_lines(text: str) -> str:
    """`text` with each of its lines made printable (its own line breaks kept)."""
    return "\n".join(printable(line) for line in text.split("\n"))


def tell(text: str, end: str = "\n") -> None:
    """An advisory line (a review, a warning, a question) on standard error, escaped."""
    sys.stderr.write(printable_lines(text) + end)
    sys.stderr.flush()


def one_line(message: str) -> str:
    """A message as a single line: surrounding blank space dropped, inner line breaks as spaces."""
    return " ".join(part.strip() for part in message.strip().splitlines() if part.strip())


def json_text(data: Any, indent: Optional[int] = 2) -> str:
    """JSON with every non-printable character of its strings escaped (json itself
    leaves DEL and the C1 controls as they are)."""
    text = json.dumps(data, indent=indent, ensure_ascii=False)
    return "".join(c if c.isprintable() or c == "\n" else "\\u%04x" % ord(c) for c in text)


def table(headers: Sequence[str], rows: Sequence[Sequence[str]]) -> str:
    """Left-aligned columns separated by two spaces, headers on the first line."""
    cells = [list(headers)] + [[printable(c) for c in row] for row in rows]
    widths = [max(len(r[i]) for r in cells) for i in range(len(headers))]
    lines = ["  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip() for r in cells]
    return "\n".join(lines)


def pairs(rows: Sequence[Sequence[str]]) -> str:
    """A key/value table without a header line."""
    return table(["", ""], rows).split("\n", 1)[1]


def chain_label(chain_id: str) -> str:
    return CHAIN_NAMES.get(chain_id, chain_id)


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


class Output:
    """Writes a result either as JSON or as readable text on standard output."""

    def __init__(self, as_json: bool) -> None:
        self.as_json = as_json

    def emit(self, data: Any, text: Callable[[], str]) -> None:
        sys.stdout.write((json_text(data) if self.as_json else printable_lines(text())) + "\n")
        sys.stdout.flush()

    def note(self, message: str) -> None:
        """An advisory line on standard error (kept off standard output so that
        --json output stays one document); not shown with --json."""
        if not self.as_json:
            tell(message)


@contextlib.contextmanager
def progress(message: str, out: Output) -> Iterator[None]:
    """A spinner on standard error while a slow library call (key derivation) runs;
    only on a terminal and never with --json. The library releases the interpreter
    lock, so the spinner thread keeps turning meanwhile."""
    try:
        tty = sys.stderr.isatty()
    except (AttributeError, ValueError):
        tty = False
    if out.as_json or not tty:
        yield
        return
    done = threading.Event()

    def spin() -> None:
        frames = "|/-\\"
        i = 0
        while not done.wait(0.1):
            sys.stderr.write(f"\r{message} {frames[i % 4]}")
            sys.stderr.flush()
            i += 1

    sys.stderr.write(message)
    sys.stderr.flush()
    thread = threading.Thread(target=spin, daemon=True)
    thread.start()
    try:
        yield
    finally:
        done.set()
        thread.join()
        sys.stderr.write("\r\x1b[K")
        sys.stderr.flush()


# ---------------------------------------------------------------- state for Ctrl-C


class State:
    """What a command has done so far, in words: the line printed on Ctrl-C."""

    def __init__(self) -> None:
        self.text = ""


@contextlib.contextmanager
def uninterrupted(until: Optional[list[Any]] = None) -> Iterator[None]:
    """Holds Ctrl-C back until the block is over, so that a library call and the
    record of what it did are never separated by an interrupt.

    With `until`, Ctrl-C still raises KeyboardInterrupt in the block while `until` is
    empty: the library call runs the handler where it can stop without having done
    anything. The call must put its result into `until` without running Python code in
    between, so that an interrupt cannot come between the two:
    until.extend(itertools.starmap(call, [args])) does that (both are C)."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    pending: list[int] = []

    def handler(signum: int, frame: Any) -> None:
        if until is not None and not until:
            raise KeyboardInterrupt
        pending.append(signum)

    previous = signal.signal(signal.SIGINT, handler)
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)
        if pending:
            raise KeyboardInterrupt


# ---------------------------------------------------------------- secret input


class Source(NamedTuple):
    """Where the user said a secret comes from: an environment variable's name
    (--...-env) or an open file descriptor (--...-fd); neither: prompt or read."""

    env: Optional[str] = None
    fd: Optional[int] = None


def source(args: argparse.Namespace, option: str) -> Source:
    """The --{option}-env and --{option}-fd values of the command line."""
    return Source(getattr(args, option + "_env", None), getattr(args, option + "_fd", None))


def line_text(raw: Any, what: str, where: str) -> str:
    """One line as read (bytes or text), without its line ending."""
    if isinstance(raw, bytes):
        try:
            raw = raw.decode("utf-8")
        except UnicodeDecodeError:
            raise CliError(f"the {what} on {where} is not valid UTF-8") from None
    if raw.endswith("\n"):
        raw = raw[:-1]
        if raw.endswith("\r"):
            raw = raw[:-1]
    return str(raw)


class SecretReader:
    """Reads secrets and confirmations for one command run.

    A file descriptor or an environment variable named by the user wins (the
    variable is removed from the environment once read); otherwise a terminal gets a
    prompt without echo, and a pipe or file on standard input gives one line per
    request, in the order the command asks for them.
    """

    def __init__(self, stdin: Any = None) -> None:
        self.stdin = stdin if stdin is not None else sys.stdin

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
        return line_text(raw, what, "standard input")

    @staticmethod
    def from_env(name: str) -> str:
        value = os.environ.get(name)
        if value is None:
            raise CliError(f"environment variable {name} is not set")
        # Child processes (curl) must not inherit the secret. The process's own
        # /proc/<pid>/environ keeps showing it: that copy cannot be taken back.
        del os.environ[name]
        return value

    @staticmethod
    def from_fd(fd: int, what: str) -> str:
        """One line from the open file descriptor `fd`, read a byte at a time so
        that nothing after it is consumed (two secrets may share a descriptor)."""
        where = f"file descriptor {fd}"
        data = bytearray()
        try:
            # What follows the line is not for child processes (curl).
            os.set_inheritable(fd, False)
            while (byte := os.read(fd, 1)) and byte != b"\n":
                data += byte
        except OSError as e:
            raise CliError(f"cannot read the {what} from {where}: {e.strerror or e}") from None
        if not data and not byte:
            raise CliError(f"no {what} on {where}")
        return line_text(bytes(data), what, where)

    def secret(self, what: str, prompt: str, given: Source = Source(), confirm: bool = False) -> str:
        """One secret: from the descriptor or the variable the user named, else
        prompted or read.

        With `confirm`, a prompted secret is asked twice and must match (a typing
        mistake in a new passphrase would lock the wallet for good); a mismatch asks
        again, up to three times."""
        if given.fd is not None:
            return self.from_fd(given.fd, what)
        if given.env is not None:
            return self.from_env(given.env)
        if not self.interactive():
            return self._line(what)
        try:
            for attempt in range(NEW_PASSPHRASE_TRIES if confirm else 1):
                value = getpass.getpass(printable(prompt))
                if not confirm or getpass.getpass(printable("Repeat " + prompt[0].lower() + prompt[1:])) == value:
                    return value
                if attempt + 1 < NEW_PASSPHRASE_TRIES:
                    tell(f"The two {what}s do not match; try again.")
        except EOFError:
            raise CliError(f"no {what} entered") from None
        raise CliError(f"the two {what}s do not match")

    def confirm(self, question: str) -> bool:
        """Asks a yes/no question on standard error; only "y" or "yes" agree."""
        tell(question + " [y/N] ", end="")
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


def read_passphrase(args: argparse.Namespace, reader: SecretReader, prompt: str) -> Optional[str]:
    if getattr(args, "no_passphrase", False):
        return None
    return reader.secret("passphrase", prompt, source(args, "passphrase"))


def read_new_passphrase(
    args: argparse.Namespace,
    reader: SecretReader,
    given: Optional[Source] = None,
    prompt: str = "New passphrase: ",
) -> Optional[str]:
    """A new wallet passphrase. An empty one leaves the wallet file readable by
    anyone who gets it: that needs --no-passphrase, or a "y" to the question."""
    if getattr(args, "no_passphrase", False):
        return None
    value = reader.secret("passphrase", prompt, given or source(args, "passphrase"), confirm=True)
    if value:
        return value
    if args.yes:
        raise CliError("the passphrase is empty: this wallet would not be protected; give --no-passphrase to mean it")
    if not reader.confirm("The passphrase is empty: this wallet will not be protected. Continue?"):
        raise CliError("cancelled: the passphrase is empty")
    return None


# ---------------------------------------------------------------- vault and wallets


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


def check_chain(chain: str) -> None:
    """Reports an unknown chain with the library's message (the default path of any
    known chain exists)."""
    vek.preset_path("default", chain, 0)


def named_chain(chain: str) -> Optional[vek.Chain]:
    """The named chain `chain` stands for (its name in any letter case, or its CAIP-2
    id); None for the alias "evm" and an EVM chain named only by its id."""
    check_chain(chain)
    lowered = chain.lower()
    return next((c for c in CHAINS if c.name == lowered or c.chain_id == chain), None)


def family_of(chain: str) -> str:
    c = named_chain(chain)
    return c.family if c is not None else "evm"


def family_chain(family: str) -> vek.Chain:
    """The first chain of a family: the chain its accounts are stored for."""
    return next(c for c in CHAINS if c.family == family)


def shares_addresses(chain: Optional[vek.Chain], family: str) -> bool:
    """Whether the account the wallet stores for `family` has the same address on
    `chain` (None: an EVM chain named by its id). It does when the chain derives on the
    family's coin type and writes addresses the same way: every EVM and Solana chain,
    and a Cosmos chain of the same coin type and prefix. Other chains derive another
    key (bitcoin-testnet, bitcoin-signet, secret, kava), write another prefix (osmosis,
    celestia), or, for TON, put the network in the address (ton-testnet)."""
    main = family_chain(family)
    if chain is None or chain.chain_id == main.chain_id:
        return True
    if family == "ton":
        return False
    return chain.coin_type == main.coin_type and chain.address_prefix == main.address_prefix


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


# ---------------------------------------------------------------- commands: no vault


def cmd_generate(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    phrase = vek.generate_mnemonic(args.words)
    out.emit({"mnemonic": phrase}, lambda: phrase)


def cmd_derive(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    if args.wallet is not None:
        return derive_stored(args, out, reader, state)
    if args.path is not None or args.add or args.preset is not None:
        raise UsageError("--path, --preset and --add need --wallet (see 'vek derive --help')")
    check_chain(args.chain)
    phrase = normalise_phrase(reader.secret("recovery phrase", "Recovery phrase: ", source(args, "mnemonic")))
    check_phrase(phrase)
    address = vek.derive_address(phrase, args.chain, args.index)
    index = 0 if args.index is None else args.index
    out.emit({"chain": args.chain, "index": index, "address": address}, lambda: address)


def derive_stored(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    if source(args, "mnemonic") != Source():
        raise UsageError("--mnemonic-env and --mnemonic-fd do not apply with --wallet (the wallet's own phrase is used)")
    if sum(x is not None for x in (args.index, args.path)) > 1:
        raise UsageError("give --index or --path, not both")
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
        address = session.derive(args.chain, index=index, path=path)
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


def cmd_verify(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    message = read_message(args)
    signature = args.signature
    if args.address is None:
        signer = vek.recover_address(args.chain, message, signature, format=args.format)
        out.emit({"chain": args.chain, "signer": signer}, lambda: signer)
        return
    valid = vek.verify_message(
        args.chain,
        args.address,
        message,
        signature,
        format=args.format,
        public_key=args.public_key,
        domain=args.domain,
        timestamp=args.timestamp,
    )
    if not valid:
        raise CliError(f"the signature is not {printable(args.address)}'s")
    out.emit({"chain": args.chain, "address": args.address, "valid": True}, lambda: "valid")


# ---------------------------------------------------------------- commands: create and import


def cmd_create(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args, must_exist=False)
    check_name_free(vault, args.name)
    state.text = "no wallet was created"
    passphrase = read_new_passphrase(args, reader)
    with progress("deriving key…", out), uninterrupted():
        w = vault.create(args.name, passphrase, args.words or 12)
        created(state, args, w)
    out.emit(wallet_dict(w), lambda: wallet_text(w))
    out.note(f"Back up the recovery phrase now: {PROG}{vault_option(args)} export {w.id}")


def cmd_import_mnemonic(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
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


def cmd_import_key(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
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


def cmd_import_keystore(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
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


# ---------------------------------------------------------------- commands: wallets


def cmd_list(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
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


def cmd_show(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    w = resolve(open_vault(args), args.wallet)
    out.emit(wallet_dict(w), lambda: wallet_text(w))


def cmd_rename(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
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


def cmd_delete(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
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


def cmd_export(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    tell(f"This shows the SECRET of wallet {label(w)} in plain text: anyone who sees it can take the wallet's funds.")
    if not args.yes and not reader.confirm("Show the secret?"):
        raise CliError("cancelled: nothing was shown")
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet {label(w)}: ")
    with progress("deriving key…", out):
        secret = vault.export(w.id, passphrase)
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

    out.emit({"id": w.id, "name": w.name, "kind": kind, "secret": keys if keys is not None else secret}, text)


def cmd_export_keystore(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    chain = args.chain or "ethereum"
    check_chain(chain)
    if args.out is not None and os.path.lexists(args.out):
        raise CliError(f"{printable(args.out)} exists; nothing was written")
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet {label(w)}: ")
    password = reader.secret("keystore password", "New keystore password: ", source(args, "key_password"), confirm=True)
    with progress("deriving keys…", out):
        document = vault.export_key(w.id, chain, "keystore", passphrase, password)
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


def cmd_change_passphrase(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    old = None if args.old_empty else reader.secret("passphrase", f"Current passphrase for wallet {label(w)}: ", source(args, "passphrase"))
    new = read_new_passphrase(args, reader, source(args, "new_passphrase"))
    state.text = "the passphrase was not changed"
    with progress("deriving keys…", out), uninterrupted():
        vault.change_passphrase(w.id, old, new)
        state.text = "the passphrase was changed"
    out.emit({"id": w.id, "name": w.name, "changed": True}, lambda: f"Changed the passphrase of wallet {label(w)}.")


def cmd_pubkey(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    check_chain(args.chain)
    passphrase = read_passphrase(args, reader, f"Passphrase for wallet {label(w)}: ")
    with progress("deriving key…", out):
        key = vault.public_key(w.id, args.chain, passphrase)
    out.emit({"chain": args.chain, "public_key": key}, lambda: key)


# ---------------------------------------------------------------- commands: signing


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


def read_message(args: argparse.Namespace) -> Any:
    """The message as the library takes it: bytes from a file, or text (hex decoded
    here with --encoding hex, a 0x prefix accepted)."""
    one_of(args.message, args.message_file, "message", "--message-file")
    if args.message_file is not None:
        if args.encoding is not None:
            raise UsageError("--encoding does not apply to --message-file (its bytes are used as they are)")
        return read_file(args.message_file)
    if args.encoding == "hex":
        digits = strip_hex_prefix(args.message)
        check_hex(digits, "message")
        return bytes.fromhex(digits)
    return args.message


def signature_doc(signer: str, result: Any) -> dict[str, Any]:
    doc: dict[str, Any] = {"signer": signer, "signature": result.signature, "recovery_id": result.recovery_id}
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


def private_key_wallet(w: vek.Wallet) -> bool:
    """A wallet of imported keys: its accounts have no derivation paths."""
    return all(not a.derivation_path for a in w.accounts)


# The format each family signs in without --format.
STANDARD_FORMAT = {"evm": "eip191", "solana": "raw", "bitcoin": "bip322", "cosmos": "adr036", "tron": "tip191", "ton": "raw"}

SHARED_KEY = {
    "secp256k1": "EVM, Bitcoin, Cosmos and Tron chains with one secp256k1 key",
    "ed25519": "Solana and TON with one Ed25519 key",
}


def bytes_warning(args: argparse.Namespace, w: vek.Wallet) -> Optional[str]:
    """The warning before a message is signed as raw bytes, or as bytes the user
    does not see (hex, a file); None for a text in a format that frames it.

    A raw signature is a signature of the bytes themselves (or of their SHA-256), as
    transactions are signed: Bitcoin, Cosmos and Tron raw signatures, Solana's and
    TON's standard raw format on bytes that are a transaction's signing bytes. Text is
    not warned about under Solana's and TON's standard format (their default)."""
    family = family_of(args.chain)
    as_bytes = args.encoding == "hex" or args.message_file is not None
    raw = (args.format or STANDARD_FORMAT[family]).lower() == "raw"
    if raw and (args.format is not None or as_bytes):
        shared = ""
        if private_key_wallet(w):
            curve = "ed25519" if family in ("solana", "ton") else "secp256k1"
            shared = f" (this private-key wallet signs for {SHARED_KEY[curve]})"
        return (
            "warning: a raw signature signs these bytes as they are: if they are the signing bytes of a "
            f"transaction, it authorises that transaction on {args.chain} and on every other chain where this "
            f"key signs{shared}."
        )
    if as_bytes:
        return "warning: the message is bytes that are not shown here: sign them only if you know what they are."
    return None


def confirm_signing(args: argparse.Namespace, reader: SecretReader, question: str) -> None:
    """Asks before a signature (the answer comes before the passphrase); --yes agrees."""
    if not args.yes and not reader.confirm(question):
        raise CliError("cancelled: nothing was signed")


def cmd_sign_message(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    message = read_message(args)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    check_chain(args.chain)
    warning = bytes_warning(args, w)
    if warning is not None:
        tell(warning)
        confirm_signing(args, reader, "Sign these bytes?")
    given = {"format": args.format, "domain": args.domain, "timestamp": args.timestamp}
    extra = {k: v for k, v in given.items() if v is not None}
    with unlock(vault, w, args, reader, out) as session:
        result = session.sign_message(args.chain, message, index=args.index, **extra)
        doc = signature_doc(session.address(args.chain, index=args.index), result)
    out.emit(doc, lambda: signature_text(doc))


MAX_SHOWN_MEMBERS = 200


def scalar_text(value: Any) -> str:
    return value if isinstance(value, str) else json.dumps(value, ensure_ascii=False)


def typed_data_rows(typed: str, file: str) -> list[list[str]]:
    """What a typed-data document asks to sign, as review rows: the domain (name,
    version, chain id, verifying contract, salt), the primary type and every member
    of the message, one row per value ("message.details[0].amount"). The library
    checks the document against its types when it signs."""
    try:
        doc = json.loads(typed)
    except (ValueError, RecursionError) as e:
        raise CliError(f"{printable(file)} is not JSON: {e}") from None
    if not isinstance(doc, dict):
        raise CliError(f"{printable(file)} is not typed data: not a JSON object")
    domain: dict[str, Any] = doc["domain"] if isinstance(doc.get("domain"), dict) else {}
    rows = [
        [name, scalar_text(domain[key]) if key in domain else "(none)"]
        for name, key in (
            ("domain", "name"),
            ("version", "version"),
            ("chain id", "chainId"),
            ("verifying contract", "verifyingContract"),
        )
    ]
    if "salt" in domain:
        rows.append(["salt", scalar_text(domain["salt"])])
    rows.append(["primary type", scalar_text(doc.get("primaryType", "(none)"))])
    members: list[list[str]] = []
    hidden = 0
    stack: list[tuple[str, Any]] = [("message", doc.get("message"))]
    while stack:  # an explicit stack: the document sets the depth
        path, value = stack.pop()
        if isinstance(value, (dict, list)) and value:
            items = value.items() if isinstance(value, dict) else enumerate(value)
            children = [(f"{path}.{k}" if isinstance(value, dict) else f"{path}[{k}]", v) for k, v in items]
            stack.extend(reversed(children))
        elif len(members) < MAX_SHOWN_MEMBERS:
            members.append([path, scalar_text(value)])
        else:
            hidden += 1
    if hidden:
        members.append(["…", f"{hidden} more values not shown: read {file} before you sign"])
    return rows + members


def cmd_sign_typed_data(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    try:
        typed = read_file(args.file).decode("utf-8")
    except UnicodeDecodeError:
        raise CliError(f"{printable(args.file)} is not UTF-8 text") from None
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    check_chain(args.chain)
    rows = typed_data_rows(typed, args.file)
    if not out.as_json or not args.yes:
        review(None, account_address(w, "evm") if args.index is None else None, rows)
    confirm_signing(args, reader, "Sign this typed data?")
    with unlock(vault, w, args, reader, out) as session:
        result = session.sign_typed_data(args.chain, typed, index=args.index)
        doc = signature_doc(session.address(args.chain, index=args.index), result)
    out.emit(doc, lambda: signature_text(doc))


def read_transaction(args: argparse.Namespace) -> str:
    """The transaction hex from the command line, or from a file holding hex text
    (white space, line breaks included, is ignored there)."""
    one_of(args.tx, args.tx_file, "transaction", "--tx-file")
    if args.tx_file is None:
        text = str(args.tx)
    else:
        try:
            text = "".join(read_file(args.tx_file).decode("ascii").split())
        except UnicodeDecodeError:
            raise CliError(f"{printable(args.tx_file)} does not hold hex text") from None
    return strip_hex_prefix(text)


def decoded_doc(d: vek.DecodedTransaction) -> dict[str, Any]:
    if d.family == "evm":
        doc: dict[str, Any] = {
            "chain_id": d.evm_chain_id,
            "type": d.tx_type,
            "nonce": d.nonce,
            "to": d.to,
            "value_wei": d.value_wei,
            "value_ether": d.value_ether,
            "gas_limit": d.gas_limit,
        }
        if d.gas_price is not None:
            doc["gas_price"] = d.gas_price
        else:
            doc["max_fee_per_gas"] = d.max_fee_per_gas
            doc["max_priority_fee_per_gas"] = d.max_priority_fee_per_gas
        doc["data_length"] = d.data_length
        return doc
    return {"fee_payer": d.fee_payer, "signatures": d.signatures, "instructions": d.instructions}


def decoded_rows(d: vek.DecodedTransaction) -> list[list[str]]:
    if d.family == "evm":
        rows = [
            ["chain id", f"{d.evm_chain_id} ({chain_label(d.chain_id)})"],
            ["nonce", str(d.nonce)],
            ["to", d.to or "(none: creates a contract)"],
            ["value", f"{d.value_ether} ether ({d.value_wei} wei)"],
            ["gas limit", str(d.gas_limit)],
        ]
        if d.gas_price is not None:
            rows.append(["gas price", f"{d.gas_price} wei"])
        else:
            rows.append(["max fee", f"{d.max_fee_per_gas} wei per gas"])
            rows.append(["priority fee", f"{d.max_priority_fee_per_gas} wei per gas"])
        rows.append(["data", f"{d.data_length} bytes"])
        return rows
    return [
        ["fee payer", str(d.fee_payer)],
        ["signatures", str(d.signatures)],
        ["instructions", str(d.instructions)],
    ]


def decode(args: argparse.Namespace, tx: str) -> Optional[vek.DecodedTransaction]:
    """The transaction decoded for review; None for the families that are signed as given."""
    if family_of(args.chain) not in ("evm", "solana"):
        check_hex(tx, "transaction")
        return None
    return vek.decode_transaction(args.chain, tx)


def review(d: Optional[vek.DecodedTransaction], signer: Optional[str], extra: Sequence[Sequence[str]] = ()) -> None:
    rows: list[list[str]] = [["from", signer]] if signer else []
    if d is not None:
        rows += decoded_rows(d)
    rows += [list(r) for r in extra]
    if rows:
        tell(pairs(rows))


def cmd_sign_tx(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    tx = read_transaction(args)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    d = decode(args, tx)
    family = family_of(args.chain)
    if not out.as_json:
        if d is None:
            tell(f"note: {family} transactions are not decoded: check what you sign.")
        review(d, account_address(w, family) if args.index is None else None)
    with unlock(vault, w, args, reader, out) as session:
        # A Solana signature covers the message after the signature slots.
        payload: Any = d.signing_payload if d is not None and d.family == "solana" else tx
        result = session.sign_transaction(args.chain, payload, index=args.index)
        doc = signature_doc(session.address(args.chain, index=args.index), result)
    if d is not None:
        doc["transaction"] = decoded_doc(d)
    out.emit(doc, lambda: signature_text(doc))


def endpoint_of(args: argparse.Namespace) -> tuple[str, str]:
    """The endpoint and where it comes from, in words."""
    if args.rpc_url is not None:
        return args.rpc_url, "--rpc-url"
    e = vek.rpc_endpoint(args.chain)
    if e.source == "configuration":
        return e.url, f"from {printable(e.config_file)}"
    return e.url, "built-in public mainnet node"


def cmd_send(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    tx = read_transaction(args)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    family = family_of(args.chain)
    if family not in ("evm", "solana"):
        raise CliError(f"sending covers EVM and Solana chains only, not {family}")
    d = vek.decode_transaction(args.chain, tx)
    url, source = endpoint_of(args)
    shown = account_address(w, family) if args.index is None else None
    state.text = "nothing was sent"
    if not out.as_json or not args.yes:
        review(d, shown, [["endpoint", f"{printable(url)} ({source})"]])
    if not args.yes and not reader.confirm("send?"):
        raise CliError("cancelled: nothing was sent")
    with unlock(vault, w, args, reader, out) as session:
        signer = session.address(args.chain, index=args.index)
        if shown is not None and signer != shown:
            raise CliError(f"the wallet signs with {signer}, not the address shown ({shown}); nothing was sent")
        payload: Any = d.signing_payload if family == "solana" else tx
        signed = session.sign_transaction(args.chain, payload, index=args.index)
        expected = signed.tx_hash
        lookup = f"; look up {expected} before sending it again" if expected else "; check the account before sending again"
        state.text = "whether the transaction was sent is not known" + lookup
        with timeout(args.timeout):
            try:
                tx_hash = session.send(args.chain, tx, rpc_url=url, index=args.index)
            except SendTimeout:
                raise CliError(
                    f"no reply from {printable(url)} within {args.timeout:g} s: whether the transaction was sent "
                    "is not known" + lookup
                ) from None
        state.text = f"the transaction was sent ({printable(tx_hash)})"
    out.emit({"signer": signer, "tx_hash": tx_hash}, lambda: printable(tx_hash))


@contextlib.contextmanager
def timeout(seconds: Optional[float]) -> Iterator[None]:
    """Raises SendTimeout in the block after `seconds` (the library lets signal
    handlers end its wait for the node)."""
    if seconds is None:
        yield
        return

    def expired(signum: int, frame: Any) -> None:
        raise SendTimeout

    previous = signal.signal(signal.SIGALRM, expired)
    signal.setitimer(signal.ITIMER_REAL, seconds)
    try:
        yield
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


# ---------------------------------------------------------------- shell completion


def completion_words(parser: argparse.ArgumentParser) -> tuple[list[str], dict[str, list[str]], dict[str, str]]:
    """The global options, each command's options, and each command's help, read
    from the parser itself."""
    top = [s for a in parser._actions for s in a.option_strings if s.startswith("--")]
    commands: dict[str, list[str]] = {}
    helps: dict[str, str] = {}
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction):
            for choice in action._choices_actions:
                helps[choice.dest] = choice.help or ""
            for name, sub in action.choices.items():
                commands[name] = sorted({s for a in sub._actions for s in a.option_strings if s.startswith("--")})
    return top, commands, helps


def completion_script(shell: str, parser: argparse.ArgumentParser) -> str:
    top, commands, helps = completion_words(parser)
    names = " ".join(commands)
    if shell in ("bash", "zsh"):
        cases = "\n".join(f"    {name}) opts=\"{' '.join(opts)}\" ;;" for name, opts in commands.items())
        script = f"""# {PROG} completion for {shell}: eval "$({PROG} completion {shell})"
_{PROG}_complete() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} cmd="" opts="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${{COMP_WORDS[i]}} in
      -*) ;;
      *) cmd=${{COMP_WORDS[i]}}; break ;;
    esac
  done
  case $cmd in
    "") opts="{' '.join(top)} {names}" ;;
{cases}
  esac
  COMPREPLY=($(compgen -W "$opts" -- "$cur"))
}}
"""
        if shell == "zsh":
            script += "autoload -U +X bashcompinit && bashcompinit\n"
        return script + f"complete -o default -F _{PROG}_complete {PROG}\n"
    lines = [f"# {PROG} completion for fish: {PROG} completion fish | source"]
    lines.append(f"complete -c {PROG} -f")
    for opt in top:
        lines.append(f"complete -c {PROG} -n __fish_use_subcommand -l {opt[2:]}")
    for name in commands:
        desc = helps.get(name, "").replace("'", "")
        lines.append(f"complete -c {PROG} -n __fish_use_subcommand -a {name} -d '{desc}'")
    for name, opts in commands.items():
        for opt in opts:
            lines.append(f"complete -c {PROG} -n '__fish_seen_subcommand_from {name}' -l {opt[2:]}")
    return "\n".join(lines) + "\n"


def cmd_completion(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    sys.stdout.write(completion_script(args.shell, build_parser()))
    sys.stdout.flush()


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


def fd_arg(text: str) -> int:
    try:
        value = int(text, 10)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid file descriptor: '{text}'") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"invalid file descriptor: '{text}'")
    return value


def seconds_arg(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid number of seconds: '{text}'") from None
    if not 0 < value < 1e6:
        raise argparse.ArgumentTypeError(f"the timeout must be above 0 seconds: {text}")
    return value


ENDPOINT_HELP = (
    "node endpoint. Without it: the entry for the chain's CAIP-2 id in the `rpc` object of "
    "$HOME/.vek/config.json, else a built-in PUBLIC MAINNET node (shown before sending). "
    "A configuration file that cannot be used is an error, not ignored."
)


def build_parser() -> Parser:
    # --vault, --json and --verbose are accepted before and after the subcommand. The copies
    # on the subcommands default to SUPPRESS so they do not overwrite a value given earlier.
    common = Parser(add_help=False)
    common.add_argument("--vault", metavar="PATH", default=argparse.SUPPRESS, help="vault directory (default ~/.vek)")
    common.add_argument("--json", action="store_true", default=argparse.SUPPRESS, help="print machine-readable JSON")
    common.add_argument(
        "--verbose", "-v", action="store_true", default=argparse.SUPPRESS, help="add the library's text to errors"
    )

    def secret_options(p: Any, option: str, what: str) -> None:
        """--{option}-env NAME and --{option}-fd N: one or the other (a group given as
        `p` adds its own exclusions)."""
        if isinstance(p, argparse.ArgumentParser):
            p = p.add_mutually_exclusive_group()
        flag = option.replace("_", "-")
        p.add_argument(f"--{flag}-env", metavar="NAME", help=f"read {what} from environment variable NAME")
        p.add_argument(f"--{flag}-fd", metavar="N", type=fd_arg, help=f"read {what} from a line of open descriptor N")

    def passphrase_options(p: argparse.ArgumentParser, new: bool = False) -> None:
        g = p.add_mutually_exclusive_group()
        secret_options(g, "passphrase", "the passphrase")
        g.add_argument("--no-passphrase", action="store_true", help="use no passphrase (the empty one)")
        if new:
            p.add_argument(
                "--yes", "-y", action="store_true", help="do not ask (an empty passphrase then needs --no-passphrase)"
            )

    def index_option(p: argparse.ArgumentParser, what: str) -> None:
        p.add_argument("--index", type=index_arg, metavar="N", help=f"account index for {what}")

    parser = Parser(
        prog=PROG,
        description="Local, non-custodial, multi-chain wallets. Secrets are never taken from "
        "the command line: they are prompted for, read from standard input, or taken from "
        "a file descriptor or an environment variable named with an --...-fd or --...-env option.",
    )
    parser.add_argument("--vault", metavar="PATH", default=None, help="vault directory (default ~/.vek)")
    parser.add_argument("--json", action="store_true", default=False, help="print machine-readable JSON")
    parser.add_argument("--verbose", "-v", action="store_true", default=False, help="add the library's text to errors")
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=Parser)
    sub.required = True

    def add(name: str, func: Callable[..., None], help_text: str) -> argparse.ArgumentParser:
        p = sub.add_parser(name, parents=[common], help=help_text, description=help_text)
        p.set_defaults(func=func)
        return p

    def message_options(p: argparse.ArgumentParser) -> None:
        p.add_argument("message", nargs="?", help="the message text")
        p.add_argument("--message-file", metavar="FILE", help="use the bytes of FILE instead")
        p.add_argument("--encoding", choices=("utf8", "hex"), help="utf8 (default) or hex (0x optional)")
        p.add_argument(
            "--format",
            metavar="FORMAT",
            help="signature format (default: the chain's standard): eip191, eip712 (EVM); "
            "raw, offchain, offchain_domain (Solana); bip322, bip137, raw (Bitcoin); adr036, raw (Cosmos); "
            "tip191, raw (Tron); raw, ton_proof, sign_data (TON)",
        )
        p.add_argument("--domain", help="ton_proof, sign_data: the dApp's domain")
        p.add_argument("--timestamp", type=int, help="ton_proof, sign_data: the Unix time that is signed")

    p = add("generate", cmd_generate, "print a new recovery phrase (nothing is stored)")
    p.add_argument("--words", type=int, choices=(12, 24), default=12, help="12 (default) or 24 words")

    p = add("derive", cmd_derive, "print an address: of a recovery phrase, or of a stored wallet with --wallet")
    p.add_argument("chain", help="chain name (ethereum, solana, ...) or CAIP-2 id")
    index_option(p, "the address (default 0)")
    secret_options(p, "mnemonic", "the phrase")
    p.add_argument("--wallet", metavar="WALLET", help="derive from this stored wallet (asks its passphrase)")
    p.add_argument("--path", metavar="PATH", help="with --wallet: this derivation path")
    p.add_argument(
        "--preset",
        metavar="PRESET",
        help="with --wallet: the path of a preset for --index (default, evm-account, solana-account, bitcoin-bip84)",
    )
    p.add_argument("--add", action="store_true", help="with --wallet: store the account in the wallet")
    secret_options(p, "passphrase", "the wallet's passphrase (with --wallet)")

    p = add("create", cmd_create, "create a wallet with a new recovery phrase")
    p.add_argument("name")
    p.add_argument("--words", type=int, choices=(12, 24), help="12 (default) or 24 words")
    passphrase_options(p, new=True)

    p = add("import-mnemonic", cmd_import_mnemonic, "import a wallet from a recovery phrase")
    p.add_argument("name")
    index_option(p, "all six accounts (default 0)")
    secret_options(p, "mnemonic", "the phrase")
    passphrase_options(p, new=True)

    p = add("import-key", cmd_import_key, "import a wallet from a private key (hex, WIF or a Solana keypair)")
    p.add_argument("name")
    p.add_argument("--chain", help="a chain whose curve the key belongs to (default: ethereum)")
    p.add_argument(
        "--format",
        choices=("hex", "wif", "solana-base58", "solana-json"),
        default="hex",
        help="hex (default, 0x optional), wif (Bitcoin), solana-base58 or solana-json (a keypair file)",
    )
    secret_options(p, "key", "the key")
    p.add_argument("--key-file", metavar="FILE", help="read the key from FILE (e.g. a Solana keypair file)")
    p.add_argument("--both", action="store_true", help="read one secp256k1 and one Ed25519 key (hex)")
    secret_options(p, "secp256k1_key", "the secp256k1 key (with --both)")
    secret_options(p, "ed25519_key", "the Ed25519 key (with --both)")
    passphrase_options(p, new=True)

    p = add("import-keystore", cmd_import_keystore, "import a wallet from an Ethereum keystore (v3) file")
    p.add_argument("name")
    p.add_argument("file", help="the keystore file")
    secret_options(p, "key_password", "the keystore's password")
    passphrase_options(p, new=True)

    p = add("list", cmd_list, "list the wallets, newest first, with an address each")
    p.add_argument("--chain", help="the chain of the ADDRESS column (default ethereum)")

    p = add("show", cmd_show, "show one wallet and its accounts")
    p.add_argument("wallet", help="wallet name, id or id prefix (8 characters or more)")

    p = add("rename", cmd_rename, "rename a wallet")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("new_name")

    p = add("delete", cmd_delete, "delete a wallet file for good")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("--yes", "-y", action="store_true", help="do not ask for confirmation")

    p = add("export", cmd_export, "show a wallet's secret (recovery phrase or private keys)")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("--yes", "-y", action="store_true", help="do not ask for confirmation")
    passphrase_options(p)

    p = add("export-keystore", cmd_export_keystore, "write an EVM account's key as an Ethereum keystore (v3)")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("--chain", help="an EVM chain (default ethereum)")
    p.add_argument("--out", metavar="FILE", help="write to FILE (created, mode 0600) instead of standard output")
    secret_options(p, "key_password", "the keystore's new password")
    passphrase_options(p)

    p = add("change-passphrase", cmd_change_passphrase, "encrypt a wallet under a new passphrase")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    secret_options(p, "passphrase", "the current passphrase")
    p.add_argument("--old-empty", action="store_true", help="the current passphrase is the empty one")
    secret_options(p, "new_passphrase", "the new passphrase")
    p.add_argument("--no-passphrase", action="store_true", help="the new passphrase is the empty one")
    p.add_argument("--yes", "-y", action="store_true", help="do not ask (an empty new passphrase needs --no-passphrase)")

    p = add("pubkey", cmd_pubkey, "print the public key an account signs with")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("chain", help="chain name or CAIP-2 id")
    passphrase_options(p)

    p = add("verify", cmd_verify, "check a signature (no wallet needed); without --address, print the signer")
    p.add_argument("chain", help="chain name or CAIP-2 id")
    message_options(p)
    p.add_argument(
        "--signature", required=True, metavar="TEXT", help="the signature as the format writes it (hex, base64 or base58)"
    )
    p.add_argument("--address", help="the address that should have signed")
    p.add_argument("--public-key", metavar="KEY", help="TON: the signer's public key (hex or base64)")

    p = add("sign-message", cmd_sign_message, "sign a message with a wallet's key")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("chain", help="chain name or CAIP-2 id")
    message_options(p)
    index_option(p, "the key (default: the stored account)")
    p.add_argument("--yes", "-y", action="store_true", help="sign raw or unseen bytes without asking")
    passphrase_options(p)

    p = add("sign-typed-data", cmd_sign_typed_data, "sign EIP-712 typed data (eth_signTypedData_v4 JSON) from a file")
    p.add_argument("wallet", help="wallet name, id or id prefix")
    p.add_argument("chain", help="an EVM chain name or CAIP-2 id")
    p.add_argument("file", help="the typed data (JSON)")
    index_option(p, "the key (default: the stored account)")
    p.add_argument("--yes", "-y", action="store_true", help="sign without asking")
    passphrase_options(p)

    for name, func, help_text in (
        ("sign-tx", cmd_sign_tx, "show and sign a transaction (nothing is sent); EVM: prints the signed transaction"),
        ("send", cmd_send, "show, confirm, sign and broadcast a transaction (EVM and Solana)"),
    ):
        p = add(name, func, help_text)
        p.add_argument("wallet", help="wallet name, id or id prefix")
        p.add_argument("chain", help="chain name or CAIP-2 id")
        p.add_argument(
            "tx",
            nargs="?",
            metavar="TX_HEX",
            help="the unsigned transaction in hex (EVM: type 1 or 2; Solana: the whole transaction "
            "with its signature slots)",
        )
        p.add_argument("--tx-file", metavar="FILE", help="read the transaction hex from FILE")
        index_option(p, "the key (default: the stored account)")
        if name == "send":
            p.add_argument("--rpc-url", metavar="URL", help=ENDPOINT_HELP)
            p.add_argument("--timeout", type=seconds_arg, metavar="SECONDS", help="stop waiting for the node after SECONDS")
            p.add_argument("--yes", "-y", action="store_true", help="send without asking")
        passphrase_options(p)

    p = add("completion", cmd_completion, "print a shell completion script (bash, zsh or fish)")
    p.add_argument("shell", choices=("bash", "zsh", "fish"))

    return parser


def check_options(args: argparse.Namespace) -> None:
    if args.command == "import-key":
        key = source(args, "key") != Source()
        if args.both and (args.chain is not None or key or args.key_file is not None):
            raise UsageError("--both takes no --chain, --key-env, --key-fd or --key-file (see 'vek import-key --help')")
        if args.both and args.format != "hex":
            raise UsageError("--both takes hex keys only (see 'vek import-key --help')")
        if not args.both and (source(args, "secp256k1_key") != Source() or source(args, "ed25519_key") != Source()):
            raise UsageError(
                "--secp256k1-key-env/-fd and --ed25519-key-env/-fd need --both (see 'vek import-key --help')"
            )
        if key and args.key_file is not None:
            raise UsageError("give --key-env, --key-fd or --key-file, not more than one")
    if args.command == "change-passphrase":
        if args.old_empty and source(args, "passphrase") != Source():
            raise UsageError("give --passphrase-env/-fd or --old-empty, not both")
        if args.no_passphrase and source(args, "new_passphrase") != Source():
            raise UsageError("give --new-passphrase-env/-fd or --no-passphrase, not both")


# ---------------------------------------------------------------- entry point


def error_text(e: BaseException, verbose: bool) -> tuple[str, str]:
    """The type and the one-line message an error is reported with."""
    if isinstance(e, vek.WrongPassphraseError):
        return type(e).__name__, WRONG_PASSPHRASE + (f": {e}" if verbose else "")
    if isinstance(e, CliError):
        return e.kind, str(e)
    if isinstance(e, vek.VekError):
        return type(e).__name__, str(e)
    return type(e).__name__, str(e) or type(e).__name__


def report(kind: str, message: str, status: int, as_json: bool) -> int:
    try:
        if as_json:
            sys.stderr.write(json_text({"error": {"type": kind, "message": one_line(message)}}, indent=None) + "\n")
        else:
            sys.stderr.write(f"error: {printable(one_line(message))}\n")
        sys.stderr.flush()
    except OSError:
        pass
    return status


def main(argv: Optional[Sequence[str]] = None, reader: Optional[SecretReader] = None) -> int:
    """Runs the tool; returns the exit status."""
    as_json = "--json" in (sys.argv[1:] if argv is None else argv)
    state = State()
    try:
        try:
            args = build_parser().parse_args(argv)
            check_options(args)
        except UsageError as e:
            return report(e.kind, str(e), 2, as_json)
        as_json = args.json
        args.func(args, Output(args.json), reader or SecretReader(), state)
        return 0
    except UsageError as e:
        return report(e.kind, str(e), 2, as_json)
    except KeyboardInterrupt:
        sys.stderr.write("\n")
        return report("Interrupted", "interrupted" + (f": {state.text}" if state.text else ""), 130, as_json)
    except BrokenPipeError:
        # The reader of standard output went away (for example `vek list | head -1`).
        try:
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, sys.stdout.fileno())
        except OSError:
            pass
        return 1
    except (CliError, RuntimeError, TypeError, ValueError, OverflowError, OSError) as e:
        # RuntimeError covers the library's errors (vek.VekError); the others come from
        # argument conversion (for example text that is not valid UTF-8).
        kind, message = error_text(e, bool(getattr(args, "verbose", False)) if "args" in locals() else False)
        if state.text and isinstance(e, vek.BroadcastError):
            message += f" ({state.text})"
        return report(kind, message, 1, as_json)
    except BaseException as e:  # noqa: BLE001 - includes the native PanicException
        if isinstance(e, SystemExit):
            raise
        return report("InternalError", f"internal error: {type(e).__name__}: {e}", 1, as_json)
