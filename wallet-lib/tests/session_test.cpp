// Sessions: the stored account signs, derived keys survive the cache turning over, EVM
// transactions come back assembled, and closing or expiring under concurrent use is safe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "vek/lib/broadcast.h"
#include "vek/lib/ops.h"
#include "vek/lib/session.h"
#include "vek/signer/hash.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"

namespace {

namespace fs = std::filesystem;
using vek_lib::Session;
using vek_lib::VekLibErrorKind;

constexpr std::string_view kPhrase =
    "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";
constexpr std::string_view kPass = "session test";
constexpr const char* kChains[] = {"ethereum", "solana", "bitcoin", "cosmos", "tron", "ton"};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vek-session-test-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    vault_ = dir_.string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::unique_ptr<Session> unlock(std::string_view wallet, std::optional<double> ttl = std::nullopt) {
    auto s = Session::unlock(wallet, kPass, vault_, ttl);
    EXPECT_TRUE(s.has_value()) << s.error().display();
    return s ? std::move(*s) : nullptr;
  }
  fs::path dir_;
  std::string vault_;
};

TEST_F(SessionTest, SignsWithTheStoredAccountAndExplicitIndicesAsOps) {
  auto info = vek_lib::import_wallet_mnemonic("two", kPhrase, kPass, 2, vault_);
  ASSERT_TRUE(info) << info.error().display();
  auto session = unlock("two");
  ASSERT_TRUE(session);
  for (std::size_t i = 0; i < std::size(kChains); ++i) {
    auto address = session->address(kChains[i], std::nullopt);
    ASSERT_TRUE(address) << address.error().display();
    EXPECT_EQ(*address, info->accounts[i].address) << kChains[i];
  }
  auto ours = session->sign_message("ethereum", "m", std::nullopt, std::nullopt);
  auto ops = vek_lib::sign_message("two", "ethereum", "m", kPass, std::nullopt, 2, vault_, {});
  ASSERT_TRUE(ours && ops);
  EXPECT_EQ(ours->signature, ops->signature);
  EXPECT_EQ(ours->recovery_id, ops->recovery_id);

  // More explicit indices than the session keeps keys for: each address stays right
  // while the oldest keys are replaced.
  for (std::uint32_t round = 0; round < 2; ++round) {
    for (std::uint32_t index = 0; index < 40; index += 3) {
      auto got = session->address("solana", index);
      auto want = vek_lib::derive_address(kPhrase, "solana", index, std::nullopt, {});
      ASSERT_TRUE(got && want);
      EXPECT_EQ(*got, *want) << index;
    }
  }
  EXPECT_EQ(*session->address("ethereum", std::nullopt), info->accounts[0].address);
}

TEST_F(SessionTest, EvmTransactionsComeBackAssembledWithTheirHash) {
  const std::string key = "1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727";
  ASSERT_TRUE(vek_lib::import_wallet_private_key("pk", key, std::nullopt, kPass, vault_, std::nullopt, std::nullopt, {}));
  auto session = unlock("pk");
  ASSERT_TRUE(session);
  const std::string tx = "02ef0180843b9aca0085012a05f20082520894222222222222222222222222222222222222222287038d7ea4c6800080c0";
  auto signed_tx = session->sign_transaction("ethereum", "0x" + tx, 99);
  ASSERT_TRUE(signed_tx) << signed_tx.error().display();
  ASSERT_TRUE(signed_tx->raw_transaction && signed_tx->tx_hash);
  auto raw = vek_signer::hex_decode(signed_tx->raw_transaction->substr(2));
  ASSERT_TRUE(raw);
  EXPECT_EQ(*signed_tx->tx_hash, "0x" + vek_signer::hex_encode(vek_signer::keccak256(*raw)));
  // The signature (r, s) is the tail of the assembled transaction.
  EXPECT_NE(signed_tx->raw_transaction->find(signed_tx->signature.signature.substr(0, 64)), std::string::npos);
  // Bytes that are no Solana transaction or message are not signed as one.
  auto solana = session->sign_transaction("solana", "abcd", std::nullopt);
  ASSERT_FALSE(solana);
  EXPECT_EQ(solana.error().display(), "invalid input: invalid solana transaction: it has no signature slots");
  auto legacy = session->sign_transaction("ethereum", "c0", std::nullopt);
  ASSERT_FALSE(legacy);
  EXPECT_EQ(legacy.error().code, VekLibErrorKind::InvalidTransaction);
}

