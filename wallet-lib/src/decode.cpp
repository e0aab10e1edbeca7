// Decoding unsigned EVM and Solana transactions for review before they are signed.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "raw_messages.h"
#include "vek/lib/review.h"
#include "evm/signer.h"
#include "vek/signer/encoding.h"
#include "vek/signer/rlp.h"

namespace vek_lib {
namespace {

using Bytes = std::span<const std::uint8_t>;
using vek_core::ChainType;

struct Malformed {
  std::string reason;
};

template <typename T>
using Parsed = std::expected<T, Malformed>;

std::unexpected<Malformed> bad(std::string reason) { return std::unexpected(Malformed{std::move(reason)}); }

// ---------------------------------------------------------------- EVM

// Big-endian bytes (at most 32) as decimal text.
std::string decimal(Bytes be) {
  std::array<std::uint8_t, 32> n{};
  std::copy(be.begin(), be.end(), n.end() - static_cast<std::ptrdiff_t>(be.size()));
  std::string digits;
  while (std::any_of(n.begin(), n.end(), [](std::uint8_t b) { return b != 0; })) {
    unsigned rem = 0;
    for (auto& b : n) {
      const unsigned cur = rem << 8 | b;
      b = static_cast<std::uint8_t>(cur / 10);
      rem = cur % 10;
    }
    digits.push_back(static_cast<char>('0' + rem));
  }
  if (digits.empty()) return "0";
  std::reverse(digits.begin(), digits.end());
  return digits;
}

// Wei as ether: the decimal point 18 digits from the right, trailing zeros dropped.
std::string ether(const std::string& wei) {
  constexpr std::size_t kDecimals = 18;
  std::string padded = wei.size() <= kDecimals ? std::string(kDecimals + 1 - wei.size(), '0') + wei : wei;
  std::string whole = padded.substr(0, padded.size() - kDecimals);
  std::string frac = padded.substr(padded.size() - kDecimals);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  return frac.empty() ? whole : whole + "." + frac;
}

Parsed<DecodedTransaction> decode_evm(const vek_core::Chain& chain, Bytes tx) {
  // The reader holds every integer field to its canonical form (at most 32 bytes).
  auto read = vek_signer::rlp::read_typed_tx(tx);
  if (!read) return bad(std::move(read.error()));
  const std::vector<vek_signer::rlp::Item>& fields = read->fields;
  const bool eip1559 = tx[0] == 0x02;
  const std::size_t unsigned_fields = eip1559 ? 9 : 8;
  if (fields.size() == unsigned_fields + 3) return bad("it is already signed");
  if (fields.size() != unsigned_fields) {
    return bad("expected " + std::to_string(unsigned_fields) + " fields for type " + std::to_string(tx[0]) +
               ", found " + std::to_string(fields.size()));
  }
  DecodedTransaction d;
  d.tx_type = tx[0];
  std::size_t i = 0;
  const auto next_int = [&] { return decimal(fields[i++].payload); };
  const std::string id = next_int();
  const std::string_view caip = chain.chain_id;
  if (id != caip.substr(caip.find(':') + 1)) {
    return bad("the chain id " + id + " is not that of '" + std::string(chain.name) + "' (" + std::string(caip) + ")");
  }
  d.evm_chain_id = id;
  d.nonce = next_int();
  if (eip1559) {
    d.max_priority_fee_per_gas = next_int();
    d.max_fee_per_gas = next_int();
  } else {
    d.gas_price = next_int();
  }
  d.gas_limit = next_int();
  const vek_signer::rlp::Item& to = fields[i++];
  if (to.list || (!to.payload.empty() && to.payload.size() != vek_signer::EvmSigner::kAddressBytes)) {
    return bad("the recipient is not a 20-byte address");
  }
  if (!to.payload.empty()) {
    d.to = vek_signer::EvmSigner::checksum_address(
        std::span<const std::uint8_t, vek_signer::EvmSigner::kAddressBytes>(to.payload.data(), to.payload.size()));
  }
  d.value_wei = next_int();
  d.value_ether = ether(*d.value_wei);
  const vek_signer::rlp::Item& data = fields[i++];
  if (data.list) return bad("the data is a list, not bytes");
  d.data_length = data.payload.size();
  if (!fields[i].list) return bad("the access list is not a list");
  d.signing_payload.assign(tx.begin(), tx.end());
  return d;
}

// ---------------------------------------------------------------- Solana

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;

Parsed<std::size_t> compact_u16(Bytes in, std::size_t& at) {
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

Parsed<std::size_t> skip(Bytes in, std::size_t at, std::size_t n, std::string_view what) {
  if (n > in.size() - std::min(at, in.size())) return bad("truncated " + std::string(what));
  return at + n;
}

struct SolanaMessage {
  std::size_t required_signatures = 0;
  std::string fee_payer;
  std::size_t instructions = 0;
};

// A legacy or version-0 message that ends exactly at the end of `in`.
Parsed<SolanaMessage> solana_message(Bytes in) {
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
  auto keys = compact_u16(in, at);
  if (!keys) return std::unexpected(std::move(keys.error()));
  if (m.required_signatures == 0 || *keys < m.required_signatures) {
    return bad("the message header asks for " + std::to_string(m.required_signatures) + " signature(s) from " +
               std::to_string(*keys) + " account(s)");
  }
  const std::size_t keys_at = at;
  auto after = skip(in, at, *keys * kKeyBytes, "account keys");
  if (!after) return std::unexpected(std::move(after.error()));
  m.fee_payer = vek_signer::base58_encode(in.subspan(keys_at, kKeyBytes));
  after = skip(in, *after, kKeyBytes, "recent blockhash");
  if (!after) return std::unexpected(std::move(after.error()));
  at = *after;
  auto count = compact_u16(in, at);
  if (!count) return std::unexpected(std::move(count.error()));
  m.instructions = *count;
  for (std::size_t k = 0; k < *count; ++k) {
    auto p = skip(in, at, 1, "instruction");
    if (!p) return std::unexpected(std::move(p.error()));
    at = *p;
    for (const char* part : {"instruction accounts", "instruction data"}) {
      auto n = compact_u16(in, at);
      if (!n) return std::unexpected(std::move(n.error()));
      p = skip(in, at, *n, part);
      if (!p) return std::unexpected(std::move(p.error()));
      at = *p;
    }
  }
  if (versioned) {
    auto lookups = compact_u16(in, at);
    if (!lookups) return std::unexpected(std::move(lookups.error()));
    for (std::size_t k = 0; k < *lookups; ++k) {
      auto p = skip(in, at, kKeyBytes, "address table lookup");
      if (!p) return std::unexpected(std::move(p.error()));
      at = *p;
      for (int part = 0; part < 2; ++part) {
        auto n = compact_u16(in, at);
        if (!n) return std::unexpected(std::move(n.error()));
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

Parsed<DecodedTransaction> decode_solana(Bytes tx) {
  if (tx.empty()) return bad("empty transaction");
  std::size_t at = 0;
  auto slots = compact_u16(tx, at);
  Parsed<SolanaMessage> message = bad("");
  std::size_t message_at = 0;
  if (slots && *slots > 0 && *slots <= (tx.size() - at) / kSignatureBytes) {
    message_at = at + *slots * kSignatureBytes;
    message = solana_message(tx.subspan(message_at));
    if (message && message->required_signatures != *slots) {
      return bad("the transaction has " + std::to_string(*slots) + " signature slot(s) but its message needs " +
                 std::to_string(message->required_signatures));
    }
  }
  if (!message) {
    // The signature slots are what tells the two forms apart: say which one is expected.
    if (solana_message(tx)) {
      return bad(
          "this is a message without its signature slots; give the whole transaction (signature count, "
          "signature slots, message)");
    }
    if (!slots || *slots == 0) return bad("it has no signature slots");
    if (*slots > (tx.size() - at) / kSignatureBytes) return bad("too short for its signature slots");
    return std::unexpected(std::move(message.error()));
  }
  DecodedTransaction d;
  d.fee_payer = message->fee_payer;
  d.signatures = *slots;
  d.instructions = message->instructions;
  d.signing_payload.assign(tx.begin() + static_cast<std::ptrdiff_t>(message_at), tx.end());
  return d;
}

}  // namespace

bool is_solana_message(std::span<const std::uint8_t> message) { return solana_message(message).has_value(); }

VekResult<DecodedTransaction> decode_transaction(std::string_view chain, std::span<const std::uint8_t> tx) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  const std::string family(vek_core::chain_type_name(c->chain_type));
  Parsed<DecodedTransaction> d = bad("");
  if (c->chain_type == ChainType::Evm) {
    d = decode_evm(*c, tx);
  } else if (c->chain_type == ChainType::Solana) {
    d = decode_solana(tx);
  } else {
    return std::unexpected(
        VekLibError::invalid_input("decoding covers EVM and Solana transactions only, not " + family));
  }
  if (!d) return std::unexpected(VekLibError::invalid_input("invalid " + family + " transaction: " + d.error().reason));
  d->chain_id = std::string(c->chain_id);
  d->family = family;
  return std::move(*d);
}

}  // namespace vek_lib
