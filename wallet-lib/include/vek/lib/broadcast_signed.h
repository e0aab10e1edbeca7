// Submitting a transaction that is already signed, without a wallet.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vek/lib/error.h"
#include "vek/lib/ops.h"

namespace vek_lib {

// Submits `signed_tx` (a signed transaction of `chain`, as Session::send would submit it)
// to `rpc_url`, else to rpc_endpoint(chain)'s endpoint, and returns the node's transaction
// hash, checked against the transaction's own as Session::send checks it.
// Errors: those of submit_signed() (broadcast.h).
[[nodiscard]] VekResult<std::string> broadcast(std::string_view chain, std::span<const std::uint8_t> signed_tx,
                                               OptText rpc_url);

}  // namespace vek_lib
