#include "chains/secp256k1.h"

#include <secp256k1_recovery.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vek/signer/hash.h"
#include "vek/signer/random.h"

namespace vek_signer::secp {
namespace {

// The only text libsecp256k1's callers report for a refused key or a failed signature.
constexpr std::string_view kLibraryError = "signature error";
// Shortest key accepted; 24 to 31 bytes are read as if left-padded with zeros.
constexpr std::size_t kMinSecretKeyBytes = 24;
// r || s || recovery id.
constexpr std::size_t kRecoverableSignatureBytes = 65;

struct ContextDeleter {
  void operator()(secp256k1_context* c) const noexcept { secp256k1_context_destroy(c); }
};
using ContextPtr = std::unique_ptr<secp256k1_context, ContextDeleter>;

// Null only if the allocation failed; every user checks.
ContextPtr make_context() {
  ContextPtr ctx(secp256k1_context_create(SECP256K1_CONTEXT_NONE));
  if (!ctx) return ctx;
  // Blinding against side channels (bitcoin's ECC_Context does the same). Without
  // OS randomness, or should randomising fail (only the static context refuses), the
  // context still signs correctly, only unblinded.
  WipedArray<32> seed;
  if (os_random(seed.span())) {
    const int randomised = secp256k1_context_randomize(ctx.get(), seed.data());
    (void)randomised;
  }
  return ctx;
}

// Length rule and range check; fills `out` with the 32-byte big-endian scalar.
bool load_secret(std::span<const std::uint8_t> key, WipedArray<kSecretKeyBytes>& out) noexcept {
  if (key.size() < kMinSecretKeyBytes || key.size() > kSecretKeyBytes || context() == nullptr) return false;
  std::uint8_t* dst = out.data() + (kSecretKeyBytes - key.size());
  for (std::size_t i = 0; i < key.size(); ++i) dst[i] = key[i];
  // Rejects zero and values not below n.
  return secp256k1_ec_seckey_verify(context(), out.data()) == 1;
}

}  // namespace

const secp256k1_context* context() noexcept {
  static const ContextPtr ctx = make_context();
  return ctx.get();
}

SignerResult<std::unique_ptr<SigningKey>> signing_key(std::span<const std::uint8_t> key) {
  auto sk = std::make_unique<SigningKey>();
  if (!load_secret(key, sk->secret)) {
    return signer_error(SignerErrorKind::InvalidPrivateKey, std::string(kLibraryError));
  }
  secp256k1_pubkey pub;
  if (secp256k1_ec_pubkey_create(context(), &pub, sk->secret.data()) != 1) {
    return signer_error(SignerErrorKind::InvalidPrivateKey, std::string(kLibraryError));
  }
  std::size_t len = kUncompressedBytes;
  if (secp256k1_ec_pubkey_serialize(context(), sk->public_uncompressed.data(), &len, &pub,
                                    SECP256K1_EC_UNCOMPRESSED) != 1 ||
      len != kUncompressedBytes) {
    return signer_error(SignerErrorKind::InvalidPrivateKey, std::string(kLibraryError));
  }
  len = kCompressedBytes;
  if (secp256k1_ec_pubkey_serialize(context(), sk->public_compressed.data(), &len, &pub, SECP256K1_EC_COMPRESSED) !=
          1 ||
      len != kCompressedBytes) {
    return signer_error(SignerErrorKind::InvalidPrivateKey, std::string(kLibraryError));
  }
  return sk;
}

SignerResult<SignOutput> sign_hash(std::span<const std::uint8_t> key, std::span<const std::uint8_t> hash,
                                   std::string_view hash_word) {
  if (hash.size() != kHashBytes) {
    return signer_error(SignerErrorKind::InvalidMessage, "expected 32-byte " + std::string(hash_word) + ", got " +
                                                             std::to_string(hash.size()) + " bytes");
  }
  // Same checks as signing_key(), without computing a public key nobody reads.
  WipedArray<kSecretKeyBytes> secret;
  if (!load_secret(key, secret)) {
    return signer_error(SignerErrorKind::InvalidPrivateKey, std::string(kLibraryError));
  }
  // NULL nonce function: libsecp256k1's RFC 6979 (HMAC-SHA256, key and hash as the
  // generator's input, no extra data). It also normalises s to the lower half and
  // adjusts the recovery id to match.
  secp256k1_ecdsa_recoverable_signature sig;
  if (secp256k1_ecdsa_sign_recoverable(context(), &sig, hash.data(), secret.data(), nullptr, nullptr) != 1) {
    return signer_error(SignerErrorKind::SigningFailed, std::string(kLibraryError));
  }
  SignOutput out;
  out.signature.resize(kRecoverableSignatureBytes);
  int recid = 0;
  if (secp256k1_ecdsa_recoverable_signature_serialize_compact(context(), out.signature.data(), &recid, &sig) != 1) {
    return signer_error(SignerErrorKind::SigningFailed, std::string(kLibraryError));
  }
  out.signature[64] = static_cast<std::uint8_t>(recid);
  out.recovery_id = static_cast<std::uint8_t>(recid);
  return out;
}

std::optional<std::array<std::uint8_t, kUncompressedBytes>> recover(std::span<const std::uint8_t, kHashBytes> hash,
                                                                    std::span<const std::uint8_t, 64> rs, int recid) {
  if (context() == nullptr || recid < 0 || recid > 3) return std::nullopt;
  secp256k1_ecdsa_recoverable_signature sig;
  secp256k1_pubkey pub;
  if (secp256k1_ecdsa_recoverable_signature_parse_compact(context(), &sig, rs.data(), recid) != 1 ||
      secp256k1_ecdsa_recover(context(), &pub, &sig, hash.data()) != 1) {
    return std::nullopt;
  }
  std::array<std::uint8_t, kUncompressedBytes> out{};
  std::size_t len = out.size();
  if (secp256k1_ec_pubkey_serialize(context(), out.data(), &len, &pub, SECP256K1_EC_UNCOMPRESSED) != 1 ||
      len != out.size()) {
    return std::nullopt;
  }
  return out;
}

std::array<std::uint8_t, kCompressedBytes> compress(std::span<const std::uint8_t, kUncompressedBytes> pub) {
  std::array<std::uint8_t, kCompressedBytes> out{};
  out[0] = static_cast<std::uint8_t>(0x02 | (pub[kUncompressedBytes - 1] & 1));
  std::copy(pub.begin() + 1, pub.begin() + kCompressedBytes, out.begin() + 1);
  return out;
}

bool high_s(std::span<const std::uint8_t, 64> rs) {
  secp256k1_ecdsa_signature sig;
  if (context() == nullptr || secp256k1_ecdsa_signature_parse_compact(context(), &sig, rs.data()) != 1) return false;
  return secp256k1_ecdsa_signature_normalize(context(), nullptr, &sig) == 1;
}

std::vector<std::uint8_t> der_encode(std::span<const std::uint8_t, 64> rs) {
  secp256k1_ecdsa_signature sig;
  std::vector<std::uint8_t> out(72);
  std::size_t len = out.size();
  if (context() == nullptr || secp256k1_ecdsa_signature_parse_compact(context(), &sig, rs.data()) != 1 ||
      secp256k1_ecdsa_signature_serialize_der(context(), out.data(), &len, &sig) != 1) {
    return {};
  }
  out.resize(len);
  return out;
}

std::optional<bool> verify_der(std::span<const std::uint8_t, kHashBytes> hash, std::span<const std::uint8_t> der,
                               std::span<const std::uint8_t> pub) {
  secp256k1_ecdsa_signature sig;
  secp256k1_pubkey key;
  // libsecp256k1 aborts the process on a null input pointer, which an empty span may carry.
  if (der.empty() || pub.empty()) return std::nullopt;
  if (context() == nullptr || secp256k1_ecdsa_signature_parse_der(context(), &sig, der.data(), der.size()) != 1 ||
      secp256k1_ec_pubkey_parse(context(), &key, pub.data(), pub.size()) != 1) {
    return std::nullopt;
  }
  // secp256k1_ecdsa_verify itself refuses a high s.
  return secp256k1_ecdsa_verify(context(), &sig, hash.data(), &key) == 1;
}

std::array<std::uint8_t, kKeccakAccountBytes> keccak_account(std::span<const std::uint8_t, kUncompressedBytes> pub) {
  const auto hash = keccak256(pub.subspan(1));
  std::array<std::uint8_t, kKeccakAccountBytes> account{};
  std::copy(hash.end() - kKeccakAccountBytes, hash.end(), account.begin());
  return account;
}

std::array<std::uint8_t, kKeccakAccountBytes> keccak_account(const SigningKey& key) {
  return keccak_account(std::span<const std::uint8_t, kUncompressedBytes>(key.public_uncompressed));
}

std::array<std::uint8_t, kHashBytes> prefixed_message_hash(std::string_view header,
                                                          std::span<const std::uint8_t> message, Digest32 digest) {
  std::vector<std::uint8_t> joined;
  joined.reserve(header.size() + message.size());
  joined.insert(joined.end(), header.begin(), header.end());
  joined.insert(joined.end(), message.begin(), message.end());
  const auto hash = digest(joined);
  wipe_vector(joined);
  return hash;
}

}  // namespace vek_signer::secp
