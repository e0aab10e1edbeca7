"""A session as the local account web3.py and eth-account code expect.

`SessionAccount(session, chain)` has what eth-account's `LocalAccount` offers for signing
(`address`, `sign_transaction(dict)`, `sign_message(SignableMessage)`, `sign_typed_data`,
`unsafe_sign_hash`, the last refused unless `allow_unsafe_sign_hash=True`) and returns
results of the same shape (`raw_transaction`, `hash`, `r`, `s`, `v`; `message_hash`,
`signature`), so web3's signing middleware and `w3.eth.send_raw_transaction` take it:

    account = SessionAccount(session, "eip155:1")
    w3.middleware_onion.inject(SignAndSendRawMiddlewareBuilder.build(account), layer=0)

The key never leaves the session: there is no `key` and no `encrypt`. Neither web3 nor
eth-account is needed to import this module; when eth-account is installed the account
is registered as a virtual `LocalAccount`, which web3's middleware asks for, and byte
results are `hexbytes.HexBytes` when that package is there.
"""

from __future__ import annotations

from collections.abc import Mapping
from typing import Any, NamedTuple, Optional

from ._vek import InvalidInputError, Session, known_chains

__all__ = ["SessionAccount", "SignedMessage", "SignedTransaction"]


class _Bytes(bytes):
    """Bytes whose text form is "0x"-hex, as HexBytes gives it (when hexbytes is absent)."""

    def to_0x_hex(self) -> str:
        return "0x" + self.hex()

    def __repr__(self) -> str:
        return f"HexBytes({self.to_0x_hex()!r})"


def _hexbytes(data: bytes) -> bytes:
    try:
        from hexbytes import HexBytes
    except ImportError:
        return _Bytes(data)
    return HexBytes(data)


def _from_hex(text: str) -> bytes:
    return bytes.fromhex(text[2:] if text[:2] in ("0x", "0X") else text)


class _ByName:
    """Results read by index, as tuples, or by field name, as eth-account's."""

    def __getitem__(self, index: Any) -> Any:
        if isinstance(index, str):
            return getattr(self, index)
        return tuple.__getitem__(self, index)  # type: ignore[arg-type]


class SignedTransaction(_ByName, NamedTuple("SignedTransaction", [("raw_transaction", bytes), ("hash", bytes),
                                                                  ("r", int), ("s", int), ("v", int)])):
    """A signed transaction as eth-account returns it: v is the y-parity (0 or 1)."""

    @property
    def rawTransaction(self) -> bytes:  # noqa: N802 - the name web3 before version 7 reads
        return self.raw_transaction


class SignedMessage(_ByName, NamedTuple("SignedMessage", [("message_hash", Optional[bytes]), ("r", int), ("s", int),
                                                          ("v", int), ("signature", bytes)])):
    """A signed message as eth-account returns it: v is 27 or 28; message_hash is None
    only when no Keccak-256 implementation (eth-hash, pycryptodome) is installed."""


def _keccak(data: bytes) -> Optional[bytes]:
    try:
        from eth_hash.auto import keccak

        return bytes(keccak(data))
    except ImportError:
        pass
    try:
        from Crypto.Hash import keccak as pycryptodome_keccak
    except ImportError:
        return None
    return bytes(pycryptodome_keccak.new(data=data, digest_bits=256).digest())


def _evm_chain_number(chain: str) -> int:
    """The EIP-155 id of an EVM chain name or "eip155:<n>"; InvalidInputError otherwise."""
    for c in known_chains():
        if chain.lower() == c.name.lower() or chain == c.chain_id:
            if c.family != "evm":
                raise InvalidInputError(f"invalid input: a SessionAccount signs for an EVM chain, not {c.name}")
            return int(c.chain_id.split(":", 1)[1])
    prefix, _, number = chain.partition(":")
    if prefix == "eip155" and number.isdigit():
        return int(number)
    raise InvalidInputError(f"invalid input: unknown chain: {chain!r}")


_registered = False


def _register_as_local_account() -> None:
    """Makes SessionAccount a virtual eth_account LocalAccount (web3's middleware takes
    those only), once, when eth-account is installed."""
    global _registered
    if _registered:
        return
    try:
        from eth_account.signers.local import LocalAccount
    except ImportError:
        return
    LocalAccount.register(SessionAccount)
    _registered = True


