"""Quick start: a wallet in a throw-away vault, its accounts, a signature and a backup.

Run with `python3 examples/quickstart.py`; it writes only to a temporary directory.
"""
from __future__ import annotations

import tempfile
from typing import TYPE_CHECKING

from vek import _native

if TYPE_CHECKING:
    from vek._native import SignatureDict, WalletDict


def describe(wallet: WalletDict) -> str:
    lines = [f"{wallet['name']} ({wallet['id']}), created {wallet['created_at']}"]
    for account in wallet["accounts"]:
        lines.append(f"  {account['chain_id']:<42} {account['address']}")
    return "\n".join(lines)


def main() -> None:
    with tempfile.TemporaryDirectory() as vault:
        passphrase = "correct horse battery staple"
        wallet = _native.create_wallet("main", passphrase, vault_path_opt=vault)
        print(describe(wallet))

        signed: SignatureDict = _native.sign_message(
            "main", "ethereum", "I own this address", passphrase, vault_path_opt=vault
        )
        print("EIP-191 signature:", signed["signature"], "v =", signed["recovery_id"])

        try:
            _native.export_wallet("main", "wrong passphrase", vault)
        except RuntimeError as e:
            print("Wrong passphrase:", e)

        phrase = _native.export_wallet("main", passphrase, vault)
        evm_address = _native.derive_address(phrase, "ethereum")
        assert evm_address == wallet["accounts"][0]["address"]
        print("The exported phrase derives", evm_address)


if __name__ == "__main__":
    main()
