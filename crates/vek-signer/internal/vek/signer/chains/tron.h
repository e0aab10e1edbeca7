// The Tron signer: secp256k1 keys, base58check addresses beginning with T.
#pragma once

#include "vek/signer/traits.h"

namespace vek_signer {

// Stateless. Key-taking operations refuse bad keys (not 24 to 32 bytes, zero, or not
// below the group order) with InvalidPrivateKey "signature error". Every signature is
// r || s || v (65 bytes) with recovery_id = v, the raw recovery id 0 or 1.
// extract_signable_bytes and encode_signed_transaction keep the interface's defaults.
class TronSigner final : public ChainSigner {
 public:
  static constexpr std::uint8_t kAddressPrefix = 0x41;

  [[nodiscard]] ChainType chain_type() const override { return ChainType::Tron; }
  [[nodiscard]] Curve curve() const override { return Curve::Secp256k1; }
  [[nodiscard]] std::uint32_t coin_type() const override { return 195; }
  // base58check(0x41 || last 20 bytes of Keccak-256(X || Y)): 34 characters.
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;
  // Recoverable signature over a 32-byte hash.
  // Error: InvalidMessage "expected 32-byte hash, got {n} bytes" (checked before the key).
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,
                                              std::span<const std::uint8_t> hash) const override;
  // sign(Keccak-256(0x19 "TRON Signed Message:\n" {decimal length} || message)).
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> message) const override;
  // sign(SHA-256(bytes)): the transaction id Tron signs.
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,
                                                          std::span<const std::uint8_t> signable) const override;
  // "m/44'/195'/0'/0/{index}".
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace vek_signer
