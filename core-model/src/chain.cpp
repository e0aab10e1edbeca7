#include "vek/core/chain.h"

namespace vek_core {
namespace {

constexpr std::array<Chain, 12> kKnownChains = {{
    {"ethereum", ChainType::Evm, "eip155:1", "https://eth.llamarpc.com"},
    {"polygon", ChainType::Evm, "eip155:137", "https://polygon-rpc.com"},
    {"arbitrum", ChainType::Evm, "eip155:42161", "https://arb1.arbitrum.io/rpc"},
    {"optimism", ChainType::Evm, "eip155:10", "https://mainnet.optimism.io"},
    {"base", ChainType::Evm, "eip155:8453", "https://mainnet.base.org"},
    {"bsc", ChainType::Evm, "eip155:56", "https://bsc-dataseed.bnbchain.org"},
    {"avalanche", ChainType::Evm, "eip155:43114", "https://api.avax.network/ext/bc/C/rpc"},
    {"solana", ChainType::Solana, "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", "https://api.mainnet-beta.solana.com"},
    {"bitcoin", ChainType::Bitcoin, "bip122:000000000019d6689c085ae165831e93", "https://blockstream.info/api"},
    {"cosmos", ChainType::Cosmos, "cosmos:cosmoshub-4", "https://cosmos-rest.publicnode.com"},
    {"tron", ChainType::Tron, "tron:mainnet", "https://api.trongrid.io"},
    {"ton", ChainType::Ton, "ton:mainnet", "https://toncenter.com/api/v2"},
}};

}  // namespace

std::string_view chain_type_name(ChainType t) noexcept { return kChainTypeNames[static_cast<std::size_t>(t)]; }

std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kChainTypeNames.size(); ++i) {
    if (kChainTypeNames[i] == name) return static_cast<ChainType>(i);
  }
  return std::nullopt;
}

const std::array<Chain, 12>& known_chains() noexcept { return kKnownChains; }

std::expected<Chain, std::string> parse_chain(std::string_view text) {
  // Every accepted name is ASCII, and no non-ASCII character lower-cases to one of
  // their letters, so folding ASCII letters gives the same matches as full Unicode
  // lower-casing would.
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "evm") return kKnownChains[0];
  for (const Chain& c : kKnownChains) {
    if (lower == c.name) return c;
  }
  for (const Chain& c : kKnownChains) {
    if (text == c.chain_id) return c;
  }
  return std::unexpected("unknown chain: '" + std::string(text) +
                         "'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)");
}

Chain default_chain_for_type(ChainType t) noexcept {
  switch (t) {
    case ChainType::Evm: return kKnownChains[0];
    case ChainType::Solana: return kKnownChains[7];
    case ChainType::Bitcoin: return kKnownChains[8];
    case ChainType::Cosmos: return kKnownChains[9];
    case ChainType::Tron: return kKnownChains[10];
    case ChainType::Ton: return kKnownChains[11];
  }
  return kKnownChains[0];
}

}  // namespace vek_core
