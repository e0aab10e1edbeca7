#!/usr/bin/env python3
"""Writes the documentation tables that list chain families, message formats and what
each family supports, from the installed vek (vek.families()).

Every such table sits between two marker lines in a Markdown file:

    <!-- generated: NAME -->
    ...
    <!-- end generated -->

and is replaced by BLOCKS[NAME](). Usage:

    python tools/gen_docs.py           rewrite the files in DOCS
    python tools/gen_docs.py --check   exit 1, naming the stale files, if any would change
"""
import pathlib
import re
import sys

import vek

REPO = pathlib.Path(__file__).resolve().parents[1]

# The files whose marked blocks this script writes, relative to the repository.
DOCS = ["README.md", "docs/applications.md", "docs/cli.md"]

MARKED = re.compile(r"(<!-- generated: ([a-z-]+) -->\n)(.*?)(<!-- end generated -->)", re.DOTALL)


def code(items):
    return ", ".join(f"`{i}`" for i in items) or "none"


def yes(flag):
    return "yes" if flag else "no"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("-" * (len(h) + 2) for h in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines) + "\n"


def families_table():
    """Every family: keys, paths, chains and what the library does for it."""
    return table(
        ["Family", "Curve", "Coin type", "Default path", "Chains (the first holds the accounts)", "Key formats",
         "Sign transactions", "Decode", "Broadcast"],
        [[f.name, f.curve, f.coin_type, f"`{f.default_path}`", code(f.chains), code(f.key_formats),
          yes(f.sign_transaction), yes(f.decode), yes(f.broadcast)] for f in vek.families()])


def formats_table():
    """Every family's message formats, the standard (format=None) first."""
    return table(["Family", "Standard format", "Other formats"],
                 [[f.name, f"`{f.message_formats[0]}`", code(f.message_formats[1:])] for f in vek.families()])


BLOCKS = {"families": families_table, "formats": formats_table}


def regenerate(text):
    """`text` with every marked block written afresh."""
    def fill(match):
        name = match.group(2)
        if name not in BLOCKS:
            raise KeyError(f"unknown generated block {name!r} (known: {', '.join(BLOCKS)})")
        return match.group(1) + BLOCKS[name]() + match.group(4)
    return MARKED.sub(fill, text)


def main(argv):
    check = argv[1:] == ["--check"]
    if argv[1:] and not check:
        print(__doc__, file=sys.stderr)
        return 2
    stale = []
    for name in DOCS:
        path = REPO / name
        text = path.read_text(encoding="utf-8")
        fresh = regenerate(text)
        if fresh != text:
            stale.append(name)
            if not check:
                path.write_text(fresh, encoding="utf-8")
    if check and stale:
        print("stale: " + ", ".join(stale) + " (run tools/gen_docs.py)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
