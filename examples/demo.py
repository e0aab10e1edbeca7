"""The main job of vek, end to end, in a temporary vault.

Creates a wallet, shows its six addresses, signs a message on each chain, and exports
the recovery phrase again with the passphrase. Nothing touches ~/.vek.
"""
import tempfile

from vek import _native

CHAINS = ["ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"]


def main() -> None:
    with tempfile.TemporaryDirectory(prefix="vek-demo-") as vault:
        wallet = _native.create_wallet("demo", passphrase="correct horse", vault_path_opt=vault)
        print(f"Created wallet {wallet['name']!r} ({wallet['id']}) at {wallet['created_at']}")
        print("Accounts:")
        for account in wallet["accounts"]:
            print(f"  {account['chain_id']:<42} {account['address']}  ({account['derivation_path']})")

        print("Signatures of 'hello from vek':")
        for chain in CHAINS:
            signed = _native.sign_message("demo", chain, "hello from vek", "correct horse", vault_path_opt=vault)
            rid = signed["recovery_id"]
            print(f"  {chain:<9} {signed['signature'][:32]}...  recovery id {rid if rid is not None else '-'}")

        phrase = _native.export_wallet("demo", "correct horse", vault)
        print(f"Recovery phrase, exported with the passphrase: {len(phrase.split())} words")
        print(f"  {phrase}")


if __name__ == "__main__":
    main()
