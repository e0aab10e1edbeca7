// Phrase to EVM address (BIP-39 seed, BIP-32 along m/44'/60'/0'/0/0, Keccak-256 and
// EIP-55), to set beside BM_seed_openssl_pkcs5 of bench_seed.cpp (the same phrase,
// OpenSSL's PBKDF2 alone); the six accounts of a new wallet (one seed, six derivations);
// one EIP-191 message signature; and the check of a wallet's six stored accounts against
// its secret that every decrypting operation runs.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vek/core/wallet_file.h"
#include "vek/lib/ops.h"
#include "vek/signer/chains.h"
#include "evm/signer.h"
#include "vek/signer/hd.h"
#include "vek/signer/mnemonic.h"

namespace {

constexpr std::string_view kPhrase =
    "legal winner thank year wave sausage worth useful legal winner thank yellow";

void BM_derive_phrase_to_evm_address(benchmark::State& state) {
  const vek_signer::EvmSigner evm;
  const std::string path = evm.default_derivation_path(0);
  for (auto _ : state) {
    auto m = vek_signer::Mnemonic::from_phrase(kPhrase);
    auto key = vek_signer::HdDeriver::derive_from_mnemonic(*m, "", path, evm.curve());
    auto address = evm.derive_address(key->span());
    if (!address) std::abort();
    benchmark::DoNotOptimize(address->data());
  }
}
BENCHMARK(BM_derive_phrase_to_evm_address)->Unit(benchmark::kMicrosecond);

// The derivation and address alone, from a ready seed.
void BM_derive_seed_to_evm_address(benchmark::State& state) {
  const vek_signer::EvmSigner evm;
  const std::string path = evm.default_derivation_path(0);
  auto m = vek_signer::Mnemonic::from_phrase(kPhrase);
  const auto seed = m->to_seed("");
  for (auto _ : state) {
    auto key = vek_signer::HdDeriver::derive(seed.span(), path, evm.curve());
    auto address = evm.derive_address(key->span());
    if (!address) std::abort();
    benchmark::DoNotOptimize(address->data());
  }
}
BENCHMARK(BM_derive_seed_to_evm_address)->Unit(benchmark::kMicrosecond);

void BM_derive_all_six_accounts(benchmark::State& state) {
  auto m = vek_signer::Mnemonic::from_phrase(kPhrase);
  for (auto _ : state) {
    auto accounts = vek_lib::derive_all_accounts(*m, 0);
    if (!accounts || accounts->size() != 6) std::abort();
    benchmark::DoNotOptimize(accounts->data());
  }
}
BENCHMARK(BM_derive_all_six_accounts)->Unit(benchmark::kMicrosecond);

void BM_sign_evm_message(benchmark::State& state) {
  const vek_signer::EvmSigner evm;
  std::array<std::uint8_t, 32> key{};
  key.fill(0x46);
  constexpr std::string_view kMessage = "hello";
  for (auto _ : state) {
    auto sig = evm.sign_message(key, {reinterpret_cast<const std::uint8_t*>(kMessage.data()), kMessage.size()});
    if (!sig) std::abort();
    benchmark::DoNotOptimize(sig->signature.data());
  }
}
BENCHMARK(BM_sign_evm_message)->Unit(benchmark::kMicrosecond);

// One seed, then the six accounts' derivations and addresses, compared with the stored ones.
void BM_check_stored_accounts_mnemonic(benchmark::State& state) {
  auto m = vek_signer::Mnemonic::from_phrase(kPhrase);
  auto accounts = vek_lib::derive_all_accounts(*m, 0);
  if (!accounts) std::abort();
  vek_core::EncryptedWallet wallet;
  wallet.accounts = std::move(*accounts);
  const vek_signer::SecretBytes secret = m->phrase();
  for (auto _ : state) {
    if (!vek_lib::check_stored_accounts(wallet, secret)) std::abort();
  }
}
BENCHMARK(BM_check_stored_accounts_mnemonic)->Unit(benchmark::kMicrosecond);

// A private-key wallet: the key document read, then six addresses from its two keys.
void BM_check_stored_accounts_keys(benchmark::State& state) {
  constexpr std::string_view kKey = "4646464646464646464646464646464646464646464646464646464646464646";
  const auto key = vek_lib::decode_hex_key(kKey);
  vek_core::EncryptedWallet wallet;
  wallet.key_type = vek_core::KeyType::PrivateKey;
  for (const auto family : {vek_core::ChainType::Evm, vek_core::ChainType::Solana, vek_core::ChainType::Bitcoin,
                            vek_core::ChainType::Cosmos, vek_core::ChainType::Tron, vek_core::ChainType::Ton}) {
    auto address = vek_signer::signer_for_chain(family)->derive_address(key->span());
    if (!address) std::abort();
    wallet.accounts.push_back({"", *address, std::string(vek_signer::default_chain_for_type(family).chain_id), ""});
  }
  const std::string doc = R"({"ed25519":")" + std::string(kKey) + R"(","secp256k1":")" + std::string(kKey) + R"("})";
  const auto secret =
      vek_signer::SecretBytes::from_slice({reinterpret_cast<const std::uint8_t*>(doc.data()), doc.size()});
  for (auto _ : state) {
    if (!vek_lib::check_stored_accounts(wallet, secret)) std::abort();
  }
}
BENCHMARK(BM_check_stored_accounts_keys)->Unit(benchmark::kMicrosecond);

}  // namespace
