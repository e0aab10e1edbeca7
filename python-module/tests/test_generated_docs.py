"""The documentation's generated parts match what the installed vek says now: each
(file, generator) pair regenerates the file in memory, and a difference means the file
is stale (run the generator's script)."""
import importlib.util
import pathlib

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]


def load_tool(name):
    path = REPO / "tools" / f"{name}.py"
    if not path.is_file():
        pytest.skip(f"{path} is not in this checkout")
    found = importlib.util.spec_from_file_location(f"vek_tools_{name}", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def generated_files():
    """(file relative to the repository, function from its text to the regenerated text)."""
    gen_docs = load_tool("gen_docs")
    return [(name, gen_docs.regenerate) for name in gen_docs.DOCS]


def test_generated_parts_are_current():
    stale = []
    for name, regenerate in generated_files():
        text = (REPO / name).read_text(encoding="utf-8")
        if regenerate(text) != text:
            stale.append(name)
    assert not stale, f"stale generated documentation: {stale}; regenerate it with tools/gen_docs.py"


def test_every_listed_file_has_a_generated_part_and_a_stale_one_is_caught():
    gen_docs = load_tool("gen_docs")
    for name, regenerate in generated_files():
        text = (REPO / name).read_text(encoding="utf-8")
        assert "<!-- generated: " in text, name
        # A family dropped from a table (or any edit between the markers) is noticed.
        tampered = text.replace("| ton |", "| toon |", 1)
        assert tampered != text, name
        assert regenerate(tampered) == text, name
    with pytest.raises(KeyError, match="unknown generated block 'nope'"):
        gen_docs.regenerate("<!-- generated: nope -->\n<!-- end generated -->")


def test_error_codes_section_is_current():
    from vek import _vek

    gen = load_tool("gen_errors_doc")
    page = gen.DOC.read_text(encoding="utf-8")
    assert gen.regenerate(page, _vek.error_codes()) == page, "stale: run python3 tools/gen_errors_doc.py"
