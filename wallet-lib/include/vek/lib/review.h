// What a user checks before a secret is used: what a transaction does, where it would be
// sent, and the public key an account signs with.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/error.h"
#include "vek/lib/ops.h"

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

// Where a transaction for `chain` goes when no endpoint is given.
struct Endpoint {
  std::string url;
  std::string source;       // "configuration" (the file's `rpc` entry) or "built-in"
  std::string config_file;  // the configuration file's path, whether it exists or not
};

// The endpoint Session::send uses for `chain` without an explicit URL: the configuration
// file's `rpc` entry for the chain's CAIP-2 id, else the built-in public mainnet node.
// Unlike vek._native's broadcasting (send_signed), which falls back to the built-in
// endpoints, a configuration file that exists but cannot be used is reported, so that a
// mistake in it never sends a transaction to a node the user did not choose.
// The URL returned is never empty.
// Errors: InvalidInput (unknown chain); InvalidInput "the configuration file {path} is not
// used: {reason}" (a file that cannot be read or is not a valid configuration, e.g.
// "missing field `vault_path`"); Io (a file another user controls, see vek/core/config.h);
// no_endpoint() of broadcast.h (neither a configured nor a built-in endpoint, or an empty
// configured one).
[[nodiscard]] VekResult<Endpoint> rpc_endpoint(std::string_view chain);

// The public key of the account a wallet signs with by default for `chain` (as
// export_key): secp256k1 families the compressed point (33 bytes), Ed25519 families
// the 32-byte key, in lower-case hex.
// Errors: those of export_key's lookup, decryption and checks.
[[nodiscard]] VekResult<std::string> public_key(std::string_view name_or_id, std::string_view chain,
                                                OptText passphrase, OptText vault,
                                                OptText bip39_passphrase = std::nullopt);

// The 2048 words of the English BIP-39 list, in order: what a typed phrase is checked
// against (a word not in it can be shown with its nearest words).
[[nodiscard]] std::vector<std::string_view> mnemonic_words();

}  // namespace vek_lib
