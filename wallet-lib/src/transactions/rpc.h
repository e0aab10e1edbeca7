// What submitting and waiting share: JSON-RPC envelopes and replies, and the thread's
// broadcast check.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "vek/core/error.h"
#include "vek/lib/broadcast.h"

namespace vek_lib {

// A JSON-RPC 2.0 request with positional parameters, compact, members sorted
// ({"id":1,"jsonrpc":"2.0","method":..,"params":[..]}).
[[nodiscard]] std::string rpc_envelope(std::string_view method, nlohmann::json params);

// The compact text of `v`, as v.dump() writes it, without recursion (a hostile reply may
// nest deeply).
[[nodiscard]] std::string compact_text(const nlohmann::json& v);

// The `result` member of the JSON-RPC reply `text`, of any type (null included).
// Errors: Json (not one JSON document); `rpc_error` "RPC error: {compact JSON}" when the
// reply has an `error` member; BroadcastFailed "no 'result' in response: {text}".
[[nodiscard]] VekResult<nlohmann::json> rpc_result(std::string_view text, vek_core::ErrorCode rpc_error);

// The check ScopedBroadcastCheck set for this thread, or null.
[[nodiscard]] ScopedBroadcastCheck::Check current_broadcast_check() noexcept;

// A deadline `seconds` from now (at most kMaxTimeoutSeconds, endpoint.h), with `cancel`.
[[nodiscard]] RequestLimits limits_from_now(double seconds, const CancelToken* cancel);

// `seconds` as error texts show it: the shortest decimal that reads back as it ("1", "2.5").
[[nodiscard]] std::string seconds_text(double seconds);

}  // namespace vek_lib
