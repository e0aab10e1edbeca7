"""Every code block of README.md and docs/*.md holds: each ```python block runs, each tool
line of a ```console or ```sh block parses with the tool's own parser (so a removed
flag fails), each ```json block parses, and the README's list of subcommands and
docs/cli.md's tables are the tool's. A block that cannot run here is marked directly above
with `<!-- doc-test: skip (reason) -->`.

Python blocks run in a subprocess of their own (a fresh namespace), with HOME in a
temporary folder (so ~/.vek is a throw-away vault) and a stub `curl` first on PATH, so no
block reaches a public node."""

from __future__ import annotations

import json
import os
import pathlib
import re
import shlex
import subprocess
import sys

import pytest

from vek.cli.core import UsageError
from vek.cli.registry import COMMANDS, build_parser

REPO = pathlib.Path(__file__).resolve().parents[2]
DOCS = [REPO / "README.md", *sorted((REPO / "docs").glob("*.md"))]
SKIP = re.compile(r"<!-- doc-test: skip \((?P<reason>[^)]+)\) -->\s*$")


def blocks(lang: str) -> list:
    """pytest params (file:line, body) of every block of `lang`, skips marked."""
    found = []
    for path in DOCS:
        text = path.read_text(encoding="utf-8")
        for m in re.finditer(r"^```(?P<lang>[a-z]*)\n(?P<body>.*?)^```$", text, re.M | re.S):
            if m.group("lang") not in lang.split("|"):
                continue
            line = text.count("\n", 0, m.start()) + 1
            above = text[: m.start()].rstrip("\n").rsplit("\n", 1)[-1]
            skip = SKIP.search(above)
            marks = [pytest.mark.skip(reason=skip.group("reason"))] if skip else []
            found.append(pytest.param(m.group("body"), id=f"{path.name}:{line}", marks=marks))
    return found


@pytest.fixture
def offline_env(tmp_path, isolated_home):
    stub = tmp_path / "no-network"
    stub.mkdir()
    (stub / "curl").write_text("#!/bin/sh\necho 'curl: (7) no network in documentation tests' >&2\nexit 7\n")
    (stub / "curl").chmod(0o755)
    env = {k: v for k, v in os.environ.items() if not k.startswith("VEK_")}
    env.update(HOME=str(isolated_home), PATH=f"{stub}:{os.environ.get('PATH', '')}")
    return env


@pytest.mark.parametrize("code", blocks("python"))
def test_python_block_runs(code, offline_env, tmp_path):
    p = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=offline_env, capture_output=True, text=True,
                       timeout=300)
    assert p.returncode == 0, p.stderr
    assert "Traceback" not in p.stderr


def tool_lines(body: str) -> list[list[str]]:
    """The `vek ...` command lines of a shell block, as argument lists (prompts, comments,
    redirections and the commands around a pipe or $(...) left out)."""
    lines = []
    for raw in body.splitlines():
        line = raw.strip()
        line = line[2:] if line.startswith("$ ") else line
        inner = re.search(r"\$\((vek [^)]*)\)", line)
        line = inner.group(1) if inner else line
        line = line.split("|")[-1].strip() if re.search(r"\|\s*vek ", line) else line.split(" | ")[0]
        if not line.startswith("vek "):
            continue
        argv: list[str] = []
        words = iter(shlex.split(line, comments=True)[1:])
        for word in words:  # redirections (3<file, < file, 2>&1) are the shell's
            redirect = re.fullmatch(r"\d*[<>]&?(\S*)", word)
            if redirect is None:
                argv.append(word)
            elif not redirect.group(1):
                next(words, None)
        lines.append(argv)
    return lines


@pytest.mark.parametrize("body", blocks("console|sh"))
def test_tool_lines_parse(body):
    lines = tool_lines(body)
    assert lines, "a console or sh block without a vek command line"
    parser = build_parser()
    for argv in lines:
        try:
            args = parser.parse_args(argv)
        except (UsageError, SystemExit) as e:
            pytest.fail(f"vek {shlex.join(argv)}: {e}")
        entry = args.command_entry
        if entry.check is not None:
            entry.check(args)


def test_readme_names_every_subcommand_and_no_other():
    text = (REPO / "README.md").read_text(encoding="utf-8")
    listed = re.search(r"^Subcommands: (.*?)\. Every one", text, re.M | re.S)
    assert listed, "README.md has no 'Subcommands: ...' sentence"
    names = re.findall(r"`([a-z0-9-]+)`", listed.group(1))
    assert len(names) == len(set(names)) and set(names) == set(COMMANDS)


def test_cli_doc_has_a_row_and_a_json_row_per_command():
    text = (REPO / "docs" / "cli.md").read_text(encoding="utf-8")
    commands_table = text.split("## Commands", 1)[1].split("\n\n")[1]
    rows = set(re.findall(r"^\| `([a-z0-9-]+)[ `]", commands_table, re.M))
    json_table = text.split("JSON (`--json`), per command:", 1)[1].split("\n\n")[1]
    json_rows = set(re.findall(r"`([a-z0-9-]+)(?: --\w+)?`", json_table))
    assert set(COMMANDS) - rows == set()
    assert set(COMMANDS) - {"completion"} - json_rows == set()


def test_a_removed_flag_fails_the_parse():
    # The check above only means something if the parser refuses what it does not know.
    with pytest.raises((UsageError, SystemExit)):
        build_parser().parse_args(tool_lines("$ vek list --no-such-flag 3<x.txt | jq .")[0])


@pytest.mark.parametrize("body", blocks("json"))
def test_json_blocks_are_json(body):
    json.loads(body)
