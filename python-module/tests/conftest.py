import os
import pathlib

import pytest


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
