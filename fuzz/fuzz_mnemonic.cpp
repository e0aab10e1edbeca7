// BIP-39 phrases typed by a user. Input byte 0 selects the mode: even, the rest is a
// phrase to parse (an accepted phrase must be exactly its own canonical form); odd,
// the rest is raw entropy whose phrase must parse back to the same words.
#include <algorithm>
#include <cstring>

#include "fuzz_check.h"
#include "vek/signer/mnemonic.h"

namespace {

bool same_text(const vek_signer::SecretBytes& phrase, std::string_view text) {
  return phrase.size() == text.size() && (text.empty() || std::memcmp(phrase.data(), text.data(), text.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  using vek_signer::Mnemonic;
  using vek_signer::MnemonicErrorKind;

  if ((data[0] & 1) == 0) {
    const std::string_view text = vek_fuzz::as_text(data + 1, size - 1);
    const auto m = Mnemonic::from_phrase(text);
    if (!m) {
      FUZZ_CHECK(m.error().code == MnemonicErrorKind::InvalidPhrase);
      return 0;
    }
    const std::size_t words = m->word_count();
    FUZZ_CHECK(words == 12 || words == 15 || words == 18 || words == 21 || words == 24);
    FUZZ_CHECK(same_text(m->phrase(), text));
    FUZZ_CHECK(static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')) + 1 == words);
    return 0;
  }

  const std::span<const std::uint8_t> entropy(data + 1, size - 1);
  const auto m = Mnemonic::from_entropy(entropy);
  const bool valid_length = entropy.size() >= 16 && entropy.size() <= 32 && entropy.size() % 4 == 0;
  FUZZ_CHECK(m.has_value() == valid_length);
  if (!m) return 0;
  FUZZ_CHECK(m->word_count() == entropy.size() * 3 / 4);
  const vek_signer::SecretBytes phrase = m->phrase();
  const std::string_view text(reinterpret_cast<const char*>(phrase.data()), phrase.size());
  const auto again = Mnemonic::from_phrase(text);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(same_text(again->phrase(), text));
  return 0;
}
