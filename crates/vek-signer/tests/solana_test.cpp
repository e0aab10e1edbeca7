// SolanaSigner: RFC 8032 signatures, Base58 addresses checked against libsodium,
// key-length refusals, and the signature-slot rules of serialized transactions.
#include <gtest/gtest.h>
#include <sodium.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "solana/signer.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

#include "test_vectors.h"

using namespace vek_signer;
using Bytes = std::vector<std::uint8_t>;

namespace {

using vek_test::load;
using vek_test::unhex;


const SolanaSigner kSigner;

// Independent public key from libsodium.
Bytes sodium_public_key(const Bytes& seed) {
  unsigned char pk[crypto_sign_PUBLICKEYBYTES];
  unsigned char sk[crypto_sign_SECRETKEYBYTES];
  EXPECT_EQ(crypto_sign_seed_keypair(pk, sk, seed.data()), 0);
  sodium_memzero(sk, sizeof sk);
  return Bytes(pk, pk + sizeof pk);
}

// A transaction with `slots` signature slots filled with 0xEE and `message` bytes of 0x5A.
Bytes make_tx(std::uint8_t slots, std::size_t message) {
  Bytes tx(1 + 64 * std::size_t{slots}, 0xEE);
  tx[0] = slots;
  tx.insert(tx.end(), message, 0x5A);
  return tx;
}

}  // namespace

TEST(SolanaSigner, Rfc8032Vectors) {
  const auto vectors = load("rfc8032-ed25519.json");
  for (const auto& v : vectors["vectors"]) {
    const Bytes key = unhex(v["secret_key"]), msg = unhex(v["message"]);
    auto sig = kSigner.sign(key, msg);
    ASSERT_TRUE(sig) << v["name"];
    EXPECT_EQ(hex_encode(sig->signature), v["signature"].get<std::string>()) << v["name"];
    EXPECT_FALSE(sig->recovery_id.has_value());
    auto as_message = kSigner.sign_message(key, msg);
    auto as_tx = kSigner.sign_transaction(key, msg);
    ASSERT_TRUE(as_message && as_tx);
    EXPECT_EQ(as_message->signature, sig->signature);
    EXPECT_EQ(as_tx->signature, sig->signature);
    EXPECT_FALSE(as_message->recovery_id || as_tx->recovery_id);

    auto addr = kSigner.derive_address(key);
    ASSERT_TRUE(addr);
    EXPECT_EQ(*addr, base58_encode(unhex(v["public_key"])));
  }
}

TEST(SolanaSigner, DerivedAccountAddresses) {
  int seen = 0;
  const auto accounts = load("derived-accounts-computed.json");
  for (const auto& a : accounts["accounts"]) {
    if (a["family"] != "solana") continue;
    ++seen;
    auto addr = kSigner.derive_address(unhex(a["private_key"]));
    ASSERT_TRUE(addr);
    EXPECT_EQ(*addr, a["address"].get<std::string>()) << a["path"];
  }
  EXPECT_EQ(seen, 2);
}

TEST(SolanaSigner, RandomKeysGiveDecodableAddressesAndVerifiableSignatures) {
  ASSERT_GE(sodium_init(), 0);
  for (int i = 0; i < 32; ++i) {
    Bytes key(32);
    ASSERT_TRUE(os_random(key));
    auto addr = kSigner.derive_address(key);
    ASSERT_TRUE(addr);
    EXPECT_GE(addr->size(), 32u);
    EXPECT_LE(addr->size(), 44u);
    const Bytes pk = sodium_public_key(key);
    EXPECT_EQ(base58_decode(*addr).value(), pk);

    const Bytes msg(static_cast<std::size_t>(i) * 7, static_cast<std::uint8_t>(i));
    auto sig = kSigner.sign(key, msg);
    ASSERT_TRUE(sig);
    ASSERT_EQ(sig->signature.size(), 64u);
    EXPECT_EQ(crypto_sign_verify_detached(sig->signature.data(), msg.data(), msg.size(), pk.data()), 0);
  }
}

TEST(SolanaSigner, KeyLengthRefusals) {
  for (std::size_t n : {0u, 31u, 33u, 64u}) {
    const Bytes key(n, 1);
    const std::string want = "invalid private key: expected 32 bytes, got " + std::to_string(n);
    EXPECT_EQ(kSigner.derive_address(key).error().display(), want);
    EXPECT_EQ(kSigner.sign(key, Bytes{1}).error().display(), want);
    EXPECT_EQ(kSigner.sign_message(key, Bytes{}).error().display(), want);
    EXPECT_EQ(kSigner.sign_transaction(key, Bytes{1, 2}).error().display(), want);
  }
}

