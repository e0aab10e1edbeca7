// Decoding unsigned EVM and Solana transactions for review before they are signed.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "vek/signer/family.h"
#include "amounts.h"
#include "solana_instructions.h"
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

// The amounts in the chain's currency and the review rows of a decoded EVM transaction.
void add_evm_review(const vek_core::Chain& chain, DecodedTransaction& d) {
  const bool eip1559 = d.max_fee_per_gas.has_value();
  const std::string& fee = eip1559 ? *d.max_fee_per_gas : *d.gas_price;
  d.value_text = amount_text(*d.value_wei, chain.decimals, chain.currency);
  d.max_cost = decimal_sum(*d.value_wei, decimal_product(*d.gas_limit, fee));
  d.max_cost_text = amount_text(*d.max_cost, chain.decimals, chain.currency);
  auto& rows = d.review;
  rows.emplace_back("chain id", *d.evm_chain_id + " (" + chain.name + ")");
  rows.emplace_back("nonce", *d.nonce);
  rows.emplace_back("to", d.to ? *d.to : "(none: creates a contract)");
  rows.emplace_back("value", *d.value_text + " (" + *d.value_wei + " wei)");
  rows.emplace_back("gas limit", *d.gas_limit);
  if (eip1559) {
    rows.emplace_back("max fee", *d.max_fee_per_gas + " wei per gas");
    rows.emplace_back("priority fee", *d.max_priority_fee_per_gas + " wei per gas");
  } else {
    rows.emplace_back("gas price", *d.gas_price + " wei per gas");
  }
  const std::string per_gas = eip1559 ? "max fee" : "gas price";
  rows.emplace_back("max cost", *d.max_cost_text + " (value + gas limit × " + per_gas + ")");
  rows.emplace_back("data", std::to_string(*d.data_length) + (*d.data_length == 1 ? " byte" : " bytes"));
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
  const auto next_int = [&] { return decimal_text(fields[i++].payload); };
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
  d.value_ether = in_units(*d.value_wei, 18);
  const vek_signer::rlp::Item& data = fields[i++];
  if (data.list) return bad("the data is a list, not bytes");
  d.data_length = data.payload.size();
  if (!fields[i].list) return bad("the access list is not a list");
  d.signing_payload.assign(tx.begin(), tx.end());
  add_evm_review(chain, d);
  return d;
}

// ---------------------------------------------------------------- Solana

Parsed<DecodedTransaction> decode_solana(const vek_core::Chain& chain, Bytes tx) {
  auto read = read_solana_transaction(tx);
  if (!read) return bad(std::move(read.error()));
  DecodedTransaction d;
  d.fee_payer = read->message.fee_payer;
  d.signatures = read->slots.count;
  d.instructions = read->message.instructions;
  d.instruction_details = decode_solana_instructions(read->message, chain);
  d.signing_payload.assign(tx.begin() + static_cast<std::ptrdiff_t>(read->slots.message_at), tx.end());
  d.review = {{"fee payer", *d.fee_payer},
              {"signatures", std::to_string(*d.signatures)},
              {"instructions", std::to_string(*d.instructions)}};
  for (std::size_t k = 0; k < d.instruction_details.size(); ++k) {
    d.review.emplace_back("instruction " + std::to_string(k + 1), d.instruction_details[k].text);
  }
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
  Parsed<DecodedTransaction> d = c->chain_type == ChainType::Evm ? decode_evm(*c, tx) : decode_solana(*c, tx);
  if (!d) return std::unexpected(VekLibError::invalid_input("invalid " + family + " transaction: " + d.error().reason));
  d->chain_id = std::string(c->chain_id);
  d->family = family;
  d->currency = std::string(c->currency);
  d->decimals = c->decimals;
  return std::move(*d);
}

}  // namespace vek_lib
