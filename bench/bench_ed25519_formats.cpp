// The Ed25519 families' message-format checks (vek_signer), in the same program as
// BM_libsodium_ed25519_verify, the primitive they rest on:
//   Solana offchain    rebuilds the current header and verifies once (a valid signature
//                      in the format this signer writes);
//   TON ton_proof      parses the address, derives the wallet account of the key (two
//                      SHA-256 of cell representations), hashes the proof, verifies;
//   TON sign_data      the same with the sign-data hash.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "solana/signer.h"
#include "ton/signer.h"
#include "vek/signer/encoding.h"
#include "vek/signer/ed25519_message_formats.h"

namespace {

constexpr std::string_view kText = "Sign in to example.org at 2026-12-07T12:00:00Z, nonce 8f2c";
const std::vector<std::uint8_t> kSecret(32, 0x42);

std::span<const std::uint8_t> text() { return {reinterpret_cast<const std::uint8_t*>(kText.data()), kText.size()}; }

void BM_verify_solana_offchain(benchmark::State& state) {
  const std::string address = vek_signer::SolanaSigner().derive_address(kSecret).value();
  const auto sig = vek_signer::solana_offchain_sign(kSecret, text()).value().signature;
  for (auto _ : state) {
    auto ok = vek_signer::solana_offchain_verify(address, text(), sig);
    if (!ok || !*ok) std::abort();
  }
}
BENCHMARK(BM_verify_solana_offchain)->Unit(benchmark::kMicrosecond);

struct TonCase {
  std::string address;
  vek_signer::Ed25519Key public_key{};
};

const TonCase& ton_case() {
  static const TonCase c = [] {
    TonCase out;
    out.address = vek_signer::TonSigner().derive_address(kSecret).value();
    const auto raw = vek_signer::base58_decode(vek_signer::SolanaSigner().derive_address(kSecret).value()).value();
    std::copy(raw.begin(), raw.end(), out.public_key.begin());
    return out;
  }();
  return c;
}

void BM_verify_ton_proof(benchmark::State& state) {
  const TonCase& c = ton_case();
  const auto sig = vek_signer::ton_proof_sign(kSecret, "example.org", 1765108800, text(), vek_signer::TonNetwork::Mainnet).value().signature;
  for (auto _ : state) {
    auto ok = vek_signer::ton_proof_verify(c.address, c.public_key, "example.org", 1765108800, text(), sig,
                                           vek_signer::TonKeyCheck::WalletContract, vek_signer::TonNetwork::Mainnet);
    if (!ok || !*ok) std::abort();
  }
}
BENCHMARK(BM_verify_ton_proof)->Unit(benchmark::kMicrosecond);

void BM_verify_ton_sign_data(benchmark::State& state) {
  const TonCase& c = ton_case();
  const auto kind = vek_signer::TonSignDataKind::Text;
  const auto sig = vek_signer::ton_sign_data_sign(kSecret, "example.org", 1765108800, kind, text(), vek_signer::TonNetwork::Mainnet).value().signature;
  for (auto _ : state) {
    auto ok = vek_signer::ton_sign_data_verify(c.address, c.public_key, "example.org", 1765108800, kind, text(), sig,
                                               vek_signer::TonKeyCheck::WalletContract, vek_signer::TonNetwork::Mainnet);
    if (!ok || !*ok) std::abort();
  }
}
BENCHMARK(BM_verify_ton_sign_data)->Unit(benchmark::kMicrosecond);

}  // namespace
