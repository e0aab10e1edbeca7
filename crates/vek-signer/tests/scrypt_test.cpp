// Our scrypt against RFC 7914 and, bit for bit, against libsodium's scrypt, with each
// Salsa20/8 core forced in turn; the parameter refusals; the core choice.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "scrypt.h"
#include "vek/signer/crypto.h"
#include "vek/signer/hex.h"

#include "test_vectors.h"

namespace {

using vek_signer::scrypt_derive;
using vek_signer::scrypt_tuning::HugePages;
using vek_signer::scrypt_tuning::SalsaCore;
namespace tuning = vek_signer::scrypt_tuning;
using Bytes = std::vector<std::uint8_t>;

struct Case {
  Bytes password, salt;
  std::uint64_t n;
  std::uint32_t r, p;
  std::size_t dk_len;

  std::string describe() const {
    std::ostringstream s;
    s << "password " << vek_signer::hex_encode(password) << ", salt " << vek_signer::hex_encode(salt) << ", N=" << n
      << " r=" << r << " p=" << p << " dkLen=" << dk_len;
    return s.str();
  }
};

Bytes ours(const Case& c) {
  Bytes dk(c.dk_len);
  const int err = scrypt_derive(c.password, c.salt, c.n, c.r, c.p, dk);
  EXPECT_EQ(err, 0) << c.describe();
  return dk;
}

Bytes libsodium(const Case& c) {
  static const std::uint8_t empty = 0;
  Bytes dk(c.dk_len);
  EXPECT_EQ(crypto_pwhash_scryptsalsa208sha256_ll(c.password.empty() ? &empty : c.password.data(), c.password.size(),
                                                  c.salt.empty() ? &empty : c.salt.data(), c.salt.size(), c.n, c.r,
                                                  c.p, dk.data(), dk.size()),
            0)
      << c.describe();
  return dk;
}

Bytes random_bytes(std::mt19937_64& rng, std::size_t max_len) {
  Bytes b(std::uniform_int_distribution<std::size_t>(0, max_len)(rng));
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Fixed seeds: a failure names its case and reproduces.
std::vector<Case> random_cases() {
  std::mt19937_64 rng(0x5c7e9b1d);
  std::vector<Case> cases;
  for (int i = 0; i < 300; ++i) {
    Case c;
    c.password = random_bytes(rng, 200);
    c.salt = random_bytes(rng, 200);
    c.n = std::uint64_t{1} << std::uniform_int_distribution<int>(1, 14)(rng);
    c.r = std::uniform_int_distribution<std::uint32_t>(1, 16)(rng);
    c.p = std::uniform_int_distribution<std::uint32_t>(1, 4)(rng);
    c.dk_len = std::uniform_int_distribution<std::size_t>(1, 128)(rng);
    cases.push_back(std::move(c));
  }
  return cases;
}

std::vector<Case> vault_cost_cases() {
  std::mt19937_64 rng(0x2f18);
  std::vector<Case> cases;
  for (int i = 0; i < 5; ++i) {
    Case c{random_bytes(rng, 64), random_bytes(rng, 32), std::uint64_t{1} << 18, 8, 1, i == 4 ? 64u : 32u};
    cases.push_back(std::move(c));
  }
  return cases;
}

class ScryptWithCore : public ::testing::TestWithParam<SalsaCore> {
 protected:
  void SetUp() override {
    ASSERT_GE(sodium_init(), 0);
    if (!tuning::core_supported(GetParam())) {
      GTEST_SKIP() << "this CPU lacks the instructions of the " << tuning::core_name(GetParam())
                   << " core: it is compiled, but cannot run here";
    }
    ASSERT_TRUE(tuning::force_core(GetParam())) << "the core fails its self-check";
    ASSERT_EQ(tuning::active_core(), GetParam());
  }
  void TearDown() override { tuning::reset_core(); }
};

TEST_P(ScryptWithCore, Rfc7914Vectors) {
  const auto vectors = vek_test::load("rfc7914-scrypt.json");
  for (const auto& v : vectors["scrypt"]) {
    if (v.value("expensive", false)) continue;
    const std::string p = v["P"], s = v["S"];
    const Case c{Bytes(p.begin(), p.end()), Bytes(s.begin(), s.end()), v["N"].get<std::uint64_t>(),
                 v["r"].get<std::uint32_t>(), v["p"].get<std::uint32_t>(), v["dkLen"].get<std::size_t>()};
    EXPECT_EQ(vek_signer::hex_encode(ours(c)), v["DK"].get<std::string>()) << c.describe();
  }
}

TEST_P(ScryptWithCore, MatchesLibsodiumOnRandomParameters) {
  for (const Case& c : random_cases()) {
    ASSERT_EQ(ours(c), libsodium(c)) << c.describe();
  }
}

// The parameters every wallet file carries; the last two cases with huge pages taken
// whatever they cost, and refused.
TEST_P(ScryptWithCore, MatchesLibsodiumAtVaultCost) {
  const auto cases = vault_cost_cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (i + 2 == cases.size()) tuning::set_huge_pages(HugePages::Always);
    if (i + 1 == cases.size()) tuning::set_huge_pages(HugePages::Refuse);
    const Bytes got = ours(cases[i]);
    tuning::set_huge_pages(HugePages::Use);
    EXPECT_EQ(got, libsodium(cases[i])) << cases[i].describe();
  }
}

std::string core_test_name(const ::testing::TestParamInfo<SalsaCore>& param) {
  switch (param.param) {
    case SalsaCore::Portable: return "Portable";
    case SalsaCore::Sse2: return "Sse2";
    case SalsaCore::Avx2: return "Avx2";
    case SalsaCore::Avx512vl: return "Avx512vl";
  }
  return "Unknown";
}
INSTANTIATE_TEST_SUITE_P(, ScryptWithCore, ::testing::ValuesIn(tuning::kAllCores), core_test_name);

// libsodium's refusals and errno values, before any memory is mapped.
TEST(Scrypt, RefusesWhatLibsodiumRefuses) {
  struct Row {
    std::uint64_t n;
    std::uint32_t r, p;
    int err;
  };
  const Row rows[] = {
      {0, 8, 1, EINVAL},          {1, 8, 1, EINVAL},  {3, 8, 1, EINVAL},
      {262143, 8, 1, EINVAL},     {16, 0, 1, EINVAL}, {16, 8, 0, EINVAL},
      {16, 8, 1u << 27, EFBIG},   {16, 1u << 30, 1, EFBIG},
      {std::uint64_t{1} << 32, 8, 1, EFBIG},
      // 128 * r * N bytes cannot be mapped.
      {std::uint64_t{1} << 31, (1u << 30) - 1, 1, ENOMEM},
  };
  std::uint8_t dk[32];
  const Bytes pw{'p'};
  for (const Row& row : rows) {
    EXPECT_EQ(scrypt_derive(pw, pw, row.n, row.r, row.p, dk), row.err) << "N=" << row.n << " r=" << row.r
                                                                       << " p=" << row.p;
    errno = 0;
    EXPECT_EQ(crypto_pwhash_scryptsalsa208sha256_ll(pw.data(), 1, pw.data(), 1, row.n, row.r, row.p, dk, 32), -1);
    EXPECT_EQ(errno, row.err) << "libsodium, N=" << row.n << " r=" << row.r << " p=" << row.p;
  }
}

// The process's peak resident memory so far, in bytes (0 when unknown).
std::uint64_t peak_rss() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  return 0;
}

