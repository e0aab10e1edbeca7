"""
The application face of vek: Vault, Session, their results and exceptions.
"""

import asyncio
from collections.abc import Mapping
import os
import pathlib
import types
from typing import Any, overload


class VekError(RuntimeError):
    """
    Every failure of a vek operation. A RuntimeError, with the same one-line message as vek._native.
    """

class WalletNotFoundError(VekError):
    """No wallet has that id or name."""

class AmbiguousWalletError(VekError):
    """Several wallets have that name; use the wallet id."""

class WalletNameExistsError(VekError):
    """Another wallet already has that name."""

class InvalidInputError(VekError):
    """
    An argument or a stored value is not acceptable (chain, hex, word count, encoding, key data, ...).
    """

class BroadcastError(VekError):
    """
    A transaction could not be submitted, or the node's reply had no transaction hash.
    """

class NotSentError(BroadcastError):
    """
    The transaction was certainly not submitted (no connection, the node refused it, cancelled
    before the request): sending it again is safe.
    """

class SendOutcomeUnknownError(BroadcastError):
    """
    The request went out but no complete answer came (time-out, cancelled in flight, connection
    lost): look the transaction up (tx_hash) before sending it again.
    """

class WaitTimeoutError(VekError):
    """
    No receipt or confirmation within the time allowed; the transaction may still be included.
    """

class WaitCancelledError(VekError):
    """
    A wait for a transaction was cancelled; the transaction may still be included.
    """

class CryptoError(VekError):
    """
    The wallet's encryption envelope cannot be used (bad parameters or data).
    """

class WrongPassphraseError(CryptoError):
    """
    The envelope did not authenticate: a wrong passphrase (or altered encrypted data).
    """

class WrongBip39PassphraseError(WrongPassphraseError):
    """
    The BIP-39 passphrase given does not give the wallet's stored accounts (a wrong one).
    """

class SignerError(VekError):
    """The chain's signer refused a key, message or transaction."""

class MnemonicError(VekError):
    """A recovery phrase is invalid, or one could not be generated."""

class DerivationError(VekError):
    """A key could not be derived (derivation path or index)."""

class VaultError(VekError):
    """The vault directory or a wallet file could not be read or written."""

class JsonError(VekError):
    """A document (wallet data or a node's reply) is not the JSON expected."""

class SessionClosedError(VekError):
    """
    The session was closed or its time to live ran out; unlock the wallet again.
    """

class OutOfMemoryError(VekError, MemoryError):
    """
    The key derivation (scrypt) could not have its working memory; also a MemoryError. Nothing was
    decrypted or written: free memory (or raise the address-space limit) and try again.
    """

class InternalError(VekError):
    """
    An internal fault of the native code (vek._native raises PanicException for it). It should never
    happen; please report it. Nothing was written.
    """

def error_codes() -> list[tuple[str, str, str, str]]:
    """
    Every error code as (name, message format, exception class, description), in the order of the codes.
    """

class Account:
    """One account of a wallet (public data only)."""

    @property
    def chain_id(self) -> str:
        """The CAIP-2 id of the family's default chain."""

    @property
    def address(self) -> str:
        """The address, as the chain writes it."""

    @property
    def derivation_path(self) -> str:
        """
        The derivation path of the account's key; empty for a private-key wallet.
        """

    @property
    def family(self) -> str:
        """The account's chain family: evm, solana, cosmos, bitcoin, tron or ton."""

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class Wallet:
    """A stored wallet (public data only)."""

    @property
    def id(self) -> str:
        """The wallet's id (a version-4 UUID)."""

    @property
    def name(self) -> str:
        """The wallet's name."""

    @property
    def accounts(self) -> list[Account]:
        """One account per chain family: evm, solana, bitcoin, cosmos, tron, ton."""

    @property
    def created_at(self) -> str:
        """When the wallet was created (RFC 3339, UTC)."""

    @property
    def bip39_passphrase(self) -> bool:
        """
        Whether the accounts come from the phrase under a BIP-39 passphrase (not stored; unlock needs it).
        """

    @property
    def generated_keys(self) -> list[str]:
        """
        The curves whose key the import made at random, e.g. ["ed25519"]: only one curve's key was given.
        """

    def address(self, chain: str) -> str:
        """
        The stored account's address on `chain`, from the stored address alone (no passphrase):
        the account's own on its chain and on every chain that writes the same key's address alike
        (all EVM chains, Solana's networks, Tron), under the chain's bech32 prefix on the other
        Bitcoin and Cosmos chains.

        Raises:
            InvalidInputError: unknown chain; a family the wallet stores no account of; a chain
                whose address the stored one does not give (a mnemonic wallet signs with another
                key on a chain of another coin type: bitcoin-testnet, bitcoin-signet, secret,
                kava; TON's test network has another wallet contract): Session.address(chain)
                derives it.
        """

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class Signature:
    """A signed message."""

    @property
    def signature(self) -> str:
        """
        The signature as its format writes it: base64 for bip322 (the serialised witness), bip137
        (header || r || s) and adr036 (r || s); "0x" and lower-case hex for EVM (eip191, eip712),
        as EVM libraries write it; lower-case hex for the others.
        """

    @property
    def recovery_id(self) -> int | None:
        """
        The recovery byte the signature carries (eip191, eip712 and tip191: v, 27 or 28; bip137: the
        header; raw: 0 or 1), None where the format has none.
        """

    @property
    def format(self) -> str:
        """
        The message format: eip191, eip712, raw, offchain, offchain_domain, adr036, bip322, bip137, tip191, ton_proof or sign_data.
        """

    @property
    def public_key(self) -> dict[str, str] | None:
        """
        adr036: the signer's public key as Cosmos wallets return it,
        {"type": "tendermint/PubKeySecp256k1", "value": base64 of the compressed key}; TON:
        {"type": "ed25519", "value": base64 of the key}; otherwise None.
        """

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class SignedTransaction:
    """A signed transaction."""

    @property
    def signature(self) -> str:
        """
        The signature in lower-case hex; EVM: "0x" and r || s || y-parity (65 bytes) in hex.
        """

    @property
    def recovery_id(self) -> int | None:
        """The recovery id, None where the chain has none."""

    @property
    def raw_transaction(self) -> str | None:
        """
        EVM: the signed transaction, "0x" and lower-case hex, ready for eth_sendRawTransaction.
        Solana: the whole transaction with the wallet's signature in its slot and the other slots
        as given, lower-case hex without "0x" (None for a message signed alone). None for other
        chains.
        """

    @property
    def tx_hash(self) -> str | None:
        """
        EVM: the transaction hash, "0x" and the Keccak-256 of raw_transaction in hex. Solana: the
        base58 of the first signature, once that slot is filled. None for other chains.
        """

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class Chain:
    """A chain the library knows (public data only)."""

    @property
    def name(self) -> str:
        """
        The chain's name, as every chain argument accepts it (in any letter case).
        """

    @property
    def family(self) -> str:
        """The chain's family: evm, solana, cosmos, bitcoin, tron or ton."""

    @property
    def chain_id(self) -> str:
        """The CAIP-2 id, also accepted as a chain argument (exactly as written)."""

    @property
    def coin_type(self) -> int:
        """
        The SLIP-44 coin type of the chain's default paths (1 for Bitcoin's test networks).
        """

    @property
    def address_prefix(self) -> str:
        """
        The bech32 prefix of its addresses (Bitcoin and Cosmos chains); "" for the other families.
        """

    @property
    def testnet(self) -> bool:
        """Whether it is a test network."""

    @property
    def currency(self) -> str:
        """
        The symbol of the chain's own currency ("ETH", "POL", "BNB", "SOL", "BTC", "ATOM", ...);
        "native" for an EVM chain named by its id alone, whose currency is not known.
        """

    @property
    def decimals(self) -> int:
        """
        The decimals of the currency's smallest unit (18 for EVM chains, 9 Solana and TON, 8
        Bitcoin, 6 Cosmos chains and Tron): an amount in base units is amount / 10**decimals.
        """

    @property
    def native(self) -> bool:
        """
        Whether vek._native accepts it (the twelve mainnets); the others are for Vault and Session.
        """

    def default_path(self, index: int = 0) -> str:
        """The chain's default derivation path for account `index`."""

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[str]: ...

    def __setstate__(self, arg: tuple[str], /) -> None: ...

