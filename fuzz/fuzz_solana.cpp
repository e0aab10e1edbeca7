// The signature slots of an untrusted serialized Solana transaction. Input layout:
// byte 0 chooses the signature length (64 unless its top bit is set, then its low
// seven bits), the rest is the transaction. Both operations are checked against the
// slot layout: a compact count n in byte 0, n 64-byte slots, then the message.
#include <algorithm>
#include <vector>

#include "fuzz_check.h"
#include "solana/signer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t sig_len = (data[0] & 0x80) != 0 ? (data[0] & 0x7f) : 64;
  const std::span<const std::uint8_t> tx(data + 1, size - 1);
  const vek_signer::SolanaSigner signer;
  constexpr std::size_t kSlot = vek_signer::SolanaSigner::kSlotBytes;

  const auto signable = signer.extract_signable_bytes(tx);
  if (tx.empty()) {
    FUZZ_CHECK(!signable && signable.error().detail == "empty transaction");
  } else if (tx.size() <= 1 + kSlot * tx[0]) {
    FUZZ_CHECK(!signable && signable.error().detail == "transaction too short for declared signature slots");
  } else {
    FUZZ_CHECK(signable.has_value());
    const std::size_t start = 1 + kSlot * tx[0];
    FUZZ_CHECK(signable->data() == tx.data() + start && signable->size() == tx.size() - start);
  }
  if (!signable) FUZZ_CHECK(signable.error().code == vek_signer::SignerErrorKind::InvalidTransaction);

  vek_signer::SignOutput sig;
  for (std::size_t i = 0; i < sig_len; ++i) sig.signature.push_back(static_cast<std::uint8_t>(0xa0 ^ i));
  const auto signed_tx = signer.encode_signed_transaction(tx, sig);
  if (sig_len != 64) {
    FUZZ_CHECK(!signed_tx && signed_tx.error().detail == "expected 64-byte Ed25519 signature");
  } else if (tx.empty()) {
    FUZZ_CHECK(!signed_tx && signed_tx.error().detail == "empty transaction");
  } else if (tx[0] == 0) {
    FUZZ_CHECK(!signed_tx && signed_tx.error().detail == "transaction has no signature slots");
  } else if (tx.size() <= kSlot * tx[0]) {
    FUZZ_CHECK(!signed_tx && signed_tx.error().detail == "transaction too short for declared signature slots");
  } else {
    FUZZ_CHECK(signed_tx.has_value() && signed_tx->size() == tx.size());
    FUZZ_CHECK((*signed_tx)[0] == tx[0]);
    FUZZ_CHECK(std::equal(sig.signature.begin(), sig.signature.end(), signed_tx->begin() + 1));
    FUZZ_CHECK(std::equal(tx.begin() + 1 + kSlot, tx.end(), signed_tx->begin() + 1 + kSlot));
  }
  return 0;
}
