// Waiting until a node has included a transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/error.h"

namespace vek_lib {

// What a node says of an included transaction.
struct Receipt {
  std::string tx_hash;       // EVM: "0x" + 64 lower-case hex digits; Solana: the base58 signature
  std::string status;        // EVM "success" or "reverted"; Solana "success" or "failed"
  std::uint64_t block_number = 0;  // EVM: the block's number; Solana: the slot
  std::optional<std::uint64_t> gas_used;  // EVM only
  std::optional<std::string> error;       // Solana: the node's `err` as compact JSON, when it failed

  bool operator==(const Receipt&) const = default;
};

// The time a wait takes at most when the call gives none (the configuration's "timeout"
// bounds each request, not the wait).
inline constexpr double kDefaultWaitSeconds = 120;

// Asks the node at `rpc_url` (else rpc_endpoint()'s, as submit_signed) about `tx_hash`
// until it is included, and returns what it says:
//   EVM: eth_getTransactionReceipt until there is a receipt with a block number (status
//        "0x1" success, "0x0" reverted);
//   Solana: getSignatureStatuses (with searchTransactionHistory) until the status is
//        "confirmed" or "finalized" (err null: success, else failed).
// Between questions it pauses 0.5 s, growing by half each time up to 2 s. Each request
// has the configuration's timeout (request_timeout), within what is left of the wait.
// A request the node did not answer (no answer, a lost connection, an HTTP 5xx status) is
// asked again at the next turn; any other failure ends the wait.
// `limits.timeout` is the whole wait (default kDefaultWaitSeconds); a raised
// limits.cancel ends it at once.
// Errors: InvalidInput (unknown chain; "waiting covers EVM and Solana chains only, not
// {family}"; "not an EVM transaction hash (0x and 64 hex digits): '{hash}'"; "not a
// Solana transaction signature (base58 of 64 bytes): '{hash}'"; a timeout out of range);
// those of rpc_endpoint and request_timeout; WaitTimeout "no receipt for {hash} within
// {t} s; the transaction may still be included"; WaitCancelled "stopped waiting for
// {hash}; the transaction may still be included"; BroadcastFailed (the node's RPC error,
// an HTTP 4xx status, no connection, "the node's receipt is not one of {hash}: ...");
// Json (a reply that is not JSON).
[[nodiscard]] VekResult<Receipt> wait_for_transaction(std::string_view chain, std::string_view tx_hash,
                                                      std::optional<std::string_view> rpc_url,
                                                      const CallLimits& limits = {});

}  // namespace vek_lib