def known_chains() -> list[Chain]:
    """
    Every named chain, in a fixed order: the twelve of vek._native (the seven EVM mainnets,
    ethereum first, then solana, bitcoin, cosmos, tron and ton), then the test networks and
    further chains of the application API (sepolia, holesky, solana-devnet, solana-testnet,
    bitcoin-testnet, bitcoin-signet, osmosis, celestia, secret, kava, cosmos-testnet,
    ton-testnet). Any other EVM chain is named by its id, "eip155:<n>". The first chain
    of each family is the chain of that family's accounts in a wallet.
    """

class Family:
    """A chain family and what the library does for it (public data only)."""

    @property
    def name(self) -> str:
        """The family's name: evm, solana, cosmos, bitcoin, tron or ton."""

    @property
    def curve(self) -> str:
        """The curve of its keys: "secp256k1" or "ed25519"."""

    @property
    def coin_type(self) -> int:
        """The SLIP-44 coin type of its default chain."""

    @property
    def default_path(self) -> str:
        """The default derivation path, with "{index}" for the account index."""

    @property
    def default_chain(self) -> str:
        """
        The chain of the family's accounts in a wallet (the first of `chains`).
        """

    @property
    def chains(self) -> list[str]:
        """Every named chain of the family, in the order of known_chains()."""

    @property
    def message_formats(self) -> list[str]:
        """
        The formats Session.sign_message accepts for its chains, the standard (the default) first.
        """

    @property
    def key_formats(self) -> list[str]:
        """The formats Vault.export_key and Vault.import_key accept for its keys."""

    @property
    def sign_transaction(self) -> bool:
        """Whether Session.sign_transaction signs its transactions."""

    @property
    def decode(self) -> bool:
        """Whether decode_transaction reads its transactions for review."""

    @property
    def build(self) -> bool:
        """Whether transactions can be built from an intent."""

    @property
    def broadcast(self) -> bool:
        """
        Whether signed transactions can be submitted (Session.send, broadcast).
        """

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[str]: ...

    def __setstate__(self, arg: tuple[str], /) -> None: ...

def families() -> list[Family]:
    """
    The chain families, in their fixed order: evm, solana, cosmos, bitcoin, tron and ton.
    """

def message_formats(chain: str) -> list[str]:
    """
    The message formats of `chain`'s family, the standard (format=None) first.

    Raises:
        InvalidInputError: unknown chain.
    """

