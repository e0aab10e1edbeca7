// Chain families, the networks each chain runs on, and the resolved chain record the
// other layers pass around. What a family is (curve, coin type, paths, signer) lives in
// vek_signer's family descriptors; this layer knows only the families' names and the
// network rows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vek_core {

// The chain families (families.def). This numbering is the one order of the families
// everywhere: tables, listings and error texts walk them in it.
enum class ChainType : std::uint8_t {
#define VEK_FAMILY(folder, Name) Name,
#include "vek/core/families.def"
#undef VEK_FAMILY
};

inline constexpr std::array kAllChainTypes = {
#define VEK_FAMILY(folder, Name) ChainType::Name,
#include "vek/core/families.def"
#undef VEK_FAMILY
};

// The families' serialised names (their folders' names), indexed by their numbering.
inline constexpr std::array<std::string_view, kAllChainTypes.size()> kChainTypeNames = {
#define VEK_FAMILY(folder, Name) #folder,
#include "vek/core/families.def"
#undef VEK_FAMILY
};

// "evm", "solana", "cosmos", "bitcoin", "tron" or "ton".
[[nodiscard]] std::string_view chain_type_name(ChainType t) noexcept;

// The family whose serialised name is exactly `name` (case-sensitive), if any.
[[nodiscard]] std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept;

// One row of the network table: what a chain has beyond its family.
struct Network {
  std::string_view name;
  ChainType family;
  std::string_view chain_id;  // CAIP-2
  std::string_view rpc;       // the built-in public endpoint; empty: none
  // The bech32 human-readable part of the chain's addresses when not the family's own
  // ("tb", "osmo", ...); empty: the family's.
  std::string_view prefix;
  // The chain's own SLIP-44 coin type (secret 529, kava 459); none: the family's rule.
  std::optional<std::uint32_t> coin_type;
  // A test network: TON writes its addresses with the test-only flag and its wallet
  // contract carries the test network's id; Bitcoin keys go out as WIF with 0xef and
  // derive on coin type 1.
  bool testnet = false;
  // The chain's own currency: its symbol ("ETH", "POL", "SOL", ...) and the decimals of
  // its smallest unit (an amount in base units is amount / 10^decimals of the currency).
  std::string_view currency;
  std::uint8_t decimals = 0;
};

// Every network row, grouped by family; the first row of each family is the family's
// default chain. The mainnets with a built-in endpoint come first.
[[nodiscard]] std::span<const Network> networks() noexcept;

// The currency symbol of an EVM chain given only by its id ("eip155:<n>").
inline constexpr std::string_view kUnknownEvmCurrency = "native";

// One chain with its family's facts filled in (vek_signer's parse_chain and all_chains
// make them). An EVM chain given only by its id ("eip155:<n>") is made on demand with
// its id as its name.
struct Chain {
  std::string name;
  ChainType chain_type = ChainType::Evm;
  std::string chain_id;              // CAIP-2
  std::string_view default_rpc_url;  // the built-in public endpoint; empty: none
  // The bech32 human-readable part of the chain's addresses (Bitcoin and Cosmos
  // chains: "bc", "tb", "cosmos", "osmo", ...); empty for the other families.
  std::string_view address_prefix;
  // The SLIP-44 coin type of the chain's default paths (1 for the Bitcoin test networks).
  std::uint32_t coin_type = 0;
  // The default path of account `index` is path_head + index + path_tail.
  std::string_view path_head;
  std::string_view path_tail;
  // As Network::testnet.
  bool testnet = false;
  // As Network::currency and Network::decimals. An EVM chain given only by its id has
  // kUnknownEvmCurrency with 18 decimals: its currency is not known here.
  std::string_view currency;
  std::uint8_t decimals = 0;

  // The chain's default derivation path for account `index`.
  [[nodiscard]] std::string default_path(std::uint32_t index) const;
};

}  // namespace vek_core
