"""Secrets and answers: from a descriptor or a variable the user names, a prompt
without echo on a terminal, or the next line of standard input."""

from __future__ import annotations

import argparse
import getpass
import os
import sys
from typing import Any, NamedTuple, Optional

from .core import CliError, printable, tell

NEW_PASSPHRASE_TRIES = 3


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
) -> str:
    """A new wallet passphrase. An empty one leaves the wallet file readable by
    anyone who gets it: that needs --no-passphrase, or a "y" to the question. The empty
    passphrase is "" (vek.Vault refuses a new wallet whose passphrase is not given)."""
    if getattr(args, "no_passphrase", False):
        return ""
    value = reader.secret("passphrase", prompt, given or source(args, "passphrase"), confirm=True)
    if value:
        return value
    if args.yes:
        raise CliError("the passphrase is empty: this wallet would not be protected; give --no-passphrase to mean it")
    if not reader.confirm("The passphrase is empty: this wallet will not be protected. Continue?"):
        raise CliError("cancelled: the passphrase is empty")
    return ""

