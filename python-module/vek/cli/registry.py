"""The commands of the tool and their command line.

A command module declares each command once, where its handler is: its name, its help,
its arguments (a list of declarations, each adding arguments to the command's parser) and an
optional check of the parsed arguments that needs no input. `command` registers it;
`build_parser` makes the parser of every registered command, in registration order.
"""

from __future__ import annotations

import argparse
from dataclasses import dataclass
from typing import Any, Callable, NoReturn, Optional

from vek import __version__

from .core import PROG, Output, State, UsageError
from .prompts import SecretReader

# Account indexes are BIP-32 indexes below the hardened range (a path hardens them itself).
MAX_INDEX = 2**31 - 1

Handler = Callable[[argparse.Namespace, Output, SecretReader, State], None]
ArgDecl = Callable[[argparse.ArgumentParser], None]
Check = Callable[[argparse.Namespace], None]


@dataclass(frozen=True)
class Command:
    name: str
    help: str
    run: Handler
    decls: tuple[ArgDecl, ...]
    check: Optional[Check] = None


COMMANDS: dict[str, Command] = {}


def command(name: str, help_text: str, *decls: ArgDecl, check: Optional[Check] = None) -> Callable[[Handler], Handler]:
    """Registers the decorated handler as the command `name`."""

    def register(run: Handler) -> Handler:
        if name in COMMANDS:
            raise ValueError(f"the command {name} is registered twice")
        COMMANDS[name] = Command(name, help_text, run, decls, check)
        return run

    return register


class Parser(argparse.ArgumentParser):
    """An argument parser whose usage errors are one line and exit with status 2."""

    def error(self, message: str) -> NoReturn:
        raise UsageError(f"{message} (see '{self.prog} --help')")


# ---------------------------------------------------------------- argument types


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


# ---------------------------------------------------------------- argument declarations


def arg(*names: str, **options: Any) -> ArgDecl:
    """One argument, as ArgumentParser.add_argument takes it."""

    def add(p: argparse.ArgumentParser) -> None:
        p.add_argument(*names, **options)

    return add


def add_secret_options(p: Any, option: str, what: str) -> None:
    """--{option}-env NAME and --{option}-fd N on `p`, a parser (then one or the other)
    or a group (which adds its own exclusions)."""
    if isinstance(p, argparse.ArgumentParser):
        p = p.add_mutually_exclusive_group()
    flag = option.replace("_", "-")
    p.add_argument(f"--{flag}-env", metavar="NAME", help=f"read {what} from environment variable NAME")
    p.add_argument(f"--{flag}-fd", metavar="N", type=fd_arg, help=f"read {what} from a line of open descriptor N")


def secret_options(option: str, what: str) -> ArgDecl:
    return lambda p: add_secret_options(p, option, what)


def passphrase_options(new: bool = False) -> ArgDecl:
    """The wallet passphrase's sources and --no-passphrase; for a new passphrase, --yes too."""

    def add(p: argparse.ArgumentParser) -> None:
        g = p.add_mutually_exclusive_group()
        add_secret_options(g, "passphrase", "the passphrase")
        g.add_argument("--no-passphrase", action="store_true", help="use no passphrase (the empty one)")
        if new:
            p.add_argument(
                "--yes", "-y", action="store_true", help="do not ask (an empty passphrase then needs --no-passphrase)"
            )

    return add


def index_option(what: str) -> ArgDecl:
    return arg("--index", type=index_arg, metavar="N", help=f"account index for {what}")


def bip39_options(ask: Optional[str] = None) -> ArgDecl:
    """The BIP-39 passphrase's sources; with `ask` (its help), --bip39-passphrase too: there
    is one, ask for it (the tool asks by itself only for a wallet that has one)."""

    def add(p: argparse.ArgumentParser) -> None:
        g = p.add_mutually_exclusive_group()
        add_secret_options(g, "bip39_passphrase", "the BIP-39 passphrase (asked for when the wallet has one)")
        if ask is not None:
            g.add_argument("--bip39-passphrase", action="store_true", help=ask)

    return add


class Exclusive(argparse.Action):
    """An option refused together with the options named in `excludes` (their dests)."""

    def __init__(self, *names: Any, excludes: tuple[str, ...] = (), **options: Any) -> None:
        self.excludes = excludes
        super().__init__(*names, **options)

    def __call__(self, parser: Any, namespace: argparse.Namespace, values: Any, option: Any = None) -> None:
        for dest in self.excludes:
            if getattr(namespace, dest, None) is not None:
                parser.error(f"argument {option}: not allowed with argument --{dest}")
        setattr(namespace, self.dest, values)


def account_options(what: str) -> ArgDecl:
    """--index, --path and --preset: the account of a wallet to use. --preset takes
    --index as its index; --path names the whole path, so it takes neither."""

    def add(p: argparse.ArgumentParser) -> None:
        p.add_argument(
            "--index", type=index_arg, metavar="N", action=Exclusive, excludes=("path",),
            help=f"account index for {what}",
        )
        p.add_argument(
            "--path", metavar="PATH", action=Exclusive, excludes=("index", "preset"),
            help="a derivation path (m/44'/60'/0'/0/7)",
        )
        p.add_argument(
            "--preset", metavar="PRESET", action=Exclusive, excludes=("path",),
            help="the path of a preset for --index (default, evm-account, solana-account, bitcoin-bip84)",
        )

    return add


def yes_option(help_text: str) -> ArgDecl:
    return arg("--yes", "-y", action="store_true", help=help_text)


WALLET = arg("wallet", help="wallet name, id or id prefix")
CHAIN = arg("chain", help="chain name or CAIP-2 id")


# ---------------------------------------------------------------- the parser


def build_parser() -> Parser:
    # --vault, --json and --verbose are accepted before and after the subcommand. The copies
    # on the subcommands default to SUPPRESS so they do not overwrite a value given earlier.
    common = Parser(add_help=False)
    common.add_argument("--vault", metavar="PATH", default=argparse.SUPPRESS, help="vault directory (default ~/.vek)")
    common.add_argument("--json", action="store_true", default=argparse.SUPPRESS, help="print machine-readable JSON")
    common.add_argument(
        "--verbose", "-v", action="store_true", default=argparse.SUPPRESS, help="add the library's text to errors"
    )
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
    for c in COMMANDS.values():
        p = sub.add_parser(c.name, parents=[common], help=c.help, description=c.help)
        p.set_defaults(command_entry=c)
        for declare in c.decls:
            declare(p)
    return parser
