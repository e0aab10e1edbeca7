// Hex decoding of untrusted text: a decoded text re-encodes to its lower-case form, a
// refused one names the first offending character exactly, and any bytes survive an
// encode/decode round trip.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "vek/signer/hex.h"

namespace {

bool is_hex_digit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = vek_fuzz::as_text(data, size);

  const auto decoded = vek_signer::hex_decode(text);
  std::vector<std::uint8_t> into = {0x55};  // must be replaced, whatever the outcome
  const auto decoded_into = vek_signer::hex_decode_into(text, into);
  FUZZ_CHECK(decoded.has_value() == decoded_into.has_value());

  if (decoded) {
    FUZZ_CHECK(decoded->size() * 2 == text.size());
    FUZZ_CHECK(*decoded == into);
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK(vek_signer::hex_encode(*decoded) == lower);
  } else {
    FUZZ_CHECK(decoded.error() == decoded_into.error());
    FUZZ_CHECK(into.empty());
    if (text.size() % 2 != 0) {
      FUZZ_CHECK(decoded.error() == "Odd number of digits");
    } else {
      std::size_t bad = 0;
      while (bad < text.size() && is_hex_digit(text[bad])) ++bad;
      FUZZ_CHECK(bad < text.size());
      const std::string suffix = "' at position " + std::to_string(bad);
      FUZZ_CHECK(decoded.error().starts_with("Invalid character '"));
      FUZZ_CHECK(decoded.error().ends_with(suffix));
    }
  }

  // Raw bytes: encode, then decode back.
  const std::string encoded = vek_signer::hex_encode(vek_fuzz::as_bytes(data, size));
  FUZZ_CHECK(encoded.size() == 2 * size);
  const auto back = vek_signer::hex_decode(encoded);
  FUZZ_CHECK(back && std::equal(back->begin(), back->end(), data, data + size) && back->size() == size);
  return 0;
}
