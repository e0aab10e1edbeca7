"""Chains and families as the library reports them (vek.known_chains(), vek.families(),
vek.message_formats()), and the words the tool uses for them in help and messages."""

from __future__ import annotations

from typing import Optional, Sequence

import vek

CHAINS = vek.known_chains()
CHAIN_NAMES = {chain.chain_id: chain.name for chain in CHAINS}
FAMILY_OF = {chain.chain_id: chain.family for chain in CHAINS}
FAMILIES = {family.name: family for family in vek.families()}

# How families and curves are written in sentences (the others: capitalised).
_TITLES = {"evm": "EVM", "ton": "TON", "ed25519": "Ed25519", "secp256k1": "secp256k1"}

# Key formats with a command of their own rather than a choice of import-key.
OWN_COMMAND_KEY_FORMATS = ("keystore",)


def title(name: str) -> str:
    """A family or curve name as written in a sentence: "EVM", "Solana", "Ed25519"."""
    return _TITLES.get(name, name.capitalize())


def joined(words: Sequence[str], last: str = "and") -> str:
    """ "a", "a and b", "a, b and c"."""
    if len(words) < 2:
        return "".join(words)
    return f"{', '.join(words[:-1])} {last} {words[-1]}"


def chain_label(chain_id: str) -> str:
    return CHAIN_NAMES.get(chain_id, chain_id)


def check_chain(chain: str) -> None:
    """Reports an unknown chain with the library's message (the default path of any
    known chain exists)."""
    vek.preset_path("default", chain, 0)


def named_chain(chain: str) -> Optional[vek.Chain]:
    """The named chain `chain` stands for (its name in any letter case, or its CAIP-2
    id); None for the alias "evm" and an EVM chain named only by its id."""
    check_chain(chain)
    lowered = chain.lower()
    return next((c for c in CHAINS if c.name == lowered or c.chain_id == chain), None)


def family_of(chain: str) -> str:
    c = named_chain(chain)
    return c.family if c is not None else "evm"


def family_chain(family: str) -> vek.Chain:
    """The default chain of a family: the chain its accounts are stored for."""
    name = FAMILIES[family].default_chain
    return next(c for c in CHAINS if c.name == name)


def shares_addresses(chain: Optional[vek.Chain], family: str) -> bool:
    """Whether the account the wallet stores for `family` has the same address on
    `chain` (None: an EVM chain named by its id). It does when the chain derives on the
    family's coin type and writes addresses the same way: every EVM and Solana chain,
    and a Cosmos chain of the same coin type and prefix. Other chains derive another
    key (bitcoin-testnet, bitcoin-signet, secret, kava), write another prefix (osmosis,
    celestia), or, for TON, put the network in the address (ton-testnet)."""
    main = family_chain(family)
    if chain is None or chain.chain_id == main.chain_id:
        return True
    if family == "ton":
        return False
    return chain.coin_type == main.coin_type and chain.address_prefix == main.address_prefix


def standard_format(chain: str) -> str:
    """The message format `chain` signs in without --format."""
    return vek.message_formats(chain)[0]


def curve_of(family: str) -> str:
    return FAMILIES[family].curve


def curve_families(curve: str) -> str:
    """The families whose keys are on `curve`, as a sentence: "Solana and TON"."""
    return joined([title(f.name) for f in FAMILIES.values() if f.curve == curve])


def sending_families() -> list[str]:
    return [name for name, f in FAMILIES.items() if f.broadcast]


def decodes(family: str) -> bool:
    """Whether the library decodes the family's transactions for review."""
    return FAMILIES[family].decode


def message_formats_help() -> str:
    """Each family's message formats, standard first: "eip191, eip712 (EVM); ..."."""
    return "; ".join(f"{', '.join(f.message_formats)} ({title(f.name)})" for f in FAMILIES.values())


def import_key_formats() -> list[str]:
    """The key formats import-key reads: hex first, then each family's own."""
    formats = ["hex"]
    for f in FAMILIES.values():
        formats += [k for k in f.key_formats if k not in formats and k not in OWN_COMMAND_KEY_FORMATS]
    return formats


def import_key_formats_help() -> str:
    """ "hex (default, 0x optional), solana-base58 or solana-json (Solana), wif (Bitcoin)"."""
    parts = ["hex (default, 0x optional)"]
    for f in FAMILIES.values():
        own = [k for k in f.key_formats if k != "hex" and k not in OWN_COMMAND_KEY_FORMATS]
        if own:
            parts.append(f"{joined(own, 'or')} ({title(f.name)})")
    return ", ".join(parts)


def chain_examples() -> str:
    """ "ethereum, solana, ...": the default chains of the first families."""
    return ", ".join(f.default_chain for f in list(FAMILIES.values())[:2]) + ", ..."
