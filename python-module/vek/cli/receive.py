"""Receiving: receive (an address as text, as a payment URI and as a QR code)."""

from __future__ import annotations

import argparse
import re
from typing import Any, Optional

from .chains import family_of, named_chain, shares_addresses, title
from .common import account, account_address, open_vault, resolve, stored_account, unlock
from .core import CliError, Output, State, printable
from .prompts import SecretReader
from .registry import CHAIN, WALLET, account_options, arg, bip39_options, command, passphrase_options

# Each family's payment URI: its scheme, and how an amount is written in it (in the
# currency with its decimals, or as an integer of the smallest unit).
URI_SCHEMES = {"bitcoin": "bitcoin", "evm": "ethereum", "solana": "solana"}
# An EVM chain named only by its id has no currency in the chain table: its amounts are
# in the native unit of 18 decimals, as the library reviews them.
UNNAMED_EVM_CURRENCY = ("native", 18)
AMOUNT = re.compile(r"(\d+)(?:\.(\d*))?|\.(\d+)")
MAX_AMOUNT_TEXT = 80


def currency(chain: str) -> tuple[str, int]:
    """The chain's currency symbol and its decimals."""
    named = named_chain(chain)
    return (named.currency, named.decimals) if named is not None else UNNAMED_EVM_CURRENCY


def base_units(text: str, chain: str) -> int:
    """An amount in the chain's currency ("0.5") as an exact integer of its smallest unit
    (wei, lamports, satoshis). Refuses signs, exponents, other numbers than decimals,
    zero, and more decimals than the currency has."""
    code, decimals = currency(chain)
    if text.strip().startswith("-"):
        raise CliError(f"the amount must not be negative: {printable(text)}")
    m = AMOUNT.fullmatch(text) if len(text) <= MAX_AMOUNT_TEXT else None
    if m is None:
        raise CliError(f"invalid amount: '{printable(text[:MAX_AMOUNT_TEXT])}' (a decimal number, such as 0.25)")
    whole, fraction = m.group(1) or "0", m.group(2) or m.group(3) or ""
    if len(fraction.rstrip("0")) > decimals:
        raise CliError(f"{code} has {decimals} decimals: {text} has more")
    units: int = int(whole) * 10**decimals + int(fraction[:decimals].ljust(decimals, "0") or "0")
    if units == 0:
        raise CliError("the amount must be above zero")
    return units


def decimal_text(units: int, decimals: int) -> str:
    """`units` of the smallest unit in the currency, without trailing zeros: "0.25"."""
    whole, fraction = divmod(units, 10**decimals)
    digits = str(fraction).rjust(decimals, "0").rstrip("0")
    return f"{whole}.{digits}" if digits else str(whole)


def payment_uri(chain: str, address: str, amount: Optional[int]) -> Optional[str]:
    """The family's payment URI for `address` (BIP-21, EIP-681, Solana Pay), with the
    amount in base units; None for a family without one."""
    family = family_of(chain)
    scheme = URI_SCHEMES.get(family)
    if scheme is None:
        return None
    if family == "evm":
        named = named_chain(chain)
        caip = named.chain_id if named is not None else chain
        target = address + (f"@{caip.split(':', 1)[1]}" if caip.startswith("eip155:") else "")
        # EIP-681: a native transfer's value is an integer of wei.
        return f"ethereum:{target}" + (f"?value={amount}" if amount is not None else "")
    query = f"?amount={decimal_text(amount, currency(chain)[1])}" if amount is not None else ""
    return f"{scheme}:{address}{query}"


def qr_lines(data: str) -> list[str]:
    """`data` as a QR code for a terminal: two rows of modules a line, drawn with
    half blocks in the text's colour for the light modules (a terminal's text is light on
    a dark background), with the quiet zone of four modules around it."""
    import segno  # noqa: PLC0415 - only this command draws; the others start without it

    matrix = [[bool(m) for m in row] for row in segno.make_qr(data, error="m").matrix]
    border = 4
    size = len(matrix) + 2 * border
    # True: a dark module; the quiet zone is light.
    dark = [[False] * size for _ in range(border)]
    dark += [[False] * border + row + [False] * border for row in matrix]
    dark += [[False] * size for _ in range(border + 1)]  # one more: an even number of rows
    glyphs = {(False, False): "█", (False, True): "▀", (True, False): "▄", (True, True): " "}
    return ["".join(glyphs[(top, bottom)] for top, bottom in zip(dark[y], dark[y + 1])) for y in range(0, size, 2)]


def check_receive(args: argparse.Namespace) -> None:
    if args.amount is not None:
        family = family_of(args.chain)
        if family not in URI_SCHEMES:
            raise CliError(f"{title(family)} has no payment URI: --amount does not apply to {printable(args.chain)}")
        base_units(args.amount, args.chain)


@command(
    "receive",
    "show an address to receive on, with its payment URI and a QR code",
    WALLET,
    CHAIN,
    arg("--amount", metavar="AMOUNT", help="ask for this amount in the chain's currency (BTC, ETH, SOL: 0.25)"),
    account_options("the address (default: the stored account)"),
    passphrase_options(),
    bip39_options(),
    check=check_receive,
)
def receive(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    family = family_of(args.chain)
    amount = base_units(args.amount, args.chain) if args.amount is not None else None
    # The stored account's address needs no secret; another account's is derived.
    address = account_address(w, family) if stored_account(args) else None
    if address is None or not shares_addresses(named_chain(args.chain), family):
        with unlock(vault, w, args, reader, out) as session:
            address = session.address(args.chain, **account(args, args.chain))
    uri = payment_uri(args.chain, address, amount)
    doc: dict[str, Any] = {"chain": args.chain, "address": address, "uri": uri}
    if amount is not None:
        doc["amount"] = decimal_text(amount, currency(args.chain)[1])
        doc["currency"] = currency(args.chain)[0]

    def text() -> str:
        lines = [address] + ([uri] if uri is not None else []) + [""]
        return "\n".join(lines + qr_lines(uri or address))

    out.emit(doc, text)
