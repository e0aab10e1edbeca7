#include "vek/lib/broadcast.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "process.h"
#include "rpc.h"
#include "vek/core/ascii.h"
#include "solana_transaction.h"
#include "vek/core/config.h"
#include "vek/core/json_reader.h"
#include "vek/core/support.h"
#include "vek/signer/chains.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/rlp.h"
#include "vek/lib/endpoint.h"

namespace vek_lib {

// nlohmann's object map is sorted, so the members go out as id, jsonrpc, method, params;
// dump() is compact.
std::string rpc_envelope(std::string_view method, nlohmann::json params) {
  nlohmann::json body = {
      {"id", 1},
      {"jsonrpc", "2.0"},
      {"method", method},
      {"params", std::move(params)},
  };
  return body.dump();
}

namespace {

// The check curl_post_json runs while it waits, for this thread (ScopedBroadcastCheck).
thread_local ScopedBroadcastCheck::Check t_keep_waiting = nullptr;

}  // namespace

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


namespace {

// The node's reply parsed, a JSON-RPC "error" member in it reported as `rpc_error`.
VekResult<nlohmann::json> reply_without_error(std::string_view text, vek_core::ErrorCode rpc_error) {
  nlohmann::json reply;
  try {
    reply = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    return std::unexpected(VekLibError::json(e.what()));
  }
  if (reply.is_object()) {
    if (const auto error = reply.find("error"); error != reply.end()) {
      return std::unexpected(VekLibError{rpc_error, "RPC error: " + compact_text(*error)});
    }
  }
  return reply;
}

}  // namespace

VekResult<nlohmann::json> rpc_result(std::string_view text, vek_core::ErrorCode rpc_error) {
  VEK_TRY(reply, reply_without_error(text, rpc_error));
  if (reply->is_object()) {
    if (const auto value = reply->find("result"); value != reply->end()) return std::move(*value);
  }
  return std::unexpected(VekLibError::broadcast_failed("no 'result' in response: " + std::string(text)));
}

VekResult<std::string> extract_json_field(std::string_view text, std::string_view field, vek_core::ErrorCode rpc_error) {
  VEK_TRY(reply, reply_without_error(text, rpc_error));
  if (reply->is_object()) {
    if (const auto value = reply->find(field); value != reply->end() && value->is_string()) {
      return value->get<std::string>();
    }
  }
  return std::unexpected(VekLibError::broadcast_failed("no '" + std::string(field) +
                                                       "' in response: " + std::string(text)));
}

ScopedBroadcastCheck::Check current_broadcast_check() noexcept { return t_keep_waiting; }

RequestLimits limits_from_now(double seconds, const CancelToken* cancel) {
  const auto allowed = std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  return {std::chrono::steady_clock::now() + allowed, seconds, cancel};
}

std::string seconds_text(double seconds) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed);
  if (r.ec != std::errc{}) r = std::to_chars(buf, buf + sizeof buf, seconds);  // too long in fixed notation
  return std::string(buf, r.ptr);
}

ScopedBroadcastCheck::ScopedBroadcastCheck(Check keep_waiting) noexcept
    : previous_(std::exchange(t_keep_waiting, keep_waiting)) {}

ScopedBroadcastCheck::~ScopedBroadcastCheck() { t_keep_waiting = previous_; }

