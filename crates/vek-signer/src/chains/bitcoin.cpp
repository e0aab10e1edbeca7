#include "vek/signer/chains/bitcoin.h"

#include <string_view>
#include <vector>

#include "chains/secp256k1.h"
#include "vek/signer/bech32.h"
#include "vek/signer/hash.h"

namespace vek_signer {
namespace {

// Bitcoin's variable-length integer ("compact size"), little-endian after the marker.
void append_compact_size(std::vector<std::uint8_t>& out, std::uint64_t n) {
  int width = 0;
  if (n < 0xfd) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else if (n <= 0xffff) {
    out.push_back(0xfd);
    width = 2;
  } else if (n <= 0xffffffff) {
    out.push_back(0xfe);
    width = 4;
  } else {
    out.push_back(0xff);
    width = 8;
  }
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

}  // namespace

SignerResult<std::string> BitcoinSigner::derive_address(std::span<const std::uint8_t> key) const {
  auto sk = secp::signing_key(key);
  if (!sk) return std::unexpected(std::move(sk.error()));
  // P2WPKH: the witness program is HASH160 of the compressed public key.
  const auto program = ripemd160(sha256((*sk)->public_compressed));
  auto addr = segwit_v0_encode(hrp_, program);
  if (!addr) return signer_error(SignerErrorKind::AddressDerivation, addr.error().display());
  return std::move(*addr);
}

SignerResult<SignOutput> BitcoinSigner::sign(std::span<const std::uint8_t> key,
                                             std::span<const std::uint8_t> hash) const {
  return secp::sign_hash(key, hash, "hash");
}

SignerResult<SignOutput> BitcoinSigner::sign_message(std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> message) const {
  // The signed-message envelope: length-prefixed magic, then the length-prefixed message.
  constexpr std::string_view kMagic = "Bitcoin Signed Message:\n";
  std::vector<std::uint8_t> envelope;
  envelope.reserve(1 + kMagic.size() + 9 + message.size());
  envelope.push_back(static_cast<std::uint8_t>(kMagic.size()));
  envelope.insert(envelope.end(), kMagic.begin(), kMagic.end());
  append_compact_size(envelope, message.size());
  envelope.insert(envelope.end(), message.begin(), message.end());
  return sign(key, sha256d(envelope));
}

SignerResult<SignOutput> BitcoinSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                         std::span<const std::uint8_t> signable) const {
  return sign(key, sha256d(signable));
}

std::string BitcoinSigner::default_derivation_path(std::uint32_t index) const {
  return "m/84'/0'/0'/0/" + std::to_string(index);
}

}  // namespace vek_signer