class SessionAccount:
    """The account of `session` for an EVM `chain` (its name or "eip155:<n>"): the
    stored account, the default path at `index`, or `path`, as Session methods take them.

    Raises (constructing): InvalidInputError for an unknown or non-EVM chain, or the
    errors of Session.address.
    """

    def __init__(self, session: Session, chain: str = "ethereum", index: Optional[int] = None,
                 path: Optional[str] = None, *, allow_unsafe_sign_hash: bool = False) -> None:
        # The library's own refusals (unknown chain, index with path, ...) come first.
        self._address = session.address(chain, index, path)
        self._chain_id = _evm_chain_number(chain)
        self._session = session
        self._chain = chain
        self._index = index
        self._path = path
        self._allow_unsafe_sign_hash = bool(allow_unsafe_sign_hash)
        _register_as_local_account()

    @property
    def address(self) -> str:
        """The EIP-55 address that signs."""
        return self._address

    @property
    def chain(self) -> str:
        return self._chain

    def __repr__(self) -> str:
        return f"SessionAccount(address={self._address!r}, chain={self._chain!r})"

    def sign_transaction(self, transaction_dict: Mapping[str, Any], blobs: Any = None) -> SignedTransaction:
        """Signs an eth-account transaction dictionary (Session.sign_transaction of a
        mapping: types 1 and 2; chainId defaults to the chain's; from, when given, must be
        this account). Nothing is sent."""
        if blobs is not None:
            raise InvalidInputError("invalid input: blob transactions (type 3) are not signed")
        if not isinstance(transaction_dict, Mapping):
            raise InvalidInputError("invalid input: transaction_dict must be a mapping, got "
                                    f"{type(transaction_dict).__name__}")
        signed = self._session.sign_transaction(self._chain, transaction_dict, self._index, self._path)
        sig = _from_hex(signed.signature)
        assert signed.raw_transaction is not None and signed.tx_hash is not None
        return SignedTransaction(_hexbytes(_from_hex(signed.raw_transaction)), _hexbytes(_from_hex(signed.tx_hash)),
                                 int.from_bytes(sig[:32], "big"), int.from_bytes(sig[32:64], "big"), sig[64])

    def sign_message(self, signable_message: Any) -> SignedMessage:
        """Signs an eth-account SignableMessage (version b"E" from encode_defunct, b"\\x01"
        from encode_typed_data, b"\\x00" from encode_intended_validator), v = 27 or 28.
        EIP-712 data arrives as its hashes, so its domain's chainId cannot be checked here
        (sign_typed_data checks it)."""
        try:
            version, header, body = (bytes(signable_message.version), bytes(signable_message.header),
                                     bytes(signable_message.body))
        except (AttributeError, TypeError):
            raise InvalidInputError("invalid input: sign_message takes an eth-account SignableMessage "
                                    "(version, header and body bytes)") from None
        signed = self._session.sign_signable_message(self._chain, version, header, body, self._index, self._path)
        return self._signed_message(_keccak(b"\x19" + version + header + body), _from_hex(signed.signature))

    def sign_typed_data(self, domain_data: Optional[Mapping[str, Any]] = None,
                        message_types: Optional[Mapping[str, Any]] = None,
                        message_data: Optional[Mapping[str, Any]] = None,
                        full_message: Optional[Mapping[str, Any]] = None) -> SignedMessage:
        """Signs EIP-712 typed data as eth-account's encode_typed_data reads its arguments
        (needs eth-account), refusing a domain chainId other than the chain's."""
        domain = full_message.get("domain", {}) if full_message is not None else (domain_data or {})
        if "chainId" in domain:
            given = domain["chainId"]
            number = int(given, 0) if isinstance(given, str) else given
            if number != self._chain_id:
                raise InvalidInputError(f"invalid input: the typed data's domain chainId {given} is not that of "
                                        f"{self._chain!r} (eip155:{self._chain_id})")
        from eth_account.messages import encode_typed_data

        return self.sign_message(encode_typed_data(domain_data, message_types, message_data, full_message))

    def unsafe_sign_hash(self, message_hash: Any) -> SignedMessage:
        """Signs a 32-byte hash as given (Session.unsafe_sign_hash): refused unless the
        account was made with allow_unsafe_sign_hash=True, because a transaction's hash
        signed this way authorises the transaction."""
        if not self._allow_unsafe_sign_hash:
            raise InvalidInputError("invalid input: unsafe_sign_hash signs any hash, a transaction's included; "
                                    "make the SessionAccount with allow_unsafe_sign_hash=True to allow it")
        digest = _from_hex(message_hash) if isinstance(message_hash, str) else bytes(message_hash)
        signed = self._session.unsafe_sign_hash(self._chain, digest, self._index, self._path)
        return self._signed_message(digest, _from_hex(signed.signature))

    @staticmethod
    def _signed_message(digest: Optional[bytes], sig: bytes) -> SignedMessage:
        return SignedMessage(None if digest is None else _hexbytes(digest), int.from_bytes(sig[:32], "big"),
                             int.from_bytes(sig[32:64], "big"), sig[64], _hexbytes(sig))

    @property
    def key(self) -> bytes:
        raise AttributeError("a SessionAccount has no key: the key stays in the session")
