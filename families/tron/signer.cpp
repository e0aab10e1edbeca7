#include "tron/signer.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "chains/secp256k1.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"

namespace vek_signer {

SignerResult<std::string> TronSigner::derive_address(std::span<const std::uint8_t> key) const {
  VEK_TRY(sk, secp::signing_key(key));
  const auto account = secp::keccak_account(**sk);
  std::array<std::uint8_t, 1 + secp::kKeccakAccountBytes> payload{};
  payload[0] = kAddressPrefix;
  std::copy(account.begin(), account.end(), payload.begin() + 1);
  return base58check_encode(payload);
}

SignerResult<SignOutput> TronSigner::sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> hash) const {
  return secp::sign_hash(key, hash, "hash");
}

std::array<std::uint8_t, kKeccak256Bytes> TronSigner::message_hash(std::span<const std::uint8_t> message) {
  // Tron's counterpart of EIP-191.
  constexpr std::string_view kPrefix = "\x19TRON Signed Message:\n";
  return secp::prefixed_message_hash(std::string(kPrefix) + std::to_string(message.size()), message, keccak256);
}

SignerResult<SignOutput> TronSigner::sign_message(std::span<const std::uint8_t> key,
                                                  std::span<const std::uint8_t> message) const {
  // v stays the raw recovery id (no offset of 27).
  return sign(key, message_hash(message));
}

SignerResult<SignOutput> TronSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> signable) const {
  return sign(key, sha256(signable));
}

}  // namespace vek_signer
