// Reading an unsigned EVM or Solana transaction as a person reviews it before signing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vek/lib/error.h"

namespace vek_lib {

// One instruction of a Solana message as a person reviews it. The System Program's
// Transfer and the token programs' (Token and Token-2022) Transfer and TransferChecked
// are decoded; other instructions are named by their program and sizes. An account that
// an address table lookup supplies is shown as "(account {i} from an address table)".
struct DecodedInstruction {
  std::string program_id;              // base58
  std::optional<std::string> program;  // "system", "token" or "token-2022"; absent: another
  std::optional<std::string> kind;     // "transfer" or "transfer_checked"; absent: not decoded
  std::optional<std::string> source;       // the paying account (token: the source token account)
  std::optional<std::string> destination;  // the receiving account (token: its token account)
  std::optional<std::string> authority;    // token: the source account's owner or delegate
  std::optional<std::string> amount;       // base units (lamports, or the token's), decimal
  std::optional<std::string> mint;         // transfer_checked: the token's mint
  std::optional<std::uint32_t> decimals;   // transfer_checked: the decimals it names
  std::uint64_t accounts = 0;              // how many accounts the instruction names
  std::uint64_t data_length = 0;           // the length of its data in bytes
  std::string text;                        // the review line, e.g. "System Program: transfer 0.5 SOL from ... to ..."
};

// An unsigned transaction as a person reviews it. Numbers are decimal text (they may
// exceed 64 bits); members of the other family are absent.
struct DecodedTransaction {
  std::string chain_id;  // the CAIP-2 id of the chain it was decoded for
  std::string family;    // "evm" or "solana"
  std::string currency;  // the chain's currency (Chain::currency): "ETH", "POL", "SOL", ...
  std::uint32_t decimals = 0;  // the decimals of its smallest unit (Chain::decimals)
  // EVM (EIP-2718 type 1 or 2)
  std::optional<std::uint32_t> tx_type;
  std::optional<std::string> evm_chain_id;
  std::optional<std::string> nonce;
  std::optional<std::string> to;  // EIP-55; absent for contract creation
  std::optional<std::string> value_wei;
  std::optional<std::string> value_ether;  // value_wei / 10^18, exact, no trailing zeros
  std::optional<std::string> gas_limit;
  std::optional<std::string> gas_price;                 // type 1
  std::optional<std::string> max_fee_per_gas;           // type 2
  std::optional<std::string> max_priority_fee_per_gas;  // type 2
  std::optional<std::uint64_t> data_length;
  std::optional<std::string> value_text;     // the value in the chain's currency, exact ("1.5 POL")
  // The most the transaction can take from the account, in wei: value + gas_limit ×
  // max_fee_per_gas (type 2) or × gas_price (type 1); and the same in the currency.
  std::optional<std::string> max_cost;
  std::optional<std::string> max_cost_text;
  // Solana (legacy or version-0 message)
  std::optional<std::string> fee_payer;  // base58
  std::optional<std::uint64_t> signatures;
  std::optional<std::uint64_t> instructions;
  std::vector<DecodedInstruction> instruction_details;  // each instruction, in order
  // What a person is shown before signing, as (label, text) rows in order: EVM "chain
  // id", "nonce", "to", "value", "gas limit", "gas price" (type 1) or "max fee" and
  // "priority fee" (type 2), "max cost", "data"; Solana "fee payer", "signatures", "instructions",
  // then "instruction {k}" (from 1) with each instruction's text.
  std::vector<std::pair<std::string, std::string>> review;
  // The bytes a signature covers: EVM the transaction itself, Solana the message
  // after the signature slots.
  std::vector<std::uint8_t> signing_payload;
};

// Decodes the unsigned transaction `tx` for `chain`.
//   EVM: type byte 0x01 or 0x02, then one RLP list of the unsigned fields (8 for type 1,
//   9 for type 2), nothing after it; its chain id must be the chain's.
//   Solana: the whole transaction: the signature count (compact-u16), that many 64-byte
//   slots, then a legacy or version-0 message that needs exactly that many signatures,
//   nothing after it.
// Errors, first failure wins: InvalidInput (unknown chain; "decoding covers EVM and Solana
// transactions only, not {family}"); then InvalidInput "invalid {family} transaction:
// {reason}", where {reason} says what is wrong, among others:
//   "unsupported transaction type (expected 0x01 or 0x02)", "it is already signed",
//   "{n} byte(s) follow the RLP list", "the chain id {id} is not that of '{chain}' ({caip})",
//   "this is a message without its signature slots; give the whole transaction
//   (signature count, signature slots, message)".
[[nodiscard]] VekResult<DecodedTransaction> decode_transaction(std::string_view chain,
                                                               std::span<const std::uint8_t> tx);

}  // namespace vek_lib
