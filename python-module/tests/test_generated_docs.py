"""Documentation generated from the library's own tables is not stale: each generator
regenerates its page into memory and the result must be the page as committed."""
import importlib.util
import pathlib

import pytest

from vek import _vek

REPO = pathlib.Path(__file__).resolve().parents[2]


def tool(name):
    spec = importlib.util.spec_from_file_location(name, REPO / "tools" / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


# (generator in tools/, the rows it renders)
GENERATED = [
    ("gen_errors_doc", _vek.error_codes),
]


@pytest.mark.parametrize("name, rows", GENERATED, ids=[g[0] for g in GENERATED])
def test_generated_section_is_current(name, rows):
    gen = tool(name)
    page = gen.DOC.read_text(encoding="utf-8")
    assert gen.regenerate(page, rows()) == page, f"stale: run python3 tools/{name}.py"
