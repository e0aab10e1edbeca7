"""vek: a local, non-custodial, multi-chain wallet core.

Applications use `Vault` and `Session` (unlock a wallet once, sign many times, without
holding the interpreter lock while keys are derived or used); every failure is a
`VekError` subclass. `vek._native` keeps the thirteen plain functions.
"""

from . import _native
from ._vek import (
    Account,
    AmbiguousWalletError,
    BroadcastError,
    Chain,
    CryptoError,
    DecodedTransaction,
    DerivationError,
    Endpoint,
    Family,
    InternalError,
    InvalidInputError,
    JsonError,
    MnemonicError,
    OutOfMemoryError,
    Session,
    SessionClosedError,
    Signature,
    SignedTransaction,
    SignerError,
    Vault,
    VaultError,
    VekError,
    Wallet,
    WalletNameExistsError,
    WalletNotFoundError,
    WrongPassphraseError,
    broadcast,
    decode_transaction,
    derive_address,
    families,
    generate_mnemonic,
    known_chains,
    message_formats,
    mnemonic_words,
    preset_path,
    recover_address,
    rpc_endpoint,
    verify_message,
    verify_typed_data,
)

# TEMPORARY: the family queries come from a Python stand-in until vek._vek provides them
# (delete vek/_queries_dev.py and this block then, importing the three names from ._vek
# with the others; they join __all__ with them).
import typing as _typing

from . import _vek

if _typing.TYPE_CHECKING or not hasattr(_vek, "families"):
    from ._queries_dev import Family as Family, families as families, message_formats as message_formats
else:
    from ._vek import Family as Family, families as families, message_formats as message_formats

__version__ = "0.1.0"

__all__ = [
    "Account",
    "AmbiguousWalletError",
    "BroadcastError",
    "Chain",
    "CryptoError",
    "DecodedTransaction",
    "DerivationError",
    "Endpoint",
    "Family",
    "InternalError",
    "InvalidInputError",
    "JsonError",
    "MnemonicError",
    "OutOfMemoryError",
    "Session",
    "SessionClosedError",
    "Signature",
    "SignedTransaction",
    "SignerError",
    "Vault",
    "VaultError",
    "VekError",
    "Wallet",
    "WalletNameExistsError",
    "WalletNotFoundError",
    "WrongPassphraseError",
    "broadcast",
    "decode_transaction",
    "derive_address",
    "families",
    "generate_mnemonic",
    "mnemonic_words",
    "preset_path",
    "_native",
    "known_chains",
    "message_formats",
    "recover_address",
    "rpc_endpoint",
    "verify_message",
    "verify_typed_data",
    "__version__",
]
