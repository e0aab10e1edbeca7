// Decoding unsigned EVM and Solana transactions for review before they are signed.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "vek/signer/family.h"
#include "solana_transaction.h"
#include "vek/lib/caller.h"
#include "vek/lib/decode.h"
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

Parsed<DecodedTransaction> decode_solana(Bytes tx) {
  auto read = read_solana_transaction(tx);
  if (!read) return bad(std::move(read.error()));
  DecodedTransaction d;
  d.fee_payer = read->message.fee_payer;
  d.signatures = read->slots.count;
  d.instructions = read->message.instructions;
  d.signing_payload.assign(tx.begin() + static_cast<std::ptrdiff_t>(read->slots.message_at), tx.end());
  return d;
}

}  // namespace

VekResult<DecodedTransaction> decode_transaction(std::string_view chain, std::span<const std::uint8_t> tx) {
  VEK_TRY(c, resolve_chain(chain));
  const std::string family(vek_core::chain_type_name(c->chain_type));
  if (!vek_signer::family(c->chain_type).decodes) {
    return std::unexpected(
        VekLibError::invalid_input("decoding covers EVM and Solana transactions only, not " + family));
  }
  Parsed<DecodedTransaction> d = c->chain_type == ChainType::Evm ? decode_evm(*c, tx) : decode_solana(tx);
  if (!d) return std::unexpected(VekLibError::invalid_input("invalid " + family + " transaction: " + d.error().reason));
  d->chain_id = std::string(c->chain_id);
  d->family = family;
  return std::move(*d);
}

}  // namespace vek_lib
