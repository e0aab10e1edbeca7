"""Type information for ``vek._native``, the compiled core of vek.

Every function runs to completion on the calling thread and holds the interpreter
lock for its whole duration, including the scrypt key derivation (about a quarter
of a GiB of memory, and about 0.6 s on an idle machine, over a second under load)
and the network request of ``sign_and_send``.

Every function raises, besides the errors listed in its docstring:

- ``TypeError`` for a wrong number or name of arguments, or an argument of the wrong
  type ("argument '{parameter}': '{type}' object cannot be converted to 'PyString'"
  for a text parameter);
- ``OverflowError`` "out of range integral type conversion attempted" for an integer
  argument outside 0 to 4294967295;
- ``UnicodeEncodeError`` for a ``str`` that cannot be encoded as UTF-8;
- ``PanicException`` (derived from ``BaseException``, not from ``Exception``) for an
  internal fault of the native code. The class is created at the first panic, so it
  is not an attribute of this module before: catch ``BaseException`` and test
  ``type(e).__name__ == "PanicException"``.

Operation errors are ``RuntimeError`` with a one-line message; docs/errors.md lists
every message.

The ``TypedDict`` classes below describe the dictionaries the functions return. They
exist for type checkers only: import them under ``typing.TYPE_CHECKING``.
"""

from typing import TypedDict

__all__: list[str]

class AccountDict(TypedDict):
    """One account of a wallet: keys in this order."""

    chain_id: str
    """CAIP-2 chain id, for example "eip155:1"."""
    address: str
    """The address in the chain's own text form."""
    derivation_path: str
    """The HD path the key was derived with; "" for a private-key wallet."""

class WalletDict(TypedDict):
    """The public view of a wallet (no secret, nothing encrypted): keys in this order."""

    id: str
    """The wallet id: a version-4 UUID, lower case, 36 characters."""
    name: str
    """The wallet's current name."""
    accounts: list[AccountDict]
    """Six accounts: evm, solana, bitcoin, cosmos, tron, ton, in this order."""
    created_at: str
    """RFC 3339 UTC creation time with the offset "+00:00"."""

class SignatureDict(TypedDict):
    """The result of ``sign_message`` and ``sign_transaction``."""

    signature: str
    """The signature in lower-case hex without "0x"."""
    recovery_id: int | None
    """The public-key recovery value for the secp256k1 chains; None for Solana and TON."""

class BroadcastDict(TypedDict):
    """The result of ``sign_and_send``."""

    tx_hash: str
    """The transaction hash exactly as the node returned it."""

def generate_mnemonic(words: int = 12) -> str:
    """Generate a new BIP-39 mnemonic phrase.

    Returns 12 (or, with ``words=24``, 24) lower-case English words separated by
    single spaces. Nothing is stored.

    Raises:
        RuntimeError: "invalid input: words must be 12 or 24".
        TypeError: "argument 'words': ..." for ``None`` or a non-integer.
    """

def derive_address(mnemonic: str, chain: str, index: int | None = None) -> str:
    """Derive an address from a mnemonic for the given chain.

    ``chain`` is a chain name (case-insensitive: ethereum, evm, polygon, arbitrum,
    optimism, base, bsc, avalanche, solana, bitcoin, cosmos, tron, ton) or a CAIP-2
    id (case-sensitive). ``index`` is the account index (default 0). The vault is
    not touched.

    Raises:
        RuntimeError: "invalid input: unknown chain: '{chain}'. Use a chain name
            (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)";
            "invalid mnemonic phrase: ..."; "invalid derivation path: index out of
            range in component '{component}' of path '{path}': must be below
            2147483648" for an index of 2^31 or more.
    """

def create_wallet(
    name: str,
    passphrase: str | None = None,
    words: int | None = None,
    vault_path_opt: str | None = None,
) -> WalletDict:
    """Create a new universal wallet (derives addresses for all chains).

    Generates a 12-word (or 24-word) phrase, derives one account per chain family
    at index 0, encrypts the phrase under ``passphrase`` (default "") and writes the
    wallet file. The phrase is not returned: use ``export_wallet`` to back it up.

    Raises:
        RuntimeError: "invalid input: words must be 12 or 24";
            "wallet name already exists: '{name}'"; "I/O error: ..."; "JSON error: ...".
    """

