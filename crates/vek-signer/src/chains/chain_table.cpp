// The chains of the network table with their families' facts, and lookup by name or id.
#include <charconv>
#include <cstdlib>
#include <deque>
#include <vector>

#include "vek/signer/chains.h"
#include "vek/signer/family.h"

namespace vek_signer {
namespace {

using vek_core::Chain;
using vek_core::Network;

// The resolved chains; the path texts the chains' views point at live beside them.
struct Table {
  std::vector<Chain> chains;
  std::deque<std::string> texts;
};

Chain resolve(const Network& n, std::deque<std::string>& texts) {
  const FamilyDescriptor& f = family(n.family);
  Chain c;
  c.name = std::string(n.name);
  c.chain_type = n.family;
  c.chain_id = std::string(n.chain_id);
  c.default_rpc_url = n.rpc;
  c.address_prefix = n.prefix.empty() ? f.address_prefix : n.prefix;
  c.coin_type = n.coin_type.value_or(n.testnet ? f.testnet_coin_type.value_or(f.coin_type) : f.coin_type);
  // The default path splits around the account index: the head holds the coin type.
  std::string head(f.path_head);
  head.append(std::to_string(c.coin_type)).append(f.path_middle);
  c.path_head = texts.emplace_back(std::move(head));
  c.path_tail = f.path_tail;
  c.testnet = n.testnet;
  c.currency = n.currency;
  c.decimals = n.decimals;
  return c;
}

const Table& table() {
  static const Table t = [] {
    Table out;
    for (const Network& n : vek_core::networks()) out.chains.push_back(resolve(n, out.texts));
    return out;
  }();
  return t;
}

constexpr std::string_view kEip155 = "eip155:";

// "eip155:<n>" with n a positive decimal below 2^64 written without leading zeros.
bool valid_evm_id(std::string_view text) {
  if (!text.starts_with(kEip155)) return false;
  const std::string_view digits = text.substr(kEip155.size());
  if (digits.empty() || digits[0] == '0') return false;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return ec == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

std::span<const Chain> all_chains() noexcept { return table().chains; }

std::expected<Chain, std::string> parse_chain(std::string_view text) {
  const std::span<const Chain> chains = all_chains();
  // Every accepted name is ASCII, and no non-ASCII character lower-cases to one of
  // their letters, so folding ASCII letters gives the same matches as full Unicode
  // lower-casing would.
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "evm") return default_chain_for_type(ChainType::Evm);
  for (const Chain& c : chains) {
    if (lower == c.name) return c;
  }
  for (const Chain& c : chains) {
    if (text == c.chain_id) return c;
  }
  if (text.starts_with(kEip155)) {
    if (!valid_evm_id(text)) {
      std::string error = "invalid EVM chain id: '";
      error.append(text).append("' (use eip155:<n>, n a positive decimal number without leading zeros)");
      return std::unexpected(std::move(error));
    }
    Chain c = default_chain_for_type(ChainType::Evm);
    c.name = std::string(text);
    c.chain_id = std::string(text);
    c.default_rpc_url = {};
    c.testnet = false;
    c.currency = vek_core::kUnknownEvmCurrency;
    return c;
  }
  std::string error = "unknown chain: '";
  error.append(text).append("'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)");
  return std::unexpected(std::move(error));
}

const Chain& default_chain_for_type(ChainType t) noexcept {
  for (const Chain& c : all_chains()) {
    if (c.chain_type == t) return c;
  }
  // Every family has a chain in the table (the family test checks it).
  std::abort();
}

}  // namespace vek_signer
