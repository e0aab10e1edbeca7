// BIP-39 seed: our PBKDF2-HMAC-SHA512 beside OpenSSL's PKCS5_PBKDF2_HMAC on the same inputs.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "vek/signer/bip39.h"
#include "vek/signer/mnemonic.h"

namespace {

constexpr std::string_view kPhrase =
    "legal winner thank year wave sausage worth useful legal winner thank yellow";
constexpr std::string_view kSalt = "mnemonic";

void BM_seed_ours(benchmark::State& state) {
  std::array<std::uint8_t, 64> out{};
  for (auto _ : state) {
    vek_signer::pbkdf2_hmac_sha512({reinterpret_cast<const std::uint8_t*>(kPhrase.data()), kPhrase.size()},
                                   {reinterpret_cast<const std::uint8_t*>(kSalt.data()), kSalt.size()}, 2048, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_seed_ours)->Unit(benchmark::kMicrosecond);

void BM_seed_mnemonic_to_seed(benchmark::State& state) {
  auto m = vek_signer::Mnemonic::from_phrase(kPhrase);
  for (auto _ : state) {
    auto seed = m->to_seed("");
    benchmark::DoNotOptimize(seed.data());
  }
}
BENCHMARK(BM_seed_mnemonic_to_seed)->Unit(benchmark::kMicrosecond);

void BM_seed_openssl_pkcs5(benchmark::State& state) {
  std::array<std::uint8_t, 64> out{};
  for (auto _ : state) {
    PKCS5_PBKDF2_HMAC(kPhrase.data(), static_cast<int>(kPhrase.size()),
                      reinterpret_cast<const unsigned char*>(kSalt.data()), static_cast<int>(kSalt.size()), 2048,
                      EVP_sha512(), static_cast<int>(out.size()), out.data());
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_seed_openssl_pkcs5)->Unit(benchmark::kMicrosecond);

}  // namespace
