"""Before moving a phrase protected by a BIP-39 passphrase into vek, check that vek derives
the accounts another wallet shows for it: here the other wallet is bip-utils.

    python3 examples/import_check.py              # a new phrase and a non-ASCII passphrase
    VEK_CHECK_MNEMONIC="..." VEK_CHECK_BIP39="..." python3 examples/import_check.py

For every family it derives the first account with vek (`Session.from_mnemonic`, no vault
and nothing written) and with bip-utils, and compares the addresses (TON: the public key,
since bip-utils writes another TON wallet contract's address). It then imports the phrase
into a throw-away vault and checks that the stored accounts are the same, and that the
passphrase typed in another Unicode normalisation gives the same wallet (BIP-39 hashes
its NFKD form). bip-utils is an independent oracle used by this example only; vek does
not need it (`pip install bip-utils`).
"""

from __future__ import annotations

import os
import sys
import tempfile
import unicodedata

from bip_utils import (  # type: ignore[import-untyped]
    Bip39SeedGenerator, Bip44, Bip44Changes, Bip44Coins, Bip84, Bip84Coins,
)

import vek

# Umlauts, a ligature and a full-width digit: NFKD changes all three.
DEFAULT_BIP39_PASSPHRASE = "Grüße aus Köln ﬁ１"


def reference_accounts(mnemonic: str, bip39_passphrase: str) -> dict[str, str]:
    """{chain: address} of the first account of each family, by bip-utils (TON: public key)."""
    seed = Bip39SeedGenerator(mnemonic).Generate(bip39_passphrase)
    first = Bip44Changes.CHAIN_EXT
    ethereum = Bip44.FromSeed(seed, Bip44Coins.ETHEREUM).Purpose().Coin().Account(0).Change(first).AddressIndex(0)
    solana = Bip44.FromSeed(seed, Bip44Coins.SOLANA).Purpose().Coin().Account(0).Change(first)
    bitcoin = Bip84.FromSeed(seed, Bip84Coins.BITCOIN).Purpose().Coin().Account(0).Change(first).AddressIndex(0)
    cosmos = Bip44.FromSeed(seed, Bip44Coins.COSMOS).Purpose().Coin().Account(0).Change(first).AddressIndex(0)
    tron = Bip44.FromSeed(seed, Bip44Coins.TRON).Purpose().Coin().Account(0).Change(first).AddressIndex(0)
    ton = Bip44.FromSeed(seed, Bip44Coins.TON).Purpose().Coin().Account(0)  # m/44'/607'/0'
    return {
        "ethereum": ethereum.PublicKey().ToAddress(),
        "solana": solana.PublicKey().ToAddress(),
        "bitcoin": bitcoin.PublicKey().ToAddress(),
        "cosmos": cosmos.PublicKey().ToAddress(),
        "tron": tron.PublicKey().ToAddress(),
        "ton": ton.PublicKey().RawCompressed().ToHex()[2:],  # without Ed25519's 00 prefix
    }


def vek_accounts(session: vek.Session) -> dict[str, str]:
    """The same, from a vek session: addresses, and TON's public key."""
    found = {chain: session.address(chain) for chain in ("ethereum", "solana", "bitcoin", "cosmos", "tron")}
    found["ton"] = session.public_key("ton")
    return found


def check(mnemonic: str, bip39_passphrase: str) -> list[str]:
    """The differences found; empty when vek and bip-utils agree everywhere."""
    problems = []
    expected = reference_accounts(mnemonic, bip39_passphrase)
    with vek.Session.from_mnemonic(mnemonic, bip39_passphrase=bip39_passphrase) as session:
        derived = vek_accounts(session)
    for chain, want in expected.items():
        status = "ok" if derived[chain] == want else "DIFFERS"
        print(f"{chain:9} {status:7} vek {derived[chain]}  bip-utils {want}")
        if derived[chain] != want:
            problems.append(chain)

    with tempfile.TemporaryDirectory() as folder:
        vault = vek.Vault(folder)
        wallet = vault.import_mnemonic("checked", mnemonic, passphrase="", bip39_passphrase=bip39_passphrase)
        stored = {a.family: a.address for a in wallet.accounts}
        for family in vek.families():
            chain = family.default_chain
            if chain != "ton" and stored.get(family.name) != expected[chain]:
                problems.append(f"stored {chain}")
        # The same passphrase typed as composed characters (NFC) opens the same accounts.
        composed = unicodedata.normalize("NFC", bip39_passphrase)
        with vault.unlock("checked", "", bip39_passphrase=composed) as session:
            if session.address("ethereum") != expected["ethereum"]:
                problems.append("NFC form")
        try:
            vault.unlock("checked", "", bip39_passphrase=bip39_passphrase + " ")
            problems.append("a wrong BIP-39 passphrase was taken")
        except vek.WrongBip39PassphraseError:
            print("a wrong BIP-39 passphrase is refused")
    return problems


def main() -> int:
    mnemonic = os.environ.get("VEK_CHECK_MNEMONIC") or vek.generate_mnemonic(24)
    bip39_passphrase = os.environ.get("VEK_CHECK_BIP39", DEFAULT_BIP39_PASSPHRASE)
    problems = check(mnemonic, bip39_passphrase)
    if problems:
        print("vek and bip-utils disagree on: " + ", ".join(problems), file=sys.stderr)
        return 1
    print("vek derives the accounts bip-utils derives, for every family")
    return 0


if __name__ == "__main__":
    sys.exit(main())
