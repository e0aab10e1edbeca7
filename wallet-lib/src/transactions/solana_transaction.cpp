#include "solana_transaction.h"

#include <algorithm>
#include <string>
#include <utility>

#include "raw_messages.h"
#include "vek/signer/encoding.h"

namespace vek_lib {
namespace {

using Bytes = std::span<const std::uint8_t>;

template <typename T>
using Read = std::expected<T, std::string>;

std::unexpected<std::string> bad(std::string reason) { return std::unexpected(std::move(reason)); }

constexpr std::size_t kKeyBytes = 32;

Read<std::size_t> compact_u16(Bytes in, std::size_t& at) {
  std::size_t value = 0;
  for (unsigned shift = 0; shift < 21; shift += 7) {
    if (at >= in.size()) return bad("truncated length");
    const std::uint8_t b = in[at++];
    value |= static_cast<std::size_t>(b & 0x7f) << shift;
    if ((b & 0x80) == 0) {
      if (value > 0xffff) return bad("length above 65535");
      return value;
    }
  }
  return bad("length above 65535");
}

Read<std::size_t> skip(Bytes in, std::size_t at, std::size_t n, std::string_view what) {
  if (n > in.size() - std::min(at, in.size())) return bad("truncated " + std::string(what));
  return at + n;
}

// A compact-u16 length, then that many bytes; `at` moves past them.
Read<Bytes> sized_part(Bytes in, std::size_t& at, std::string_view what) {
  VEK_TRY(n, compact_u16(in, at));
  VEK_TRY(end, skip(in, at, *n, what));
  const Bytes part = in.subspan(at, *n);
  at = *end;
  return part;
}

}  // namespace

Read<SolanaMessage> read_solana_message(Bytes in) {
  std::size_t at = 0;
  if (in.empty()) return bad("empty message");
  const bool versioned = (in[0] & 0x80) != 0;
  if (versioned) {
    if ((in[0] & 0x7f) != 0) return bad("unsupported message version " + std::to_string(in[0] & 0x7f));
    ++at;
  }
  if (in.size() - at < 3) return bad("truncated message header");
  SolanaMessage m;
  m.required_signatures = in[at];
  at += 3;
  VEK_TRY(keys, compact_u16(in, at));
  if (m.required_signatures == 0 || *keys < m.required_signatures) {
    return bad("the message header asks for " + std::to_string(m.required_signatures) + " signature(s) from " +
               std::to_string(*keys) + " account(s)");
  }
  const std::size_t keys_at = at;
  VEK_TRY(after, skip(in, at, *keys * kKeyBytes, "account keys"));
  m.fee_payer = vek_signer::base58_encode(in.subspan(keys_at, kKeyBytes));
  m.account_keys.resize(*keys);
  for (std::size_t k = 0; k < *keys; ++k) {
    const auto key = in.subspan(keys_at + k * kKeyBytes, kKeyBytes);
    std::copy(key.begin(), key.end(), m.account_keys[k].begin());
  }
  after = skip(in, *after, kKeyBytes, "recent blockhash");
  if (!after) return std::unexpected(std::move(after.error()));
  at = *after;
  VEK_TRY(count, compact_u16(in, at));
  m.instructions = *count;
  for (std::size_t k = 0; k < *count; ++k) {
    VEK_TRY(p, skip(in, at, 1, "instruction"));
    SolanaInstruction& ix = m.instruction_list.emplace_back();
    ix.program = in[at];
    at = *p;
    VEK_TRY(accounts, sized_part(in, at, "instruction accounts"));
    ix.accounts.assign(accounts->begin(), accounts->end());
    VEK_TRY(data, sized_part(in, at, "instruction data"));
    ix.data.assign(data->begin(), data->end());
  }
  if (versioned) {
    VEK_TRY(lookups, compact_u16(in, at));
    for (std::size_t k = 0; k < *lookups; ++k) {
      VEK_TRY(p, skip(in, at, kKeyBytes, "address table lookup"));
      at = *p;
      for (int part = 0; part < 2; ++part) {
        VEK_TRY(n, compact_u16(in, at));
        p = skip(in, at, *n, "address table lookup");
        if (!p) return std::unexpected(std::move(p.error()));
        at = *p;
      }
    }
  }
  if (at != in.size()) {
    const std::size_t n = in.size() - at;
    return bad(std::to_string(n) + (n == 1 ? " byte follows" : " bytes follow") + " the message");
  }
  return m;
}


Read<SolanaSlots> read_solana_transaction_slots(Bytes tx) {
  if (tx.empty()) return bad("empty transaction");
  std::size_t at = 0;
  auto count = compact_u16(tx, at);
  if (!count || *count == 0) return bad("it has no signature slots");
  if (*count > (tx.size() - at) / kSolanaSignatureBytes) return bad("too short for its signature slots");
  return SolanaSlots{*count, at, at + *count * kSolanaSignatureBytes};
}

Read<SolanaTransaction> read_solana_transaction(Bytes tx) {
  auto slots = read_solana_transaction_slots(tx);
  Read<SolanaMessage> message = bad("");
  if (slots) {
    message = read_solana_message(tx.subspan(slots->message_at));
    if (message && message->required_signatures != slots->count) {
      return bad("the transaction has " + std::to_string(slots->count) + " signature slot(s) but its message needs " +
                 std::to_string(message->required_signatures));
    }
  }
  if (!message) {
    // The signature slots are what tells the two forms apart: say which one is expected.
    if (read_solana_message(tx)) {
      return bad(
          "this is a message without its signature slots; give the whole transaction (signature count, "
          "signature slots, message)");
    }
    if (!slots) return std::unexpected(std::move(slots.error()));
    return std::unexpected(std::move(message.error()));
  }
  return SolanaTransaction{*slots, std::move(*message)};
}

bool is_solana_message(Bytes message) { return read_solana_message(message).has_value(); }

std::optional<std::size_t> solana_signer_slot(const SolanaMessage& message, const SolanaKey& key) {
  const auto signers = std::span(message.account_keys).first(message.required_signatures);
  const auto found = std::find(signers.begin(), signers.end(), key);
  if (found == signers.end()) return std::nullopt;
  return static_cast<std::size_t>(found - signers.begin());
}

std::vector<std::string> missing_solana_signers(Bytes tx, const SolanaTransaction& read) {
  std::vector<std::string> missing;
  for (std::size_t k = 0; k < read.message.required_signatures; ++k) {
    const auto slot = tx.subspan(read.slots.first_slot + k * kSolanaSignatureBytes, kSolanaSignatureBytes);
    if (std::all_of(slot.begin(), slot.end(), [](std::uint8_t b) { return b == 0; })) {
      missing.push_back(vek_signer::base58_encode(read.message.account_keys[k]));
    }
  }
  return missing;
}

}  // namespace vek_lib
