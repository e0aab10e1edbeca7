// Untrusted message signatures of the secp256k1 formats: a BIP-322 witness, BIP-137,
// ADR-036 and the raw layouts, checked against fixed addresses. Input layout: byte 0
// chooses the check (modulo 6), the rest is the signature. Every check must answer or
// refuse with InvalidMessage; a BIP-322 witness that verifies has exactly the two items
// of its layout.
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "vek/signer/message_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::span<const std::uint8_t> sig(data + 1, size - 1);
  static constexpr std::string_view kMessage = "m";
  const std::span<const std::uint8_t> message(reinterpret_cast<const std::uint8_t*>(kMessage.data()), kMessage.size());
  const auto refused_properly = [](const vek_signer::SignerResult<bool>& r) {
    FUZZ_CHECK(r.has_value() || r.error().code == vek_signer::SignerErrorKind::InvalidMessage);
  };
  switch (data[0] % 6) {
    case 0: {
      const auto r = vek_signer::bip322_verify("bc1q9vza2e8x573nczrlzms0wvx3gsqjx7vavgkx0l", message, sig);
      refused_properly(r);
      if (r && *r) FUZZ_CHECK(sig.size() >= 2 && sig[0] == 2 && sig.size() == 2u + sig[1] + 34u);
      break;
    }
    case 1: refused_properly(vek_signer::bip137_verify("bc1q9vza2e8x573nczrlzms0wvx3gsqjx7vavgkx0l", message, sig)); break;
    case 2: refused_properly(vek_signer::adr036_verify("cosmos1m9l358xunhhwds0568za49mzhvuxx9uxre5tud", message, sig)); break;
    case 3: refused_properly(vek_signer::tron_verify_message("TJRabPrwbZy45sbavfcjinPJC18kjpRTv8", message, sig)); break;
    case 4: refused_properly(vek_signer::bitcoin_raw_verify("1BgGZ9tcN4rm9KBzDn7KprQz87SZ26SAMH", message, sig)); break;
    default: {
      const auto who = vek_signer::bip137_recover_address(message, sig);
      FUZZ_CHECK(who.has_value() || who.error().code == vek_signer::SignerErrorKind::InvalidMessage);
      break;
    }
  }
  return 0;
}
