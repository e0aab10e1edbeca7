#include "vek/lib/broadcast.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "process.h"
#include "vek/core/config.h"
#include "vek/core/support.h"
#include "vek/signer/chains.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"
#include "vek/signer/rlp.h"

namespace vek_lib {
namespace {

// A JSON-RPC 2.0 request with positional parameters. nlohmann's object map is sorted,
// so the members go out as id, jsonrpc, method, params; dump() is compact.
std::string rpc_envelope(std::string_view method, nlohmann::json params) {
  nlohmann::json body = {
      {"id", 1},
      {"jsonrpc", "2.0"},
      {"method", method},
      {"params", std::move(params)},
  };
  return body.dump();
}

// The check curl_post_json runs while it waits, for this thread (ScopedBroadcastCheck).
thread_local ScopedBroadcastCheck::Check t_keep_waiting = nullptr;

// "http://" or "https://" in any case: the only schemes a JSON-RPC endpoint has.
bool has_http_scheme(std::string_view url) {
  const auto starts_with_ci = [url](std::string_view prefix) {
    if (url.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
      const char c = url[i];
      if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i]) return false;
    }
    return true;
  };
  return starts_with_ci("http://") || starts_with_ci("https://");
}

// The compact text of `v`, exactly as v.dump() writes it, but built with an explicit
// stack: dump() recurses once per nesting level, so a hostile reply nested a few
// hundred thousand levels deep would overflow the call stack.
std::string compact_text(const nlohmann::json& v) {
  struct Open {
    const nlohmann::json* node;
    nlohmann::json::const_iterator next;
  };
  std::string out;
  std::vector<Open> open;
  const auto enter = [&](const nlohmann::json& node) {
    if (!node.is_structured()) {
      out += node.dump();  // scalars do not nest
      return;
    }
    out += node.is_array() ? '[' : '{';
    open.push_back({&node, node.cbegin()});
  };
  enter(v);
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.node->cend()) {
      out += top.node->is_array() ? ']' : '}';
      open.pop_back();
      continue;
    }
    if (top.next != top.node->cbegin()) out += ',';
    const auto item = top.next++;
    if (top.node->is_object()) {
      out += nlohmann::json(item.key()).dump();
      out += ':';
    }
    enter(*item);  // may grow `open`; `top` is not used after this
  }
  return out;
}

}  // namespace

VekResult<std::string> extract_json_field(std::string_view text, std::string_view field) {
  nlohmann::json reply;
  try {
    reply = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    return std::unexpected(VekLibError::json(e.what()));
  }
  if (reply.is_object()) {
    if (const auto error = reply.find("error"); error != reply.end()) {
      return std::unexpected(VekLibError::broadcast_failed("RPC error: " + compact_text(*error)));
    }
    if (const auto value = reply.find(field); value != reply.end() && value->is_string()) {
      return value->get<std::string>();
    }
  }
  return std::unexpected(VekLibError::broadcast_failed("no '" + std::string(field) +
                                                       "' in response: " + std::string(text)));
}

ScopedBroadcastCheck::ScopedBroadcastCheck(Check keep_waiting) noexcept
    : previous_(std::exchange(t_keep_waiting, keep_waiting)) {}

ScopedBroadcastCheck::~ScopedBroadcastCheck() { t_keep_waiting = previous_; }

VekResult<std::string> curl_post_json(std::string_view url, std::string_view body) {
  // curl also speaks file, gopher, dict, telnet and more: such an endpoint would put local
  // files in an error text or reach local services. An accepted URL begins with a letter,
  // so curl can never read it as an option either.
  if (!has_http_scheme(url)) {
    return std::unexpected(
        VekLibError::invalid_input("RPC URL must start with http:// or https://: '" + std::string(url) + "'"));
  }
  // Linux refuses a single argument of 32 pages or more with E2BIG; such a body (a large
  // EVM transaction) goes to curl on its standard input instead. "--data-binary @-" and
  // not "-d @-": curl strips carriage returns and newlines from data that -d reads from
  // a file, while --data-binary sends it byte for byte, as "-d <body>" does.
  const bool body_on_stdin = body.size() > max_single_argument_bytes();
  std::vector<std::string> argv = {"curl", "-fsSL", "-X", "POST", "-H", "Content-Type: application/json"};
  if (body_on_stdin) {
    argv.insert(argv.end(), {"--data-binary", "@-"});
  } else {
    argv.insert(argv.end(), {"-d", std::string(body)});
  }
  argv.emplace_back(url);
  // A node may answer with an endless stream or never at all: what is kept is bounded,
  // and the thread's check (if any) can end the wait.
  const WaitLimits limits{kMaxReplyBytes, kMaxCurlErrorBytes, t_keep_waiting};
  auto run = run_process(argv, body_on_stdin ? std::optional<std::string_view>(body) : std::nullopt, limits);
  if (!run) return std::unexpected(VekLibError::broadcast_failed("failed to run curl: " + vek_core::os_error_text(run.error())));
  switch (run->stopped) {
    case ProcessStop::None:
      break;
    case ProcessStop::OutputLimit:
      return std::unexpected(
          VekLibError::broadcast_failed("reply larger than " + std::to_string(kMaxReplyBytes) + " bytes"));
    case ProcessStop::ErrorLimit:
      return std::unexpected(VekLibError::broadcast_failed("curl wrote more than " +
                                                           std::to_string(kMaxCurlErrorBytes) +
                                                           " bytes to standard error"));
    case ProcessStop::Interrupted:
      return std::unexpected(VekLibError::broadcast_failed("interrupted while waiting for curl"));
  }
  if (run->term_signal != 0) {
    return std::unexpected(
        VekLibError::broadcast_failed("curl was terminated by signal " + std::to_string(run->term_signal)));
  }
  if (!run->exited_ok) return std::unexpected(VekLibError::broadcast_failed(utf8_lossy(run->err)));
  return utf8_lossy(run->out);
}

