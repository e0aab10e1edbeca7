"""The type information shipped with the package: the stub matches the compiled
module, the typed dictionaries match real results, and the documented examples
pass mypy --strict."""
import __future__
import ast
import importlib.metadata
import importlib.util
import inspect
import os
import pathlib
import re
import subprocess
import sys

import pytest

import vek
from vek import _native

REPO = pathlib.Path(__file__).resolve().parents[2]
STUB = REPO / "python-module" / "vek" / "_native.pyi"


def stub_tree():
    return ast.parse(STUB.read_text(encoding="utf-8"), filename=str(STUB))


def stub_functions():
    """{name: inspect.Signature} of the module-level functions in the stub."""
    out = {}
    for node in stub_tree().body:
        if not isinstance(node, ast.FunctionDef):
            continue
        a = node.args
        assert not a.posonlyargs and not a.kwonlyargs and a.vararg is None and a.kwarg is None, node.name
        defaults = [inspect.Parameter.empty] * (len(a.args) - len(a.defaults)) + [
            ast.literal_eval(d) for d in a.defaults
        ]
        params = [
            inspect.Parameter(arg.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD, default=d)
            for arg, d in zip(a.args, defaults)
        ]
        out[node.name] = (inspect.Signature(params), ast.get_docstring(node) or "")
    return out


def stub_namespace():
    """The stub executed as Python (annotations left unevaluated), for its TypedDicts."""
    ns = {}
    code = compile(STUB.read_text(encoding="utf-8"), str(STUB), "exec", flags=__future__.annotations.compiler_flag)
    exec(code, ns)
    return ns


def test_stub_declares_exactly_the_module_functions():
    assert sorted(stub_functions()) == sorted(_native.__all__)


@pytest.mark.parametrize("name", _native.__all__)
def test_stub_signature_matches_runtime(name):
    stub_sig, doc = stub_functions()[name]
    runtime = inspect.signature(getattr(_native, name))
    assert [(p.name, p.kind, p.default) for p in stub_sig.parameters.values()] == [
        (p.name, p.kind, p.default) for p in runtime.parameters.values()
    ]
    # Every docstring starts with the runtime description and names what it raises.
    assert doc.startswith(getattr(_native, name).__doc__)
    assert "Raises:" in doc


def test_stub_files_are_installed_with_the_package():
    installed = pathlib.Path(vek.__file__).parent
    assert (installed / "py.typed").is_file()
    assert (installed / "_native.pyi").read_bytes() == STUB.read_bytes()


def test_version_matches_the_distribution():
    assert vek.__version__ == importlib.metadata.version("vek-wallet")


def test_typed_dicts_match_real_results(tmp_path):
    ns = stub_namespace()
    vault = str(tmp_path / "vault")
    w = _native.create_wallet("typed", None, None, vault)
    assert list(w) == list(ns["WalletDict"].__annotations__)
    assert list(w["accounts"][0]) == list(ns["AccountDict"].__annotations__)
    assert _native.list_wallets(vault) == [w]
    sig = _native.sign_message(w["id"], "solana", "hi", None, None, None, vault)
    assert list(sig) == list(ns["SignatureDict"].__annotations__)
    assert sig["recovery_id"] is None
    # The broadcast dictionary has a single key; its name is checked through the CLI
    # tests that send to a local node.
    assert list(ns["BroadcastDict"].__annotations__) == ["tx_hash"]


# ---------------------------------------------------------------- mypy --strict


def python_blocks(markdown_path):
    text = markdown_path.read_text(encoding="utf-8")
    return re.findall(r"^```python\n(.*?)^```", text, flags=re.S | re.M)


def documented_examples():
    docs = [REPO / "README.md"] + sorted((REPO / "docs").glob("*.md"))
    return [(p, i, block) for p in docs if p.exists() for i, block in enumerate(python_blocks(p))]


def run_mypy(paths, cwd, cache):
    return subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--cache-dir", str(cache), *map(str, paths)],
        cwd=cwd,
        capture_output=True,
        text=True,
        timeout=600,
    )


needs_mypy = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")


def test_readme_has_typed_examples():
    assert documented_examples(), "README.md and docs/ should show Python examples"


@needs_mypy
def test_examples_and_documented_code_pass_mypy_strict(tmp_path):
    files = sorted((REPO / "examples").glob("*.py"))
    for path, i, block in documented_examples():
        f = tmp_path / f"{path.stem.replace('-', '_')}_block{i}.py"
        f.write_text(block, encoding="utf-8")
        files.append(f)
    # Run outside the source tree, so `vek` resolves to the installed package and its stub.
    result = run_mypy(files, tmp_path, tmp_path / "cache")
    assert result.returncode == 0, result.stdout + result.stderr


def test_quickstart_example_runs(tmp_path):
    # It checks itself: the exported phrase must derive the created wallet's address.
    env = {"PATH": os.environ.get("PATH", ""), "HOME": str(tmp_path)}
    p = subprocess.run([sys.executable, str(REPO / "examples" / "quickstart.py")], capture_output=True, text=True,
                       env=env, cwd=tmp_path, timeout=300)
    assert p.returncode == 0, p.stderr
    assert "Wrong passphrase: decryption failed: aead::Error" in p.stdout
    assert not (tmp_path / ".vek").exists()  # it used a throw-away vault


@needs_mypy
def test_cli_passes_mypy_strict(tmp_path):
    result = run_mypy([REPO / "python-module" / "vek" / "cli"], REPO, tmp_path / "cache")
    assert result.returncode == 0, result.stdout + result.stderr


TYPING_PROGRAM = REPO / "python-module" / "tests" / "typing" / "every_call.py"


def test_typing_program_uses_every_public_name():
    tree = ast.parse((REPO / "python-module" / "vek" / "_vek.pyi").read_text(encoding="utf-8"))
    names = set(vek.__all__) | set(_native.__all__)
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        if isinstance(node, ast.ClassDef):
            names |= {n.name for n in node.body if isinstance(n, ast.FunctionDef) and not n.name.startswith("_")}
    used = set(re.findall(r"\.(\w+)", TYPING_PROGRAM.read_text(encoding="utf-8")))
    assert sorted(names - used) == [], "call them in " + str(TYPING_PROGRAM)


@needs_mypy
def test_a_program_using_every_method_passes_mypy_strict(tmp_path):
    program = tmp_path / TYPING_PROGRAM.name
    program.write_bytes(TYPING_PROGRAM.read_bytes())
    result = run_mypy([program], tmp_path, tmp_path / "cache")
    assert result.returncode == 0, result.stdout + result.stderr


@needs_mypy
def test_mypy_rejects_a_misuse_of_the_stub(tmp_path):
    # The check above only means something if the stub is actually used.
    bad = tmp_path / "bad.py"
    bad.write_text(
        "from vek import _native\n"
        "w = _native.get_wallet('x')\n"
        "n: int = w['name']\n"
        "_native.create_wallet('x', words='12')\n"
        "import vek\n"
        "nonce: str | None = vek.decode_transaction('ethereum', '').nonce\n"
        "vek.Vault(1)\n",
        encoding="utf-8",
    )
    result = run_mypy([bad], tmp_path, tmp_path / "cache")
    assert result.returncode == 1
    assert 'expression has type "int | None", variable has type "str | None"' in result.stdout
    assert 'Argument 1 to "Vault" has incompatible type "int"' in result.stdout
    assert 'Incompatible types in assignment (expression has type "str", variable has type "int")' in result.stdout
    assert 'Argument "words" to "create_wallet" has incompatible type "str"' in result.stdout
