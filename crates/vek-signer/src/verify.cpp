#include "vek/signer/verify.h"

#include "chains/ed25519.h"
#include "chains/secp256k1.h"
#include "vek/signer/encoding.h"
#include "evm/signer.h"

namespace vek_signer {

SignerResult<std::string> evm_recover_address(std::span<const std::uint8_t> hash,
                                              std::span<const std::uint8_t> signature) {
  const auto invalid = [](std::string what) { return signer_error(SignerErrorKind::InvalidMessage, std::move(what)); };
  if (hash.size() != secp::kHashBytes) return invalid("expected 32-byte hash, got " + std::to_string(hash.size()) + " bytes");
  if (signature.size() != EvmSigner::kSignatureBytes) {
    return invalid("expected a 65-byte signature (r || s || v), got " + std::to_string(signature.size()) + " bytes");
  }
  const std::uint8_t v = signature[64];
  if (v != 0 && v != 1 && v != 27 && v != 28) return invalid("signature v must be 0, 1, 27 or 28, got " + std::to_string(v));
  const auto pub = secp::recover(hash.first<secp::kHashBytes>(), signature.first<64>(), v >= 27 ? v - 27 : v);
  if (!pub) return invalid(std::string(kRecoversNoKey));
  const auto account = secp::keccak_account(std::span<const std::uint8_t, secp::kUncompressedBytes>(*pub));
  return EvmSigner::checksum_address(account);
}

SignerResult<bool> solana_verify(std::string_view address, std::span<const std::uint8_t> message,
                                 std::span<const std::uint8_t> signature) {
  const auto key = base58_decode(address);
  if (!key || key->size() != ed25519::kPublicKeyBytes) {
    return signer_error(SignerErrorKind::InvalidMessage, "invalid Solana address: '" + std::string(address) + "'");
  }
  if (signature.size() != ed25519::kSignatureBytes) {
    return signer_error(SignerErrorKind::InvalidMessage,
                        "expected a 64-byte signature, got " + std::to_string(signature.size()) + " bytes");
  }
  return ed25519::verify(std::span<const std::uint8_t, ed25519::kPublicKeyBytes>(key->data(), ed25519::kPublicKeyBytes),
                         message, signature.first<ed25519::kSignatureBytes>());
}

}  // namespace vek_signer
