#include "vek/lib/broadcast.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "process.h"
#include "vek/core/config.h"
#include "vek/signer/base64.h"
#include "vek/signer/chains.h"
#include "vek/signer/hex.h"

namespace vek_lib {
namespace {

// A JSON-RPC 2.0 request with a single positional parameter. nlohmann's object map is
// sorted, so the members go out as id, jsonrpc, method, params; dump() is compact.
std::string rpc_envelope(std::string_view method, std::string param) {
  nlohmann::json body = {
      {"id", 1},
      {"jsonrpc", "2.0"},
      {"method", method},
      {"params", nlohmann::json::array({std::move(param)})},
  };
  return body.dump();
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

VekResult<std::string> curl_post_json(std::string_view url, std::string_view body) {
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
  // curl reads any argument that begins with '-' as an option, wherever it stands: such
  // a URL could make it read a config file (-K) that names other URLs and output files.
  // After "--" the URL is only ever a URL. Other URLs keep the plain argument vector.
  if (url.starts_with('-')) argv.emplace_back("--");
  argv.emplace_back(url);
  auto run = run_process(argv, body_on_stdin ? std::optional<std::string_view>(body) : std::nullopt);
  if (!run) return std::unexpected(VekLibError::broadcast_failed("failed to run curl: " + os_error_text(run.error())));
  if (!run->exited_ok) return std::unexpected(VekLibError::broadcast_failed(utf8_lossy(run->err)));
  return utf8_lossy(run->out);
}

VekResult<std::string> broadcast(vek_core::ChainType family, std::string_view url,
                                 std::span<const std::uint8_t> signed_tx) {
  std::string body;
  switch (family) {
    case vek_core::ChainType::Evm:
      body = rpc_envelope("eth_sendRawTransaction", "0x" + vek_signer::hex_encode(signed_tx));
      break;
    case vek_core::ChainType::Solana:
      body = rpc_envelope("sendTransaction", vek_signer::base64_encode(signed_tx));
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

VekResult<std::string> sign_encode_and_broadcast(std::span<const std::uint8_t> key, std::string_view chain,
                                                 std::span<const std::uint8_t> unsigned_tx,
                                                 std::optional<std::string_view> rpc_url) {
  auto parsed = vek_core::parse_chain(chain);
  if (!parsed) return std::unexpected(VekLibError::invalid_input(std::move(parsed.error())));
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(parsed->chain_type);

  auto signable = signer->extract_signable_bytes(unsigned_tx);
  if (!signable) return std::unexpected(VekLibError(std::move(signable.error())));
  auto signature = signer->sign_transaction(key, *signable);
  if (!signature) return std::unexpected(VekLibError(std::move(signature.error())));
  auto signed_tx = signer->encode_signed_transaction(unsigned_tx, *signature);
  if (!signed_tx) return std::unexpected(VekLibError(std::move(signed_tx.error())));

  if (rpc_url) return broadcast(parsed->chain_type, *rpc_url, *signed_tx);

  // Read afresh after signing, so an edit to config.json applies to the next call.
  const auto config = vek_core::Config::load_or_default();
  if (!config) return std::unexpected(VekLibError::io(config.error()));
  const auto endpoint = config->rpc.find(std::string(parsed->chain_id));
  // The defaults hold an entry for every known chain and user entries only add or replace.
  if (endpoint == config->rpc.end()) std::abort();
  return broadcast(parsed->chain_type, endpoint->second, *signed_tx);
}

}  // namespace vek_lib
