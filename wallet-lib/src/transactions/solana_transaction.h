// The one reader of Solana's wire format in the library: a transaction is its signature
// count (compact-u16), that many 64-byte signature slots, then a legacy or version-0
// message. Decoding for review, the transaction hash of a signed transaction and what a
// session completes all read it here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vek_lib {

inline constexpr std::size_t kSolanaSignatureBytes = 64;
inline constexpr std::size_t kSolanaKeyBytes = 32;

using SolanaKey = std::array<std::uint8_t, kSolanaKeyBytes>;

// Where the parts of a transaction lie.
struct SolanaSlots {
  std::size_t count = 0;       // the signature count, at least 1
  std::size_t first_slot = 0;  // the offset of the first slot (after the count)
  std::size_t message_at = 0;  // the offset of the message (after the last slot)
};

// One instruction: its program and accounts as indices into the message's accounts (the
// static keys, then those of the address table lookups), and its data.
struct SolanaInstruction {
  std::size_t program = 0;
  std::vector<std::size_t> accounts;
  std::vector<std::uint8_t> data;
};

struct SolanaMessage {
  std::size_t required_signatures = 0;
  std::string fee_payer;  // base58
  std::size_t instructions = 0;
  std::vector<SolanaKey> account_keys;  // the static keys; the signers first
  std::vector<SolanaInstruction> instruction_list;
};

struct SolanaTransaction {
  SolanaSlots slots;
  SolanaMessage message;
};

// The signature count and its slots, all present; the message is not read.
// Errors (the reason, for "invalid solana transaction: {reason}"): "empty transaction",
// "it has no signature slots", "too short for its signature slots".
[[nodiscard]] std::expected<SolanaSlots, std::string> read_solana_transaction_slots(std::span<const std::uint8_t> tx);

// A legacy or version-0 message that ends exactly at the end of `in`.
// Errors: the reason, e.g. "truncated account keys", "2 bytes follow the message".
[[nodiscard]] std::expected<SolanaMessage, std::string> read_solana_message(std::span<const std::uint8_t> in);

// A whole transaction: its slots, then a message that needs exactly that many signatures
// and ends with the bytes. Errors: the reasons above, checked as: a message without its
// signature slots ("this is a message without its signature slots; give the whole
// transaction (signature count, signature slots, message)"), then the slots', then the
// message's; "the transaction has {n} signature slot(s) but its message needs {m}".
[[nodiscard]] std::expected<SolanaTransaction, std::string> read_solana_transaction(std::span<const std::uint8_t> tx);

// The slot of `key` among the message's required signers, if it is one of them.
[[nodiscard]] std::optional<std::size_t> solana_signer_slot(const SolanaMessage& message, const SolanaKey& key);

// The base58 addresses of the required signers whose slots in `tx` are all zeros.
[[nodiscard]] std::vector<std::string> missing_solana_signers(std::span<const std::uint8_t> tx,
                                                              const SolanaTransaction& read);

}  // namespace vek_lib