class Session:
    """
    One wallet, unlocked once by Vault.unlock, signing until it is closed.

    What signing needs is held in locked memory that is left out of core dumps and wiped by
    close(), at the end of a with block, when the session is garbage-collected, or at the
    first use after its time to live. A closed session raises SessionClosedError.
    With index=None a session signs with the account the wallet stores for the chain's
    family (its stored derivation path; the stored key of a private-key wallet); an index
    selects the family's default path for that index instead, a path (path=...) that path.
    Safe to share between
    threads; no method holds the interpreter lock while it works.
    """

    @property
    def wallet(self) -> Wallet:
        """The wallet, as it was when unlocked."""

    @property
    def closed(self) -> bool:
        """
        Whether the session can no longer sign (closed, its time to live ran out, or used in a
        forked child of the process that unlocked it).
        """

    def close(self) -> None:
        """Wipes the secret now. Closing again does nothing."""

    def __enter__(self) -> Session: ...

    def __exit__(self, exc_type: type[BaseException] | None, exc: BaseException | None, tb: types.TracebackType | None) -> None: ...

    def address(self, chain: str, index: int | None = None, path: str | None = None) -> str:
        """
        The address that signs for `chain`: the stored account's when index and path are None,
        else the account at `index` (the family's default path) or `path` (a derivation path such
        as "m/44'/60'/3'/0/0"). Nothing is stored (add_account stores it).

        Raises:
            InvalidInputError: unknown chain, both index and path, a path for a private-key wallet.
            SessionClosedError: the session is closed.
            DerivationError, SignerError: the key cannot be derived or used (a path that is not
                valid for the family's curve).
        """

    def sign_message(self, chain: str, message: str | bytes, encoding: str | None = None, index: int | None = None, path: str | None = None, format: str | None = None, domain: str | None = None, timestamp: int | None = None) -> Signature:
        """
        Signs a message in a format its chain's verifiers accept; format=None is the family's
        standard. EVM: "eip191" (personal message), "eip712" (the message is typed-data JSON).
        Solana: "raw", "offchain" (an off-chain message with the header the released command-line
        tools verify; base58), "offchain_domain" (the header with application domain and signers
        the newer JavaScript SDK reads; base58). Bitcoin: "bip322" (simple,
        P2WPKH), "bip137", "raw". Cosmos: "adr036" (the result also has public_key), "raw".
        Tron: "tip191" (v 27/28), "raw" (v 0/1). TON: "raw", and TON Connect's "ton_proof" and
        "sign_data" (base64), which need the dApp's `domain` and the Unix `timestamp`; sign_data
        signs a str as text and bytes (or hex) as binary. TON results have public_key (the Ed25519
        key, base64), which checks need. "raw" gives the signature of vek._native.sign_message,
        but Solana, Cosmos and TON "raw" refuse bytes whose signature would authorise a
        transaction (a Solana transaction message, a Cosmos sign document, a Tron transaction,
        32 bytes).

        A str message is signed as its UTF-8 bytes, or with encoding="hex" as the bytes its hex
        digits spell (0x optional); bytes are signed as they are (no encoding then).

        Raises:
            InvalidInputError: unknown chain or format, bad hex, unknown encoding, a refused
                raw message.
            SessionClosedError: the session is closed.
            DerivationError, SignerError.
        """

    def sign_typed_data(self, chain: str, typed_data: str, index: int | None = None, path: str | None = None) -> Signature:
        """
        Signs EIP-712 typed data (the JSON text of eth_signTypedData_v4) with an EVM chain's
        key; the signature is r || s || v with v = 27 or 28.

        Raises:
            InvalidInputError: unknown chain, not an EVM chain, a domain chainId that is not
                the chain's.
            SignerError: malformed typed data (the message names the member), or beyond a limit
                (1 MiB, 1024 types, 1024 members of a type, 128 levels of nesting).
            SessionClosedError: the session is closed.
            DerivationError.
        """

    @overload
    def sign_transaction(self, chain: str, tx: str | bytes, index: int | None = None, path: str | None = None) -> SignedTransaction:
        """
        Signs an unsigned transaction: hex text (a leading "0x" is dropped) or bytes.

        EVM: the unsigned typed transaction (EIP-2718 type 1 or 2); the result also carries the
        signed transaction and its hash. Nothing is sent.

        Solana: the whole transaction (signature count, signature slots, message). The wallet's
        signature goes into the slot of its key among the message's required signers; the
        result's raw_transaction is the transaction with the other slots as given (lower-case
        hex without "0x"), for the other signers to add theirs (partial signing); tx_hash is the
        base58 of the first slot once that is filled. A message without its slots is signed
        when the wallet is its only signer (no raw_transaction then).

        Raises:
            InvalidInputError: unknown chain, bad hex; EVM: another chain's id, bytes
                after the RLP list, RLP that is not canonical (the message says which); Solana:
                a malformed transaction, "<address> is not a signer of this transaction", a
                message alone that needs several signatures.
            SessionClosedError: the session is closed.
            SignerError: the transaction cannot be signed or completed.
            DerivationError.
        """

    @overload
    def sign_transaction(self, chain: str, tx: Mapping[str, Any], index: int | None = None, path: str | None = None) -> SignedTransaction:
        """
        Signs an EVM transaction given as its fields, the dictionary eth-account and web3 use:
        chainId (the chain's own when absent; another chain's is refused), nonce, gas,
        maxFeePerGas and maxPriorityFeePerGas (type 2), or gasPrice with accessList (type 1), to
        (absent or None: a contract creation), value, data (or input), accessList, type, from
        (must be the signing account). Integers are ints or "0x"-hex text, bytes values
        (data, to) bytes or "0x"-hex text; floats and bools are refused. The unsigned typed
        transaction is assembled here and signed as the hex form of it would be.

        Raises:
            InvalidInputError: unknown chain, not an EVM chain, a missing or malformed field
                (the message names it), a legacy transaction (gasPrice without accessList or
                type 1; give maxFeePerGas and maxPriorityFeePerGas), another chain's chainId, a
                from that is not the signing account.
            SessionClosedError: the session is closed.
            SignerError, DerivationError.
        """

    def public_key(self, chain: str, index: int | None = None, path: str | None = None) -> str:
        """
        The public key of the key that signs for `chain` (the account as in address()), in
        lower-case hex: the compressed point (33 bytes) for secp256k1 families, the 32-byte key
        for Ed25519 families; for the stored account, what Vault.public_key gives.

        Raises:
            InvalidInputError: as address().
            SessionClosedError: the session is closed.
            DerivationError, SignerError: the key cannot be derived or used.
        """

    def derive(self, chain: str, index: int | None = None, path: str | None = None) -> str:
        """
        Deprecated: Session.address, under its older name (it warns with DeprecationWarning).
        """

    def add_account(self, chain: str, index: int | None = None, path: str | None = None) -> Wallet:
        """
        Stores the account address() names in the wallet's file (after its accounts; written
        atomically) and returns the wallet as stored. An account already stored is not added
        twice. Session.wallet stays as it was when unlocked.

        Raises:
            InvalidInputError: as address(), or a private-key wallet.
            DerivationError.
            SessionClosedError.
            WalletNotFoundError: the wallet was deleted meanwhile.
            VaultError: the file cannot be written, or holds another secret now.
        """

    def sign_signable_message(self, chain: str, version: bytes, header: bytes, body: bytes, index: int | None = None, path: str | None = None) -> Signature:
        """
        Signs an EIP-191 signed-data message given by its parts after 0x19, as eth-account's
        SignableMessage holds them: version b"E" (a personal message: header b"thereum Signed
        Message:\\n" and the body's length), b"\\x01" (EIP-712: header the domain separator, body
        the struct hash, 32 bytes each; the domain's chainId cannot be checked from its hash),
        b"\\x00" (header the 20-byte intended validator). v is 27 or 28; format "eip191", or
        "eip712" for version 1.

        Raises:
            InvalidInputError: unknown chain, not an EVM chain, another version, parts
                of the wrong size.
            SessionClosedError: the session is closed.
            SignerError, DerivationError.
        """

    def unsafe_sign_hash(self, chain: str, message_hash: str | bytes, index: int | None = None, path: str | None = None) -> Signature:
        """
        Signs a 32-byte hash (bytes, or hex with or without 0x) as given with an EVM chain's key,
        as eth-account's unsafe_sign_hash: nothing says what the hash is of, and if it is a
        transaction's the signature authorises that transaction. v is 27 or 28.

        Raises:
            InvalidInputError: unknown chain, not an EVM chain, bad hex, not 32 bytes.
            SessionClosedError: the session is closed.
            SignerError, DerivationError.
        """

    @staticmethod
    def from_mnemonic(mnemonic: str, bip39_passphrase: str | None = None, *, ttl: float | None = None) -> Session:
        """
        A session over a recovery phrase held by the caller: no vault, no file, no scrypt. The
        phrase's seed (under bip39_passphrase; both taken in Unicode NFKD form) is kept as
        Vault.unlock's sessions keep it, in locked memory wiped by close(); the phrase is not
        kept. Its wallet has id "", name "" and the accounts import_mnemonic would store (index
        0 of each family), which it signs with by default; add_account raises InvalidInputError.

        Raises:
            MnemonicError: the phrase is invalid.
            InvalidInputError: ttl is not above zero.
        """

    @staticmethod
    def from_private_key(private_key: str | None = None, chain: str | None = None, *, secp256k1_key: str | None = None, ed25519_key: str | None = None, ttl: float | None = None) -> Session:
        """
        A session over private keys held by the caller (hex, with or without 0x): the rules of
        Vault.import_private_key. private_key is for the curve of `chain` (default secp256k1);
        the other curve's key is secp256k1_key or ed25519_key, else random (a GeneratedKeyWarning;
        Session.wallet.generated_keys names it; it is gone when the session closes). With both
        secp256k1_key and ed25519_key, private_key is not used. No vault, no file, no scrypt;
        its wallet has id "" and name ""; add_account raises InvalidInputError.

        Raises:
            InvalidInputError: bad hex, unknown chain, ttl not above zero.
            SignerError: an invalid key.
        """

    def send(self, chain: str, tx: str | bytes, rpc_url: str | None = None, index: int | None = None, path: str | None = None, *, timeout: float | None = None, cancel: Cancel | None = None) -> str:
        """
        Signs an unsigned EVM or Solana transaction, submits it and returns the node's
        transaction hash, which must be the transaction's own. Without rpc_url the endpoint
        is rpc_endpoint(chain)'s. The URL and the request reach curl on its standard input,
        never its command line; a redirect is followed only to the endpoint's own host.

        timeout: seconds the call may take (None: the configuration file's "timeout", else 30).
        cancel: a vek.Cancel another thread may use to end the call.

        Raises:
            InvalidInputError: unknown chain, bad hex, a timeout not above 0; without
                rpc_url or timeout, a configuration file that exists but is not used; without
                rpc_url, a chain without an endpoint; EVM: another chain's id, bytes after the
                RLP list, RLP that is not canonical (the message says which); Solana: as
                sign_transaction, and a required signature of another signer still missing
                (nothing is sent; sign with sign_transaction, add the others, then broadcast).
            SessionClosedError: the session is closed.
            SignerError: the transaction cannot be signed or completed.
            NotSentError: certainly not submitted (no connection, the node refused it, an HTTP
                4xx status, cancelled before the request): sending again is safe.
            SendOutcomeUnknownError: the request went out, no complete answer came (time-out,
                cancelled, connection lost, HTTP 5xx); its tx_hash is the hash to look up.
            BroadcastError, JsonError: a redirect to another host, a reply without a hash or
                with another transaction's hash.
        """

    def wait(self, chain: str, tx_hash: str, *, rpc_url: str | None = None, timeout: float | None = None, cancel: Cancel | None = None) -> Receipt:
        """
        Waits until the node has included the transaction `tx_hash` and returns its Receipt.

        EVM: asks eth_getTransactionReceipt until there is a receipt; Solana: asks
        getSignatureStatuses until the signature is "confirmed" or "finalized". It asks every
        0.5 s at first, then less often (up to every 2 s); a question the node does not answer is
        asked again. Each request has the configuration's timeout. The endpoint is chosen as
        for send. The session's keys are not used: it may be closed.

        timeout: seconds for the whole wait (None: 120).
        cancel: a vek.Cancel another thread may use to end the wait.

        Raises:
            InvalidInputError: unknown chain, a family other than EVM and Solana, a hash
                that is not one of the chain's, a timeout not above 0.
            WaitTimeoutError: nothing within the timeout; the transaction may still be included.
            WaitCancelledError: cancelled.
            BroadcastError, JsonError: the node refused the question or answered nonsense.
        """

    def __repr__(self) -> str: ...

    def send_async(self, chain: str, tx: str | bytes, rpc_url: str | None = None, index: int | None = None, path: str | None = None, *, timeout: float | None = None) -> asyncio.Future[str]:
        """
        send() for asyncio: an awaitable of the transaction hash, the call run in the running
        loop's default executor. Cancelling the task cancels the send (its curl is killed at
        once) and raises CancelledError: whether the transaction was sent is then not known
        unless nothing had gone out. Raises what send() raises, when awaited.
        """

    def wait_async(self, chain: str, tx_hash: str, *, rpc_url: str | None = None, timeout: float | None = None) -> asyncio.Future[Receipt]:
        """
        wait() for asyncio: an awaitable of the Receipt, the call run in the running loop's
        default executor. Cancelling the task ends the wait at once and raises CancelledError.
        Raises what wait() raises, when awaited.
        """

