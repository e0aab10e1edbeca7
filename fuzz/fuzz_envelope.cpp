// The key encryption envelope as read from a wallet file's `crypto` member: its JSON
// reader, a write/read round trip, and decrypt's refusal of bad parameters. decrypt
// runs only on envelopes it must refuse before the key derivation (a bad hex field,
// weak or costly scrypt parameters, a wrong nonce size, or too little data for a
// tag), so no fuzz input ever pays for a 256 MiB scrypt run.
#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "vek/signer/crypto.h"
#include "vek/signer/crypto_json.h"
#include "vek/signer/hex.h"

namespace {

using vek_signer::CryptoEnvelope;
using vek_signer::CryptoErrorKind;

bool same(const CryptoEnvelope& a, const CryptoEnvelope& b) {
  return a.cipher == b.cipher && a.cipherparams.iv == b.cipherparams.iv && a.ciphertext == b.ciphertext &&
         a.auth_tag == b.auth_tag && a.kdf == b.kdf && a.kdfparams.dklen == b.kdfparams.dklen &&
         a.kdfparams.n == b.kdfparams.n && a.kdfparams.r == b.kdfparams.r && a.kdfparams.p == b.kdfparams.p &&
         a.kdfparams.salt == b.kdfparams.salt;
}

enum class Verdict { Refused, TooShortForTag, Derives };

// What decrypt must do with `e` before any key derivation, worked out from the
// envelope rules: scrypt parameters of RFC 7914 no weaker than the ones encrypt
// writes and within the memory and work limits, a 12-byte nonce, and at least a
// 16-byte tag's worth of ciphertext and tag together.
Verdict verdict(const CryptoEnvelope& e) {
  const auto salt = vek_signer::hex_decode(e.kdfparams.salt);
  const auto iv = vek_signer::hex_decode(e.cipherparams.iv);
  const auto ct = vek_signer::hex_decode(e.ciphertext);
  const auto tag = vek_signer::hex_decode(e.auth_tag);
  if (!salt || !iv || !ct || !tag) return Verdict::Refused;
  const auto& k = e.kdfparams;
  const bool power_of_two = k.n != 0 && (k.n & (k.n - 1)) == 0;
  if (!power_of_two || k.n < vek_signer::kScryptN || k.r < vek_signer::kScryptR || k.p < vek_signer::kScryptP ||
      k.dklen != vek_signer::kScryptDkLen) {
    return Verdict::Refused;
  }
  using u128 = unsigned __int128;
  const u128 r = k.r, n = k.n, p = k.p;
  if (r * p >= (u128{1} << 30)) return Verdict::Refused;
  if (iv->size() != vek_signer::kNonceBytes) return Verdict::Refused;
  if (128 * r * n + 128 * r * p + 256 * r + 64 > vek_signer::kScryptMaxMemoryBytes) return Verdict::Refused;
  if (128 * r * n * p > vek_signer::kScryptMaxWorkBytes) return Verdict::Refused;
  if (ct->size() + tag->size() < vek_signer::kTagBytes) return Verdict::TooShortForTag;
  return Verdict::Derives;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nlohmann::json doc = nlohmann::json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) return 0;
  const auto envelope = vek_signer::envelope_from_json(doc);
  if (!envelope) {
    FUZZ_CHECK_TEXT(!envelope.error().empty() && envelope.error().find('\n') == std::string::npos, envelope.error());
    return 0;
  }

  const auto again = vek_signer::envelope_from_json(vek_signer::envelope_to_json(*envelope));
  FUZZ_CHECK(again.has_value() && same(*envelope, *again));

  const Verdict v = verdict(*envelope);
  if (v == Verdict::Derives) return 0;
  const auto plain = vek_signer::decrypt(*envelope, "");
  FUZZ_CHECK(!plain.has_value());
  if (v == Verdict::TooShortForTag) {
    FUZZ_CHECK(plain.error().code == CryptoErrorKind::DecryptionFailed && plain.error().detail == "aead::Error");
  } else {
    FUZZ_CHECK(plain.error().code == CryptoErrorKind::InvalidParams);
  }
  return 0;
}
