#include "vek/lib/ops.h"

#include "utf8.h"
#include "vek/signer/mnemonic.h"

namespace vek_lib {

using vek_signer::Mnemonic;
using vek_signer::WordCount;

VekResult<std::string> generate_mnemonic(std::uint32_t words) {
  WordCount count;
  if (words == 12) {
    count = WordCount::Twelve;
  } else if (words == 24) {
    count = WordCount::TwentyFour;
  } else {
    return std::unexpected(VekLibError::invalid_input("words must be 12 or 24"));
  }
  auto mnemonic = Mnemonic::generate(count);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const vek_signer::SecretBytes phrase = mnemonic->phrase();
  std::string text(reinterpret_cast<const char*>(phrase.data()), phrase.size());
  if (auto err = utf8_error(text)) {
    vek_signer::wipe_string(text);
    return std::unexpected(VekLibError::invalid_input("invalid UTF-8 in mnemonic: " + *err));
  }
  return text;
}

}  // namespace vek_lib
