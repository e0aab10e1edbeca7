// The EVM signer: EIP-55 addresses, EIP-191 personal messages and EIP-2718 typed
// transactions (types 0x01 and 0x02) over secp256k1. One signer serves every EVM chain:
// nothing here depends on the chain id.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vek/signer/chains/family.h"
#include "vek/signer/hash.h"

namespace vek_signer {

// Stateless. Keys are secp256k1 scalars: 32 bytes, or 24 to 31 bytes read as if
// left-padded with zeros. Every key-taking operation refuses any other length, zero,
// or a value not below the group order with InvalidPrivateKey "signature error".
//
// derive_address: "0x" and the EIP-55 checksummed hex of the last 20 bytes of
//   Keccak-256(X || Y), 42 characters.
// sign: a recoverable RFC 6979 signature over a 32-byte hash, low S.
//   Result: signature r || s || v (65 bytes), recovery_id = v (0 or 1).
//   Errors: a hash of n != 32 bytes, before the key is looked at: InvalidMessage
//   "expected 32-byte prehash, got {n} bytes"; a bad key: InvalidPrivateKey;
//   the primitive fails: SigningFailed "signature error".
// sign_message: the EIP-191 personal message,
//   sign(Keccak-256(0x19 "Ethereum Signed Message:\n" {len} message)), then
//   v (last byte and recovery_id) = 27 + recovery id.
// sign_transaction: sign(Keccak-256(signable)) over the bytes as given (nothing is
//   decoded); v = 0 or 1.
class EvmSigner final : public FamilySigner<ChainType::Evm> {
 public:
  static constexpr std::size_t kAddressBytes = 20;
  // r (32) || s (32) || v (1).
  static constexpr std::size_t kSignatureBytes = 65;
  // Added to v by sign_message (EIP-191 signatures carry 27 or 28).
  static constexpr std::uint8_t kMessageVOffset = 27;

  VEK_FAMILY_SIGNER_OPERATIONS;

  // The unsigned typed transaction `tx` with y_parity, r and s appended (rlp.h).
  // Errors (InvalidTransaction): a signature other than 65 bytes:
  //   "expected 65-byte signature (r || s || v)"; then the texts of
  //   rlp::encode_signed_typed_tx unchanged (e.g. "truncated RLP payload").
  [[nodiscard]] SignerResult<std::vector<std::uint8_t>> encode_signed_transaction(
      std::span<const std::uint8_t> tx, const SignOutput& output) const override;

  // "0x" and the EIP-55 mixed-case hex of `address`.
  [[nodiscard]] static std::string checksum_address(std::span<const std::uint8_t, kAddressBytes> address);

  // Keccak-256 of the EIP-191 personal-message prefix followed by `message`.
  [[nodiscard]] static std::array<std::uint8_t, kKeccak256Bytes> personal_message_hash(
      std::span<const std::uint8_t> message);

  // The digest of an EIP-191 signed-data message given as its parts after 0x19 (version,
  // header, body; eth-account's SignableMessage): Keccak-256(0x19 || version || header ||
  // body) for version 0x00 (header: the 20-byte intended validator), 0x01 (EIP-712: header
  // the 32-byte domain separator, body the 32-byte struct hash) and 0x45 "E" (header
  // "thereum Signed Message:\n" and the body's length in decimal).
  // Errors (InvalidInput): "EIP-191 version 0x{vv} is not signed (versions 0x00, 0x01 and
  // 0x45 are)"; "EIP-191 version 0x00: the header must be the 20-byte validator address";
  // "EIP-191 version 0x01: the header and the body must be 32-byte hashes"; "EIP-191
  // version 0x45: the header must be \"thereum Signed Message:\\n\" and the body's length".
  [[nodiscard]] static SignerResult<std::array<std::uint8_t, kKeccak256Bytes>> signable_message_hash(
      std::uint8_t version, std::span<const std::uint8_t> header, std::span<const std::uint8_t> body);
};

}  // namespace vek_signer
