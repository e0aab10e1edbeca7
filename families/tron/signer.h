// The Tron signer: secp256k1 keys, base58check addresses beginning with T.
#pragma once

#include <array>
#include <cstdint>

#include "vek/signer/chains/family.h"
#include "vek/signer/hash.h"

namespace vek_signer {

// Stateless. Key-taking operations refuse bad keys (not 24 to 32 bytes, zero, or not
// below the group order) with InvalidPrivateKey "signature error". Every signature is
// r || s || v (65 bytes) with recovery_id = v, the raw recovery id 0 or 1.
// extract_signable_bytes and encode_signed_transaction keep the interface's defaults.
//
// derive_address: base58check(0x41 || last 20 bytes of Keccak-256(X || Y)), 34 characters.
// sign: a recoverable signature over a 32-byte hash.
//   Error: InvalidMessage "expected 32-byte hash, got {n} bytes" (checked before the key).
// sign_message: sign(Keccak-256(0x19 "TRON Signed Message:\n" {decimal length} || message)).
// sign_transaction: sign(SHA-256(bytes)), the transaction id Tron signs.
class TronSigner final : public FamilySigner<ChainType::Tron> {
 public:
  static constexpr std::uint8_t kAddressPrefix = 0x41;
  // The hash sign_message signs: Keccak-256(0x19 "TRON Signed Message:\n" {length} || message).
  [[nodiscard]] static std::array<std::uint8_t, kKeccak256Bytes> message_hash(std::span<const std::uint8_t> message);

  VEK_FAMILY_SIGNER_OPERATIONS;
};

}  // namespace vek_signer