// A whole Solana transaction comes back completed, named by its first signature; the same
// bytes signed by the one-call operation are signed as given. A bare message is signed
// when the wallet is its only signer. (test_review.py signs a second signer's slot and
// lets solders add and check the fee payer's.)
TEST_F(SessionTest, SolanaTransactionsAreSignedInTheWalletsSlot) {
  ASSERT_TRUE(vek_lib::import_wallet_mnemonic("s", kPhrase, kPass, std::nullopt, vault_));
  auto session = unlock("s");
  ASSERT_TRUE(session);
  const auto ours = vek_signer::base58_decode(*session->address("solana", std::nullopt));
  ASSERT_TRUE(ours);
  // `signers` required signatures from (key of 7s, ours) or (ours, key of 7s), then a program.
  const auto make = [&](std::uint8_t signers, bool ours_first) {
    std::vector<std::uint8_t> m = {signers, 0, 1, 3};
    const std::vector<std::uint8_t> other(32, 7);
    for (const auto* k : ours_first ? std::array{&*ours, &other} : std::array{&other, &*ours}) {
      m.insert(m.end(), k->begin(), k->end());
    }
    m.insert(m.end(), 32, 9);  // the program
    m.insert(m.end(), 32, 0);  // recent blockhash
    m.push_back(0);            // no instructions
    return m;
  };
  const auto whole = [](std::size_t slots, const std::vector<std::uint8_t>& message, std::uint8_t fill) {
    std::vector<std::uint8_t> tx(1 + 64 * slots, fill);
    tx[0] = static_cast<std::uint8_t>(slots);
    tx.insert(tx.end(), message.begin(), message.end());
    return tx;
  };

  // The fee payer alone: slot 0, and the transaction is named by it.
  const auto alone = make(1, true);
  auto first = session->sign_transaction("solana", whole(1, alone, 0), std::nullopt);
  ASSERT_TRUE(first) << first.error().display();
  ASSERT_TRUE(first->raw_transaction && first->tx_hash);
  auto raw = vek_signer::hex_decode(*first->raw_transaction);  // no "0x"
  ASSERT_TRUE(raw);
  EXPECT_EQ(vek_signer::hex_encode(std::span<const std::uint8_t>(*raw).subspan(1, 64)), first->signature.signature);
  EXPECT_EQ(first->tx_hash, vek_lib::transaction_hash(vek_core::ChainType::Solana, *raw));
  auto bare = session->sign_transaction("solana", alone, std::nullopt);
  ASSERT_TRUE(bare) << bare.error().display();
  EXPECT_EQ(bare->signature.signature, first->signature.signature);
  EXPECT_FALSE(bare->raw_transaction || bare->tx_hash);

  const std::string address = *session->address("solana", std::nullopt);
  for (const auto& [tx, text] : std::vector<std::pair<std::vector<std::uint8_t>, std::string>>{
           {whole(1, make(1, false), 0), address + " is not a signer of this transaction"},
           {make(1, false), address + " is not a signer of this message"},
           {make(2, false), "this message needs 2 signatures: give the whole transaction (signature count, signature "
                    "slots, message) to sign it in its slot"}}) {
    auto r = session->sign_transaction("solana", tx, std::nullopt);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "invalid input: " + text);
  }

  const auto tx = whole(1, alone, 0);
  auto as_given = vek_lib::sign_transaction("s", "solana", vek_signer::hex_encode(tx), kPass, std::nullopt, vault_, {});
  ASSERT_TRUE(as_given) << as_given.error().display();
  EXPECT_NE(as_given->signature, first->signature.signature);
}

