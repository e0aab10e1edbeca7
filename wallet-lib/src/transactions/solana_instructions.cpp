#include "solana_instructions.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "amounts.h"
#include "vek/signer/encoding.h"

namespace vek_lib {
namespace {

using Bytes = std::span<const std::uint8_t>;

struct Program {
  std::string_view id;
  std::string_view name;   // DecodedInstruction::program
  std::string_view title;  // how the review names it
};

constexpr Program kSystem = {"11111111111111111111111111111111", "system", "System Program"};
constexpr Program kPrograms[] = {
    kSystem,
    {"TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA", "token", "Token Program"},
    {"TokenzQdBNbLqP5VEhdkAS6EPFLC1PHnBqCXEpPxuEb", "token-2022", "Token-2022 Program"},
};

// The System Program's instruction numbers are 32-bit; the token programs' one byte.
constexpr std::uint32_t kSystemTransfer = 2;
constexpr std::uint8_t kTokenTransfer = 3;
constexpr std::uint8_t kTokenTransferChecked = 12;

std::uint64_t little_endian(Bytes b) {
  std::uint64_t v = 0;
  for (std::size_t k = b.size(); k-- > 0;) v = v << 8 | b[k];
  return v;
}

// The address of the instruction's account `k`; the instruction has it.
std::string account(const SolanaMessage& m, const SolanaInstruction& ix, std::size_t k) {
  const std::size_t index = ix.accounts[k];
  if (index < m.account_keys.size()) return vek_signer::base58_encode(m.account_keys[index]);
  return "(account " + std::to_string(index) + " from an address table)";
}

std::string count_text(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// A System Program transfer: data (2: u32, lamports: u64), accounts (from, to).
bool system_transfer(const SolanaMessage& m, const SolanaInstruction& ix, const vek_core::Chain& chain,
                     DecodedInstruction& d) {
  const Bytes data(ix.data);
  if (data.size() != 12 || little_endian(data.first(4)) != kSystemTransfer || ix.accounts.size() < 2) return false;
  d.kind = "transfer";
  d.source = account(m, ix, 0);
  d.destination = account(m, ix, 1);
  d.amount = std::to_string(little_endian(data.subspan(4, 8)));
  d.text.append(": transfer ")
      .append(amount_text(*d.amount, chain.decimals, chain.currency))
      .append(" from ")
      .append(*d.source)
      .append(" to ")
      .append(*d.destination);
  return true;
}

// A token transfer: Transfer (3, amount: u64; source, destination, authority) or
// TransferChecked (12, amount: u64, decimals: u8; source, mint, destination, authority).
bool token_transfer(const SolanaMessage& m, const SolanaInstruction& ix, DecodedInstruction& d) {
  const Bytes data(ix.data);
  const bool checked = !data.empty() && data[0] == kTokenTransferChecked;
  if (data.empty() || (data[0] != kTokenTransfer && !checked)) return false;
  if (data.size() != (checked ? 10U : 9U) || ix.accounts.size() < (checked ? 4U : 3U)) return false;
  d.kind = checked ? "transfer_checked" : "transfer";
  d.source = account(m, ix, 0);
  d.destination = account(m, ix, checked ? 2 : 1);
  d.authority = account(m, ix, checked ? 3 : 2);
  d.amount = std::to_string(little_endian(data.subspan(1, 8)));
  d.text.append(": transfer ");
  if (checked) {
    d.mint = account(m, ix, 1);
    d.decimals = data[9];
    d.text.append(in_units(*d.amount, data[9])).append(" of mint ").append(*d.mint);
    d.text.append(" (").append(count_text(data[9], "decimal", "decimals")).append(")");
  } else {
    d.text.append(*d.amount).append(" base units (the mint is not named)");
  }
  d.text.append(" from token account ")
      .append(*d.source)
      .append(" to token account ")
      .append(*d.destination)
      .append(", authority ")
      .append(*d.authority);
  return true;
}

DecodedInstruction decode_one(const SolanaMessage& m, const SolanaInstruction& ix, const vek_core::Chain& chain) {
  DecodedInstruction d;
  d.accounts = ix.accounts.size();
  d.data_length = ix.data.size();
  if (ix.program >= m.account_keys.size()) {
    // A program is always a static key; the runtime refuses anything else.
    d.program_id = "(account " + std::to_string(ix.program) + ", not a static key)";
  } else {
    d.program_id = vek_signer::base58_encode(m.account_keys[ix.program]);
  }
  const Program* known = nullptr;
  for (const Program& p : kPrograms) {
    if (p.id == d.program_id) known = &p;
  }
  if (known == nullptr) {
    d.text = "program " + d.program_id;
  } else {
    d.program = std::string(known->name);
    d.text = std::string(known->title);
    const bool decoded = known == &kPrograms[0] ? system_transfer(m, ix, chain, d) : token_transfer(m, ix, d);
    if (decoded) return d;
  }
  d.text.append(": ")
      .append(count_text(d.accounts, "account", "accounts"))
      .append(", ")
      .append(count_text(d.data_length, "byte", "bytes"))
      .append(" of data (not decoded)");
  return d;
}

}  // namespace

std::vector<DecodedInstruction> decode_solana_instructions(const SolanaMessage& message,
                                                           const vek_core::Chain& chain) {
  std::vector<DecodedInstruction> out;
  out.reserve(message.instruction_list.size());
  for (const SolanaInstruction& ix : message.instruction_list) out.push_back(decode_one(message, ix, chain));
  return out;
}

}  // namespace vek_lib
