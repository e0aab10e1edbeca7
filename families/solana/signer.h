// The Solana signer: Ed25519 keys, Base58 addresses, and the signature slots of a
// serialized transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vek/signer/chains/family.h"

namespace vek_signer {

// Stateless. Keys are 32-byte Ed25519 secret keys; any other length fails every
// key-taking operation with InvalidPrivateKey "expected 32 bytes, got {length}".
//
// derive_address: Base58 (no checksum) of the 32-byte public key, 32 to 44 characters.
// sign: the 64-byte Ed25519 signature over `data` as given; no recovery_id.
// sign_message: the same as sign().
// sign_transaction: the same as sign(); the caller passes the message part from
//   extract_signable_bytes().
class SolanaSigner final : public FamilySigner<ChainType::Solana> {
 public:
  // Each signature slot of a serialized transaction is this long.
  static constexpr std::size_t kSlotBytes = 64;

  VEK_FAMILY_SIGNER_OPERATIONS;

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
};

}  // namespace vek_signer
