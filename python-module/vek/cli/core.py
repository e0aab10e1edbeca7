"""What every command shares: the tool's errors, its output (escaped text or JSON on
standard output, advisory lines on standard error), the progress spinner, and the
record of what a command has done so far for the line printed on Ctrl-C."""

from __future__ import annotations

import contextlib
import json
import signal
import sys
import threading
from typing import Any, Callable, Iterator, Optional, Sequence

PROG = "vek"


class CliError(Exception):
    """A failure reported as one "error: ..." line with exit status 1."""

    kind = "Error"


class UsageError(CliError):
    """A command line that cannot be run: exit status 2."""

    kind = "UsageError"


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