def import_wallet_mnemonic(
    name: str,
    mnemonic: str,
    passphrase: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> WalletDict:
    """Import a wallet from a mnemonic phrase (derives addresses for all chains).

    The phrase must be in canonical form: lower-case words separated by single
    spaces. ``index`` (default 0) selects the account index of all six accounts.

    Raises:
        RuntimeError: "wallet name already exists: '{name}'";
            "invalid mnemonic phrase: the word `{word}` is invalid";
            "invalid mnemonic phrase: the mnemonic's entropy length `{bytes}` is invalid";
            "invalid mnemonic phrase: the phrase `{text}` is invalid";
            "invalid derivation path: index out of range in component ...";
            "I/O error: ..."; "JSON error: ...".
    """

def import_wallet_private_key(
    name: str,
    private_key_hex: str,
    chain: str | None = None,
    passphrase: str | None = None,
    vault_path_opt: str | None = None,
    secp256k1_key: str | None = None,
    ed25519_key: str | None = None,
) -> WalletDict:
    """Import a wallet from a hex-encoded private key (derives addresses for all chains).
    Optionally specify explicit keys per curve via `secp256k1_key` and `ed25519_key`.

    The key (hex, an optional lower-case "0x" prefix) belongs to the curve of
    ``chain`` (secp256k1 when absent). The other curve gets ``secp256k1_key`` or
    ``ed25519_key`` when given, else a random key that only ``export_wallet``
    reveals. With both explicit keys, ``private_key_hex`` and ``chain`` are not read.

    Raises:
        RuntimeError: "wallet name already exists: '{name}'";
            "invalid input: invalid hex private key: Odd number of digits";
            "invalid input: invalid hex private key: Invalid character '{c}' at position {i}";
            "invalid input: unknown chain: ..."; "invalid private key: ...";
            "I/O error: ..."; "JSON error: ...".
    """

def list_wallets(vault_path_opt: str | None = None) -> list[WalletDict]:
    """List all wallets in the vault.

    Newest first. Unreadable wallet files are skipped with a "warning: skipping ..."
    line on standard error.

    Raises:
        RuntimeError: "I/O error: ...".
    """

def get_wallet(name_or_id: str, vault_path_opt: str | None = None) -> WalletDict:
    """Get a single wallet by name or ID.

    An exact id match wins; otherwise the name must match exactly one wallet.

    Raises:
        RuntimeError: "wallet not found: '{name_or_id}'";
            "ambiguous wallet name '{name}' matches {count} wallets; use the wallet ID instead";
            "I/O error: ...".
    """

def delete_wallet(name_or_id: str, vault_path_opt: str | None = None) -> None:
    """Delete a wallet from the vault.

    Removes the wallet file for good; no passphrase is asked.

    Raises:
        RuntimeError: "wallet not found: '{name_or_id}'"; the ambiguous-name error;
            "I/O error: ...".
    """

def export_wallet(name_or_id: str, passphrase: str | None = None, vault_path_opt: str | None = None) -> str:
    """Export a wallet's secret (mnemonic or private key).

    Returns the recovery phrase of a mnemonic wallet, or for a private-key wallet
    the compact JSON text {"ed25519":"<hex>","secp256k1":"<hex>"}.

    Raises:
        RuntimeError: "wallet not found: '{name_or_id}'"; the ambiguous-name error;
            "decryption failed: aead::Error" for a wrong passphrase;
            "invalid parameters: ..." for a damaged or tampered envelope;
            "JSON error: ...".
    """

def rename_wallet(name_or_id: str, new_name: str, vault_path_opt: str | None = None) -> None:
    """Rename a wallet.

    Needs no passphrase; the id, creation time and secret stay unchanged.

    Raises:
        RuntimeError: "wallet not found: '{name_or_id}'"; the ambiguous-name error;
            "wallet name already exists: '{new_name}'"; "I/O error: ...".
    """

def sign_transaction(
    wallet: str,
    chain: str,
    tx_hex: str,
    passphrase: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> SignatureDict:
    """Sign a transaction.

    ``tx_hex`` is the unsigned transaction (or the bytes to sign) in hex, with an
    optional lower-case "0x" prefix. Nothing is broadcast.

    Raises:
        RuntimeError: "invalid input: unknown chain: ...";
            "invalid input: invalid hex transaction: ..."; "wallet not found: ...";
            "decryption failed: aead::Error" for a wrong passphrase;
            "invalid private key: ..."; "invalid derivation path: ...".
    """

def sign_message(
    wallet: str,
    chain: str,
    message: str,
    passphrase: str | None = None,
    encoding: str | None = None,
    index: int | None = None,
    vault_path_opt: str | None = None,
) -> SignatureDict:
    """Sign a message.

    ``encoding`` is "utf8" (the default: the message's UTF-8 bytes) or "hex" (the
    message is hex without a prefix). Each chain family applies its own message
    convention (EIP-191 for EVM chains, for example).

    Raises:
        RuntimeError: "invalid input: unknown chain: ...";
            "invalid input: unsupported encoding: {encoding} (use 'utf8' or 'hex')";
            "invalid input: invalid hex message: ..."; "wallet not found: ...";
            "decryption failed: aead::Error" for a wrong passphrase.
    """

def sign_and_send(
    wallet: str,
    chain: str,
    tx_hex: str,
    passphrase: str | None = None,
    index: int | None = None,
    rpc_url: str | None = None,
    vault_path_opt: str | None = None,
) -> BroadcastDict:
    """Sign and broadcast a transaction.

    EVM and Solana chains only. The endpoint is ``rpc_url`` when given, else the
    chain's entry in ~/.vek/config.json, else the built-in public endpoint; the
    request is posted with the ``curl`` program.

    Raises:
        RuntimeError: "invalid input: unknown chain: ...";
            "invalid input: invalid hex transaction: ..."; "wallet not found: ...";
            "decryption failed: aead::Error";
            "invalid transaction: encode_signed_transaction not implemented for {chain}";
            "invalid input: {n} bytes follow the transaction's RLP list";
            "invalid input: RPC URL must start with http:// or https://: '{url}'";
            "broadcast failed: failed to run curl: ..."; "broadcast failed: {curl's error}";
            "broadcast failed: reply larger than 16777216 bytes";
            "broadcast failed: curl was terminated by signal {n}";
            "broadcast failed: RPC error: {error}";
            "broadcast failed: no 'result' in response: {text}"; "JSON error: ...".
        Any exception a Python signal handler raises while curl runs (KeyboardInterrupt
        for Ctrl-C): curl is then ended.
    """
