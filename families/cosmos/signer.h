// The Cosmos signer: secp256k1 keys, bech32 account addresses.
#pragma once

#include <string>

#include "vek/signer/chains/family.h"

namespace vek_signer {

// Holds the bech32 human-readable part of its addresses ("cosmos" for the Hub).
// Key-taking operations refuse bad keys (not 24 to 32 bytes, zero, or not below the
// group order) with InvalidPrivateKey "signature error". Every signature is
// r || s || recovery id (65 bytes) with recovery_id the same value, 0 or 1.
// extract_signable_bytes and encode_signed_transaction keep the interface's defaults.
//
// derive_address: bech32(hrp, RIPEMD-160(SHA-256(compressed public key))), no witness
//   version: 45 characters beginning "cosmos1" with "cosmos". Error: AddressDerivation
//   with the bech32 error text (invalid hrp, or over 1023 characters).
// sign: a recoverable signature over a 32-byte hash.
//   Error: InvalidMessage "expected 32-byte hash, got {n} bytes" (checked before the key).
// sign_message: sign(SHA-256(message)).
// sign_transaction: the same as sign_message, SHA-256 of the serialised sign document.
class CosmosSigner final : public FamilySigner<ChainType::Cosmos> {
 public:
  explicit CosmosSigner(std::string hrp) : hrp_(std::move(hrp)) {}

  [[nodiscard]] const std::string& hrp() const noexcept { return hrp_; }
  VEK_FAMILY_SIGNER_OPERATIONS;

 private:
  std::string hrp_;
};

}  // namespace vek_signer