// The caller decides which chains the one-call operations take and how they refuse.
TEST_F(SessionTest, OneCallOperationsNameTheirCaller) {
  constexpr std::string_view kTwo[] = {"ethereum", "solana"};
  const vek_lib::Caller caller{kTwo, "the tool", "its session"};
  ASSERT_TRUE(vek_lib::import_wallet_mnemonic("b", kPhrase, kPass, std::nullopt, vault_, "extra"));
  ASSERT_TRUE(vek_lib::import_wallet_mnemonic("p", kPhrase, kPass, std::nullopt, vault_, std::nullopt,
                                              std::vector<vek_lib::FamilyPath>{{"solana", "m/44'/501'/0'"}}));
  const std::string unknown = "invalid input: unknown chain: '{}'. Use a chain name (ethereum, solana, bitcoin, ...) "
                              "or CAIP-2 ID (eip155:1, ...)";
  const auto unknown_text = [&](std::string_view chain) {
    std::string text = unknown;
    return text.replace(text.find("{}"), 2, chain);
  };
  for (std::string_view chain : {"bitcoin", "eip155:5", "eip155:01", "nonsense"}) {
    auto r = vek_lib::sign_message("p", chain, "m", kPass, std::nullopt, std::nullopt, vault_, caller);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), unknown_text(chain));
  }
  // Every chain for a caller that names none.
  EXPECT_TRUE(vek_lib::sign_message("p", "bitcoin", "m", kPass, std::nullopt, std::nullopt, vault_, {}));
  auto marked = vek_lib::sign_message("b", "Ethereum", "m", kPass, std::nullopt, std::nullopt, vault_, caller);
  ASSERT_FALSE(marked);
  EXPECT_EQ(marked.error().display(), "invalid input: wallet 'b' is protected by a BIP-39 passphrase, which the tool "
                                      "cannot take; sign with its session");
  auto other_path = vek_lib::sign_transaction("p", "solana", "00", kPass, std::nullopt, vault_, caller);
  ASSERT_FALSE(other_path);
  EXPECT_EQ(other_path.error().display(), "invalid input: wallet 'p' stores its solana account at derivation path "
                                          "m/44'/501'/0', which the tool does not derive; sign with its session");
  // A wrong passphrase is reported before the path.
  auto wrong = vek_lib::sign_transaction("p", "solana", "00", "wrong", std::nullopt, vault_, caller);
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error().code, VekLibErrorKind::DecryptionFailed);
}

TEST_F(SessionTest, ClosingWhileOtherThreadsSignIsSafe) {
  ASSERT_TRUE(vek_lib::import_wallet_mnemonic("t", kPhrase, kPass, std::nullopt, vault_));
  auto session = unlock("t");
  ASSERT_TRUE(session);
  const std::string want = session->sign_message("ethereum", "x", std::nullopt, std::nullopt)->signature;
  std::atomic<int> signed_count{0}, closed_count{0}, other{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // Each thread signs until it meets the closed session, however the threads are
      // scheduled (a cap keeps a broken close from hanging the test).
      for (int i = 0; i < 1000000; ++i) {
        auto r = session->sign_message("ethereum", "x", std::nullopt, t % 2 ? std::optional<std::uint32_t>(0)
                                                                           : std::nullopt);
        if (r && r->signature == want) {
          ++signed_count;
        } else if (!r && r.error().code == VekLibErrorKind::SessionClosed) {
          ++closed_count;
          break;
        } else {
          ++other;
        }
      }
    });
  }
  while (signed_count < 50) std::this_thread::yield();
  session->close();
  for (auto& th : threads) th.join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(closed_count, 4);
  EXPECT_TRUE(session->closed());
  EXPECT_EQ(session->address("ethereum", std::nullopt).error().display(),
            "session closed: unlock the wallet again to sign");
}

TEST_F(SessionTest, TimeToLive) {
  ASSERT_TRUE(vek_lib::import_wallet_mnemonic("l", kPhrase, kPass, std::nullopt, vault_));
  for (double bad : {0.0, -2.0, std::nan("")}) {
    auto r = Session::unlock("l", kPass, vault_, bad);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().display(), "invalid input: ttl must be a positive number of seconds");
  }
  auto session = unlock("l", 0.01);
  ASSERT_TRUE(session);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  auto r = session->sign_message("ethereum", "late", std::nullopt, std::nullopt);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(),
            "session closed: its time to live of 0.01 s ran out; unlock the wallet again to sign");
  // Wrong passphrase: the envelope's authentication failure, and no session.
  auto wrong = Session::unlock("l", "not it", vault_);
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error().display(), "decryption failed: aead::Error");
}

}  // namespace
