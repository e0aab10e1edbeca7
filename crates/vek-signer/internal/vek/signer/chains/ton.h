// The TON signer: Ed25519 keys, and the address of the standard v5r1 wallet contract
// deployed for the key's public key.
#pragma once

#include "vek/signer/traits.h"

namespace vek_signer {

// Stateless. Keys are 32-byte Ed25519 secret keys; any other length fails every
// key-taking operation with InvalidPrivateKey "expected 32 bytes, got {length}".
// extract_signable_bytes and encode_signed_transaction keep the interface's defaults.
class TonSigner final : public ChainSigner {
 public:
  static constexpr std::uint32_t kWalletId = 2147483409;  // 0x7FFFFF11, v5r1 on mainnet
  static constexpr std::uint8_t kAddressFlags = 0x51;     // non-bounceable, not test-only
  static constexpr std::size_t kAddressBytes = 36;        // flags, workchain, account id, CRC

  [[nodiscard]] ChainType chain_type() const override { return ChainType::Ton; }
  [[nodiscard]] Curve curve() const override { return Curve::Ed25519; }
  [[nodiscard]] std::uint32_t coin_type() const override { return 607; }
  // The 48-character user-friendly address (URL-safe base64, starts "UQ") of the
  // wallet contract in workchain 0.
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;
  // The 64-byte Ed25519 signature over `data` as given; no recovery_id.
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,
                                              std::span<const std::uint8_t> data) const override;
  // Same as sign().
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> message) const override;
  // Same as sign().
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,
                                                          std::span<const std::uint8_t> signable) const override;
  // "m/44'/607'/{index}'".
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const override;
};

}  // namespace vek_signer
