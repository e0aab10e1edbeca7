// The chains: the network table (vek/core/chain.h) with each family's facts filled in,
// lookup by name or CAIP-2 id, and the one way to obtain the signer of a chain.
#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/signer/traits.h"

namespace vek_signer {

// Every chain of the network table, in its order, with its family's coin type, default
// path and address prefix unless the row gives its own.
[[nodiscard]] std::span<const vek_core::Chain> all_chains() noexcept;

// Resolves a chain name (any letter case), the alias "evm", or an exact CAIP-2 id.
// "eip155:<n>" for any other n (a positive decimal below 2^64 without leading zeros) is
// an EVM chain of that id, with no built-in endpoint.
// Errors:
//   "unknown chain: '{input}'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"
//   (text beginning "eip155:") "invalid EVM chain id: '{input}' (use eip155:<n>, n a positive
//   decimal number without leading zeros)"
[[nodiscard]] std::expected<vek_core::Chain, std::string> parse_chain(std::string_view text);

// The family's default chain (Evm gives ethereum): its first chain in the table, the
// chain of the accounts a wallet stores for the family. Cannot fail.
[[nodiscard]] const vek_core::Chain& default_chain_for_type(ChainType t) noexcept;

// An owned signer for `chain_type`'s default chain; never fails. Every call returns an
// independent object (the Cosmos and Bitcoin signers carry their own copy of the
// family's bech32 prefix, "cosmos" and "bc"), so results need no locking and may be
// destroyed in any order.
[[nodiscard]] SignerPtr signer_for_chain(ChainType chain_type);

// The signer of one chain: its family's signer with the chain's network parameters (the
// bech32 prefix of Bitcoin and Cosmos chains, TON's test network). Never fails.
[[nodiscard]] SignerPtr signer_for_chain(const vek_core::Chain& chain);

}  // namespace vek_signer
