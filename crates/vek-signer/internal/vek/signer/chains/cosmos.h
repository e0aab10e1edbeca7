// The Cosmos signer: secp256k1 keys, bech32 account addresses.
#pragma once

#include <string>

#include "vek/signer/traits.h"

namespace vek_signer {

// Holds the bech32 human-readable part of its addresses ("cosmos" for the Hub).
// Key-taking operations refuse bad keys (not 24 to 32 bytes, zero, or not below the
// group order) with InvalidPrivateKey "signature error". Every signature is
// r || s || recovery id (65 bytes) with recovery_id the same value, 0 or 1.
// extract_signable_bytes and encode_signed_transaction keep the interface's defaults.
class CosmosSigner final : public ChainSigner {
 public:
  explicit CosmosSigner(std::string hrp) : hrp_(std::move(hrp)) {}

  [[nodiscard]] const std::string& hrp() const noexcept { return hrp_; }
  [[nodiscard]] ChainType chain_type() const override { return ChainType::Cosmos; }
  [[nodiscard]] Curve curve() const override { return Curve::Secp256k1; }
  [[nodiscard]] std::uint32_t coin_type() const override { return 118; }
  // bech32(hrp, RIPEMD-160(SHA-256(compressed public key))), no witness version:
  // 45 characters beginning "cosmos1" with "cosmos". Error: AddressDerivation with the
  // bech32 error text (invalid hrp, or over 1023 characters).
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;
  // Recoverable signature over a 32-byte hash.
  // Error: InvalidMessage "expected 32-byte hash, got {n} bytes" (checked before the key).
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,
                                              std::span<const std::uint8_t> hash) const override;
  // sign(SHA-256(message)).
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> message) const override;
  // The same as sign_message: SHA-256 of the serialised sign document.
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,
                                                          std::span<const std::uint8_t> signable) const override;
  // "m/44'/118'/0'/0/{index}".
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const override;

 private:
  std::string hrp_;
};

}  // namespace vek_signer
