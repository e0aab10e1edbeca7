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

Each command lives in the module of its group (derive, create, wallets, sign, tx,
receive, completion), declared once with its arguments, its checks and its handler; importing
the modules below registers the commands, in the order the help lists them.
"""

from __future__ import annotations

# The order of these imports is the order of the commands in the help.
from . import derive  # noqa: F401
from . import create  # noqa: F401
from . import wallets  # noqa: F401
from . import sign  # noqa: F401
from . import tx  # noqa: F401
from . import receive  # noqa: F401
from . import completion  # noqa: F401
from .common import wallet_text
from .core import CliError, UsageError, printable
from .main import main
from .prompts import SecretReader

__all__ = ["CliError", "SecretReader", "UsageError", "main", "printable", "wallet_text"]
