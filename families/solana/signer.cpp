#include "solana/signer.h"

#include <algorithm>

#include "chains/ed25519.h"
#include "vek/signer/encoding.h"

namespace vek_signer {

SignerResult<std::string> SolanaSigner::derive_address(std::span<const std::uint8_t> key) const {
  VEK_TRY(pk, ed25519::public_key(key));
  return base58_encode(*pk);
}

SignerResult<SignOutput> SolanaSigner::sign(std::span<const std::uint8_t> key,
                                            std::span<const std::uint8_t> data) const {
  return ed25519::sign(key, data);
}

SignerResult<SignOutput> SolanaSigner::sign_message(std::span<const std::uint8_t> key,
                                                    std::span<const std::uint8_t> message) const {
  return ed25519::sign(key, message);
}

SignerResult<SignOutput> SolanaSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                        std::span<const std::uint8_t> signable) const {
  return ed25519::sign(key, signable);
}

// The signature count is a compact-u16 whose first byte equals the count below 128;
// only that byte is read, so a count of 128 or more is taken as 128..255 slots.
SignerResult<std::span<const std::uint8_t>> SolanaSigner::extract_signable_bytes(
    std::span<const std::uint8_t> tx) const {
  if (tx.empty()) return signer_error(SignerErrorKind::InvalidTransaction, "empty transaction");
  const std::size_t slots_end = 1 + kSlotBytes * tx[0];
  if (tx.size() <= slots_end) {
    return signer_error(SignerErrorKind::InvalidTransaction, "transaction too short for declared signature slots");
  }
  return tx.subspan(slots_end);
}

SignerResult<std::vector<std::uint8_t>> SolanaSigner::encode_signed_transaction(std::span<const std::uint8_t> tx,
                                                                                const SignOutput& output) const {
  if (output.signature.size() != ed25519::kSignatureBytes) {
    return signer_error(SignerErrorKind::InvalidTransaction, "expected 64-byte Ed25519 signature");
  }
  if (tx.empty()) return signer_error(SignerErrorKind::InvalidTransaction, "empty transaction");
  const std::size_t slots = tx[0];
  if (slots == 0) return signer_error(SignerErrorKind::InvalidTransaction, "transaction has no signature slots");
  if (tx.size() <= kSlotBytes * slots) {
    return signer_error(SignerErrorKind::InvalidTransaction, "transaction too short for declared signature slots");
  }
  // Slot 0 belongs to the fee payer; the other slots and the message are kept as they are.
  std::vector<std::uint8_t> signed_tx(tx.begin(), tx.end());
  std::copy(output.signature.begin(), output.signature.end(), signed_tx.begin() + 1);
  return signed_tx;
}

}  // namespace vek_signer
