"""A payment bot: pays a list of EVM addresses from a vek wallet, all payments at once,
with asyncio. web3.py reads the chain (chain id, nonce, fees, balances); vek signs and
submits (`Session.send_async`) and waits for each receipt (`Session.wait_async`); the
wallet's `vek.web3.SessionAccount` (the session as a web3.py account) signs a payment note (EIP-191) per payment, which a
payee can check with any Ethereum library.

    VEK_BOT_PASSPHRASE=... python3 examples/payment_bot.py --vault DIR --wallet NAME \\
        --rpc-url http://127.0.0.1:8545 0xPAYEE:WEI [0xPAYEE:WEI ...]

The node URL may also come from $VEK_RPC_URL. The chain is the node's (`eip155:<id>`).
Prints one JSON line per payment. Exit status 1 when a payment failed: the line says
whether it was certainly not sent (`NotSentError`: safe to pay again) or may have been
(`SendOutcomeUnknownError`: look its hash up before paying again).
"""

from __future__ import annotations

import argparse
import asyncio
import json
import os
import sys
from dataclasses import dataclass
from typing import Any, Optional, Union

from eth_account.messages import encode_defunct
from web3 import AsyncHTTPProvider, AsyncWeb3

import vek
from vek.web3 import SessionAccount

GAS = 21000


@dataclass(frozen=True)
class Payment:
    to: str
    wei: int


def rlp(item: Union[bytes, int, list[Any]]) -> bytes:
    """The RLP encoding of bytes, an unsigned int (big-endian, no leading zeros) or a list."""

    def head(length: int, offset: int) -> bytes:
        if length < 56:
            return bytes([offset + length])
        size = length.to_bytes((length.bit_length() + 7) // 8, "big")
        return bytes([offset + 55 + len(size)]) + size

    if isinstance(item, int):
        item = item.to_bytes((item.bit_length() + 7) // 8, "big")
    if isinstance(item, bytes):
        return item if len(item) == 1 and item[0] < 0x80 else head(len(item), 0x80) + item
    payload = b"".join(rlp(x) for x in item)
    return head(len(payload), 0xC0) + payload


def unsigned_transfer(chain_id: int, nonce: int, tip: int, max_fee: int, payment: Payment) -> bytes:
    """An unsigned EIP-1559 transaction that sends `payment.wei` to `payment.to`."""
    fields = [chain_id, nonce, tip, max_fee, GAS, bytes.fromhex(payment.to[2:]), payment.wei, b"", []]
    return b"\x02" + rlp(fields)


async def send(session: vek.Session, chain: str, url: str, tx: bytes, payment: Payment) -> dict[str, Any]:
    """Submits one payment; the result is its line, with "tx_hash" or "error"."""
    line: dict[str, Any] = {"to": payment.to, "wei": payment.wei}
    try:
        return {**line, "tx_hash": await session.send_async(chain, tx, rpc_url=url, timeout=30)}
    except vek.NotSentError as e:
        return {**line, "error": f"not sent (safe to pay again): {e}"}
    except vek.SendOutcomeUnknownError as e:
        return {**line, "error": f"may have been sent, look it up before paying again: {e}"}


async def confirm(session: vek.Session, account: SessionAccount, chain: str, url: str,
                  line: dict[str, Any]) -> dict[str, Any]:
    """Waits for a sent payment's receipt and adds the signed payment note."""
    receipt = await session.wait_async(chain, line["tx_hash"], rpc_url=url, timeout=120)
    note = f"paid {line['wei']} wei to {line['to']} in transaction {line['tx_hash']}"
    signed_note = account.sign_message(encode_defunct(text=note))
    return {**line, "receipt": str(receipt), "note": note, "note_signature": "0x" + bytes(signed_note.signature).hex()}


async def run(vault: vek.Vault, wallet: str, passphrase: str, url: str, payments: list[Payment]) -> int:
    w3 = AsyncWeb3(AsyncHTTPProvider(url))
    chain_id = await w3.eth.chain_id
    chain = f"eip155:{chain_id}"
    # One scrypt, off the event loop; the session signs every payment.
    with await vault.unlock_async(wallet, passphrase, ttl=600) as session:
        account = SessionAccount(session, chain)
        payer = AsyncWeb3.to_checksum_address(account.address)
        balance = await w3.eth.get_balance(payer)
        tip = await w3.eth.max_priority_fee
        max_fee = await w3.eth.gas_price + tip
        needed = sum(p.wei for p in payments) + len(payments) * GAS * max_fee
        if balance < needed:
            print(f"error: {payer} holds {balance} wei; the payments need up to {needed}", file=sys.stderr)
            return 1
        nonce = await w3.eth.get_transaction_count(payer, "pending")
        # Submitted in nonce order (a node may refuse a nonce ahead of the next one), then
        # all receipts awaited at once. After a failure the later nonces would wait forever.
        sent: list[dict[str, Any]] = []
        for i, payment in enumerate(payments):
            sent.append(await send(session, chain, url, unsigned_transfer(chain_id, nonce + i, tip, max_fee, payment),
                                   payment))
            if "error" in sent[-1]:
                break
        results = await asyncio.gather(*(
            confirm(session, account, chain, url, line) if "tx_hash" in line else asyncio.sleep(0, line)
            for line in sent
        ))
    for line in results:
        print(json.dumps(line), flush=True)
    return 1 if len(results) < len(payments) or any("error" in line for line in results) else 0


def parse_payment(text: str) -> Payment:
    to, _, wei = text.partition(":")
    if len(to) != 42 or not to.startswith("0x") or not wei.isdigit():
        raise argparse.ArgumentTypeError(f"not ADDRESS:WEI: {text!r}")
    return Payment(to, int(wei))


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(description="pay EVM addresses from a vek wallet")
    parser.add_argument("--vault", required=True, help="the vault directory")
    parser.add_argument("--wallet", required=True, help="the paying wallet's name or id")
    parser.add_argument("--rpc-url", default=os.environ.get("VEK_RPC_URL"), help="the node (default $VEK_RPC_URL)")
    parser.add_argument("payments", nargs="+", type=parse_payment, metavar="ADDRESS:WEI")
    args = parser.parse_args(argv)
    if not args.rpc_url:
        parser.error("give --rpc-url or set VEK_RPC_URL")
    passphrase = os.environ.get("VEK_BOT_PASSPHRASE")
    if passphrase is None:
        parser.error("set VEK_BOT_PASSPHRASE to the wallet's passphrase")
    try:
        return asyncio.run(run(vek.Vault(args.vault), args.wallet, passphrase, args.rpc_url, args.payments))
    except vek.WrongPassphraseError:
        print(f"error: wrong passphrase for wallet {args.wallet!r}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