class Cancel:
    """
    A flag that ends the sends, broadcasts and waits it is given (cancel=...) from any thread.

    cancel() kills the call's curl at once; the call then raises NotSentError (nothing had
    gone out yet), SendOutcomeUnknownError (the request was under way) or WaitCancelledError.
    A token cannot be reset: use a new one for the next call.
    """

    def __init__(self) -> None: ...

    def cancel(self) -> None:
        """Ends the calls given this token, now and later. Safe from any thread."""

    @property
    def cancelled(self) -> bool:
        """Whether cancel() was called."""

    def __repr__(self) -> str: ...

class Receipt:
    """What the node says of an included transaction (Session.wait)."""

    @property
    def tx_hash(self) -> str:
        """The transaction's hash (EVM: lower-case hex) or Solana signature."""

    @property
    def status(self) -> str:
        """
        "success"; "reverted" (EVM: included, but its execution failed) or "failed" (Solana).
        """

    @property
    def block_number(self) -> int:
        """The block's number (EVM) or the slot (Solana)."""

    @property
    def gas_used(self) -> int | None:
        """The gas the transaction used (EVM); None on Solana."""

    @property
    def error(self) -> str | None:
        """
        Solana: the node's `err` as compact JSON when it failed; otherwise None.
        """

    def __getstate__(self) -> tuple[str, str, int, int | None, str | None]: ...

    def __setstate__(self, arg: tuple[str, str, int, int | None, str | None], /) -> None: ...

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