TEST(SolanaSigner, ExtractSignableBytes) {
  struct Case {
    std::uint8_t slots;
    std::size_t message;  // bytes after the slots
  };
  // Accepted: at least one message byte after the declared slots.
  for (const Case c : {Case{0, 2}, Case{1, 1}, Case{2, 1}, Case{2, 40}, Case{127, 1}, Case{128, 1}, Case{255, 3}}) {
    const Bytes tx = make_tx(c.slots, c.message);
    auto r = kSigner.extract_signable_bytes(tx);
    ASSERT_TRUE(r) << int(c.slots);
    EXPECT_EQ(r->data(), tx.data() + 1 + 64 * std::size_t{c.slots}) << "a view into the input";
    EXPECT_EQ(r->size(), c.message);
  }
  const Bytes three = {0x00, 0xAA, 0xBB};
  EXPECT_EQ(Bytes(kSigner.extract_signable_bytes(three)->begin(), kSigner.extract_signable_bytes(three)->end()),
            (Bytes{0xAA, 0xBB}));

  // Refused: the slots leave no message (n >= 128 is 128..255 slots, not a longer prefix).
  const std::string too_short = "invalid transaction: transaction too short for declared signature slots";
  for (const Case c : {Case{0, 0}, Case{1, 0}, Case{2, 0}, Case{128, 0}, Case{255, 0}}) {
    EXPECT_EQ(kSigner.extract_signable_bytes(make_tx(c.slots, c.message)).error().display(), too_short) << int(c.slots);
  }
  Bytes cut = make_tx(2, 0);
  cut.pop_back();
  EXPECT_EQ(kSigner.extract_signable_bytes(cut).error().display(), too_short);
  EXPECT_EQ(kSigner.extract_signable_bytes(Bytes{}).error().display(), "invalid transaction: empty transaction");
}

TEST(SolanaSigner, EncodeSignedTransactionFillsSlotZeroOnly) {
  Bytes sig(64);
  for (std::size_t i = 0; i < sig.size(); ++i) sig[i] = static_cast<std::uint8_t>(i + 1);
  const SignOutput out{sig, std::nullopt};

  for (const auto& [slots, message] : {std::pair<std::uint8_t, std::size_t>{1, 0}, {1, 10}, {2, 0}, {2, 5},
                                      {128, 0}, {255, 1}}) {
    const Bytes tx = make_tx(slots, message);
    auto r = kSigner.encode_signed_transaction(tx, out);
    ASSERT_TRUE(r) << int(slots);
    ASSERT_EQ(r->size(), tx.size());
    EXPECT_EQ((*r)[0], slots);
    EXPECT_TRUE(std::equal(sig.begin(), sig.end(), r->begin() + 1));
    EXPECT_TRUE(std::equal(tx.begin() + 65, tx.end(), r->begin() + 65)) << "other slots and message unchanged";
  }

  // Encoding needs only the slots to fit; extraction of the same bytes needs a message.
  const Bytes bare = make_tx(1, 0);
  EXPECT_TRUE(kSigner.encode_signed_transaction(bare, out));
  EXPECT_FALSE(kSigner.extract_signable_bytes(bare));
}

TEST(SolanaSigner, EncodeSignedTransactionRefusals) {
  const SignOutput good{Bytes(64, 9), std::nullopt};
  struct Case {
    Bytes tx;
    SignOutput out;
    std::string display;
  };
  Bytes short_two = make_tx(2, 0);
  short_two.resize(128);
  Bytes short_128 = make_tx(128, 0);
  short_128.resize(64 * 128);
  const Case cases[] = {
      // The signature is checked before the transaction is looked at.
      {Bytes{}, SignOutput{Bytes(65, 1), 1}, "invalid transaction: expected 64-byte Ed25519 signature"},
      {make_tx(1, 3), SignOutput{Bytes(63, 1), std::nullopt}, "invalid transaction: expected 64-byte Ed25519 signature"},
      {Bytes{}, good, "invalid transaction: empty transaction"},
      {make_tx(0, 10), good, "invalid transaction: transaction has no signature slots"},
      {Bytes(64, 1), good, "invalid transaction: transaction too short for declared signature slots"},
      {short_two, good, "invalid transaction: transaction too short for declared signature slots"},
      {short_128, good, "invalid transaction: transaction too short for declared signature slots"},
  };
  for (const auto& c : cases) {
    auto r = kSigner.encode_signed_transaction(c.tx, c.out);
    ASSERT_FALSE(r) << c.display;
    EXPECT_EQ(r.error().display(), c.display);
  }
}

TEST(SolanaSigner, Identity) {
  EXPECT_EQ(kSigner.chain_type(), ChainType::Solana);
  EXPECT_EQ(kSigner.curve(), Curve::Ed25519);
  EXPECT_EQ(kSigner.coin_type(), 501u);
  EXPECT_EQ(kSigner.default_derivation_path(0), "m/44'/501'/0'/0'");
  EXPECT_EQ(kSigner.default_derivation_path(4294967295u), "m/44'/501'/4294967295'/0'");
}
