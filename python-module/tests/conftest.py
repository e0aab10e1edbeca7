import os
import pathlib

import pytest

# The test vectors, kept once beside the signer tests.
VECTORS_DIR = pathlib.Path(__file__).resolve().parents[2] / "crates" / "vek-signer" / "tests" / "vectors"


@pytest.fixture
def vault(tmp_path):
    """A fresh, empty vault directory for one test, as a str."""
    return str(tmp_path / "vault")


@pytest.fixture(autouse=True)
def isolated_home(tmp_path, monkeypatch):
    """Keep every test away from the real ~/.vek: HOME points at a temporary folder."""
    home = tmp_path / "home"
    home.mkdir()
    monkeypatch.setenv("HOME", str(home))
    return home


def wallet_files(vault_path):
    """{file name: bytes} of everything in a vault's wallets folder."""
    d = pathlib.Path(vault_path) / "wallets"
    if not d.exists():
        return {}
    return {p.name: p.read_bytes() for p in sorted(d.iterdir())}


def raises(exc, message, fn, *args, **kwargs):
    """Calls fn and checks it raises exactly `exc` (not a subclass) with exactly `message`."""
    with pytest.raises(exc) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc
    assert str(info.value) == message
    return info.value
