// typed_data_hash on untrusted typed-data documents (what a dApp hands a wallet to
// sign). Properties: no crash, hang or unbounded growth on any input; a failure is one
// line starting "invalid message: typed data: "; a document that hashes hashes the
// same way again (the encoder keeps no state between calls).
#include <string_view>

#include "fuzz_check.h"
#include "vek/signer/eip712.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto first = vek_signer::typed_data_hash(text);
  if (!first) {
    const std::string shown = first.error().display();
    FUZZ_CHECK_TEXT(shown.starts_with("invalid message: typed data: "), shown);
    return 0;
  }
  const auto again = vek_signer::typed_data_hash(text);
  FUZZ_CHECK(again && *again == *first);
  return 0;
}
