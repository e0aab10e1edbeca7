#include "vek/signer/chains/tron.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "chains/secp256k1.h"
#include "vek/signer/base58.h"
#include "vek/signer/hash.h"

namespace vek_signer {

SignerResult<std::string> TronSigner::derive_address(std::span<const std::uint8_t> key) const {
  auto sk = secp::signing_key(key);
  if (!sk) return std::unexpected(std::move(sk.error()));
  // Keccak-256 of X || Y, without the 0x04 tag; the account is its last 20 bytes.
  const auto hash = keccak256(std::span((*sk)->public_uncompressed).subspan(1));
  std::array<std::uint8_t, 21> payload{};
  payload[0] = kAddressPrefix;
  std::copy(hash.end() - 20, hash.end(), payload.begin() + 1);
  return base58check_encode(payload);
}

SignerResult<SignOutput> TronSigner::sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> hash) const {
  return secp::sign_hash(key, hash, "hash");
}

SignerResult<SignOutput> TronSigner::sign_message(std::span<const std::uint8_t> key,
                                                  std::span<const std::uint8_t> message) const {
  // Tron's counterpart of EIP-191; v stays the raw recovery id (no offset of 27).
  constexpr std::string_view kPrefix = "\x19TRON Signed Message:\n";
  std::string envelope(kPrefix);
  envelope += std::to_string(message.size());
  envelope.append(message.begin(), message.end());
  const auto hash = keccak256(std::span(reinterpret_cast<const std::uint8_t*>(envelope.data()), envelope.size()));
  return sign(key, hash);
}

SignerResult<SignOutput> TronSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> signable) const {
  return sign(key, sha256(signable));
}

std::string TronSigner::default_derivation_path(std::uint32_t index) const {
  return "m/44'/195'/0'/0/" + std::to_string(index);
}

}  // namespace vek_signer