// Six derivations at the vault's cost started at once: no more run together than there
// are cores, so no more than that many 256 MiB arrays are ever held, each still gives
// libsodium's key, and one that waits for a core can be called off.
TEST(Scrypt, ConcurrentDerivationsHoldAtMostOneArrayPerCore) {
  const auto cases = vault_cost_cases();
  const unsigned slots = tuning::derivation_slots();
  ASSERT_GE(slots, 1u);
  [[maybe_unused]] const std::uint64_t before = peak_rss();
  (void)tuning::take_peak_derivations();
  std::vector<Bytes> keys(6);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    threads.emplace_back([&, i] { keys[i] = ours(cases[i % cases.size()]); });
  }
  // Meanwhile every core is taken: one more derivation waits, and its thread's check
  // ends the wait.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  {
    const vek_signer::ScopedKdfWaitCheck stop([] { return false; });
    std::uint8_t dk[32];
    EXPECT_EQ(scrypt_derive(cases[0].password, cases[0].salt, cases[0].n, 8, 1, dk), ECANCELED);
  }
  for (auto& t : threads) t.join();
  EXPECT_LE(tuning::take_peak_derivations(), slots);
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], libsodium(cases[i % cases.size()])) << i;
#if !defined(__SANITIZE_ADDRESS__)  // ASan's shadow of each array adds an eighth
  constexpr std::uint64_t kArray = std::uint64_t{128} * 8 << 18;
  if (before != 0) {
    EXPECT_LE(peak_rss() - before, slots * kArray + kArray / 10) << slots << " cores";
  }
#endif
}

// Every core the CPU runs passes the first-use check, and the automatic choice is the
// best of them, so a core that silently fails its check shows up here.
TEST(Scrypt, AutomaticChoiceIsTheBestWorkingCore) {
  tuning::reset_core();
  SalsaCore best = SalsaCore::Portable;
  for (SalsaCore c : tuning::kAllCores) {
    if (!tuning::core_supported(c)) {
      EXPECT_FALSE(tuning::force_core(c)) << tuning::core_name(c);
      continue;
    }
    EXPECT_TRUE(tuning::core_self_check(c)) << tuning::core_name(c);
    best = c;
  }
  EXPECT_EQ(tuning::active_core(), best) << tuning::core_name(tuning::active_core());
}

}  // namespace
