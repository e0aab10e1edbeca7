// Reading an unsigned EVM or Solana transaction as a person reviews it before signing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/error.h"

namespace vek_lib {

// An unsigned transaction as a person reviews it. Numbers are decimal text (they may
// exceed 64 bits); members of the other family are absent.
struct DecodedTransaction {
  std::string chain_id;  // the CAIP-2 id of the chain it was decoded for
  std::string family;    // "evm" or "solana"
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
  // Solana (legacy or version-0 message)
  std::optional<std::string> fee_payer;  // base58
  std::optional<std::uint64_t> signatures;
  std::optional<std::uint64_t> instructions;
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
