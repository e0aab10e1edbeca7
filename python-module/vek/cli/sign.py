"""Messages and typed data: verify, sign-message, sign-typed-data."""

from __future__ import annotations

import argparse
import json
import time
from typing import Any, Optional

import vek

from .chains import (
    check_chain,
    curve_families,
    curve_of,
    family_of,
    message_formats_help,
    named_chain,
    standard_format,
    title,
)
from .common import (
    account,
    account_address,
    check_hex,
    one_of,
    open_vault,
    private_key_wallet,
    read_file,
    resolve,
    review,
    signature_doc,
    signature_text,
    stored_account,
    strip_hex_prefix,
    unlock,
)
from .core import CliError, Output, State, UsageError, printable, tell
from .prompts import SecretReader
from .registry import CHAIN, WALLET, account_options, arg, bip39_options, command, passphrase_options, yes_option


def message_options(p: argparse.ArgumentParser) -> None:
    p.add_argument("message", nargs="?", help="the message text")
    p.add_argument("--message-file", metavar="FILE", help="use the bytes of FILE instead")
    p.add_argument("--encoding", choices=("utf8", "hex"), help="utf8 (default) or hex (0x optional)")
    p.add_argument(
        "--format",
        metavar="FORMAT",
        help=f"signature format (default: the chain's standard): {message_formats_help()}",
    )
    p.add_argument("--domain", help="ton_proof, sign_data: the dApp's domain")
    p.add_argument("--timestamp", type=int, help="ton_proof, sign_data: the Unix time that is signed")


def read_message(args: argparse.Namespace) -> Any:
    """The message as the library takes it: bytes from a file, or text (hex decoded
    here with --encoding hex, a 0x prefix accepted)."""
    one_of(args.message, args.message_file, "message", "--message-file")
    if args.message_file is not None:
        if args.encoding is not None:
            raise UsageError("--encoding does not apply to --message-file (its bytes are used as they are)")
        return read_file(args.message_file)
    if args.encoding == "hex":
        digits = strip_hex_prefix(args.message)
        check_hex(digits, "message")
        return bytes.fromhex(digits)
    return args.message


