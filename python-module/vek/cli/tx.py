"""Transactions: sign-tx, send."""

from __future__ import annotations

import argparse
from typing import Any, Callable, Optional

import vek

from .chains import chain_label, decodes, family_of, joined, sending_families, title
from .common import (
    account,
    account_address,
    check_hex,
    one_of,
    open_vault,
    read_file,
    resolve,
    review,
    signature_doc,
    signature_text,
    stored_account,
    strip_hex_prefix,
    unlock,
)
from .core import CliError, Output, State, printable, tell
from .prompts import SecretReader
from .registry import (
    CHAIN,
    WALLET,
    ArgDecl,
    account_options,
    arg,
    bip39_options,
    command,
    passphrase_options,
    seconds_arg,
    yes_option,
)

ENDPOINT_HELP = (
    "node endpoint. Without it: the entry for the chain's CAIP-2 id in the `rpc` object of "
    "$HOME/.vek/config.json, else a built-in PUBLIC MAINNET node (shown before sending). "
    "A configuration file that cannot be used is an error, not ignored."
)


class SendFailed(CliError):
    """A send that failed, reported with the library's class and message and an exit
    status of its own: 1 when the transaction was certainly not sent, 3 when it is not
    known whether it was."""

    def __init__(self, error: BaseException, status: int, message: Optional[str] = None) -> None:
        super().__init__(message if message is not None else str(error))
        self.kind = type(error).__name__
        self.status = status


def read_transaction(args: argparse.Namespace) -> str:
    """The transaction hex from the command line, or from a file holding hex text
    (white space, line breaks included, is ignored there)."""
    one_of(args.tx, args.tx_file, "transaction", "--tx-file")
    if args.tx_file is None:
        text = str(args.tx)
    else:
        try:
            text = "".join(read_file(args.tx_file).decode("ascii").split())
        except UnicodeDecodeError:
            raise CliError(f"{printable(args.tx_file)} does not hold hex text") from None
    return strip_hex_prefix(text)


def decimal(n: Optional[int]) -> Optional[str]:
    """The tool's JSON writes EVM amounts as decimal text (they exceed what JSON readers keep exact)."""
    return None if n is None else str(n)


def decoded_doc(d: vek.DecodedTransaction) -> dict[str, Any]:
    if d.family == "evm":
        doc: dict[str, Any] = {
            "chain_id": decimal(d.evm_chain_id),
            "type": d.tx_type,
            "nonce": decimal(d.nonce),
            "to": d.to,
            "value_wei": decimal(d.value_wei),
            "value_ether": d.value_ether,
            "currency": d.currency,
            "value": d.value_text,
            "gas_limit": decimal(d.gas_limit),
        }
        if d.gas_price is not None:
            doc["gas_price"] = decimal(d.gas_price)
        else:
            doc["max_fee_per_gas"] = decimal(d.max_fee_per_gas)
            doc["max_priority_fee_per_gas"] = decimal(d.max_priority_fee_per_gas)
        doc["data_length"] = d.data_length
        doc["max_cost_wei"] = decimal(d.max_cost)
        doc["max_cost"] = d.max_cost_text
        return doc
    return {
        "fee_payer": d.fee_payer,
        "signatures": d.signatures,
        "instructions": d.instructions,
        "transfers": [i.to_dict() for i in d.instruction_details if i.kind is not None],
    }


def decoded_rows(d: vek.DecodedTransaction) -> list[list[str]]:
    """The review rows the library makes: amounts in the chain's currency, the maximum
    cost, Solana's transfers decoded."""
    return [[label, text] for label, text in d.review]


def decode(args: argparse.Namespace, tx: str) -> Optional[vek.DecodedTransaction]:
    """The transaction decoded for review; None for the families that are signed as given."""
    if not decodes(family_of(args.chain)):
        check_hex(tx, "transaction")
        return None
    return vek.decode_transaction(args.chain, tx)


def tx_arguments(*extra: ArgDecl) -> tuple[ArgDecl, ...]:
    """The arguments of sign-tx and send: the transaction, then `extra`, then the passphrase."""
    return (
        WALLET,
        CHAIN,
        arg(
            "tx",
            nargs="?",
            metavar="TX_HEX",
            help="the unsigned transaction in hex (EVM: type 1 or 2; Solana: the whole transaction "
            "with its signature slots)",
        ),
        arg("--tx-file", metavar="FILE", help="read the transaction hex from FILE"),
        account_options("the key (default: the stored account)"),
        *extra,
        passphrase_options(),
        bip39_options(),
    )


