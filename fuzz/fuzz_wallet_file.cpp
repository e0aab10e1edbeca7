// Wallet files read from the vault directory. An accepted document must be valid
// JSON by an independent parser, must survive a write/read round trip unchanged, and
// writing it again must give the same text; a refused one gets a one-line message
// with its position.
#include <nlohmann/json.hpp>

#include "fuzz_check.h"
#include "vek/core/wallet_file.h"
#include "vek/signer/crypto_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = vek_fuzz::as_text(data, size);
  const auto wallet = vek_core::wallet_from_json_text(text);
  if (!wallet) {
    const std::string& e = wallet.error();
    FUZZ_CHECK_TEXT(!e.empty() && e.find('\n') == std::string::npos, e);
    FUZZ_CHECK_TEXT(e.find(" at line ") != std::string::npos, e);
    return 0;
  }
  FUZZ_CHECK(nlohmann::json::accept(text));

  const auto written = vek_core::wallet_to_json_text(*wallet);
  FUZZ_CHECK(written.has_value());
  const auto reread = vek_core::wallet_from_json_text(*written);
  FUZZ_CHECK(reread.has_value());
  FUZZ_CHECK(*reread == *wallet);
  const auto rewritten = vek_core::wallet_to_json_text(*reread);
  FUZZ_CHECK(rewritten.has_value() && *rewritten == *written);

  // The envelope reader sees whatever `crypto` holds.
  (void)vek_signer::envelope_from_json(wallet->crypto);
  return 0;
}
