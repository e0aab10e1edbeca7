#!/usr/bin/env python3
"""Rewrites the table of error codes in docs/errors.md from the library's own table.

The rows come from vek._vek.error_codes() (the table in core-model/src/error.cpp), so run
it with the Python that has the built package:

    python3 tools/gen_errors_doc.py           # rewrite docs/errors.md
    python3 tools/gen_errors_doc.py --check   # exit 1 when docs/errors.md is stale

Only the lines between the two marker comments are generated; the rest of the page is
written by hand.
"""
from __future__ import annotations

import pathlib
import sys

DOC = pathlib.Path(__file__).resolve().parents[1] / "docs" / "errors.md"
BEGIN = "<!-- BEGIN GENERATED: error codes (tools/gen_errors_doc.py) -->"
END = "<!-- END GENERATED: error codes -->"


def cell(text: str) -> str:
    return text.replace("|", "\\|").replace("\n", " ")


def render(rows: list[tuple[str, str, str, str]]) -> str:
    lines = [
        "| Code | Message | Exception (`vek`) | Meaning |",
        "|------|---------|-------------------|---------|",
    ]
    for name, fmt, error_class, description in rows:
        lines.append(f"| `{name}` | {cell(fmt)} | `{error_class}` | {cell(description)} |")
    return "\n".join(lines) + "\n"


def regenerate(page: str, rows: list[tuple[str, str, str, str]]) -> str:
    """`page` with the text between the markers replaced by the table of `rows`."""
    start = page.index(BEGIN) + len(BEGIN)
    end = page.index(END, start)
    return page[:start] + "\n" + render(rows) + page[end:]


def main(argv: list[str]) -> int:
    from vek import _vek

    page = DOC.read_text(encoding="utf-8")
    fresh = regenerate(page, _vek.error_codes())
    if "--check" in argv:
        if fresh != page:
            print(f"{DOC} is stale: run python3 tools/gen_errors_doc.py", file=sys.stderr)
            return 1
        return 0
    if fresh != page:
        DOC.write_text(fresh, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
