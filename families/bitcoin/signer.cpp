#include "bitcoin/signer.h"

#include <string>
#include <string_view>

#include "chains/secp256k1.h"
#include "vek/signer/bech32.h"
#include "vek/signer/hash.h"

namespace vek_signer {
namespace {

// Bitcoin's variable-length integer ("compact size"), little-endian after the marker.
void append_compact_size(std::string& out, std::uint64_t n) {
  int width = 0;
  if (n < 0xfd) {
    out.push_back(static_cast<char>(n));
  } else if (n <= 0xffff) {
    out.push_back('\xfd');
    width = 2;
  } else if (n <= 0xffffffff) {
    out.push_back('\xfe');
    width = 4;
  } else {
    out.push_back('\xff');
    width = 8;
  }
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>(n >> (8 * i)));
}

}  // namespace

SignerResult<std::string> BitcoinSigner::derive_address(std::span<const std::uint8_t> key) const {
  VEK_TRY(sk, secp::signing_key(key));
  // P2WPKH: the witness program is HASH160 of the compressed public key.
  const auto program = hash160((*sk)->public_compressed);
  auto addr = segwit_v0_encode(hrp_, program);
  if (!addr) return signer_error(SignerErrorKind::AddressDerivation, addr.error().display());
  return std::move(*addr);
}

SignerResult<SignOutput> BitcoinSigner::sign(std::span<const std::uint8_t> key,
                                             std::span<const std::uint8_t> hash) const {
  return secp::sign_hash(key, hash, "hash");
}

std::array<std::uint8_t, kSha256Bytes> BitcoinSigner::message_hash(std::span<const std::uint8_t> message) {
  // The signed-message envelope: length-prefixed magic, then the length-prefixed message.
  constexpr std::string_view kMagic = "Bitcoin Signed Message:\n";
  std::string header(1, static_cast<char>(kMagic.size()));
  header += kMagic;
  append_compact_size(header, message.size());
  return secp::prefixed_message_hash(header, message, sha256d);
}

SignerResult<SignOutput> BitcoinSigner::sign_message(std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> message) const {
  return sign(key, message_hash(message));
}

SignerResult<SignOutput> BitcoinSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                         std::span<const std::uint8_t> signable) const {
  return sign(key, sha256d(signable));
}

}  // namespace vek_signer