VekResult<std::string> broadcast(vek_core::ChainType family, std::string_view url,
                                 std::span<const std::uint8_t> signed_tx) {
  std::string body;
  switch (family) {
    case vek_core::ChainType::Evm:
      body = rpc_envelope("eth_sendRawTransaction", {"0x" + vek_signer::hex_encode(signed_tx)});
      break;
    case vek_core::ChainType::Solana:
      // Without the options object a node reads the transaction as base58.
      body = rpc_envelope("sendTransaction",
                          {vek_signer::base64_encode(signed_tx), nlohmann::json{{"encoding", "base64"}}});
      break;
    case vek_core::ChainType::Cosmos:
    case vek_core::ChainType::Bitcoin:
    case vek_core::ChainType::Tron:
    case vek_core::ChainType::Ton:
      return std::unexpected(VekLibError::invalid_input("no broadcast method for chain family '" +
                                                        std::string(vek_core::chain_type_name(family)) + "'"));
  }
  auto reply = curl_post_json(url, body);
  if (!reply) return std::unexpected(std::move(reply.error()));
  return extract_json_field(*reply, "result");
}

VekResult<AssembledTransaction> sign_and_assemble(std::span<const std::uint8_t> key, const vek_core::Chain& chain,
                                                  std::span<const std::uint8_t> unsigned_tx) {
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain);
  // The EVM signature covers every byte given, but only the typed transaction is
  // assembled and sent: with anything after it, the node would recover the signature
  // to an unrelated sender. A malformed transaction is left to the signer's own errors.
  if (chain.chain_type == vek_core::ChainType::Evm) {
    const auto used = vek_signer::rlp::typed_tx_length(unsigned_tx);
    if (used && *used < unsigned_tx.size()) {
      const std::size_t extra = unsigned_tx.size() - *used;
      return std::unexpected(VekLibError::invalid_input(vek_signer::rlp::trailing_bytes_text(extra)));
    }
  }
  auto signable = signer->extract_signable_bytes(unsigned_tx);
  if (!signable) return std::unexpected(VekLibError(std::move(signable.error())));
  auto signature = signer->sign_transaction(key, *signable);
  if (!signature) return std::unexpected(VekLibError(std::move(signature.error())));
  auto signed_tx = signer->encode_signed_transaction(unsigned_tx, *signature);
  if (!signed_tx) return std::unexpected(VekLibError(std::move(signed_tx.error())));
  return AssembledTransaction{std::move(*signature), std::move(*signed_tx)};
}

VekResult<std::vector<std::uint8_t>> sign_and_encode(std::span<const std::uint8_t> key, std::string_view chain,
                                                     std::span<const std::uint8_t> unsigned_tx) {
  auto parsed = vek_core::parse_chain(chain, vek_core::ChainScope::All);
  if (!parsed) return std::unexpected(VekLibError::invalid_input(std::move(parsed.error())));
  auto assembled = sign_and_assemble(key, *parsed, unsigned_tx);
  if (!assembled) return std::unexpected(std::move(assembled.error()));
  return std::move(assembled->signed_tx);
}

VekResult<std::string> send_signed(std::string_view chain, std::span<const std::uint8_t> signed_tx,
                                   std::optional<std::string_view> rpc_url) {
  auto parsed = vek_core::parse_chain(chain, vek_core::ChainScope::All);
  if (!parsed) return std::unexpected(VekLibError::invalid_input(std::move(parsed.error())));
  if (rpc_url) return broadcast(parsed->chain_type, *rpc_url, signed_tx);

  // Read afresh after signing, so an edit to config.json applies to the next call.
  const auto config = vek_core::Config::load_or_default();
  if (!config) return std::unexpected(VekLibError::io(config.error()));
  // The defaults hold an entry for each of vek._native's chains; the other chains take
  // a configured entry, else their built-in endpoint, if they have one.
  const auto endpoint = config->rpc.find(parsed->chain_id);
  if (endpoint != config->rpc.end()) return broadcast(parsed->chain_type, endpoint->second, signed_tx);
  if (!parsed->default_rpc_url.empty()) return broadcast(parsed->chain_type, parsed->default_rpc_url, signed_tx);
  return std::unexpected(no_endpoint(*parsed));
}

VekLibError no_endpoint(const vek_core::Chain& chain) {
  return VekLibError::invalid_input("no RPC endpoint for '" + chain.name + "' (" + chain.chain_id +
                                    "): give rpc_url, or add \"" + chain.chain_id + "\" to the \"rpc\" object of " +
                                    vek_core::config_file_path().string());
}

VekResult<std::string> sign_encode_and_broadcast(std::span<const std::uint8_t> key, std::string_view chain,
                                                 std::span<const std::uint8_t> unsigned_tx,
                                                 std::optional<std::string_view> rpc_url) {
  auto signed_tx = sign_and_encode(key, chain, unsigned_tx);
  if (!signed_tx) return std::unexpected(std::move(signed_tx.error()));
  return send_signed(chain, *signed_tx, rpc_url);
}

}  // namespace vek_lib
