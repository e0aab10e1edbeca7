// What the application API holds transactions and typed data to before it signs them.
#pragma once

#include <cstdint>
#include <span>

#include "vek/core/chain.h"
#include "vek/lib/error.h"

namespace vek_lib {

// An EVM typed transaction the signer can complete is read as a node reads it: nothing
// after its RLP list, canonical RLP throughout, integers without leading zeros, and its
// own chain id (when it has one) that of `chain`. Other families and bytes that are no
// typed transaction at all pass (the signer refuses what it cannot complete).
// Errors: InvalidInput with rlp::read_typed_tx's texts, or "the transaction's chain id
// {id} is not that of '{chain name}' ({CAIP-2 id})".
[[nodiscard]] VekResult<void> check_evm_transaction(const vek_core::Chain& chain, std::span<const std::uint8_t> tx);

// Typed data that is well formed and, when its domain names a chainId, names `chain`'s.
// Errors: Signer (malformed typed data); InvalidInput "the typed data's domain chainId
// {id} is not that of '{chain name}' ({CAIP-2 id})".
[[nodiscard]] VekResult<void> check_typed_data(const vek_core::Chain& chain, std::span<const std::uint8_t> typed_data);

}  // namespace vek_lib
