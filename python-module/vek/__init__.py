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
    InvalidInputError,
    JsonError,
    MnemonicError,
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
    decode_transaction,
    derive_address,
    known_chains,
    preset_path,
    recover_address,
    rpc_endpoint,
    verify_message,
    verify_typed_data,
)

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
    "InvalidInputError",
    "JsonError",
    "MnemonicError",
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
    "decode_transaction",
    "derive_address",
    "preset_path",
    "_native",
    "known_chains",
    "recover_address",
    "rpc_endpoint",
    "verify_message",
    "verify_typed_data",
    "__version__",
]