class GeneratedKeyWarning(UserWarning):
    """
    An import, or Session.from_private_key, was given the key of one curve only: the other curve's
    key was made at random (Wallet.generated_keys names it) and exists nowhere else.
    """

class Vault:
    """
    A vault directory of wallet files: the same files, rules and messages as vek._native.

    path: the directory (str, bytes or os.PathLike: the file system's bytes, as os.fsencode
    gives them); None for the default ~/.vek.
    """

    def __init__(self, path: str | bytes | os.PathLike[str] | os.PathLike[bytes] | None = None) -> None: ...

    @property
    def path(self) -> pathlib.Path:
        """The vault directory."""

    def create(self, name: str, passphrase: str | None = None, words: int = 12) -> Wallet:
        """
        Creates a wallet with a new recovery phrase of 12 or 24 words.

        passphrase: what the wallet's file is encrypted with; it must be given: passphrase=""
        stores a wallet without one (anyone who gets the file gets the wallet). So for every
        method that makes a wallet.

        Raises:
            InvalidInputError: words is not 12 or 24, no passphrase given.
            WalletNameExistsError: another wallet has that name.
            VaultError.
        """

    def import_mnemonic(self, name: str, mnemonic: str, passphrase: str | None = None, index: int | None = None, bip39_passphrase: str | None = None, paths: Mapping[str, str] | None = None) -> Wallet:
        """
        Imports a recovery phrase; its accounts are derived at `index` (default 0).

        paths: {chain: derivation path} for the families whose first account another wallet
        shows at another path (e.g. {"ethereum": vek.preset_path("evm-account", "ethereum", 1)});
        one chain of a family names the family. vek._native lists such a wallet but refuses to
        sign for a family stored at a path that is not one of its default paths.

        bip39_passphrase: the phrase's BIP-39 passphrase ("25th word"); it is not stored, and
        unlock() then needs it. The phrase and it are taken in Unicode NFKD form, as BIP-39 (and
        other wallets) hash them. vek._native refuses to sign with such a wallet.

        Raises:
            MnemonicError: the phrase is invalid.
            InvalidInputError: no passphrase given.
            WalletNameExistsError: another wallet has that name.
            VaultError.
        """

    def import_private_key(self, name: str, private_key: str | None = None, chain: str | None = None, passphrase: str | None = None, secp256k1_key: str | None = None, ed25519_key: str | None = None) -> Wallet:
        """
        Imports a private key in hex for the curve of `chain` (default: secp256k1); the other
        curve gets a random key unless given. With both secp256k1_key and ed25519_key,
        private_key is not used. A random key is said by a GeneratedKeyWarning and named in
        Wallet.generated_keys: it exists only in this wallet.

        Raises:
            InvalidInputError: bad hex or unknown chain, no passphrase given.
            SignerError: an invalid key.
            WalletNameExistsError: another wallet has that name.
            VaultError.
        """

    def wallets(self) -> list[Wallet]:
        """
        Every wallet of the vault, newest first.

        Raises:
            VaultError.
        """

    def get(self, name_or_id: str) -> Wallet:
        """
        The wallet with this id, else the only wallet with this name.

        Raises:
            WalletNotFoundError.
            AmbiguousWalletError: several wallets have that name.
            VaultError.
        """

    def rename(self, name_or_id: str, new_name: str) -> None:
        """
        Renames a wallet.

        Raises:
            WalletNotFoundError, AmbiguousWalletError.
            WalletNameExistsError: another wallet has the new name.
            VaultError.
        """

    def delete(self, name_or_id: str) -> None:
        """
        Deletes a wallet's file.

        Raises:
            WalletNotFoundError, AmbiguousWalletError.
            VaultError.
        """

    def export(self, name_or_id: str, passphrase: str | None = None) -> str:
        """
        The wallet's secret: its recovery phrase, or its key document
        {"ed25519":"<hex>","secp256k1":"<hex>"}.

        Raises:
            WrongPassphraseError.
            WalletNotFoundError, AmbiguousWalletError.
            CryptoError, InvalidInputError: damaged wallet data.
            VaultError.
        """

    def import_key(self, name: str, key: str | bytes, format: str, chain: str | None = None, key_password: str | None = None, passphrase: str | None = None, *, allow_weak_kdf: bool = False) -> Wallet:
        """
        Imports one private key written by another wallet, as a private-key wallet.

        format: "hex" (with or without 0x), "wif" (Bitcoin), "keystore" (an Ethereum keystore v3
        file's text, opened with key_password), "solana-base58" or "solana-json" (a Solana
        keypair, 64 bytes). chain: the chain the key is for (default: the format's family;
        ethereum for hex). The other curve gets a random key (GeneratedKeyWarning,
        Wallet.generated_keys). A keystore with light key stretching (geth's --lightkdf: scrypt
        N=4096; PBKDF2 below 262144 rounds) is refused unless allow_weak_kdf=True; the wallet is
        stored under the vault's own parameters either way. Python's signal handlers run once a
        keystore's key is stretched: an exception they raise (KeyboardInterrupt) ends the import there,
        before anything is written.

        Raises:
            InvalidInputError: unknown format or chain, a key that cannot be read, no
                passphrase given.
            WrongPassphraseError: a wrong keystore password.
            CryptoError: a keystore longer than 64 KiB, or with light (without allow_weak_kdf),
                unsupported or excessive parameters.
            OutOfMemoryError: no memory for the key derivation.
            SignerError: an invalid key.
            WalletNameExistsError: another wallet has that name.
            VaultError.
        """

    def export_key(self, name_or_id: str, chain: str, format: str = 'hex', passphrase: str | None = None, key_password: str | None = None, bip39_passphrase: str | None = None) -> str:
        """
        The private key that signs for `chain` (the account the wallet stores for its family),
        in `format`: "hex", "wif" (Bitcoin), "keystore" (an Ethereum keystore v3 document under
        key_password, None meaning the empty password), "solana-base58" or "solana-json".

        Raises:
            WrongPassphraseError.
            WalletNotFoundError, AmbiguousWalletError.
            InvalidInputError: unknown format or chain, a format of another family, damaged wallet data.
            VaultError.
        """

    def public_key(self, name_or_id: str, chain: str, passphrase: str | None = None, bip39_passphrase: str | None = None) -> str:
        """
        The public key of the account that signs for `chain` (as export_key picks it), in
        lower-case hex: secp256k1 chains the 33-byte compressed point, Ed25519 chains 32 bytes.

        Raises:
            WrongPassphraseError.
            WalletNotFoundError, AmbiguousWalletError.
            InvalidInputError: unknown chain, damaged wallet data.
            VaultError.
        """

    def change_passphrase(self, name_or_id: str, old_passphrase: str | None, new_passphrase: str | None) -> None:
        """
        Encrypts the wallet's secret again under new_passphrase (None: the empty passphrase),
        with a fresh salt and nonce, and replaces its file atomically. The id, name, accounts
        and creation time stay as they are; a wrong old passphrase changes nothing.

        Raises:
            WrongPassphraseError: old_passphrase is wrong.
            WalletNotFoundError, AmbiguousWalletError.
            InvalidInputError: the stored accounts do not match the secret, or damaged wallet data.
            CryptoError: damaged wallet data.
            VaultError: the file cannot be written, or changed meanwhile.
        """

    def unlock(self, name_or_id: str, passphrase: str | None = None, ttl: float | None = None, bip39_passphrase: str | None = None) -> Session:
        """
        Decrypts the wallet once and returns a Session that signs with it.

        ttl: seconds after which the session refuses to sign (None: until closed).
        bip39_passphrase: needed exactly for a wallet imported with one (Wallet.bip39_passphrase);
        taken in Unicode NFKD form.

        Raises:
            WrongPassphraseError.
            WrongBip39PassphraseError: a wrong BIP-39 passphrase.
            WalletNotFoundError, AmbiguousWalletError.
            InvalidInputError: ttl is not above zero, a BIP-39 passphrase missing or not
                expected, or damaged wallet data.
            CryptoError, MnemonicError, JsonError: damaged wallet data.
            VaultError.
        """

    def __repr__(self) -> str: ...

    def unlock_async(self, name_or_id: str, passphrase: str | None = None, ttl: float | None = None, bip39_passphrase: str | None = None) -> asyncio.Future[Session]:
        """
        unlock() for asyncio: an awaitable of the Session, the key derivation run in the running
        loop's default executor. Cancelling the task does not stop the derivation; the session
        it makes is then dropped (and wiped). Raises what unlock() raises, when awaited.
        """

