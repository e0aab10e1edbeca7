"""Transactions with several signers, and what a person reviews before signing: Solana
transactions signed in the wallet's own slot (solders adds and checks the others), sending
refused while a signature is missing, amounts in the chain's own currency with the
maximum cost, Solana transfers decoded."""
import pytest

import vek
from conftest import raises
from test_broadcast import ED_KEY, KEY, rpc  # noqa: F401 (rpc is a fixture)

solders = pytest.importorskip("solders")
rlp = pytest.importorskip("rlp")
from solders.hash import Hash  # noqa: E402
from solders.instruction import AccountMeta, Instruction  # noqa: E402
from solders.keypair import Keypair  # noqa: E402
from solders.message import Message  # noqa: E402
from solders.pubkey import Pubkey  # noqa: E402
from solders.signature import Signature  # noqa: E402
from solders.system_program import TransferParams, transfer  # noqa: E402
from solders.transaction import Transaction  # noqa: E402

PASS = "review passphrase"
BLOCKHASH = Hash.from_string("4vJ9JU1bJJE96FWSJKvHsmmFADCg4gpZQff4P3bkLKi")
TOKEN = "TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA"
TOKEN_2022 = "TokenzQdBNbLqP5VEhdkAS6EPFLC1PHnBqCXEpPxuEb"


@pytest.fixture
def session(vault):
    app = vek.Vault(vault)
    app.import_private_key("ed", secp256k1_key=KEY, ed25519_key=ED_KEY, passphrase=PASS)
    with app.unlock("ed", PASS) as s:
        yield s


def unsigned(instructions, payer):
    return bytes(Transaction.new_unsigned(Message.new_with_blockhash(instructions, payer, BLOCKHASH)))


# ---------------------------------------------------------------- several signers


def test_the_wallet_signs_its_own_slot_and_solders_completes_the_transaction(session, rpc):
    ours, payer = Pubkey.from_string(session.address("solana")), Keypair()
    tx = unsigned([transfer(TransferParams(from_pubkey=ours, to_pubkey=Pubkey.new_unique(), lamports=5))],
                  payer.pubkey())
    signed = session.sign_transaction("solana", tx)
    assert signed.raw_transaction == signed.raw_transaction.lower() and not signed.raw_transaction.startswith("0x")
    partial = Transaction.from_bytes(bytes.fromhex(signed.raw_transaction))
    assert list(partial.message.account_keys[:2]) == [payer.pubkey(), ours]
    assert partial.signatures == [Signature.default(), Signature.from_bytes(bytes.fromhex(signed.signature))]
    assert partial.verify_with_results() == [False, True]
    assert signed.tx_hash is None  # the transaction is named by the fee payer's signature, not there yet

    # Nothing leaves while the fee payer's slot is empty: neither the session nor broadcast sends it.
    node = rpc()
    missing = f"invalid input: the transaction is missing 1 of its 2 required signatures (from {payer.pubkey()})"
    raises(vek.InvalidInputError, missing, session.send, "solana", tx, rpc_url=node.url)
    raises(vek.InvalidInputError, missing, vek.broadcast, "solana", signed.raw_transaction, rpc_url=node.url)
    assert node.log() == []

    partial.partial_sign([payer], BLOCKHASH)
    partial.verify()
    whole = bytes(partial)
    node = rpc("--default", f"result:{partial.signatures[0]}")
    assert vek.broadcast("solana", whole, rpc_url=node.url) == str(partial.signatures[0])
    # Signing the completed transaction again keeps the fee payer's signature and names it.
    again = session.sign_transaction("solana", whole)
    assert (again.raw_transaction, again.tx_hash) == (whole.hex(), str(partial.signatures[0]))


def test_a_transaction_the_wallet_does_not_sign_is_refused(session):
    address = session.address("solana")
    other = Keypair()
    ix = transfer(TransferParams(from_pubkey=other.pubkey(), to_pubkey=Pubkey.from_string(address), lamports=5))
    tx = unsigned([ix], other.pubkey())
    message = tx[65:]
    for given, what in [(tx, "transaction"), (message, "message")]:
        raises(vek.InvalidInputError, f"invalid input: {address} is not a signer of this {what}",
               session.sign_transaction, "solana", given)
    raises(vek.InvalidInputError, f"invalid input: {address} is not a signer of this transaction",
           session.send, "solana", tx, rpc_url="http://127.0.0.1:9")


