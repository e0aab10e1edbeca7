// solana_offchain_parse on untrusted bytes offered as a signed Solana off-chain message,
// and solana_offchain_bytes on untrusted text. Properties: a failure is one line
// starting "invalid message: off-chain message: "; what parses is the input exactly
// (written back from the parsed fields, either layout, it gives the same bytes) with a
// non-empty message that ends the input; text that the builder accepts parses back
// to itself in the current layout.
#include <algorithm>
#include <vector>

#include "fuzz_check.h"
#include "vek/signer/ed25519_message_formats.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The two layouts written out independently of the library.
Bytes write_back(const vek_signer::SolanaOffchainMessage& m) {
  Bytes out(vek_signer::kSolanaSigningDomain.begin(), vek_signer::kSolanaSigningDomain.end());
  out.push_back(0);
  if (!m.legacy) out.insert(out.end(), m.application_domain.begin(), m.application_domain.end());
  out.push_back(static_cast<std::uint8_t>(m.format));
  if (!m.legacy) {
    out.push_back(static_cast<std::uint8_t>(m.signers.size()));
    for (const auto& s : m.signers) out.insert(out.end(), s.begin(), s.end());
  }
  out.push_back(static_cast<std::uint8_t>(m.message.size() & 0xff));
  out.push_back(static_cast<std::uint8_t>(m.message.size() >> 8));
  out.insert(out.end(), m.message.begin(), m.message.end());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = vek_fuzz::as_bytes(data, size);

  const auto parsed = vek_signer::solana_offchain_parse(input);
  if (!parsed) {
    const std::string shown = parsed.error().display();
    FUZZ_CHECK_TEXT(shown.starts_with("invalid message: off-chain message: "), shown);
  } else {
    FUZZ_CHECK(!parsed->message.empty());
    FUZZ_CHECK(parsed->message.data() + parsed->message.size() == data + size);
    FUZZ_CHECK(parsed->legacy == parsed->signers.empty());
    FUZZ_CHECK(parsed->signers.size() <= 255);
    const Bytes back = write_back(*parsed);
    FUZZ_CHECK(back.size() == size && std::equal(back.begin(), back.end(), data));
  }

  const vek_signer::Ed25519Key signers[] = {vek_signer::Ed25519Key{0x5a}};
  const auto built = vek_signer::solana_offchain_bytes(input, signers);
  if (!built) {
    const std::string shown = built.error().display();
    FUZZ_CHECK_TEXT(shown.starts_with("invalid message: off-chain message "), shown);
  } else {
    const auto again = vek_signer::solana_offchain_parse(*built);
    FUZZ_CHECK(again && !again->legacy && again->signers.size() == 1 && again->signers[0] == signers[0]);
    FUZZ_CHECK(std::equal(again->message.begin(), again->message.end(), input.begin(), input.end()));
  }
  return 0;
}
