#include "vek/lib/wait.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "rpc.h"
#include "vek/core/ascii.h"
#include "vek/core/json_reader.h"
#include "vek/lib/caller.h"
#include "vek/lib/endpoint.h"
#include "vek/signer/encoding.h"

namespace vek_lib {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
using vek_core::ChainType;
using vek_core::ErrorCode;

// The hash as the node spells it (EVM in lower case), checked before anything is asked.
VekResult<std::string> checked_hash(ChainType family, std::string_view hash) {
  if (family == ChainType::Evm) {
    const bool ok = hash.size() == 66 && hash.starts_with("0x") &&
                    std::all_of(hash.begin() + 2, hash.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
    if (!ok) {
      return std::unexpected(VekLibError::invalid_input("not an EVM transaction hash (0x and 64 hex digits): '" +
                                                        vek_core::json_text::one_line(hash) + "'"));
    }
    return vek_core::ascii_lower(hash);
  }
  if (family == ChainType::Solana) {
    const auto bytes = vek_signer::base58_decode(hash);
    if (!bytes || bytes->size() != 64) {
      return std::unexpected(VekLibError::invalid_input("not a Solana transaction signature (base58 of 64 bytes): '" +
                                                        vek_core::json_text::one_line(hash) + "'"));
    }
    return std::string(hash);
  }
  return std::unexpected(VekLibError::invalid_input("waiting covers EVM and Solana chains only, not " +
                                                    std::string(vek_core::chain_type_name(family))));
}

std::string question(ChainType family, const std::string& hash) {
  if (family == ChainType::Evm) return rpc_envelope("eth_getTransactionReceipt", {hash});
  return rpc_envelope("getSignatureStatuses", {json::array({hash}), json{{"searchTransactionHistory", true}}});
}

// A JSON-RPC quantity ("0x" and at most 16 hex digits).
std::optional<std::uint64_t> quantity(const json& v) {
  if (!v.is_string()) return std::nullopt;
  const auto& s = v.get_ref<const std::string&>();
  if (s.size() < 3 || s.size() > 18 || !s.starts_with("0x")) return std::nullopt;
  std::uint64_t n = 0;
  const auto r = std::from_chars(s.data() + 2, s.data() + s.size(), n, 16);
  if (r.ec != std::errc{} || r.ptr != s.data() + s.size()) return std::nullopt;
  return n;
}

VekLibError odd_answer(const std::string& hash, std::string_view what) {
  return VekLibError::broadcast_failed("the node's answer about " + hash + " " + std::string(what));
}

// The receipt in `result`, none while the transaction is not in a block.
VekResult<std::optional<Receipt>> evm_receipt(const json& result, const std::string& hash) {
  if (result.is_null()) return std::nullopt;
  if (!result.is_object()) return std::unexpected(odd_answer(hash, "is not a receipt"));
  const auto block = result.find("blockNumber");
  if (block == result.end() || block->is_null()) return std::nullopt;
  if (const auto named = result.find("transactionHash"); named != result.end()) {
    if (!named->is_string() || vek_core::ascii_lower(named->get_ref<const std::string&>()) != hash) {
      return std::unexpected(odd_answer(hash, "is the receipt of another transaction"));
    }
  }
  const auto field = [&](const char* name) {
    const auto it = result.find(name);
    return it == result.end() ? std::nullopt : quantity(*it);
  };
  const std::uint64_t missing = ~std::uint64_t{0};
  const std::uint64_t code = field("status").value_or(missing);
  const std::uint64_t number = quantity(*block).value_or(missing);
  const std::uint64_t gas = field("gasUsed").value_or(missing);
  if (code > 1 || number == missing || gas == missing) {
    return std::unexpected(odd_answer(hash, "lacks a status, block number or gas used as quantities"));
  }
  return Receipt{hash, code == 1 ? "success" : "reverted", number, gas, std::nullopt};
}

// The confirmed status in `result`, none while the transaction is not confirmed.
VekResult<std::optional<Receipt>> solana_status(const json& result, const std::string& hash) {
  const auto value = result.is_object() ? result.find("value") : result.end();
  if (value == result.end() || !value->is_array() || value->size() != 1) {
    return std::unexpected(odd_answer(hash, "is not a list of one status"));
  }
  const json& st = (*value)[0];
  if (st.is_null()) return std::nullopt;
  if (!st.is_object()) return std::unexpected(odd_answer(hash, "is not a status"));
  const auto level = st.find("confirmationStatus");
  // A node without confirmationStatus says "finalized" by confirmations: null.
  const bool done = level != st.end() && level->is_string()
                        ? (*level == "confirmed" || *level == "finalized")
                        : st.contains("confirmations") && st["confirmations"].is_null();
  if (!done) return std::nullopt;
  const auto slot = st.find("slot");
  if (slot == st.end() || !slot->is_number_unsigned()) return std::unexpected(odd_answer(hash, "has no slot"));
  Receipt r{hash, "success", slot->get<std::uint64_t>(), std::nullopt, std::nullopt};
  if (const auto err = st.find("err"); err != st.end() && !err->is_null()) {
    r.status = "failed";
    r.error = compact_text(*err);
  }
  return r;
}

// One question to the node: the receipt, none yet, or the error that ends the wait. A
// request the node did not answer is none yet, and its text is kept in `last`.
VekResult<std::optional<Receipt>> ask(ChainType family, const std::string& url, const std::string& hash,
                                      const RequestLimits& limits, std::string& last) {
  auto reply = post_json_quietly(url, question(family, hash), limits);
  if (!reply) {
    VekLibError& e = reply.error();
    if (e.code == ErrorCode::SendOutcomeUnknown || (limits.cancel != nullptr && limits.cancel->cancelled())) {
      last = std::move(e.detail);
      return std::nullopt;
    }
    // Not a send: the request's failure is the node's, whatever became of it.
    if (e.code == ErrorCode::NotSent) e.code = ErrorCode::BroadcastFailed;
    return std::unexpected(std::move(e));
  }
  last.clear();
  VEK_TRY(result, rpc_result(*reply, ErrorCode::BroadcastFailed));
  return family == ChainType::Evm ? evm_receipt(*result, hash) : solana_status(*result, hash);
}

}  // namespace

VekResult<Receipt> wait_for_transaction(std::string_view chain, std::string_view tx_hash,
                                        std::optional<std::string_view> rpc_url, const CallLimits& limits) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(hash, checked_hash(c->chain_type, tx_hash));
  std::string url;
  if (rpc_url) {
    url = *rpc_url;
  } else {
    VEK_TRY(endpoint, rpc_endpoint(*c));
    url = std::move(endpoint->url);
  }
  double total = kDefaultWaitSeconds;
  if (limits.timeout) {
    VEK_TRY(given, request_timeout(limits.timeout));
    total = *given;
  }
  VEK_TRY(per_request, request_timeout(std::nullopt));
  const RequestLimits whole = limits_from_now(total, limits.cancel);
  const std::string included = c->chain_type == ChainType::Evm ? "no receipt for " : "no confirmation of ";
  const std::string may_be = "; the transaction may still be included";
  std::string last;
  auto pause = std::chrono::milliseconds(500);
  for (;;) {
    if (limits.cancel != nullptr && limits.cancel->cancelled()) {
      return std::unexpected(VekLibError{ErrorCode::WaitCancelled, "stopped waiting for " + *hash + may_be, 0, 0, 0,
                                         vek_core::PhraseFault::None, {}, *hash});
    }
    if (Clock::now() >= *whole.deadline) {
      std::string text = included + *hash + " within " + seconds_text(total) + " s";
      if (!last.empty()) text += " (the last request: " + last + ")";
      return std::unexpected(VekLibError{ErrorCode::WaitTimeout, text + may_be, 0, 0, 0, vek_core::PhraseFault::None, {}, *hash});
    }
    RequestLimits one = limits_from_now(per_request.value(), limits.cancel);
    if (*one.deadline > *whole.deadline) one = whole;
    VEK_TRY(receipt, ask(c->chain_type, url, *hash, one, last));
    if (*receipt) return std::move(**receipt);
    bool stopped = false;
    (void)wait_until(std::min(Clock::now() + pause, *whole.deadline), limits.cancel, &stopped);
    if (stopped) {
      return std::unexpected(VekLibError{ErrorCode::WaitCancelled, "interrupted while waiting for " + *hash + may_be, 0, 0,
                                         0, vek_core::PhraseFault::None, {}, *hash});
    }
    pause = std::min(pause * 3 / 2, std::chrono::milliseconds(2000));
  }
}

}  // namespace vek_lib
