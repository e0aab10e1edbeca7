"""The shape limits of the product code: no source file above 600 lines and no function
above 80, measured over the files git tracks (tests, fuzz targets and data excluded)."""

import pathlib
import subprocess

import lizard
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80
SOURCE_SUFFIXES = {".cpp", ".h", ".hpp", ".py", ".pyi", ".sh"}
# The BIP-39 English word list: data compiled in, not code. The application module's stub
# is nanobind.stubgen's output (test_api checks that it is current), not written by hand.
DATA_FILES = {"crates/vek-signer/src/bip39_english.inc", "python-module/vek/_vek.pyi"}


def _is_test(path: str) -> bool:
    parts = path.split("/")
    name = parts[-1]
    return (
        "tests" in parts
        or "fuzz" in parts
        or name.endswith("_test.cpp")
        or name.startswith("test_")
        or name == "conftest.py"
    )


def product_files():
    try:
        listed = subprocess.run(
            ["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True
        ).stdout.split()
    except (OSError, subprocess.CalledProcessError):
        pytest.skip("not a git checkout")
    return [
        p
        for p in listed
        if pathlib.PurePath(p).suffix in SOURCE_SUFFIXES and not _is_test(p) and p not in DATA_FILES
    ]


def test_no_product_file_is_longer_than_the_limit():
    long_files = {}
    for path in product_files():
        lines = (ROOT / path).read_text(encoding="utf-8").count("\n")
        if lines > MAX_FILE_LINES:
            long_files[path] = lines
    assert long_files == {}


def test_no_product_function_is_longer_than_the_limit():
    long_functions = {}
    for path in product_files():
        if not path.endswith((".cpp", ".h", ".hpp", ".py")):
            continue
        info = lizard.analyze_file.analyze_source_code(path, (ROOT / path).read_text(encoding="utf-8"))
        for fn in info.function_list:
            if fn.length > MAX_FUNCTION_LINES:
                long_functions[f"{path}:{fn.start_line} {fn.name}"] = fn.length
    assert long_functions == {}
