// Submitting signed transactions to a chain's JSON-RPC node through the `curl` program.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/lib/cancel.h"
#include "vek/lib/error.h"
#include "vek/signer/traits.h"

namespace vek_lib {

// What the caller of a send, broadcast or wait allows: the time in seconds (none: the
// configuration's "timeout", else kDefaultTimeoutSeconds; see request_timeout in
// endpoint.h) and a token that ends the call early (null: none).
struct CallLimits {
  std::optional<double> timeout;
  const CancelToken* cancel = nullptr;
};

// The limits of one request, resolved: the time it must end by (none: no limit), the
// time allowed in seconds (for error texts), and the cancel token (may be null).
struct RequestLimits {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  double seconds = 0;
  const CancelToken* cancel = nullptr;
};

// A transaction signed and assembled by sign_and_assemble.
struct AssembledTransaction {
  vek_signer::SignOutput signature;
  std::vector<std::uint8_t> signed_tx;
};

// Signs `unsigned_tx` with `key` and assembles the signed transaction; nothing is sent.
// The one assembly of every path that completes a transaction (Session's
// sign_transaction, assemble and send), so they cannot drift apart. Only Session calls it.
// EVM: the signature covers every byte given, but only the typed transaction is
// assembled, so bytes after it are refused (the node would recover the signature to an
// unrelated sender). The header forms that encode_signed_typed_tx reads are accepted;
// the application API holds the transaction to the canonical form before (session.cpp).
// Errors: InvalidInput rlp::trailing_bytes_text(n), "{n} byte(s) follow(s) the
// transaction's RLP list" (EVM); Signer (extracting, signing or assembling fails,
// including "encode_signed_transaction not implemented for {chain}" for the families
// that cannot assemble).
[[nodiscard]] VekResult<AssembledTransaction> sign_and_assemble(std::span<const std::uint8_t> key,
                                                                const vek_core::Chain& chain,
                                                                std::span<const std::uint8_t> unsigned_tx);

// Chooses the endpoint for `chain`: `rpc_url`,
// else the configuration's entry for the chain's CAIP-2 id (read now), else the chain's
// built-in endpoint; then broadcasts the signed transaction there.
// Errors: InvalidInput "no RPC endpoint for '{name}'
// ({CAIP-2 id}): give rpc_url, or add "{CAIP-2 id}" to the "rpc" object of {config
// file}" (a chain without a built-in endpoint, such as an EVM chain given by its id, and
// none configured); any error of broadcast().
[[nodiscard]] VekResult<std::string> send_signed(const vek_core::Chain& chain, std::span<const std::uint8_t> signed_tx,
                                                 std::optional<std::string_view> rpc_url);

// Posts `signed_tx` to `url` as a JSON-RPC 2.0 request and returns the reply's `result`.
//   Evm:    method "eth_sendRawTransaction", one parameter "0x" + lower-case hex.
//   Solana: method "sendTransaction", two parameters: standard padded base64 and the
//           options object {"encoding":"base64"} (a node reads base58 without it).
// The body is compact JSON with sorted keys: {"id":1,"jsonrpc":"2.0","method":..,"params":[..]}.
// Errors: InvalidInput "no broadcast method for chain family '{family}'" for the other
// families; any error of curl_post_json() and extract_json_field().
[[nodiscard]] VekResult<std::string> broadcast(vek_core::ChainType family, std::string_view url,
                                               std::span<const std::uint8_t> signed_tx);

// Runs `curl -fsSL -X POST -H "Content-Type: application/json" -d <body> <url>` (no shell)
// with an empty standard input and waits for it, however long it takes (see
// ScopedBroadcastCheck for ending the wait early). A body too long to be one
// command-line argument is handed to curl on its standard input instead
// ("--data-binary @-" in place of "-d <body>"), sent byte for byte all the same.
// Only http and https endpoints are used (the scheme in any case): curl would as readily
// read local files or talk to local services for other schemes.
// Returns curl's standard output, decoded as UTF-8 with invalid sequences replaced by
// U+FFFD, untrimmed.
// Errors, checked before curl starts:
//   InvalidInput "RPC URL must start with http:// or https://: '{url}'"
// and once it runs (all BroadcastFailed):
//   "failed to run curl: {strerror} (os error {n})"    curl cannot be started
//   "reply larger than 16777216 bytes"                  more standard output; curl is ended
//   "curl wrote more than 65536 bytes to standard error"   likewise for standard error
//   "interrupted while waiting for curl"                the thread's check said stop
//   "curl was terminated by signal {n}"                 curl died of a signal
//   curl's standard error (decoded the same way, untrimmed) for any other unsuccessful exit.
[[nodiscard]] VekResult<std::string> curl_post_json(std::string_view url, std::string_view body);

// The application API's submission (vek.Session.send, vek.broadcast and the tool),
// stricter than send_signed:
//   - Solana, before anything else: the transaction must be whole (read as
//     read_solana_transaction reads it; else InvalidInput "invalid solana transaction:
//     {reason}") and every required signature slot filled: InvalidInput "the transaction
//     is missing {k} of its {n} required signature(s) (from {address}, ...)" names the
//     signers whose slots are all zeros.
//   - Without `rpc_url` the endpoint is rpc_endpoint()'s (review.h): a configuration
//     file that exists but cannot be used is an error, never a fall-back to the built-in
//     public node, and a chain with no endpoint at all is no_endpoint().
//   - The call takes at most `limits`' time (request_timeout(limits.timeout), endpoint.h:
//     without a timeout the configuration file is read for its "timeout", refused as
//     rpc_endpoint refuses it when it cannot be used) and ends early when limits.cancel
//     is raised.
//   - The request goes through post_json_quietly(): neither the URL nor the body is on a
//     command line, and a redirect is followed only to the endpoint's own host.
//   - For EVM and Solana the hash is known before sending (EVM: "0x" + hex of keccak256 of
//     the signed transaction; Solana: base58 of its first signature). A node answering
//     another hash (EVM compared without regard to case) is BroadcastFailed "the node
//     answered transaction hash {theirs}, but the transaction sent has hash {ours}", with
//     {theirs} on one line (control characters escaped) and cut after 100 characters ("…").
// Returns the node's hash text.
// Errors: those of rpc_endpoint() and request_timeout(); the NotSent and
// SendOutcomeUnknown errors of post_json_quietly(), the latter's text followed by "; look
// up {hash} on the chain before sending it again" and its tx_hash set; NotSent "RPC
// error: {compact JSON}" for a node's refusal (which may say that it has the transaction
// already, e.g. "already known"); Json and BroadcastFailed "no 'result' in response: ..."
// of extract_json_field(); the hash mismatch above.
[[nodiscard]] VekResult<std::string> submit_signed(const vek_core::Chain& chain,
                                                   std::span<const std::uint8_t> signed_tx,
                                                   std::optional<std::string_view> rpc_url,
                                                   const CallLimits& limits = {});

// The hash a chain gives a signed transaction, when it follows from the bytes alone: EVM
// "0x" + hex of its Keccak-256; Solana the base58 of its first signature (a transaction
// with at least one signature slot, read as read_solana_transaction_slots reads it).
[[nodiscard]] std::optional<std::string> transaction_hash(vek_core::ChainType family,
                                                          std::span<const std::uint8_t> signed_tx);

// Posts `body` to `url` as curl_post_json does, but runs `curl -q -K /dev/fd/3` with the
// body on its standard input and everything else (URL, header, options) as a curl
// configuration in a pipe on its descriptor 3, so that no other local user can read the
// endpoint (API keys included) or the transaction in the process list. `-q` keeps
// ~/.curlrc out. curl does not follow
// redirects itself: a 3xx reply with a Location is followed here, re-posting the same
// body, at most kMaxRedirects times, and only to the same host (compared without regard to
// case, any port) over http or https, never from https back to http; anything else
// ends the call without contacting the target.
// With a deadline in `limits`, curl gets the time left as its own limit (--max-time) and
// is killed a second after it; a raised limits.cancel kills it at once.
// Errors, before curl starts: InvalidInput "RPC URL must start with http:// or https://:
// '{url}'"; InvalidInput "RPC URL must not contain control characters: '{url}'" (escaped);
// then BroadcastFailed:
//   "refusing the node's redirect to {scheme}://{host}: a redirect is followed only to the
//    endpoint's own host ({host}) and never from https to http"   (escaped)
//   "the node redirected more than 3 times"
//   "curl's output lacks the HTTP status"   (a stand-in curl that ignores --write-out)
// and for a request that did not complete, one line each:
//   NotSent, when the node certainly did not get the whole request: "cancelled before the
//   request was made", "the time allowed ({t} s) ran out before the request was made",
//   "failed to run curl: ...", "the request did not go out within {t} s", curl's own
//   message (trailing line break dropped) when curl could not resolve or connect
//   (exit 6, 7), failed before the request (TLS set-up), sent less than the whole body,
//   or got an HTTP 4xx status;
//   SendOutcomeUnknown otherwise: "no answer within {t} s", "cancelled while waiting for
//   the node", "interrupted while waiting for curl", "reply larger than 16777216 bytes",
//   "curl wrote more than 65536 bytes to standard error", "curl was terminated by signal
//   {n}", curl's message (a lost connection, an HTTP 5xx status, ...).
[[nodiscard]] VekResult<std::string> post_json_quietly(std::string_view url, std::string_view body,
                                                       const RequestLimits& limits = {});

inline constexpr int kMaxRedirects = 3;

// The most of curl's standard output and standard error that is read.
inline constexpr std::size_t kMaxReplyBytes = std::size_t{16} << 20;
inline constexpr std::size_t kMaxCurlErrorBytes = std::size_t{64} << 10;

// Lets the calling thread stop waiting for curl. While an instance lives, every
// curl_post_json on this thread (through broadcast, sign_and_send and the rest) calls
// `keep_waiting` about every 50 ms and whenever a signal interrupts the wait; when it
// returns false, curl is killed and reaped and the call fails with BroadcastFailed
// "interrupted while waiting for curl". The Python binding uses it to run the
// interpreter's signal handlers. Scopes nest; the previous check comes back on exit.
class ScopedBroadcastCheck {
 public:
  using Check = bool (*)();
  explicit ScopedBroadcastCheck(Check keep_waiting) noexcept;
  ~ScopedBroadcastCheck();
  ScopedBroadcastCheck(const ScopedBroadcastCheck&) = delete;
  ScopedBroadcastCheck& operator=(const ScopedBroadcastCheck&) = delete;

 private:
  Check previous_;
};

// Reads the text member `field` of the JSON-RPC reply `text`.
// Errors: Json (not one JSON document, with the parser's message); `rpc_error`
// (BroadcastFailed unless given) "RPC error: {compact JSON}" when the top-level object has
// an `error` member of any value (null included), even beside `field`; BroadcastFailed
// "no '{field}' in response: {text}" when `field` is missing or not a JSON string.
[[nodiscard]] VekResult<std::string> extract_json_field(
    std::string_view text, std::string_view field, vek_core::ErrorCode rpc_error = vek_core::ErrorCode::BroadcastFailed);

// The error of a chain that has neither a configured nor a built-in endpoint: InvalidInput
// "no RPC endpoint for '{name}' ({CAIP-2 id}): give rpc_url, or add \"{CAIP-2 id}\" to
// the \"rpc\" object of {configuration file}".
[[nodiscard]] VekLibError no_endpoint(const vek_core::Chain& chain);

}  // namespace vek_lib
