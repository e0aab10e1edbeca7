// The Solana signer: Ed25519 keys, Base58 addresses, and the signature slots of a
// serialized transaction.
#pragma once

#include "vek/signer/traits.h"

namespace vek_signer {

// Stateless. Keys are 32-byte Ed25519 secret keys; any other length fails every
// key-taking operation with InvalidPrivateKey "expected 32 bytes, got {length}".
class SolanaSigner final : public ChainSigner {
 public:
  // Each signature slot of a serialized transaction is this long.
  static constexpr std::size_t kSlotBytes = 64;

  [[nodiscard]] ChainType chain_type() const override { return ChainType::Solana; }
  [[nodiscard]] Curve curve() const override { return Curve::Ed25519; }
  [[nodiscard]] std::uint32_t coin_type() const override { return 501; }
  // Base58 (no checksum) of the 32-byte public key: 32 to 44 characters.
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;
  // The 64-byte Ed25519 signature over `data` as given; no recovery_id.
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,
                                              std::span<const std::uint8_t> data) const override;
  // Same as sign().
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> message) const override;
  // Same as sign(); the caller passes the message part from extract_signable_bytes().
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,
                                                          std::span<const std::uint8_t> signable) const override;
  // The bytes after the n signature slots (n = tx[0]), a view into `tx`.
  // Errors (InvalidTransaction): "empty transaction";
  //   "transaction too short for declared signature slots" (length <= 1 + 64 n).
  [[nodiscard]] SignerResult<std::span<const std::uint8_t>> extract_signable_bytes(
      std::span<const std::uint8_t> tx) const override;
  // A copy of `tx` with the 64-byte signature in slot 0 (bytes 1 to 64).
  // Errors (InvalidTransaction), checked in this order: "expected 64-byte Ed25519 signature",
  //   "empty transaction", "transaction has no signature slots",
  //   "transaction too short for declared signature slots" (length <= 64 n).
  [[nodiscard]] SignerResult<std::vector<std::uint8_t>> encode_signed_transaction(
      std::span<const std::uint8_t> tx, const SignOutput& output) const override;
  // "m/44'/501'/{index}'/0'".
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace vek_signer
