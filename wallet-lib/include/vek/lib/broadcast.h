// Submitting signed transactions to a chain's JSON-RPC node through the `curl` program.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/lib/error.h"

namespace vek_lib {

// Signs `unsigned_tx` with `key`, assembles the signed transaction and submits it.
//   key:         the 32-byte private key of the chain family's curve (kept by the caller
//                in SecretBytes; not copied here).
//   chain:       a chain name, the alias "evm", or a CAIP-2 id.
//   unsigned_tx: the unsigned transaction bytes (EVM: typed transaction payload; Solana:
//                serialized transaction with its signature slots).
//   rpc_url:     the endpoint, used unchanged even when empty. When absent, the entry for
//                the chain's CAIP-2 id in the configuration's `rpc` map is used; the
//                configuration file is then read after signing, on every call.
// Returns the transaction hash text exactly as the node reported it.
// Errors: InvalidInput (unknown chain); Signer (extracting, signing or assembling fails,
// including "encode_signed_transaction not implemented for {chain}" for the families
// that cannot assemble, before anything is sent); any error of broadcast().
[[nodiscard]] VekResult<std::string> sign_encode_and_broadcast(std::span<const std::uint8_t> key,
                                                               std::string_view chain,
                                                               std::span<const std::uint8_t> unsigned_tx,
                                                               std::optional<std::string_view> rpc_url);

// Posts `signed_tx` to `url` as a JSON-RPC 2.0 request and returns the reply's `result`.
//   Evm:    method "eth_sendRawTransaction", one parameter "0x" + lower-case hex.
//   Solana: method "sendTransaction", one parameter: standard padded base64.
// The body is compact JSON with sorted keys: {"id":1,"jsonrpc":"2.0","method":..,"params":[..]}.
// Errors: InvalidInput "no broadcast method for chain family '{family}'" for the other
// families; any error of curl_post_json() and extract_json_field().
[[nodiscard]] VekResult<std::string> broadcast(vek_core::ChainType family, std::string_view url,
                                               std::span<const std::uint8_t> signed_tx);

// Runs `curl -fsSL -X POST -H "Content-Type: application/json" -d <body> <url>` (no shell)
// with an empty standard input and waits for it, however long it takes. A body too long
// to be one command-line argument is handed to curl on its standard input instead
// ("--data-binary @-" in place of "-d <body>"), sent byte for byte all the same.
// Returns curl's standard output, decoded as UTF-8 with invalid sequences replaced by
// U+FFFD, untrimmed.
// Errors: BroadcastFailed "failed to run curl: {strerror} (os error {n})" when curl cannot
// be started; BroadcastFailed carrying curl's standard error (decoded the same way,
// untrimmed) when it exits unsuccessfully.
[[nodiscard]] VekResult<std::string> curl_post_json(std::string_view url, std::string_view body);

// Reads the text member `field` of the JSON-RPC reply `text`.
// Errors: Json (not one JSON document, with the parser's message); BroadcastFailed
// "RPC error: {compact JSON}" when the top-level object has an `error` member of any
// value (null included), even beside `field`; BroadcastFailed
// "no '{field}' in response: {text}" when `field` is missing or not a JSON string.
[[nodiscard]] VekResult<std::string> extract_json_field(std::string_view text, std::string_view field);

}  // namespace vek_lib
