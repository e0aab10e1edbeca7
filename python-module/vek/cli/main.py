"""The entry point: parses the command line, runs the command, and turns every
failure into one line on standard error and an exit status."""

from __future__ import annotations

import os
import sys
from typing import Optional, Sequence

import vek

from .core import CliError, Output, State, UsageError, json_text, one_line, printable
from .prompts import SecretReader
from .registry import Command, build_parser

WRONG_PASSPHRASE = "wrong passphrase (or the wallet file is damaged)"
WRONG_BIP39_PASSPHRASE = "wrong BIP-39 passphrase: the phrase gives other accounts with it than the wallet's"


def error_text(e: BaseException, verbose: bool) -> tuple[str, str]:
    """The type and the one-line message an error is reported with."""
    if isinstance(e, vek.WrongBip39PassphraseError):
        return type(e).__name__, WRONG_BIP39_PASSPHRASE + (f": {e}" if verbose else "")
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
            entry: Command = args.command_entry
            if entry.check is not None:
                entry.check(args)
        except UsageError as e:
            return report(e.kind, str(e), 2, as_json)
        as_json = args.json
        entry.run(args, Output(args.json), reader or SecretReader(), state)
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
        # A send that failed says by its status whether the transaction may have gone out.
        return report(kind, message, getattr(e, "status", 1), as_json)
    except BaseException as e:  # noqa: BLE001 - includes the native PanicException
        if isinstance(e, SystemExit):
            raise
        return report("InternalError", f"internal error: {type(e).__name__}: {e}", 1, as_json)
