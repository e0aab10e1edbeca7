#include "chains/ed25519.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <string>
#include <string_view>

#include "openssl_support.h"

namespace vek_signer::ed25519 {
namespace {

using ossl::MdCtxPtr;
using ossl::PkeyPtr;

// What a failure is called when OpenSSL queued no reason for it.
constexpr std::string_view kOpenSslFailure = "OpenSSL failure";

// OpenSSL keeps the secret in its own key object and wipes it (and the expanded
// SHA-512 of it) when the object is freed, so no copy of ours is made. Any 32 bytes
// are a valid Ed25519 secret, so a refusal of OpenSSL's is no fault of the key: it
// lacks the algorithm (an OpenSSL configuration without it) or memory, and is
// reported as a failure of the operation, `failure`.
SignerResult<PkeyPtr> load(std::span<const std::uint8_t> key, SignerErrorKind failure) {
  if (key.size() != kSecretKeyBytes) {
    return signer_error(SignerErrorKind::InvalidPrivateKey, "expected 32 bytes, got " + std::to_string(key.size()));
  }
  PkeyPtr pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  if (!pkey) return signer_error(failure, "OpenSSL cannot make an Ed25519 key: " + ossl::error_text(kOpenSslFailure));
  return pkey;
}

}  // namespace

SignerResult<PublicKey> public_key(std::span<const std::uint8_t> key) {
  VEK_TRY(pkey, load(key, SignerErrorKind::AddressDerivation));
  PublicKey out{};
  std::size_t len = out.size();
  if (EVP_PKEY_get_raw_public_key(pkey->get(), out.data(), &len) != 1 || len != out.size()) {
    return signer_error(SignerErrorKind::AddressDerivation, ossl::error_text(kOpenSslFailure));
  }
  return out;
}

SignerResult<SignOutput> sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
  VEK_TRY(pkey, load(key, SignerErrorKind::SigningFailed));
  MdCtxPtr ctx(EVP_MD_CTX_new());
  // Ed25519 takes no digest: the message goes whole into the one-shot sign.
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, pkey->get()) != 1) {
    return signer_error(SignerErrorKind::SigningFailed, ossl::error_text(kOpenSslFailure));
  }
  SignOutput out;
  out.signature.resize(kSignatureBytes);
  std::size_t len = kSignatureBytes;
  // OpenSSL wants a non-null pointer even for an empty message.
  static const std::uint8_t kEmpty = 0;
  const std::uint8_t* msg = data.empty() ? &kEmpty : data.data();
  if (EVP_DigestSign(ctx.get(), out.signature.data(), &len, msg, data.size()) != 1 || len != kSignatureBytes) {
    return signer_error(SignerErrorKind::SigningFailed, ossl::error_text(kOpenSslFailure));
  }
  return out;
}

SignerResult<bool> verify(std::span<const std::uint8_t, kPublicKeyBytes> public_key, std::span<const std::uint8_t> data,
                          std::span<const std::uint8_t, kSignatureBytes> signature) {
  // libsodium's verification: about half the time of OpenSSL's here, and the one PyNaCl
  // and most Solana tooling use. It also refuses public keys of small order and
  // non-canonical encodings, which no honest signer produces.
  static const bool ready = sodium_init() >= 0;
  if (!ready) return signer_error(SignerErrorKind::SigningFailed, "libsodium cannot be initialised");
  static const std::uint8_t kEmpty = 0;
  const std::uint8_t* msg = data.empty() ? &kEmpty : data.data();
  return crypto_sign_verify_detached(signature.data(), msg, data.size(), public_key.data()) == 0;
}

}  // namespace vek_signer::ed25519
