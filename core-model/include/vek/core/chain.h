// Chain families and the table of known chains with their CAIP-2 identifiers and
// network parameters.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
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

// One chain. Table entries are built once and live for the whole process; an EVM chain
// given only by its id ("eip155:<n>") is made on demand with its id as its name.
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
  // A test network: TON writes its addresses with the test-only flag and its wallet
  // contract carries the test network's id; Bitcoin keys go out as WIF with 0xef.
  bool testnet = false;
  // Accepted by vek._native (the twelve mainnets); the others are for the application API only.
  bool native = true;

  // The chain's default derivation path for account `index`.
  [[nodiscard]] std::string default_path(std::uint32_t index) const;
};

// Which chains a lookup accepts: the twelve of vek._native, or every chain of the
// table and any EVM chain by its id.
enum class ChainScope : std::uint8_t { Native, All };

// The twelve chains vek._native knows, in table order: the seven EVM chains (ethereum
// first), then solana, bitcoin, cosmos, tron and ton.
[[nodiscard]] std::span<const Chain> known_chains() noexcept;

// Every chain of the table: the twelve above, then the chains of the application API
// only (test networks and further Cosmos and EVM chains), grouped by family.
[[nodiscard]] std::span<const Chain> all_chains() noexcept;

// Resolves a chain name (any letter case), the alias "evm", or an exact CAIP-2 id,
// among the chains of `scope`. With ChainScope::All, "eip155:<n>" for any other n (a
// positive decimal below 2^64 without leading zeros) is an EVM chain of that id, with
// no built-in endpoint.
// Errors:
//   "unknown chain: '{input}'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
//   (ChainScope::All, text beginning "eip155:") "invalid EVM chain id: '{input}' (use eip155:<n>, n a positive
//   decimal number without leading zeros)"
[[nodiscard]] std::expected<Chain, std::string> parse_chain(std::string_view text,
                                                            ChainScope scope = ChainScope::Native);

// The family's default chain (Evm gives ethereum), the chain of the accounts a wallet
// stores for the family. Cannot fail.
[[nodiscard]] const Chain& default_chain_for_type(ChainType t) noexcept;

}  // namespace vek_core
