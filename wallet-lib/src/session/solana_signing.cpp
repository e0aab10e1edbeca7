#include "solana_signing.h"

#include <algorithm>
#include <string>
#include <utility>

#include "transactions/solana_transaction.h"
#include "vek/signer/chains.h"
#include "vek/signer/encoding.h"
#include "vek/signer/public_key.h"

namespace vek_lib {
namespace {

using Bytes = std::span<const std::uint8_t>;

VekLibError invalid(std::string text) { return VekLibError::invalid_input(std::move(text)); }

}  // namespace

VekResult<AssembledTransaction> sign_solana_transaction(Bytes key, Bytes tx) {
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(vek_core::ChainType::Solana);
  auto public_key = vek_signer::public_key(signer->curve(), key);
  if (!public_key) return std::unexpected(VekLibError(std::move(public_key.error())));
  SolanaKey ours{};
  std::copy_n(public_key->begin(), ours.size(), ours.begin());
  const auto not_a_signer = [&](std::string_view of) {
    return invalid(vek_signer::base58_encode(ours) + " is not a signer of this " + std::string(of));
  };

  auto whole = read_solana_transaction(tx);
  if (!whole) {
    // A bare message keeps its one-signer form: the wallet signs it as the fee payer.
    auto message = read_solana_message(tx);
    if (!message) return std::unexpected(invalid("invalid solana transaction: " + whole.error()));
    const auto slot = solana_signer_slot(*message, ours);
    if (!slot) return std::unexpected(not_a_signer("message"));
    if (message->required_signatures != 1) {
      return std::unexpected(invalid("this message needs " + std::to_string(message->required_signatures) +
                                     " signatures: give the whole transaction (signature count, signature slots, "
                                     "message) to sign it in its slot"));
    }
    auto sig = signer->sign_transaction(key, tx);
    if (!sig) return std::unexpected(VekLibError(std::move(sig.error())));
    return AssembledTransaction{std::move(*sig), {}};
  }
  const auto slot = solana_signer_slot(whole->message, ours);
  if (!slot) return std::unexpected(not_a_signer("transaction"));
  auto sig = signer->sign_transaction(key, tx.subspan(whole->slots.message_at));
  if (!sig) return std::unexpected(VekLibError(std::move(sig.error())));
  std::vector<std::uint8_t> signed_tx(tx.begin(), tx.end());
  std::copy(sig->signature.begin(), sig->signature.end(),
            signed_tx.begin() + static_cast<std::ptrdiff_t>(whole->slots.first_slot + *slot * kSolanaSignatureBytes));
  return AssembledTransaction{std::move(*sig), std::move(signed_tx)};
}

}  // namespace vek_lib