namespace {

// Runs curl with `argv` (`input` on its standard input and `fd3_text` on descriptor 3, if
// any) within `limits` (the thread's check added); BroadcastFailed "failed to run curl:
// ..." when it cannot start.
VekResult<ProcessOutput> run_curl_process(std::span<const std::string> argv, std::optional<std::string_view> input,
                                          std::optional<std::string_view> fd3_text, WaitLimits limits) {
  // A node may answer with an endless stream or never at all: what is kept is bounded,
  // and the thread's check (if any) can end the wait.
  limits.max_out = kMaxReplyBytes;
  limits.max_err = kMaxCurlErrorBytes;
  limits.keep_waiting = t_keep_waiting;
  auto run = run_process(argv, input, limits, fd3_text);
  if (!run) return std::unexpected(VekLibError::broadcast_failed("failed to run curl: " + vek_core::os_error_text(run.error())));
  return std::move(*run);
}

// Why curl's run did not succeed, in the words curl_post_json documents (curl's standard
// error as it is for an unsuccessful exit); none when it succeeded.
std::optional<std::string> failure_text(const ProcessOutput& run) {
  switch (run.stopped) {
    case ProcessStop::None:
      break;
    case ProcessStop::OutputLimit:
      return "reply larger than " + std::to_string(kMaxReplyBytes) + " bytes";
    case ProcessStop::ErrorLimit:
      return "curl wrote more than " + std::to_string(kMaxCurlErrorBytes) + " bytes to standard error";
    case ProcessStop::Interrupted:
      return std::string("interrupted while waiting for curl");
    case ProcessStop::Cancelled:
      return std::string("cancelled while waiting for the node");
    case ProcessStop::TimedOut:
      return std::string("no answer in the time allowed");
  }
  if (run.term_signal != 0) return "curl was terminated by signal " + std::to_string(run.term_signal);
  if (!run.exited_ok) return utf8_lossy(run.err);
  return std::nullopt;
}

// Runs curl and returns its standard output, or the errors curl_post_json documents.
VekResult<std::string> run_curl(std::span<const std::string> argv, std::optional<std::string_view> input) {
  VEK_TRY(run, run_curl_process(argv, input, std::nullopt, {}));
  if (auto why = failure_text(*run)) return std::unexpected(VekLibError::broadcast_failed(std::move(*why)));
  return utf8_lossy(run->out);
}

VekResult<void> check_http_url(std::string_view url) {
  // curl also speaks file, gopher, dict, telnet and more: such an endpoint would put local
  // files in an error text or reach local services. An accepted URL begins with a letter,
  // so curl can never read it as an option either.
  if (!(vek_core::starts_with_ascii_ci(url, "http://") || vek_core::starts_with_ascii_ci(url, "https://"))) {
    return std::unexpected(
        VekLibError::invalid_input("RPC URL must start with http:// or https://: '" + std::string(url) + "'"));
  }
  return {};
}

// `s` as a double-quoted value of a curl configuration file, whose backslash escapes
// curl resolves when it reads the file.
std::string curl_config_quoted(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  out += '"';
  return out;
}

bool has_control_character(std::string_view s) {
  return std::ranges::any_of(s, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; });
}

// The scheme and host of an absolute URL, both in lower case (an IPv6 host keeps its
// brackets); the host is empty when the URL has no "scheme://" authority.
struct UrlOrigin {
  std::string scheme;
  std::string host;
};

