// Who calls an operation, for the operations whose accepted chains and refusals depend
// on it: a binding that knows a few chains names them here, and its refusals point its
// users to what they can use instead.
#pragma once

#include <span>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/lib/error.h"

namespace vek_lib {

struct Caller {
  std::span<const std::string_view> chains;  // the chain names it accepts (parse_chain's names); empty: all
  std::string_view name;                     // how refusals name the caller
  std::string_view instead;                  // what refusals suggest instead
};

// The chain `chain` names (a chain name in any letter case, the alias "evm", a CAIP-2 id,
// or "eip155:<n>"), when `caller` accepts it.
// Error: InvalidInput with parse_chain's message; with a non-empty `caller.chains`, any
// text that names none of them (a chain outside them, or one parse_chain refuses) gives
// "unknown chain: '{chain}'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2
// ID (eip155:1, ...)".
[[nodiscard]] VekResult<vek_core::Chain> resolve_chain(std::string_view chain, const Caller& caller);

// Every chain, for callers without restrictions.
[[nodiscard]] VekResult<vek_core::Chain> resolve_chain(std::string_view chain);

}  // namespace vek_lib
