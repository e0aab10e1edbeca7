// Where a transaction would be sent when no endpoint is given.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/lib/error.h"

namespace vek_lib {

// Where a transaction for `chain` goes when no endpoint is given.
struct Endpoint {
  std::string url;
  std::string source;       // "configuration" (the file's `rpc` entry) or "built-in"
  std::string config_file;  // the configuration file's path, whether it exists or not
};

// The endpoint Session::send uses for `chain` without an explicit URL: the configuration
// file's `rpc` entry for the chain's CAIP-2 id, else the built-in public mainnet node.
// Unlike send_signed (broadcast.h), which falls back to the built-in
// endpoints, a configuration file that exists but cannot be used is reported, so that a
// mistake in it never sends a transaction to a node the user did not choose.
// The URL returned is never empty.
// Errors: InvalidInput (unknown chain); InvalidInput "the configuration file {path} is not
// used: {reason}" (a file that cannot be read or is not a valid configuration, e.g.
// "missing field `vault_path`"); Io (a file another user controls, see vek/core/config.h);
// no_endpoint() of broadcast.h (neither a configured nor a built-in endpoint, or an empty
// configured one).
[[nodiscard]] VekResult<Endpoint> rpc_endpoint(std::string_view chain);
[[nodiscard]] VekResult<Endpoint> rpc_endpoint(const vek_core::Chain& chain);

// The time a call to a node may take when neither the call nor the configuration says.
inline constexpr double kDefaultTimeoutSeconds = 30;
// The longest time allowed (about 11.5 days).
inline constexpr double kMaxTimeoutSeconds = 1'000'000;

// The seconds a call to a node (a send, a broadcast, each request of a wait) may take:
// `given` when set, else the configuration file's "timeout" member (a number), else
// kDefaultTimeoutSeconds. A timeout must be above 0 and at most kMaxTimeoutSeconds.
// Errors: InvalidInput "timeout must be a number of seconds above 0 and at most 1000000,
// not {given}"; for a file that exists, those of rpc_endpoint when it cannot be used, and
// InvalidInput "the configuration file {path} is not used: invalid value for `timeout`:
// expected a number of seconds above 0 and at most 1000000, found {JSON}".
[[nodiscard]] VekResult<double> request_timeout(std::optional<double> given);

}  // namespace vek_lib
