// Signature checks without a wallet (vek_lib::verify_message), each beside the library
// primitive it rests on, in the same run:
//   EVM eip191   against libsecp256k1's secp256k1_ecdsa_verify with the public key known
//                and secp256k1_ecdsa_recover (our check recovers the key, then compares
//                addresses);
//   Solana raw   against libsodium's crypto_sign_verify_detached.
#include <benchmark/benchmark.h>
#include <secp256k1.h>
#include <secp256k1_recovery.h>
#include <sodium.h>

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/verify.h"
#include "vek/signer/chains.h"
#include "evm/signer.h"

namespace {

constexpr std::string_view kMessage = "Sign in to example.org at 2026-12-07T12:00:00Z, nonce 8f2c";
const std::vector<std::uint8_t> kKey(32, 0x42);

std::span<const std::uint8_t> message_bytes() {
  return {reinterpret_cast<const std::uint8_t*>(kMessage.data()), kMessage.size()};
}

struct EvmCase {
  std::string address;
  std::vector<std::uint8_t> signature;  // r || s || v, v = 27 or 28
  std::array<std::uint8_t, 32> digest{};
};

const EvmCase& evm_case() {
  static const EvmCase c = [] {
    const vek_signer::EvmSigner evm;
    EvmCase out;
    out.address = evm.derive_address(kKey).value();
    out.signature = evm.sign_message(kKey, message_bytes()).value().signature;
    out.digest = vek_signer::EvmSigner::personal_message_hash(message_bytes());
    return out;
  }();
  return c;
}

void BM_verify_evm_eip191(benchmark::State& state) {
  const EvmCase& c = evm_case();
  for (auto _ : state) {
    auto ok = vek_lib::verify_message("ethereum", c.address, message_bytes(), c.signature, std::nullopt);
    if (!ok || !*ok) std::abort();
  }
}
BENCHMARK(BM_verify_evm_eip191)->Unit(benchmark::kMicrosecond);

secp256k1_context* secp() {
  static secp256k1_context* ctx = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
  return ctx;
}

void BM_libsecp256k1_ecdsa_verify(benchmark::State& state) {
  const EvmCase& c = evm_case();
  secp256k1_pubkey pub;
  secp256k1_ecdsa_signature sig;
  if (secp256k1_ec_pubkey_create(secp(), &pub, kKey.data()) != 1 ||
      secp256k1_ecdsa_signature_parse_compact(secp(), &sig, c.signature.data()) != 1) {
    std::abort();
  }
  for (auto _ : state) {
    if (secp256k1_ecdsa_verify(secp(), &sig, c.digest.data(), &pub) != 1) std::abort();
  }
}
BENCHMARK(BM_libsecp256k1_ecdsa_verify)->Unit(benchmark::kMicrosecond);

void BM_libsecp256k1_ecdsa_recover(benchmark::State& state) {
  const EvmCase& c = evm_case();
  secp256k1_ecdsa_recoverable_signature sig;
  if (secp256k1_ecdsa_recoverable_signature_parse_compact(secp(), &sig, c.signature.data(), c.signature[64] - 27) != 1) {
    std::abort();
  }
  for (auto _ : state) {
    secp256k1_pubkey pub;
    if (secp256k1_ecdsa_recover(secp(), &pub, &sig, c.digest.data()) != 1) std::abort();
    benchmark::DoNotOptimize(pub);
  }
}
BENCHMARK(BM_libsecp256k1_ecdsa_recover)->Unit(benchmark::kMicrosecond);

struct SolanaCase {
  std::string address;
  std::vector<std::uint8_t> signature;
  std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> public_key{};
};

const SolanaCase& solana_case() {
  static const SolanaCase c = [] {
    const auto signer = vek_signer::signer_for_chain(vek_core::ChainType::Solana);
    SolanaCase out;
    out.address = signer->derive_address(kKey).value();
    out.signature = signer->sign_message(kKey, message_bytes()).value().signature;
    std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> secret{};
    if (sodium_init() < 0 || crypto_sign_seed_keypair(out.public_key.data(), secret.data(), kKey.data()) != 0) std::abort();
    sodium_memzero(secret.data(), secret.size());
    return out;
  }();
  return c;
}

void BM_verify_solana_raw(benchmark::State& state) {
  const SolanaCase& c = solana_case();
  for (auto _ : state) {
    auto ok = vek_lib::verify_message("solana", c.address, message_bytes(), c.signature, std::nullopt);
    if (!ok || !*ok) std::abort();
  }
}
BENCHMARK(BM_verify_solana_raw)->Unit(benchmark::kMicrosecond);

void BM_libsodium_ed25519_verify(benchmark::State& state) {
  const SolanaCase& c = solana_case();
  for (auto _ : state) {
    if (crypto_sign_verify_detached(c.signature.data(), message_bytes().data(), message_bytes().size(),
                                    c.public_key.data()) != 0) {
      std::abort();
    }
  }
}
BENCHMARK(BM_libsodium_ed25519_verify)->Unit(benchmark::kMicrosecond);

}  // namespace
