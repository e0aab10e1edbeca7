"""Shell completion: completion."""

from __future__ import annotations

import argparse
import sys

from .core import PROG, Output, State
from .prompts import SecretReader
from .registry import arg, build_parser, command


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


@command(
    "completion",
    "print a shell completion script (bash, zsh or fish)",
    arg("shell", choices=("bash", "zsh", "fish")),
)
def completion(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    sys.stdout.write(completion_script(args.shell, build_parser()))
    sys.stdout.flush()
