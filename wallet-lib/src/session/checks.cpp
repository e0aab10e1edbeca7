#include "checks.h"

#include <string>
#include <utility>

#include "vek/signer/eip712.h"
#include "vek/signer/hex.h"
#include "vek/signer/rlp.h"

namespace vek_lib {
namespace {

// Refuses `what` (e.g. "the transaction's chain id") naming the EVM chain id `id` (in
// decimal, as the chain's CAIP-2 id writes it) when that is not `chain`'s own.
VekResult<void> check_chain_number(const vek_core::Chain& chain, std::string_view what, std::string_view id) {
  const std::string_view caip = chain.chain_id;
  if (id == caip.substr(caip.find(':') + 1)) return {};
  return std::unexpected(VekLibError::invalid_input(std::string(what) + " " + std::string(id) + " is not that of '" +
                                                    std::string(chain.name) + "' (" + std::string(caip) + ")"));
}

}  // namespace

// What the application API holds an EVM typed transaction to before signing or sending
// it (bytes the signer cannot complete at all are left to its own errors):
// - the strict reading a node makes (rlp::read_typed_tx: nothing after the RLP list,
//   canonical RLP throughout, integers without leading zeros): the signature covers the
//   bytes as given, so a node reading them otherwise would see another sender or chain;
// - its own chain id (its first field, when it has one) is the chain's: a signature for
//   one network is valid on that network only, so a mismatch means the user is about to
//   sign for, or send to, a network they did not name.
VekResult<void> check_evm_transaction(const vek_core::Chain& chain, std::span<const std::uint8_t> tx) {
  if (chain.chain_type != vek_core::ChainType::Evm) return {};
  const auto used = vek_signer::rlp::typed_tx_length(tx);
  if (!used) return {};
  const auto read = vek_signer::rlp::read_typed_tx(tx);
  if (!read) return std::unexpected(VekLibError::invalid_input(read.error()));
  if (read->fields.empty()) return {};
  const std::span<const std::uint8_t> id = read->fields.front().payload;  // no leading zeros
  std::string got;
  if (id.size() <= 8) {
    std::uint64_t v = 0;
    for (std::uint8_t b : id) v = v << 8 | b;
    got = std::to_string(v);
  } else {
    got = "0x" + vek_signer::hex_encode(id);
  }
  return check_chain_number(chain, "the transaction's chain id", got);
}

// Refuses malformed typed data, and typed data whose domain names another chain than the
// one it is signed for: the signature would be valid on that chain's contracts. A domain
// without chainId is not bound to a chain and is signed as it is.
VekResult<void> check_typed_data(const vek_core::Chain& chain, std::span<const std::uint8_t> typed_data) {
  auto digest = vek_signer::typed_data_digest(
      std::string_view(reinterpret_cast<const char*>(typed_data.data()), typed_data.size()));
  if (!digest) return std::unexpected(VekLibError(std::move(digest.error())));
  if (!digest->domain_chain_id) return {};
  return check_chain_number(chain, "the typed data's domain chainId", *digest->domain_chain_id);
}

}  // namespace vek_lib