@command(
    "sign-tx",
    "show and sign a transaction (nothing is sent); prints the signed transaction (EVM, Solana)",
    *tx_arguments(),
)
def sign_tx(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    tx = read_transaction(args)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    d = decode(args, tx)
    family = family_of(args.chain)
    where = account(args, args.chain)
    if not out.as_json:
        if d is None:
            tell(f"note: {family} transactions are not decoded: check what you sign.")
        review(account_address(w, family) if stored_account(args) else None, decoded_rows(d) if d else [])
    with unlock(vault, w, args, reader, out) as session:
        # Solana: the whole transaction, so that the signed one comes back assembled.
        result = session.sign_transaction(args.chain, tx, **where)
        doc = signature_doc(session.address(args.chain, **where), result)
    if d is not None:
        doc["transaction"] = decoded_doc(d)
    out.emit(doc, lambda: signature_text(doc))


def endpoint_of(args: argparse.Namespace) -> tuple[str, str]:
    """The endpoint and where it comes from, in words."""
    if args.rpc_url is not None:
        return args.rpc_url, "--rpc-url"
    e = vek.rpc_endpoint(args.chain)
    if e.source == "configuration":
        return e.url, f"from {printable(e.config_file)}"
    return e.url, "built-in public mainnet node"


def signed_bytes(signed: vek.SignedTransaction) -> bytes:
    """The signed transaction as a node takes it (EVM and Solana assemble it; Solana's
    signature is in the slot of the wallet's key)."""
    assert signed.raw_transaction is not None
    return bytes.fromhex(strip_hex_prefix(signed.raw_transaction))


def submitted(lookup: str, submit: Callable[[], str]) -> str:
    """The node's transaction hash of `submit`; its failure as "not sent" (status 1) or
    "not known whether it was sent" (status 3)."""
    try:
        return submit()
    except vek.NotSentError as e:
        raise SendFailed(e, 1) from None
    except vek.SendOutcomeUnknownError as e:
        raise SendFailed(e, 3) from None
    except (vek.BroadcastError, vek.JsonError) as e:
        # The node answered, but not as expected: it may have taken the transaction.
        raise SendFailed(e, 3, f"{e} (whether the transaction was sent is not known{lookup})") from None


SENDING = joined([title(name) for name in sending_families()])


@command(
    "send",
    f"show, confirm, sign and broadcast a transaction ({SENDING})",
    *tx_arguments(
        arg("--rpc-url", metavar="URL", help=ENDPOINT_HELP),
        arg(
            "--timeout",
            type=seconds_arg,
            metavar="SECONDS",
            help='stop waiting for the node after SECONDS (default: the "timeout" of config.json, else 30)',
        ),
        yes_option("send without asking"),
    ),
)
def send(args: argparse.Namespace, out: Output, reader: SecretReader, state: State) -> None:
    tx = read_transaction(args)
    vault = open_vault(args)
    w = resolve(vault, args.wallet)
    family = family_of(args.chain)
    if family not in sending_families():
        raise CliError(f"sending covers {SENDING} chains only, not {family}")
    d = vek.decode_transaction(args.chain, tx)
    url, source = endpoint_of(args)
    where = account(args, args.chain)
    shown = account_address(w, family) if stored_account(args) else None
    state.text = "nothing was sent"
    if not out.as_json or not args.yes:
        review(shown, decoded_rows(d) + [["endpoint", f"{printable(url)} ({source})"]])
    if not args.yes and not reader.confirm("send?"):
        raise CliError("cancelled: nothing was sent")
    with unlock(vault, w, args, reader, out) as session:
        signer = session.address(args.chain, **where)
        if shown is not None and signer != shown:
            raise CliError(f"the wallet signs with {signer}, not the address shown ({shown}); nothing was sent")
        signed = session.sign_transaction(args.chain, tx, **where)
        expected = signed.tx_hash
        lookup = f"; look up {expected} before sending it again" if expected else "; check the account before sending again"
        state.text = "whether the transaction was sent is not known" + lookup
    # The session is closed: its keys are wiped before the wait for the node.
    raw = signed_bytes(signed)
    tx_hash = submitted(lookup, lambda: vek.broadcast(args.chain, raw, rpc_url=url, timeout=args.timeout))
    state.text = f"the transaction was sent ({printable(tx_hash)})"
    out.emit({"signer": signer, "tx_hash": tx_hash}, lambda: printable(tx_hash))
