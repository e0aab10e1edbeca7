#include "vek/core/chain.h"

namespace vek_core {
namespace {

using enum ChainType;

// The network rows; coin type, default path and address prefix come from the family
// unless a row gives its own. Each row ends with the chain's currency: its symbol and how
// many decimals its smallest unit has (wei 18, lamports 9, satoshis 8, Cosmos micro-units
// 6, sun 6, nanotons 9).
constexpr std::array<Network, 24> kNetworks = {{
    // The mainnets with a built-in public endpoint, one or more per family.
    {"ethereum", Evm, "eip155:1", "https://eth.llamarpc.com", "", {}, false, "ETH", 18},
    {"polygon", Evm, "eip155:137", "https://polygon-rpc.com", "", {}, false, "POL", 18},
    {"arbitrum", Evm, "eip155:42161", "https://arb1.arbitrum.io/rpc", "", {}, false, "ETH", 18},
    {"optimism", Evm, "eip155:10", "https://mainnet.optimism.io", "", {}, false, "ETH", 18},
    {"base", Evm, "eip155:8453", "https://mainnet.base.org", "", {}, false, "ETH", 18},
    {"bsc", Evm, "eip155:56", "https://bsc-dataseed.bnbchain.org", "", {}, false, "BNB", 18},
    {"avalanche", Evm, "eip155:43114", "https://api.avax.network/ext/bc/C/rpc", "", {}, false, "AVAX", 18},
    {"solana", Solana, "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", "https://api.mainnet-beta.solana.com", "", {}, false,
     "SOL", 9},
    {"bitcoin", Bitcoin, "bip122:000000000019d6689c085ae165831e93", "https://blockstream.info/api", "", {}, false,
     "BTC", 8},
    {"cosmos", Cosmos, "cosmos:cosmoshub-4", "https://cosmos-rest.publicnode.com", "", {}, false, "ATOM", 6},
    {"tron", Tron, "tron:mainnet", "https://api.trongrid.io", "", {}, false, "TRX", 6},
    {"ton", Ton, "ton:mainnet", "https://toncenter.com/api/v2", "", {}, false, "TON", 9},
    // EVM test networks share the mainnet keys and addresses.
    {"sepolia", Evm, "eip155:11155111", "https://ethereum-sepolia-rpc.publicnode.com", "", {}, true, "ETH", 18},
    {"holesky", Evm, "eip155:17000", "https://ethereum-holesky-rpc.publicnode.com", "", {}, true, "ETH", 18},
    // Solana's test clusters: the same keys and addresses, their own endpoints.
    {"solana-devnet", Solana, "solana:EtWTRABZaYq6iMfeYKouRu166VU2xqa1", "https://api.devnet.solana.com", "", {}, true,
     "SOL", 9},
    {"solana-testnet", Solana, "solana:4uhcVJyU9pJkvQyS88uRDiswHXSCkY3z", "https://api.testnet.solana.com", "", {},
     true, "SOL", 9},
    // Bitcoin's test networks: "tb" addresses (and the test networks' coin type).
    {"bitcoin-testnet", Bitcoin, "bip122:000000000933ea01ad0ee984209779ba", "https://blockstream.info/testnet/api",
     "tb", {}, true, "BTC", 8},
    {"bitcoin-signet", Bitcoin, "bip122:00000008819873e925422c1ff0f99f7c", "https://mempool.space/signet/api", "tb",
     {}, true, "BTC", 8},
    // Cosmos SDK chains: their own bech32 prefix, and some their own coin type. No built-in
    // endpoints: nothing is sent to Cosmos chains.
    {"osmosis", Cosmos, "cosmos:osmosis-1", "", "osmo", {}, false, "OSMO", 6},
    {"celestia", Cosmos, "cosmos:celestia", "", "celestia", {}, false, "TIA", 6},
    {"secret", Cosmos, "cosmos:secret-4", "", "secret", 529, false, "SCRT", 6},
    {"kava", Cosmos, "cosmos:kava_2222-10", "", "kava", 459, false, "KAVA", 6},
    {"cosmos-testnet", Cosmos, "cosmos:theta-testnet-001", "", "", {}, true, "ATOM", 6},
    // TON's test network: the test-only address flag and the test network's wallet id.
    {"ton-testnet", Ton, "ton:testnet", "https://testnet.toncenter.com/api/v2", "", {}, true, "TON", 9},
}};

}  // namespace

std::string Chain::default_path(std::uint32_t index) const {
  std::string out(path_head);
  out.append(std::to_string(index)).append(path_tail);
  return out;
}

std::string_view chain_type_name(ChainType t) noexcept { return kChainTypeNames[static_cast<std::size_t>(t)]; }

std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kChainTypeNames.size(); ++i) {
    if (kChainTypeNames[i] == name) return static_cast<ChainType>(i);
  }
  return std::nullopt;
}

std::span<const Network> networks() noexcept { return kNetworks; }

}  // namespace vek_core
