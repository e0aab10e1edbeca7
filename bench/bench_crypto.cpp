// Key encryption envelope beside raw scrypt with the same parameters (N = 2^18, r = 8,
// p = 1, 32 bytes): the envelope's own work (random salt and nonce, AES-256-GCM, hex)
// should disappear in the key derivation.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "vek/signer/crypto.h"

namespace {

constexpr std::string_view kPhrase =
    "legal winner thank year wave sausage worth useful legal winner thank yellow";
constexpr std::string_view kPass = "correct horse battery staple";

std::span<const std::uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void BM_scrypt_raw_libsodium(benchmark::State& state) {
  if (sodium_init() < 0) state.SkipWithError("sodium_init failed");
  std::array<std::uint8_t, 32> salt{};
  std::array<std::uint8_t, 32> key{};
  for (auto _ : state) {
    if (crypto_pwhash_scryptsalsa208sha256_ll(bytes(kPass).data(), kPass.size(), salt.data(), salt.size(), 262144, 8,
                                              1, key.data(), key.size()) != 0) {
      state.SkipWithError("scrypt failed");
    }
    benchmark::DoNotOptimize(key);
  }
}
BENCHMARK(BM_scrypt_raw_libsodium)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_envelope_encrypt(benchmark::State& state) {
  for (auto _ : state) {
    auto env = vek_signer::encrypt(bytes(kPhrase), kPass);
    if (!env) state.SkipWithError("encrypt failed");
    benchmark::DoNotOptimize(env);
  }
}
BENCHMARK(BM_envelope_encrypt)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_envelope_decrypt(benchmark::State& state) {
  const auto env = vek_signer::encrypt(bytes(kPhrase), kPass);
  if (!env) state.SkipWithError("encrypt failed");
  for (auto _ : state) {
    auto plain = vek_signer::decrypt(*env, kPass);
    if (!plain) state.SkipWithError("decrypt failed");
    benchmark::DoNotOptimize(plain);
  }
}
BENCHMARK(BM_envelope_decrypt)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
