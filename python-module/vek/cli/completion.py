"""Shell completion: completion."""

from __future__ import annotations

import argparse
import sys
from typing import NamedTuple

from .chains import CHAINS
from .common import open_vault
from .core import PROG, Output, State, UsageError
from .prompts import SecretReader
from .registry import arg, build_parser, command

# The positional arguments whose values the scripts complete: by the name the commands give them.
NAMED_POSITIONALS = ("wallet", "chain")


class Words(NamedTuple):
    """What the completion scripts are made from, read from the parser itself."""

    top: list[str]  # the global options
    commands: dict[str, list[str]]  # each command's options
    helps: dict[str, str]  # each command's help
    positionals: dict[str, list[str]]  # each command's positionals: wallet, chain or "-"
    valued: list[str]  # the options that take a value (their value is not a positional)


def completion_words(parser: argparse.ArgumentParser) -> Words:
    top = [s for a in parser._actions for s in a.option_strings if s.startswith("--")]
    valued = {s for a in parser._actions if a.nargs != 0 for s in a.option_strings}
    commands: dict[str, list[str]] = {}
    helps: dict[str, str] = {}
    positionals: dict[str, list[str]] = {}
    for action in parser._actions:
        if isinstance(action, argparse._SubParsersAction):
            for choice in action._choices_actions:
                helps[choice.dest] = choice.help or ""
            for name, sub in action.choices.items():
                shown = [a for a in sub._actions if a.help != argparse.SUPPRESS]
                commands[name] = sorted({s for a in shown for s in a.option_strings if s.startswith("--")})
                valued |= {s for a in sub._actions if a.option_strings and a.nargs != 0 for s in a.option_strings}
                positionals[name] = [
                    a.dest if a.dest in NAMED_POSITIONALS else "-" for a in sub._actions if not a.option_strings
                ]
    return Words(top, commands, helps, positionals, sorted(valued - {"-h", "--help", "--version"}))


def chain_names() -> list[str]:
    return [c.name for c in CHAINS]


def bash_script(shell: str, w: Words) -> str:
    names = " ".join(w.commands)
    cases = "\n".join(
        f"    {name}) opts=\"{' '.join(opts)}\"; pos=({' '.join(w.positionals[name]) or '-'}) ;;"
        for name, opts in w.commands.items()
    )
    script = f"""# {PROG} completion for {shell}: eval "$({PROG} completion {shell})"
_{PROG}_complete() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}} cmd="" opts="" kind="" word i n=0
  local valued=" {' '.join(w.valued)} " chains="{' '.join(chain_names())}"
  local -a pos=() vault=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${{COMP_WORDS[i]}}
    if [[ $valued == *" $word "* ]]; then
      [[ $word == --vault ]] && vault=(--vault "${{COMP_WORDS[i+1]}}")
      ((i++))
    elif [[ $word != -* ]]; then
      if [[ -z $cmd ]]; then cmd=$word; else ((n++)); fi
    fi
  done
  case $cmd in
    "") opts="{' '.join(w.top)} {names}" ;;
{cases}
  esac
  case $prev in
    --chain) kind=chain ;;
    --wallet) kind=wallet ;;
    *) [[ $valued == *" $prev "* ]] && return 0 ;;
  esac
  if [[ -z $kind && -n $cmd && $cur != -* ]]; then kind=${{pos[n]}}; fi
  case $kind in
    chain) COMPREPLY=($(compgen -W "$chains" -- "$cur")) ;;
    wallet)
      local IFS=$'\\n'
      COMPREPLY=($(compgen -W "$({PROG} "${{vault[@]}}" completion --names wallets 2>/dev/null)" -- "$cur")) ;;
    -) ;;
    *) COMPREPLY=($(compgen -W "$opts" -- "$cur")) ;;
  esac
}}
"""
    if shell == "zsh":
        script += "autoload -U +X bashcompinit && bashcompinit\n"
    return script + f"complete -o default -F _{PROG}_complete {PROG}\n"


def fish_script(w: Words) -> str:
    lines = [
        f"# {PROG} completion for fish: {PROG} completion fish | source",
        f"function __{PROG}_wallets",
        "    set -l words (commandline -opc)",
        "    set -l i (contains -i -- --vault $words)",
        "    and set -l vault --vault $words[(math $i + 1)]",
        f"    {PROG} $vault completion --names wallets 2>/dev/null",
        "end",
        f"complete -c {PROG} -f",
    ]
    valued = set(w.valued)
    for opt in w.top:
        lines.append(f"complete -c {PROG} -n __fish_use_subcommand -l {opt[2:]}" + (" -r -F" if opt in valued else ""))
    for name in w.commands:
        desc = w.helps.get(name, "").replace("'", "")
        lines.append(f"complete -c {PROG} -n __fish_use_subcommand -a {name} -d '{desc}'")
    chains = " ".join(chain_names())
    for name, opts in w.commands.items():
        seen = f"-n '__fish_seen_subcommand_from {name}'"
        for opt in opts:
            value = {"--chain": f" -x -a '{chains}'", "--wallet": f" -x -a '(__{PROG}_wallets)'"}.get(opt, "")
            lines.append(f"complete -c {PROG} {seen} -l {opt[2:]}" + (value or (" -r -F" if opt in valued else "")))
        if "wallet" in w.positionals[name]:
            lines.append(f"complete -c {PROG} {seen} -a '(__{PROG}_wallets)'")
        if "chain" in w.positionals[name]:
            lines.append(f"complete -c {PROG} {seen} -a '{chains}'")
    return "\n".join(lines) + "\n"


def completion_script(shell: str, parser: argparse.ArgumentParser) -> str:
    words = completion_words(parser)
    return fish_script(words) if shell == "fish" else bash_script(shell, words)


@command(
    "completion",
    "print a shell completion script (bash, zsh or fish)",
    arg("shell", nargs="?", choices=("bash", "zsh", "fish")),
    # What the scripts run: the names of the vault's wallets, or of the chains, a line each.
    arg("--names", choices=("wallets", "chains"), help=argparse.SUPPRESS),
)
def completion(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    if args.names == "wallets":
        vault = open_vault(args, must_exist=False)
        names = [w.name for w in vault.wallets()] if vault.path.is_dir() else []
    elif args.names == "chains":
        names = chain_names()
    elif args.shell is None:
        raise UsageError("the following arguments are required: shell (see 'vek completion --help')")
    else:
        sys.stdout.write(completion_script(args.shell, build_parser()))
        sys.stdout.flush()
        return
    sys.stdout.write("".join(f"{n}\n" for n in names if "\n" not in n))
    sys.stdout.flush()
