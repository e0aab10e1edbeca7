#include "vek/core/chain.h"

#include "vek/core/ascii.h"

#include <charconv>
#include <vector>

namespace vek_core {
namespace {

// One row of the chain table: everything but the EVM chains made on demand.
struct Row {
  std::string_view name;
  ChainType type;
  std::string_view chain_id;
  std::string_view rpc;
  std::string_view prefix;
  std::uint32_t coin;
  std::string_view head, tail;
  bool testnet;
  bool native;
};

constexpr std::string_view kEvmHead = "m/44'/60'/0'/0/";

// The twelve chains of vek._native come first, in their fixed order; the first chain of
// each family is the family's default chain.
constexpr std::array<Row, 24> kRows = {{
    {"ethereum", ChainType::Evm, "eip155:1", "https://eth.llamarpc.com", "", 60, kEvmHead, "", false, true},
    {"polygon", ChainType::Evm, "eip155:137", "https://polygon-rpc.com", "", 60, kEvmHead, "", false, true},
    {"arbitrum", ChainType::Evm, "eip155:42161", "https://arb1.arbitrum.io/rpc", "", 60, kEvmHead, "", false, true},
    {"optimism", ChainType::Evm, "eip155:10", "https://mainnet.optimism.io", "", 60, kEvmHead, "", false, true},
    {"base", ChainType::Evm, "eip155:8453", "https://mainnet.base.org", "", 60, kEvmHead, "", false, true},
    {"bsc", ChainType::Evm, "eip155:56", "https://bsc-dataseed.bnbchain.org", "", 60, kEvmHead, "", false, true},
    {"avalanche", ChainType::Evm, "eip155:43114", "https://api.avax.network/ext/bc/C/rpc", "", 60, kEvmHead, "",
     false, true},
    {"solana", ChainType::Solana, "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", "https://api.mainnet-beta.solana.com", "",
     501, "m/44'/501'/", "'/0'", false, true},
    {"bitcoin", ChainType::Bitcoin, "bip122:000000000019d6689c085ae165831e93", "https://blockstream.info/api", "bc",
     0, "m/84'/0'/0'/0/", "", false, true},
    {"cosmos", ChainType::Cosmos, "cosmos:cosmoshub-4", "https://cosmos-rest.publicnode.com", "cosmos", 118,
     "m/44'/118'/0'/0/", "", false, true},
    {"tron", ChainType::Tron, "tron:mainnet", "https://api.trongrid.io", "", 195, "m/44'/195'/0'/0/", "", false, true},
    {"ton", ChainType::Ton, "ton:mainnet", "https://toncenter.com/api/v2", "", 607, "m/44'/607'/", "'", false, true},
    // The application API's chains. EVM test networks share the mainnet keys and addresses.
    {"sepolia", ChainType::Evm, "eip155:11155111", "https://ethereum-sepolia-rpc.publicnode.com", "", 60, kEvmHead,
     "", true, false},
    {"holesky", ChainType::Evm, "eip155:17000", "https://ethereum-holesky-rpc.publicnode.com", "", 60, kEvmHead, "",
     true, false},
    // Solana's test clusters: the same keys and addresses, their own endpoints.
    {"solana-devnet", ChainType::Solana, "solana:EtWTRABZaYq6iMfeYKouRu166VU2xqa1", "https://api.devnet.solana.com",
     "", 501, "m/44'/501'/", "'/0'", true, false},
    {"solana-testnet", ChainType::Solana, "solana:4uhcVJyU9pJkvQyS88uRDiswHXSCkY3z", "https://api.testnet.solana.com",
     "", 501, "m/44'/501'/", "'/0'", true, false},
    // Bitcoin's test networks: coin type 1 and "tb" addresses.
    {"bitcoin-testnet", ChainType::Bitcoin, "bip122:000000000933ea01ad0ee984209779ba",
     "https://blockstream.info/testnet/api", "tb", 1, "m/84'/1'/0'/0/", "", true, false},
    {"bitcoin-signet", ChainType::Bitcoin, "bip122:00000008819873e925422c1ff0f99f7c",
     "https://mempool.space/signet/api", "tb", 1, "m/84'/1'/0'/0/", "", true, false},
    // Cosmos SDK chains: their own bech32 prefix, and some their own coin type. No built-in
    // endpoints: nothing is sent to Cosmos chains.
    {"osmosis", ChainType::Cosmos, "cosmos:osmosis-1", "", "osmo", 118, "m/44'/118'/0'/0/", "",
     false, false},
    {"celestia", ChainType::Cosmos, "cosmos:celestia", "", "celestia", 118,
     "m/44'/118'/0'/0/", "", false, false},
    {"secret", ChainType::Cosmos, "cosmos:secret-4", "", "secret", 529,
     "m/44'/529'/0'/0/", "", false, false},
    {"kava", ChainType::Cosmos, "cosmos:kava_2222-10", "", "kava", 459,
     "m/44'/459'/0'/0/", "", false, false},
    {"cosmos-testnet", ChainType::Cosmos, "cosmos:theta-testnet-001", "",
     "cosmos", 118, "m/44'/118'/0'/0/", "", true, false},
    // TON's test network: the test-only address flag and the test network's wallet id.
    {"ton-testnet", ChainType::Ton, "ton:testnet", "https://testnet.toncenter.com/api/v2", "", 607, "m/44'/607'/", "'",
     true, false},
}};

constexpr std::size_t kNativeCount = 12;

Chain from_row(const Row& r) {
  Chain c;
  c.name = std::string(r.name);
  c.chain_type = r.type;
  c.chain_id = std::string(r.chain_id);
  c.default_rpc_url = r.rpc;
  c.address_prefix = r.prefix;
  c.coin_type = r.coin;
  c.path_head = r.head;
  c.path_tail = r.tail;
  c.testnet = r.testnet;
  c.native = r.native;
  return c;
}

const std::vector<Chain>& table() {
  static const std::vector<Chain> chains = [] {
    std::vector<Chain> out;
    out.reserve(kRows.size());
    for (const Row& r : kRows) out.push_back(from_row(r));
    return out;
  }();
  return chains;
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

std::string Chain::default_path(std::uint32_t index) const {
  return std::string(path_head) + std::to_string(index) + std::string(path_tail);
}

std::string_view chain_type_name(ChainType t) noexcept { return kChainTypeNames[static_cast<std::size_t>(t)]; }

std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kChainTypeNames.size(); ++i) {
    if (kChainTypeNames[i] == name) return static_cast<ChainType>(i);
  }
  return std::nullopt;
}

std::span<const Chain> known_chains() noexcept { return std::span<const Chain>(table()).first(kNativeCount); }

std::span<const Chain> all_chains() noexcept { return table(); }

std::expected<Chain, std::string> parse_chain(std::string_view text, ChainScope scope) {
  const std::span<const Chain> chains = scope == ChainScope::Native ? known_chains() : all_chains();
  // Every accepted name is ASCII, and no non-ASCII character lower-cases to one of
  // their letters, so folding ASCII letters gives the same matches as full Unicode
  // lower-casing would.
  const std::string lower = ascii_lower(text);
  if (lower == "evm") return chains[0];
  for (const Chain& c : chains) {
    if (lower == c.name) return c;
  }
  for (const Chain& c : chains) {
    if (text == c.chain_id) return c;
  }
  if (scope == ChainScope::All && text.starts_with(kEip155)) {
    if (!valid_evm_id(text)) {
      return std::unexpected("invalid EVM chain id: '" + std::string(text) +
                             "' (use eip155:<n>, n a positive decimal number without leading zeros)");
    }
    Chain c = chains[0];
    c.name = std::string(text);
    c.chain_id = std::string(text);
    c.default_rpc_url = {};
    c.testnet = false;
    c.native = false;
    return c;
  }
  return std::unexpected("unknown chain: '" + std::string(text) +
                         "'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)");
}

const Chain& default_chain_for_type(ChainType t) noexcept {
  const auto chains = known_chains();
  switch (t) {
    case ChainType::Evm: return chains[0];
    case ChainType::Solana: return chains[7];
    case ChainType::Bitcoin: return chains[8];
    case ChainType::Cosmos: return chains[9];
    case ChainType::Tron: return chains[10];
    case ChainType::Ton: return chains[11];
  }
  return chains[0];
}

}  // namespace vek_core