def recover_address(chain: str, message: str | bytes, signature: str | bytes, format: str | None = None) -> str:
    """
    The address whose key signed `message` (str as UTF-8, or bytes) on `chain`, for the formats
    that allow it: EVM "eip191" (the default) and "eip712" (`message` is the typed-data JSON),
    Tron "tip191" (the default) and "raw", Bitcoin "bip137" (the address kind its header
    names) and "raw", Cosmos "raw". The signature is the format's text (hex, 0x optional;
    base64 for bip137) or its bytes.

    Raises:
        InvalidInputError: unknown chain or format, a format without recovery, bad hex
            or base64.
        SignerError: a malformed signature or typed data.
    """

def verify_message(chain: str, address: str, message: str | bytes, signature: str | bytes, format: str | None = None, public_key: str | None = None, domain: str | None = None, timestamp: int | None = None, state_init: str | None = None) -> bool:
    """
    Whether `address` signed `message` on `chain` in `format` (None: the family's standard).
    EVM: "eip191", "eip712". Solana: "raw", "offchain", "offchain_domain". Cosmos: "adr036", "raw".
    Bitcoin: "bip322", "bip137", "raw". Tron: "tip191", "raw". TON: "raw", "ton_proof",
    "sign_data".
    Bitcoin "bip322" is P2WPKH; TON "sign_data" checks a str as text and bytes as binary.
    TON checks need the signer's `public_key` (hex or
    base64; it must give the address with this library's wallet contract on the chain's
    network) or the wallet's `state_init` (base64, as a TON Connect proof carries it; the
    address must be its hash, and the key is read from it for wallets v3r1, v3r2, v4r2, v5r1
    and v5 beta), and ton_proof and sign_data the `domain` and `timestamp` that were signed.
    Solana "offchain" and "offchain_domain" checks accept either header with any format byte
    that admits the message. The signature is the format's text
    (base64 for bip322, bip137, adr036, ton_proof and sign_data; hex, 0x optional, for the others;
    Solana checks take base58, as dApps send it, or hex) or its bytes.
    False for a well-formed signature of another key or of none.

    Raises:
        InvalidInputError: unknown chain or format, bad hex, base64 or base58, a malformed
            EVM address, a TON check without its public key or state_init, domain or timestamp.
        SignerError: a malformed address of the other families, a signature of the wrong length,
            v or header, a malformed BIP-322 witness, malformed typed data, a state_init that
            does not parse or holds no wallet of those versions.
    """

