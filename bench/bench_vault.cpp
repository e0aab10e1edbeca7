// Vault listing: 1,000 wallet files of realistic size, read and parsed per iteration,
// beside parsing one file's text alone with our reader and with a generic JSON parse.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "vek/core/wallet_file.h"
#include "vek/lib/vault.h"
#include "vek/signer/crypto_json.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 1000;

std::string random_hex(std::size_t bytes) {
  std::string buf(bytes, '\0');
  auto span = std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(buf.data()), bytes);
  if (!vek_signer::os_random(span)) std::abort();
  return vek_signer::hex_encode(span);
}

// A wallet as the operations write it: a 12-word phrase envelope and six accounts.
vek_core::EncryptedWallet realistic_wallet(int i) {
  vek_signer::CryptoEnvelope env;
  env.cipher = "aes-256-gcm";
  env.kdf = "scrypt";
  env.cipherparams.iv = random_hex(12);
  env.ciphertext = random_hex(74);
  env.auth_tag = random_hex(16);
  env.kdfparams.salt = random_hex(32);
  const std::string id = random_hex(4) + "-" + random_hex(2) + "-4" + random_hex(2).substr(1) + "-a" +
                         random_hex(2).substr(1) + "-" + random_hex(6);
  std::vector<vek_core::WalletAccount> accounts = {
      {"evm-0", "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "eip155:1", "m/44'/60'/0'/0/0"},
      {"solana-0", "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
       "m/44'/501'/0'/0'"},
      {"bitcoin-0", "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu", "bip122:000000000019d6689c085ae165831e93",
       "m/84'/0'/0'/0/0"},
      {"cosmos-0", "cosmos19rl4cm2hmr8afy4kldpxz3fka4jguq0auqdal4", "cosmos:cosmoshub-4", "m/44'/118'/0'/0/0"},
      {"tron-0", "TUEZSdKsoDHQMeZwihtdoBiN46zxhGWYdH", "tron:mainnet", "m/44'/195'/0'/0/0"},
      {"ton-0", "UQAz4q7BHtDgQwJ8VdWvUGMvRsgC3pcNmAnJ2lOrX-9XRvVg", "ton:mainnet", "m/44'/607'/0'"},
  };
  auto w = vek_core::EncryptedWallet::make_new(id, "wallet " + std::to_string(i), std::move(accounts),
                                               vek_signer::envelope_to_json(env), vek_core::KeyType::Mnemonic);
  return w;
}

struct VaultFixture {
  fs::path dir;
  std::string sample_text;
  VaultFixture() {
    dir = fs::temp_directory_path() / ("vek-bench-vault-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    for (int i = 0; i < kFiles; ++i) {
      const auto w = realistic_wallet(i);
      if (!vek_lib::save_encrypted_wallet(w, dir.native())) std::abort();
      if (i == 0) sample_text = vek_core::wallet_to_json_text(w).value();
    }
  }
  ~VaultFixture() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

VaultFixture& fixture() {
  static VaultFixture f;
  return f;
}

void BM_vault_list_1000(benchmark::State& state) {
  const std::string vault = fixture().dir.native();
  for (auto _ : state) {
    auto wallets = vek_lib::list_encrypted_wallets(vault);
    if (!wallets || wallets->size() != kFiles) state.SkipWithError("listing failed");
    benchmark::DoNotOptimize(wallets);
  }
  state.counters["per_file"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFiles, benchmark::Counter::kIsRate |
                                                                               benchmark::Counter::kInvert);
}
BENCHMARK(BM_vault_list_1000)->Unit(benchmark::kMillisecond);

void BM_wallet_parse_one(benchmark::State& state) {
  const std::string& text = fixture().sample_text;
  for (auto _ : state) {
    auto w = vek_core::wallet_from_json_text(text);
    benchmark::DoNotOptimize(w);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_wallet_parse_one)->Unit(benchmark::kMicrosecond);

void BM_wallet_generic_json_parse_one(benchmark::State& state) {
  const std::string& text = fixture().sample_text;
  for (auto _ : state) {
    auto j = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(j);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_wallet_generic_json_parse_one)->Unit(benchmark::kMicrosecond);

void BM_wallet_write_one(benchmark::State& state) {
  const auto w = vek_core::wallet_from_json_text(fixture().sample_text).value();
  for (auto _ : state) {
    auto text = vek_core::wallet_to_json_text(w);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_wallet_write_one)->Unit(benchmark::kMicrosecond);

// One atomic replacement: temporary file, fsync, rename, directory fsync.
void BM_vault_save_one(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("vek-bench-save-" + std::to_string(::getpid()));
  const auto w = realistic_wallet(0);
  for (auto _ : state) {
    if (!vek_lib::save_encrypted_wallet(w, dir.native())) state.SkipWithError("save failed");
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}
BENCHMARK(BM_vault_save_one)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