UrlOrigin origin_of(std::string_view url) {
  const std::size_t sep = url.find("://");
  if (sep == std::string_view::npos) return {};
  std::string_view authority = url.substr(sep + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority;
  if (host.starts_with('[')) {
    host = host.substr(0, host.find(']') == std::string_view::npos ? host.size() : host.find(']') + 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  return {vek_core::ascii_lower(url.substr(0, sep)), vek_core::ascii_lower(host)};
}

// One POST through `curl -q -K /dev/fd/3`, redirects not followed: the reply body, the HTTP
// status and the absolute URL a redirect points to (empty without one).
struct QuietReply {
  std::string body;
  std::string status;
  std::string redirect;
  std::optional<std::uint64_t> uploaded;  // the body's bytes curl handed over, when it says
};

// Splits curl's output into the reply and what --write-out added after it: "\n" status
// "\n" bytes uploaded "\n" redirect. A Location cannot hold a newline, so they are read
// from the end whatever the body holds. None without them (a stand-in curl).
std::optional<QuietReply> read_write_out(std::string out) {
  std::size_t cut[3];
  std::size_t end = out.size();
  for (std::size_t& at : cut) {
    at = end == 0 ? std::string::npos : out.rfind('\n', end - 1);
    if (at == std::string::npos) return std::nullopt;
    end = at;
  }
  QuietReply reply;
  reply.redirect = out.substr(cut[0] + 1);
  const std::string uploaded = out.substr(cut[1] + 1, cut[0] - cut[1] - 1);
  reply.status = out.substr(cut[2] + 1, cut[1] - cut[2] - 1);
  std::uint64_t n = 0;
  if (const auto r = std::from_chars(uploaded.data(), uploaded.data() + uploaded.size(), n);
      r.ec == std::errc{} && r.ptr == uploaded.data() + uploaded.size()) {
    reply.uploaded = n;
  }
  out.resize(cut[2]);
  reply.body = std::move(out);
  return reply;
}

// curl's exit statuses for failures before anything was sent: the URL or the connection
// could not be set up (resolving, connecting, TLS).
bool failed_before_sending(int exit_code) {
  static constexpr int kCodes[] = {1, 2, 3, 5, 6, 7, 35, 45, 53, 54, 58, 59, 60, 64, 66, 77, 83, 90, 91};
  return std::ranges::find(kCodes, exit_code) != std::end(kCodes);
}

// curl's standard error as one line: its trailing line break dropped, inner ones as "; ".
std::string one_line_error(std::string_view err) {
  std::string out;
  for (std::string_view rest = err; !rest.empty();) {
    const std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (!line.empty()) out.append(out.empty() ? "" : "; ").append(line);
    rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
  }
  return out;
}

// The error of a request curl did not complete: NotSent when the node cannot have the
// whole request, SendOutcomeUnknown otherwise (post_json_quietly lists the texts).
VekLibError unfinished_request(const ProcessOutput& run, std::size_t body_size, const RequestLimits& limits) {
  const auto unknown = [](std::string text) { return VekLibError{vek_core::ErrorCode::SendOutcomeUnknown, std::move(text)}; };
  const auto not_sent = [](std::string text) { return VekLibError{vek_core::ErrorCode::NotSent, std::move(text)}; };
  const std::string allowed = seconds_text(limits.seconds) + " s";
  if (run.stopped == ProcessStop::TimedOut) return unknown("no answer within " + allowed);
  if (run.stopped != ProcessStop::None || run.term_signal != 0) return unknown(*failure_text(run));
  const auto wrote = read_write_out(run.out);
  const bool whole_body_out = !wrote || !wrote->uploaded || *wrote->uploaded >= body_size;
  std::string reason = one_line_error(utf8_lossy(run.err));
  if (reason.empty()) reason = "curl exited with status " + std::to_string(run.exit_code);
  if (run.exit_code == 28 && limits.deadline) {
    return whole_body_out ? unknown("no answer within " + allowed) : not_sent("the request did not go out within " + allowed);
  }
  const bool refused = run.exit_code == 22 && wrote && wrote->status.size() == 3 && wrote->status.starts_with('4');
  if (!whole_body_out || failed_before_sending(run.exit_code) || refused) return not_sent(std::move(reason));
  return unknown(std::move(reason));
}

VekResult<QuietReply> post_once_quietly(std::string_view url, std::string_view body, const RequestLimits& limits) {
  // What curl is told travels in a configuration it reads from descriptor 3 (a pipe that
  // holds it whole), and the body on its standard input: curl reads a configuration line
  // of at most 100 KiB, less than a large EVM transaction. "-q" (which must come first)
  // keeps ~/.curlrc, which could turn redirects back on, from being read.
  static const std::vector<std::string> argv = {"curl", "-q", "-K", "/dev/fd/3"};
  if (limits.cancel != nullptr && limits.cancel->cancelled()) {
    return std::unexpected(VekLibError{vek_core::ErrorCode::NotSent, "cancelled before the request was made"});
  }
  WaitLimits wait;
  std::string config;
  if (limits.deadline) {
    const double left = std::chrono::duration<double>(*limits.deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0.001) {
      return std::unexpected(VekLibError{vek_core::ErrorCode::NotSent, "the time allowed (" + seconds_text(limits.seconds) +
                                                                           " s) ran out before the request was made"});
    }
    // curl keeps its own limit, so that it says how far it got; the kill is the backstop.
    config += "max-time = " + seconds_text(std::round(left * 1000) / 1000) + "\n";
    wait.deadline = *limits.deadline + std::chrono::seconds(1);
  }
  if (limits.cancel != nullptr) wait.cancel_fd = limits.cancel->fd();
  config += "url = " + curl_config_quoted(url) + "\n";
  config += "request = \"POST\"\n";
  config += "header = \"Content-Type: application/json\"\n";
  // --data-binary sends what it reads byte for byte, as "-d <body>" does.
  config += "data-binary = \"@-\"\n";
  config += "fail\nsilent\nshow-error\n";
  config += "proto = \"=http,https\"\n";
  // How many of the body's bytes went out tells a request the node never had whole.
  config += "write-out = \"\\n%{http_code}\\n%{size_upload}\\n%{redirect_url}\"\n";
  auto run = run_curl_process(argv, body, config, wait);
  if (!run) return std::unexpected(VekLibError{vek_core::ErrorCode::NotSent, std::move(run.error().detail)});
  if (!run->exited_ok) return std::unexpected(unfinished_request(*run, body.size(), limits));
  auto reply = read_write_out(utf8_lossy(run->out));
  if (!reply) return std::unexpected(VekLibError::broadcast_failed("curl's output lacks the HTTP status"));
  return std::move(*reply);
}

}  // namespace

VekResult<std::string> curl_post_json(std::string_view url, std::string_view body) {
  if (auto ok = check_http_url(url); !ok) return std::unexpected(std::move(ok.error()));
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
  return run_curl(argv, body_on_stdin ? std::optional<std::string_view>(body) : std::nullopt);
}

VekResult<std::string> post_json_quietly(std::string_view url, std::string_view body, const RequestLimits& limits) {
  if (auto ok = check_http_url(url); !ok) return std::unexpected(std::move(ok.error()));
  if (has_control_character(url)) {
    return std::unexpected(VekLibError::invalid_input("RPC URL must not contain control characters: '" +
                                                      vek_core::json_text::one_line(url) + "'"));
  }
  const std::string host = origin_of(url).host;
  std::string target(url);
  for (int redirects = 0;; ++redirects) {
    VEK_TRY(reply, post_once_quietly(target, body, limits));
    if (!reply->status.starts_with('3') || reply->redirect.empty()) return std::move(reply->body);
    if (redirects == kMaxRedirects) {
      return std::unexpected(
          VekLibError::broadcast_failed("the node redirected more than " + std::to_string(kMaxRedirects) + " times"));
    }
    // Another host could be a service on this machine or the local network, which the
    // node must not be able to make us post to; https is never given up for http.
    const UrlOrigin from = origin_of(target);
    const UrlOrigin to = origin_of(reply->redirect);
    const bool scheme_ok = to.scheme == "https" || (to.scheme == "http" && from.scheme == "http");
    if (to.host.empty() || to.host != host || !scheme_ok || has_control_character(reply->redirect)) {
      const std::string where = to.host.empty() ? reply->redirect : to.scheme + "://" + to.host;
      return std::unexpected(VekLibError::broadcast_failed(
          "refusing the node's redirect to " + vek_core::json_text::one_line(where) +
          ": a redirect is followed only to the endpoint's own host (" + vek_core::json_text::one_line(host) +
          ") and never from https to http"));
    }
    target = std::move(reply->redirect);
  }
}

namespace {

// The JSON-RPC request that submits `signed_tx` on a chain of `family`.
VekResult<std::string> request_body(vek_core::ChainType family, std::span<const std::uint8_t> signed_tx) {
  switch (family) {
    case vek_core::ChainType::Evm:
      return rpc_envelope("eth_sendRawTransaction", {"0x" + vek_signer::hex_encode(signed_tx)});
    case vek_core::ChainType::Solana:
      // Without the options object a node reads the transaction as base58.
      return rpc_envelope("sendTransaction",
                          {vek_signer::base64_encode(signed_tx), nlohmann::json{{"encoding", "base64"}}});
    case vek_core::ChainType::Cosmos:
    case vek_core::ChainType::Bitcoin:
    case vek_core::ChainType::Tron:
    case vek_core::ChainType::Ton:
      break;
  }
  return std::unexpected(VekLibError::invalid_input("no broadcast method for chain family '" +
                                                    std::string(vek_core::chain_type_name(family)) + "'"));
}

// At most `limit` characters of `text` (valid UTF-8), with "…" when some were left off.
std::string first_characters(std::string_view text, std::size_t limit) {
  std::size_t end = 0;
  for (std::size_t n = 0; end < text.size() && n < limit; ++n) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return end == text.size() ? std::string(text) : std::string(text.substr(0, end)) + "…";
}

// A Solana transaction a node can take: whole, with every required signature in place.
VekResult<void> check_solana_signatures(std::span<const std::uint8_t> signed_tx) {
  auto read = read_solana_transaction(signed_tx);
  if (!read) return std::unexpected(VekLibError::invalid_input("invalid solana transaction: " + read.error()));
  const std::vector<std::string> missing = missing_solana_signers(signed_tx, *read);
  if (missing.empty()) return {};
  std::string text = "the transaction is missing " + std::to_string(missing.size()) + " of its " +
                     std::to_string(read->message.required_signatures) + " required signature";
  text.append(read->message.required_signatures == 1 ? "" : "s").append(" (from ");
  for (std::size_t k = 0; k < missing.size(); ++k) text.append(k == 0 ? "" : ", ").append(missing[k]);
  text.append(")");
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

}  // namespace


VekResult<std::string> broadcast(vek_core::ChainType family, std::string_view url,
                                 std::span<const std::uint8_t> signed_tx) {
  VEK_TRY(body, request_body(family, signed_tx));
  VEK_TRY(reply, curl_post_json(url, *body));
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

VekResult<std::string> send_signed(const vek_core::Chain& chain, std::span<const std::uint8_t> signed_tx,
                                   std::optional<std::string_view> rpc_url) {
  const vek_core::Chain* parsed = &chain;
  if (rpc_url) return broadcast(parsed->chain_type, *rpc_url, signed_tx);

  // Read afresh after signing, so an edit to config.json applies to the next call.
  const auto config = vek_core::Config::load_or_default();
  if (!config) return std::unexpected(VekLibError::io(config.error()));
  // The default configuration holds an entry for each mainnet chain; the other chains take
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

VekResult<std::string> submit_signed(const vek_core::Chain& chain, std::span<const std::uint8_t> signed_tx,
                                     std::optional<std::string_view> rpc_url, const CallLimits& limits) {
  const vek_core::Chain* parsed = &chain;
  if (parsed->chain_type == vek_core::ChainType::Solana) {
    VEK_TRY_VOID(check_solana_signatures(signed_tx));
  }
  std::string url;
  if (rpc_url) {
    url = *rpc_url;
  } else {
    // Read afresh, and refused rather than passed over when it cannot be used.
    VEK_TRY(endpoint, rpc_endpoint(chain));
    url = std::move(endpoint->url);
  }
  VEK_TRY(body, request_body(parsed->chain_type, signed_tx));
  VEK_TRY(seconds, request_timeout(limits.timeout));
  const RequestLimits request = limits_from_now(*seconds, limits.cancel);
  const auto ours = transaction_hash(parsed->chain_type, signed_tx);
  auto reply = post_json_quietly(url, *body, request);
  if (!reply && reply.error().code == vek_core::ErrorCode::SendOutcomeUnknown) {
    // What to do next, with what to look for.
    reply.error().detail += ours ? "; look up " + *ours + " on the chain before sending it again"
                                 : "; check the account on the chain before sending it again";
    reply.error().tx_hash = ours.value_or("");
  }
  if (!reply) return std::unexpected(std::move(reply.error()));
  VEK_TRY(answered, extract_json_field(*reply, "result", vek_core::ErrorCode::NotSent));
  if (ours) {
    const bool same = parsed->chain_type == vek_core::ChainType::Evm ? vek_core::ascii_lower(*answered) == *ours
                                                                      : *answered == *ours;
    if (!same) {
      return std::unexpected(VekLibError::broadcast_failed(
          "the node answered transaction hash " + first_characters(vek_core::json_text::one_line(*answered), 100) +
          ", but the transaction sent has hash " + *ours));
    }
  }
  return std::move(*answered);
}

std::optional<std::string> transaction_hash(vek_core::ChainType family, std::span<const std::uint8_t> signed_tx) {
  if (family == vek_core::ChainType::Evm) return "0x" + vek_signer::hex_encode(vek_signer::keccak256(signed_tx));
  // A Solana transaction is known by its first signature.
  if (family == vek_core::ChainType::Solana) {
    if (const auto slots = read_solana_transaction_slots(signed_tx); slots && slots->count > 0) {
      return vek_signer::base58_encode(signed_tx.subspan(slots->first_slot, kSolanaSignatureBytes));
    }
  }
  return std::nullopt;
}

}  // namespace vek_lib