def verify_typed_data(chain: str, address: str, typed_data: str, signature: str | bytes) -> bool:
    """
    verify_message with format="eip712": whether `address` signed the EIP-712 typed data.
    """

def preset_path(preset: str, chain: str, index: int = 0) -> str:
    """
    The derivation path other wallets use for account `index` of `chain`, by preset:
    "default" (the chain's default path for index), "evm-account" (m/44'/60'/i'/0/0),
    "solana-account" (m/44'/501'/i'), "solana-seed" ("seed[0:32]": the first 32 bytes of
    the BIP-39 seed as the key, as the Solana command-line tools take a phrase; index 0 only),
    "bitcoin-bip84" (m/84'/0'/i'/0/0; coin type 1 on the test networks). Give it to
    Session.address, add_account or a signing method as path=, or to Vault.import_mnemonic
    in paths=.

    Raises:
        InvalidInputError: unknown chain or preset, a preset of another family.
    """

def derive_address(phrase: str, chain: str, index: int | None = None, bip39_passphrase: str | None = None, *, path: str | None = None, preset: str | None = None) -> str:
    """
    The address of `chain` at its family's default path for `index` (default 0), at the
    path of `preset` for `index` (the names of preset_path), or at `path`, from the phrase's
    seed under bip39_passphrase (None: none). The phrase and the BIP-39 passphrase are taken
    in Unicode NFKD form, as BIP-39 hashes them.

    Raises:
        InvalidInputError: unknown chain or preset, path given with index or preset.
        MnemonicError: the phrase is invalid.
        DerivationError: the index is out of range, a path not valid for the chain's curve.
    """

def broadcast(chain: str, signed: str | bytes, rpc_url: str | None = None, *, timeout: float | None = None, cancel: Cancel | None = None) -> str:
    """
    Submits a transaction that is already signed (hex text, a leading "0x" dropped, or bytes)
    and returns the node's transaction hash, which must be the transaction's own; as
    Session.send does after signing, with the same endpoint, curl and redirect rules. Only the
    families whose Family.broadcast is true. timeout and cancel as for Session.send.

    Raises:
        InvalidInputError: unknown chain, bad hex, a family without broadcast; without
            rpc_url, a configuration file that exists but is not used, or a chain without an
            endpoint; Solana: not a whole transaction, or a required signature missing (an
            all-zero slot; the message names how many and whose), before anything is sent.
        NotSentError, SendOutcomeUnknownError: as for Session.send.
        BroadcastError, JsonError: a redirect to another host, a reply without a hash or
            with another transaction's hash.
    """

