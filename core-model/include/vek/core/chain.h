// Chain families and the table of known chains with their CAIP-2 identifiers.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace vek_core {

// The six chain families, in their fixed numbering.
enum class ChainType : std::uint8_t { Evm = 0, Solana = 1, Cosmos = 2, Bitcoin = 3, Tron = 4, Ton = 5 };

inline constexpr std::array<ChainType, 6> kAllChainTypes = {
    ChainType::Evm, ChainType::Solana, ChainType::Cosmos, ChainType::Bitcoin, ChainType::Tron, ChainType::Ton};

// The families' serialised names, indexed by their numbering.
inline constexpr std::array<std::string_view, 6> kChainTypeNames = {"evm", "solana", "cosmos", "bitcoin", "tron", "ton"};

// "evm", "solana", "cosmos", "bitcoin", "tron" or "ton".
[[nodiscard]] std::string_view chain_type_name(ChainType t) noexcept;

// The family whose serialised name is exactly `name` (case-sensitive), if any.
[[nodiscard]] std::optional<ChainType> chain_type_from_name(std::string_view name) noexcept;

// One known chain; all fields point into static data.
struct Chain {
  std::string_view name;
  ChainType chain_type;
  std::string_view chain_id;         // CAIP-2
  std::string_view default_rpc_url;  // the built-in public endpoint (Config::default_rpc)
};

// The twelve known chains, in table order.
[[nodiscard]] const std::array<Chain, 12>& known_chains() noexcept;

// Resolves a chain name (any letter case), the alias "evm", or an exact CAIP-2 id.
// Error: "unknown chain: '{input}'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
[[nodiscard]] std::expected<Chain, std::string> parse_chain(std::string_view text);

// The family's default chain (Evm gives ethereum). Cannot fail.
[[nodiscard]] Chain default_chain_for_type(ChainType t) noexcept;

}  // namespace vek_core
