"""TEMPORARY stand-in for the family queries of vek._vek (vek.families(),
vek.message_formats(), vek.Family), built from what the module reports today.

vek/__init__.py imports it only while vek._vek lacks `families`; delete this file and
that import once the compiled module provides them.
"""

from __future__ import annotations

from dataclasses import dataclass

from ._vek import known_chains, preset_path

_ORDER = ("evm", "solana", "cosmos", "bitcoin", "tron", "ton")
_CURVE = {"solana": "ed25519", "ton": "ed25519"}
_MESSAGE_FORMATS = {
    "evm": ["eip191", "eip712"],
    "solana": ["raw", "offchain", "offchain_domain"],
    "cosmos": ["adr036", "raw"],
    "bitcoin": ["bip322", "bip137", "raw"],
    "tron": ["tip191", "raw"],
    "ton": ["raw", "ton_proof", "sign_data"],
}
_KEY_FORMATS = {
    "evm": ["hex", "keystore"],
    "solana": ["hex", "solana-base58", "solana-json"],
    "cosmos": ["hex"],
    "bitcoin": ["hex", "wif"],
    "tron": ["hex"],
    "ton": ["hex"],
}
_SENDS = ("evm", "solana")


@dataclass(frozen=True)
class Family:
    """A chain family: its curve, default chain and path, and what the library does for it."""

    name: str
    curve: str
    coin_type: int
    default_path: str
    default_chain: str
    chains: list[str]
    message_formats: list[str]
    key_formats: list[str]
    decode: bool
    build: bool
    broadcast: bool


def families() -> list[Family]:
    """The six families, in the one family order."""
    chains = known_chains()
    out = []
    for name in _ORDER:
        members = [c for c in chains if c.family == name]
        first = members[0]
        out.append(
            Family(
                name=name,
                curve=_CURVE.get(name, "secp256k1"),
                coin_type=first.coin_type,
                default_path=first.default_path(0).replace("/0'", "/{index}'", 1)
                if name in ("solana", "ton")
                else first.default_path(0).rsplit("/", 1)[0] + "/{index}",
                default_chain=first.name,
                chains=[c.name for c in members],
                message_formats=list(_MESSAGE_FORMATS[name]),
                key_formats=list(_KEY_FORMATS[name]),
                decode=name in _SENDS,
                build=False,
                broadcast=name in _SENDS,
            )
        )
    return out


def message_formats(chain: str) -> list[str]:
    """The message formats of `chain`'s family, standard first (InvalidInputError for an
    unknown chain)."""
    preset_path("default", chain, 0)
    lowered = chain.lower()
    family = next((c.family for c in known_chains() if c.name == lowered or c.chain_id == chain), "evm")
    return list(_MESSAGE_FORMATS[family])