class DecodedTransaction:
    """
    An unsigned transaction as a person reviews it before signing. Numbers are ints (value_ether,
    exact, is decimal text); members of the other family are None.
    """

    @property
    def chain_id(self) -> str:
        """The CAIP-2 id of the chain it was decoded for."""

    @property
    def family(self) -> str:
        """"evm" or "solana"."""

    @property
    def tx_type(self) -> int | None:
        """EVM: the EIP-2718 type, 1 or 2."""

    @property
    def evm_chain_id(self) -> int | None:
        """EVM: the chain id the transaction names."""

    @property
    def nonce(self) -> int | None:
        """EVM: the nonce."""

    @property
    def to(self) -> str | None:
        """EVM: the recipient (EIP-55); None for contract creation."""

    @property
    def value_wei(self) -> int | None:
        """EVM: the value in wei."""

    @property
    def value_ether(self) -> str | None:
        """EVM: the value in ether, exact."""

    @property
    def gas_limit(self) -> int | None:
        """EVM: the gas limit."""

    @property
    def gas_price(self) -> int | None:
        """EVM type 1: the gas price in wei."""

    @property
    def max_fee_per_gas(self) -> int | None:
        """EVM type 2: the maximum fee per gas in wei."""

    @property
    def max_priority_fee_per_gas(self) -> int | None:
        """EVM type 2: the priority fee per gas in wei."""

    @property
    def data_length(self) -> int | None:
        """EVM: the length of the call data in bytes."""

    @property
    def fee_payer(self) -> str | None:
        """Solana: the fee payer (the first signer), base58."""

    @property
    def signatures(self) -> int | None:
        """Solana: the number of signatures the message needs."""

    @property
    def instructions(self) -> int | None:
        """Solana: the number of instructions."""

    @property
    def signing_payload(self) -> bytes:
        """
        The bytes a signature covers: EVM the transaction itself, Solana the message after the
        signature slots (what Session.sign_transaction signs for Solana).
        """

    @property
    def currency(self) -> str:
        """The chain's currency (Chain.currency): "ETH", "POL", "BNB", "SOL", ..."""

    @property
    def decimals(self) -> int:
        """The decimals of the currency's smallest unit (Chain.decimals)."""

    @property
    def value_text(self) -> str | None:
        """EVM: the value in the chain's currency, exact, e.g. "1.5 POL"."""

    @property
    def max_cost(self) -> int | None:
        """
        EVM: the most the transaction can take from the account, in wei: value + gas_limit *
        max_fee_per_gas (type 2) or * gas_price (type 1).
        """

    @property
    def max_cost_text(self) -> str | None:
        """EVM: max_cost in the chain's currency, exact, e.g. "0.000021 ETH"."""

    @property
    def instruction_details(self) -> list[SolanaInstruction]:
        """Solana: each instruction, in order (SolanaInstruction); [] for EVM."""

    @property
    def review(self) -> list[tuple[str, str]]:
        """
        What a person is shown before signing, as (label, text) pairs in order. EVM: chain id,
        nonce, to, value, gas limit, gas price (type 1) or max fee and priority fee (type 2),
        max cost, data. Solana: fee payer, signatures, instructions, then "instruction <k>"
        (from 1) for each instruction.
        """

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class SolanaInstruction:
    """
    One instruction of a Solana transaction as a person reviews it. The System Program's
    transfer and the Token and Token-2022 programs' transfer and transfer_checked are
    decoded; the other instructions are named by their program. An account an address
    table supplies reads "(account <i> from an address table)".
    """

    @property
    def program_id(self) -> str:
        """The program's address (base58)."""

    @property
    def program(self) -> str | None:
        """"system", "token" or "token-2022"; None for another program."""

    @property
    def kind(self) -> str | None:
        """"transfer" or "transfer_checked"; None when not decoded."""

    @property
    def source(self) -> str | None:
        """The paying account (token transfers: the source token account)."""

    @property
    def destination(self) -> str | None:
        """The receiving account (token transfers: the receiving token account)."""

    @property
    def authority(self) -> str | None:
        """Token transfers: the owner or delegate of the source token account."""

    @property
    def amount(self) -> int | None:
        """
        The amount in base units: lamports (System Program) or the token's smallest unit.
        """

    @property
    def mint(self) -> str | None:
        """transfer_checked: the token's mint."""

    @property
    def decimals(self) -> int | None:
        """transfer_checked: the decimals the instruction names."""

    @property
    def accounts(self) -> int:
        """How many accounts the instruction names."""

    @property
    def data_length(self) -> int:
        """The length of its data in bytes."""

    @property
    def text(self) -> str:
        """
        The line the review shows, e.g. "System Program: transfer 0.5 SOL from <a> to <b>".
        """

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

class Endpoint:
    """Where a transaction goes when no endpoint is given."""

    @property
    def url(self) -> str:
        """The node's URL."""

    @property
    def source(self) -> str:
        """
        "configuration" (the configuration file's rpc entry) or "built-in" (a public mainnet node).
        """

    @property
    def config_file(self) -> str:
        """The configuration file's path (it may not exist)."""

    def __repr__(self) -> str: ...

    def __eq__(self, other: object, /) -> bool: ...

    def __hash__(self) -> int: ...

    def to_dict(self) -> dict[str, Any]:
        """
        The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,
        bytes as lower-case hex.
        """

    def __getstate__(self) -> tuple[Any, ...]: ...

    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

def decode_transaction(chain: str, tx: str | bytes) -> DecodedTransaction:
    """
    Decodes an unsigned transaction (hex text, a leading "0x" dropped, or bytes) for review.

    EVM: an EIP-2718 type 1 or 2 transaction whose chain id is the chain's. Solana: the whole
    transaction, signature slots included (what Session.send takes).

    Raises:
        InvalidInputError: unknown chain, another family, bad hex, a malformed or
            already signed transaction, another chain's id (the message says which).
    """

def generate_mnemonic(words: int = 12) -> str:
    """
    A new random BIP-39 phrase of 12 or 24 words (nothing is stored). The native copy is
    wiped once Python has its own.

    Raises:
        InvalidInputError: words other than 12 or 24.
    """

def mnemonic_words() -> list[str]:
    """
    The 2048 words of the English BIP-39 word list, in order (public data).
    """

def rpc_endpoint(chain: str) -> Endpoint:
    """
    The endpoint Session.send uses for `chain` without rpc_url: the configuration file's rpc
    entry for its CAIP-2 id, else the built-in public mainnet node. The URL is never empty.

    Raises:
        InvalidInputError: unknown chain; a configuration file that exists but is not
            used (unreadable or invalid, e.g. without vault_path), which Session.send refuses
            too; a chain with neither a configured nor a built-in endpoint.
        VaultError: a configuration file another user controls.
    """
