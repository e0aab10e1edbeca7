#include "vek/signer/chains.h"
#include "vek/lib/caller.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vek_lib {

VekResult<vek_core::Chain> resolve_chain(std::string_view chain) {
  auto c = vek_signer::parse_chain(chain);
  if (!c) return std::unexpected(VekLibError::invalid_input(std::move(c.error())));
  return std::move(*c);
}

VekResult<vek_core::Chain> resolve_chain(std::string_view chain, const Caller& caller) {
  if (caller.chains.empty()) return resolve_chain(chain);
  auto c = vek_signer::parse_chain(chain);
  if (c && std::ranges::find(caller.chains, std::string_view(c->name)) != caller.chains.end()) return std::move(*c);
  return std::unexpected(VekLibError::invalid_input(
      "unknown chain: '" + std::string(chain) +
      "'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)"));
}

}  // namespace vek_lib