# ---------------------------------------------------------------- review


def units(base, decimals):
    whole, frac = divmod(base, 10**decimals)
    digits = str(frac).rjust(decimals, "0").rstrip("0")
    return f"{whole}.{digits}" if digits else str(whole)


@pytest.mark.parametrize("chain, chain_id, currency, tx_type", [
    ("polygon", 137, "POL", 2), ("bsc", 56, "BNB", 1), ("avalanche", 43114, "AVAX", 2),
    ("ethereum", 1, "ETH", 1), ("eip155:31337", 31337, "native", 2),
])
def test_evm_amounts_are_in_the_chains_currency_with_the_maximum_cost(chain, chain_id, currency, tx_type):
    value, gas, fee = 123456789012345678901234, 2**64 + 7, 10**30 + 3  # beyond 64 bits, and no float is exact here
    to = bytes([0x22] * 20)
    fees = [fee] if tx_type == 1 else [1, fee]  # gas price, or priority fee and max fee
    fields = [chain_id, 9, *fees, gas, to, value, b"", []]
    d = vek.decode_transaction(chain, bytes([tx_type]) + rlp.encode(fields))
    cost = value + gas * fee
    assert (d.currency, d.decimals) == (currency, 18)
    assert (d.value_text, d.max_cost, d.max_cost_text) == (f"{units(value, 18)} {currency}", cost,
                                                          f"{units(cost, 18)} {currency}")
    rows = dict(d.review)
    assert rows["value"] == f"{units(value, 18)} {currency} ({value} wei)"
    per_gas = "gas price" if tx_type == 1 else "max fee"
    assert rows["max cost"] == f"{units(cost, 18)} {currency} (value + gas limit × {per_gas})"
    assert next(c for c in vek.known_chains() if c.name == "solana").currency == "SOL"


def token_ix(program, code, amount, accounts, decimals=None):
    data = bytes([code]) + amount.to_bytes(8, "little") + (bytes([decimals]) if decimals is not None else b"")
    return Instruction(Pubkey.from_string(program), data, accounts)


@pytest.mark.parametrize("program, name, title", [(TOKEN, "token", "Token Program"),
                                                  (TOKEN_2022, "token-2022", "Token-2022 Program")])
def test_solana_transfers_are_decoded_with_recipient_amount_and_mint(session, program, name, title):
    ours = Pubkey.from_string(session.address("solana"))
    to, source, mint, dest = (Pubkey.new_unique() for _ in range(4))
    meta = lambda key, signer=False, writable=True: AccountMeta(key, signer, writable)  # noqa: E731
    unknown = Instruction(Pubkey.new_unique(), b"\x07\x08\x09", [meta(to)])
    d = vek.decode_transaction("solana-devnet", unsigned([
        transfer(TransferParams(from_pubkey=ours, to_pubkey=to, lamports=1_500_000_001)),
        token_ix(program, 12, 2**64 - 1, [meta(source), meta(mint, writable=False), meta(dest), meta(ours, True)], 6),
        token_ix(program, 3, 42, [meta(source), meta(dest), meta(ours, True)]),
        unknown,
    ], ours))
    system, checked, plain, other = d.instruction_details
    assert (system.program, system.kind, system.source, system.destination, system.amount) == (
        "system", "transfer", str(ours), str(to), 1_500_000_001)
    assert system.text == f"System Program: transfer 1.500000001 SOL from {ours} to {to}"
    assert (checked.program, checked.kind, checked.destination, checked.amount, checked.mint, checked.decimals,
            checked.authority) == (name, "transfer_checked", str(dest), 2**64 - 1, str(mint), 6, str(ours))
    assert checked.text == (f"{title}: transfer 18446744073709.551615 of mint {mint} (6 decimals) from token account "
                            f"{source} to token account {dest}, authority {ours}")
    assert (plain.kind, plain.amount, plain.mint, plain.destination) == ("transfer", 42, None, str(dest))
    assert (other.program, other.kind, other.program_id) == (None, None, str(unknown.program_id))
    assert other.text == f"program {unknown.program_id}: 1 account, 3 bytes of data (not decoded)"
    assert d.review[:3] == [("fee payer", str(ours)), ("signatures", "1"), ("instructions", "4")]
    assert d.review[3:] == [(f"instruction {k}", i.text) for k, i in enumerate(d.instruction_details, 1)]
    assert (d.currency, d.decimals, d.max_cost) == ("SOL", 9, None)
