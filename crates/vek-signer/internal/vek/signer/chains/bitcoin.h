// The Bitcoin signer: secp256k1 keys, native SegWit (P2WPKH, BIP-84) addresses.
#pragma once

#include <string>

#include "vek/signer/traits.h"

namespace vek_signer {

// Holds the bech32 human-readable part of its addresses ("bc" on mainnet).
// Key-taking operations refuse bad keys (not 24 to 32 bytes, zero, or not below the
// group order) with InvalidPrivateKey "signature error". Every signature is
// r || s || recovery id (65 bytes, no header byte, no offset) with recovery_id the same
// value, 0 or 1. extract_signable_bytes and encode_signed_transaction keep the
// interface's defaults.
class BitcoinSigner final : public ChainSigner {
 public:
  explicit BitcoinSigner(std::string hrp) : hrp_(std::move(hrp)) {}

  [[nodiscard]] const std::string& hrp() const noexcept { return hrp_; }
  [[nodiscard]] ChainType chain_type() const override { return ChainType::Bitcoin; }
  [[nodiscard]] Curve curve() const override { return Curve::Secp256k1; }
  [[nodiscard]] std::uint32_t coin_type() const override { return 0; }
  // SegWit v0 address of RIPEMD-160(SHA-256(compressed public key)): 42 characters
  // beginning "bc1q" with "bc". Error: AddressDerivation with the bech32 error text
  // (invalid hrp, or an address over the 90-character limit).
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;
  // Recoverable signature over a 32-byte hash.
  // Error: InvalidMessage "expected 32-byte hash, got {n} bytes" (checked before the key).
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,
                                              std::span<const std::uint8_t> hash) const override;
  // sign(SHA-256d(0x18 "Bitcoin Signed Message:\n" || compact-size length || message)).
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> message) const override;
  // sign(SHA-256d(bytes)); the bytes are not parsed.
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,
                                                          std::span<const std::uint8_t> signable) const override;
  // "m/84'/0'/0'/0/{index}".
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const override;

 private:
  std::string hrp_;
};

}  // namespace vek_signer
