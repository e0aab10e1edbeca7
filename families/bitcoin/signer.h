// The Bitcoin signer: secp256k1 keys, native SegWit (P2WPKH, BIP-84) addresses.
#pragma once

#include <array>
#include <string>

#include "vek/signer/chains/family.h"
#include "vek/signer/hash.h"

namespace vek_signer {

// Holds the bech32 human-readable part of its addresses ("bc" on mainnet).
// Key-taking operations refuse bad keys (not 24 to 32 bytes, zero, or not below the
// group order) with InvalidPrivateKey "signature error". Every signature is
// r || s || recovery id (65 bytes, no header byte, no offset) with recovery_id the same
// value, 0 or 1. extract_signable_bytes and encode_signed_transaction keep the
// interface's defaults.
//
// derive_address: the SegWit v0 address of RIPEMD-160(SHA-256(compressed public key)),
//   42 characters beginning "bc1q" with "bc". Error: AddressDerivation with the bech32
//   error text (invalid hrp, or an address over the 90-character limit).
// sign: a recoverable signature over a 32-byte hash.
//   Error: InvalidMessage "expected 32-byte hash, got {n} bytes" (checked before the key).
// sign_message: sign(SHA-256d(0x18 "Bitcoin Signed Message:\n" || compact-size length || message)).
// sign_transaction: sign(SHA-256d(bytes)); the bytes are not parsed.
class BitcoinSigner final : public FamilySigner<ChainType::Bitcoin> {
 public:
  explicit BitcoinSigner(std::string hrp) : hrp_(std::move(hrp)) {}

  [[nodiscard]] const std::string& hrp() const noexcept { return hrp_; }
  // The hash sign_message signs (the legacy signed-message digest, also BIP-137's).
  [[nodiscard]] static std::array<std::uint8_t, kSha256Bytes> message_hash(std::span<const std::uint8_t> message);
  VEK_FAMILY_SIGNER_OPERATIONS;

 private:
  std::string hrp_;
};

}  // namespace vek_signer