@command(
    "verify",
    "check a signature (no wallet needed); without --address, print the signer",
    CHAIN,
    message_options,
    arg(
        "--signature", required=True, metavar="TEXT", help="the signature as the format writes it (hex, base64 or base58)"
    ),
    arg("--address", help="the address that should have signed"),
    arg("--public-key", metavar="KEY", help="TON: the signer's public key (hex or base64)"),
)
def verify(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    message = read_message(args)
    signature = args.signature
    if args.address is None:
        signer = vek.recover_address(args.chain, message, signature, format=args.format)
        out.emit({"chain": args.chain, "signer": signer}, lambda: signer)
        return
    valid = vek.verify_message(
        args.chain,
        args.address,
        message,
        signature,
        format=args.format,
        public_key=args.public_key,
        domain=args.domain,
        timestamp=args.timestamp,
    )
    if not valid:
        raise CliError(f"the signature is not {printable(args.address)}'s")
    out.emit({"chain": args.chain, "address": args.address, "valid": True}, lambda: "valid")


# The format each family signs in without --format.
def bytes_warning(args: argparse.Namespace, w: vek.Wallet) -> Optional[str]:
    """The warning before a message is signed as raw bytes, or as bytes the user
    does not see (hex, a file); None for a text in a format that frames it.

    A raw signature is a signature of the bytes themselves (or of their SHA-256), as
    transactions are signed: Bitcoin, Cosmos and Tron raw signatures, Solana's and
    TON's standard raw format on bytes that are a transaction's signing bytes. Text is
    not warned about under Solana's and TON's standard format (their default)."""
    family = family_of(args.chain)
    as_bytes = args.encoding == "hex" or args.message_file is not None
    raw = (args.format or standard_format(args.chain)).lower() == "raw"
    if raw and (args.format is not None or as_bytes):
        shared = ""
        if private_key_wallet(w):
            curve = curve_of(family)
            shared = f" (this private-key wallet signs for {curve_families(curve)} chains with one {title(curve)} key)"
        return (
            "warning: a raw signature signs these bytes as they are: if they are the signing bytes of a "
            f"transaction, it authorises that transaction on {args.chain} and on every other chain where this "
            f"key signs{shared}."
        )
    if as_bytes:
        return "warning: the message is bytes that are not shown here: sign them only if you know what they are."
    return None


def confirm_signing(args: argparse.Namespace, reader: SecretReader, question: str) -> None:
    """Asks before a signature (the answer comes before the passphrase); --yes agrees."""
    if not args.yes and not reader.confirm(question):
        raise CliError("cancelled: nothing was signed")


@command(
    "sign-message",
    "sign a message with a wallet's key",
    WALLET,
    CHAIN,
    message_options,
    account_options("the key (default: the stored account)"),
    yes_option("sign raw or unseen bytes without asking"),
    passphrase_options(),
    bip39_options(),
)
def sign_message(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    message = read_message(args)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    check_chain(args.chain)
    check_format(args)
    where = account(args, args.chain)
    warning = bytes_warning(args, w)
    if warning is not None:
        tell(warning)
        confirm_signing(args, reader, "Sign these bytes?")
    given = {"format": args.format, "domain": args.domain, "timestamp": args.timestamp}
    extra = {k: v for k, v in given.items() if v is not None}
    with unlock(vault, w, args, reader, out) as session:
        result = session.sign_message(args.chain, message, **where, **extra)
        doc = signature_doc(session.address(args.chain, **where), result)
    out.emit(doc, lambda: signature_text(doc))


# The message formats that bind a dApp's domain and the time of signing.
DAPP_FORMATS = ("ton_proof", "sign_data")


def check_format(args: argparse.Namespace) -> None:
    """Refuses a format the chain does not sign in, and a TON Connect format without its
    domain, before anything is asked; such a format signs at the current time without
    --timestamp."""
    if args.format is None:
        return
    formats = vek.message_formats(args.chain)
    if args.format.lower() not in [f.lower() for f in formats]:
        raise CliError(
            f"unknown message format for {printable(args.chain)}: '{printable(args.format)}' "
            f"(it signs in {', '.join(formats)})"
        )
    if args.format.lower() in DAPP_FORMATS:
        if args.domain is None:
            raise UsageError(f"{args.format.lower()} signs for a dApp: give its domain with --domain")
        if args.timestamp is None:
            args.timestamp = int(time.time())


MAX_SHOWN_MEMBERS = 200


def scalar_text(value: Any) -> str:
    return value if isinstance(value, str) else json.dumps(value, ensure_ascii=False)


def typed_data_doc(typed: str, file: str) -> dict[str, Any]:
    try:
        doc = json.loads(typed)
    except (ValueError, RecursionError) as e:
        raise CliError(f"{printable(file)} is not JSON: {e}") from None
    if not isinstance(doc, dict):
        raise CliError(f"{printable(file)} is not typed data: not a JSON object")
    return doc


def check_typed_chain(doc: dict[str, Any], chain: str) -> None:
    """Refuses typed data for a chain other than EVM, and a domain whose chainId is not
    the chain's (a signature the dApp would take on another network)."""
    family = family_of(chain)
    if family != "evm":
        raise CliError(f"typed data (EIP-712) is signed on EVM chains, not on {printable(chain)} ({title(family)})")
    named = named_chain(chain)
    caip = named.chain_id if named is not None else chain
    domain = doc.get("domain")
    if not caip.startswith("eip155:") or not isinstance(domain, dict) or "chainId" not in domain:
        return
    given = domain["chainId"]
    try:
        if isinstance(given, str):
            number = int(given, 16) if given[:2].lower() == "0x" else int(given, 10)
        elif isinstance(given, int) and not isinstance(given, bool):
            number = given
        else:
            return
    except ValueError:
        return  # the library refuses it when it signs
    if str(number) != caip[len("eip155:"):]:
        raise CliError(f"the typed data's domain chainId {number} is not that of '{printable(chain)}' ({caip})")


def typed_data_rows(doc: dict[str, Any], file: str) -> list[list[str]]:
    """What a typed-data document asks to sign, as review rows: the domain (name,
    version, chain id, verifying contract, salt), the primary type and every member
    of the message, one row per value ("message.details[0].amount"). The library
    checks the document against its types when it signs."""
    domain: dict[str, Any] = doc["domain"] if isinstance(doc.get("domain"), dict) else {}
    rows = [
        [name, scalar_text(domain[key]) if key in domain else "(none)"]
        for name, key in (
            ("domain", "name"),
            ("version", "version"),
            ("chain id", "chainId"),
            ("verifying contract", "verifyingContract"),
        )
    ]
    if "salt" in domain:
        rows.append(["salt", scalar_text(domain["salt"])])
    rows.append(["primary type", scalar_text(doc.get("primaryType", "(none)"))])
    members: list[list[str]] = []
    hidden = 0
    stack: list[tuple[str, Any]] = [("message", doc.get("message"))]
    while stack:  # an explicit stack: the document sets the depth
        path, value = stack.pop()
        if isinstance(value, (dict, list)) and value:
            items = value.items() if isinstance(value, dict) else enumerate(value)
            children = [(f"{path}.{k}" if isinstance(value, dict) else f"{path}[{k}]", v) for k, v in items]
            stack.extend(reversed(children))
        elif len(members) < MAX_SHOWN_MEMBERS:
            members.append([path, scalar_text(value)])
        else:
            hidden += 1
    if hidden:
        members.append(["…", f"{hidden} more values not shown: read {file} before you sign"])
    return rows + members


@command(
    "sign-typed-data",
    "sign EIP-712 typed data (eth_signTypedData_v4 JSON) from a file",
    WALLET,
    arg("chain", help="an EVM chain name or CAIP-2 id"),
    arg("file", help="the typed data (JSON)"),
    account_options("the key (default: the stored account)"),
    yes_option("sign without asking"),
    passphrase_options(),
    bip39_options(),
)
def sign_typed_data(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    try:
        typed = read_file(args.file).decode("utf-8")
    except UnicodeDecodeError:
        raise CliError(f"{printable(args.file)} is not UTF-8 text") from None
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    check_chain(args.chain)
    typed_doc = typed_data_doc(typed, args.file)
    check_typed_chain(typed_doc, args.chain)
    where = account(args, args.chain)
    rows = typed_data_rows(typed_doc, args.file)
    if not out.as_json or not args.yes:
        review(account_address(w, "evm") if stored_account(args) else None, rows)
    confirm_signing(args, reader, "Sign this typed data?")
    with unlock(vault, w, args, reader, out) as session:
        result = session.sign_typed_data(args.chain, typed, **where)
        doc = signature_doc(session.address(args.chain, **where), result)
    out.emit(doc, lambda: signature_text(doc))
