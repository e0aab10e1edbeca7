// TonSigner: wallet-contract addresses of known keys, the user-friendly address
// encoding (flags, workchain, CRC-16/XMODEM, base64url), RFC 8032 signatures, and
// the interface defaults it keeps.
#include <gtest/gtest.h>
#include <sodium.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ton/signer.h"
#include "vek/signer/crc16.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

#include "test_vectors.h"

using namespace vek_signer;
using Bytes = std::vector<std::uint8_t>;

namespace {

using vek_test::load;
using vek_test::unhex;


const TonSigner kSigner;

// Checks the shape every address must have and returns its 32-byte account id.
Bytes check_address_shape(const std::string& addr) {
  EXPECT_EQ(addr.size(), 48u) << addr;
  EXPECT_EQ(addr.substr(0, 2), "UQ") << addr;
  EXPECT_EQ(addr.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos)
      << addr;
  auto raw = base64url_decode(addr);
  if (!raw || raw->size() != 36) {
    ADD_FAILURE() << addr << " does not decode to 36 bytes";
    return {};
  }
  EXPECT_EQ((*raw)[0], 0x51);
  EXPECT_EQ((*raw)[1], 0x00);
  const std::uint16_t crc = crc16_xmodem(std::span(*raw).first(34));
  EXPECT_EQ((*raw)[34], crc >> 8);
  EXPECT_EQ((*raw)[35], crc & 0xFF);
  return Bytes(raw->begin() + 2, raw->begin() + 34);
}

}  // namespace

TEST(TonSigner, DerivedAccountAddresses) {
  const auto accounts = load("derived-accounts-computed.json");
  int seen = 0;
  for (const auto& a : accounts["accounts"]) {
    if (a["family"] != "ton") continue;
    ++seen;
    auto addr = kSigner.derive_address(unhex(a["private_key"]));
    ASSERT_TRUE(addr);
    EXPECT_EQ(*addr, a["address"].get<std::string>()) << a["path"];
    EXPECT_EQ(hex_encode(check_address_shape(*addr)), a["account_id"].get<std::string>());
  }
  EXPECT_EQ(seen, 2);
}

TEST(TonSigner, UserFriendlyEncodingExamples) {
  const auto v = load("tep2-ton-address.json");
  for (const auto& e : v["addresses"]) {
    const std::string raw = e["raw"];
    const Bytes account = unhex(raw.substr(raw.find(':') + 1));
    Bytes bytes = unhex(e["flags_byte"].get<std::string>() + e["workchain_byte"].get<std::string>());
    bytes.insert(bytes.end(), account.begin(), account.end());
    const std::uint16_t crc = crc16_xmodem(bytes);
    EXPECT_EQ(crc, std::stoul(e["crc16"].get<std::string>(), nullptr, 16)) << e["source"];
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    EXPECT_EQ(hex_encode(bytes), e["bytes_36"].get<std::string>());
    const std::string text = e["user_friendly_base64url"];
    EXPECT_EQ(base64url_encode(bytes), text);
    EXPECT_EQ(base64url_decode(text).value(), bytes);
  }
  const auto& pk = v["armored_public_key"];
  Bytes armored = unhex(pk["tag_bytes"].get<std::string>() + pk["public_key"].get<std::string>());
  const std::uint16_t crc = crc16_xmodem(armored);
  EXPECT_EQ(crc, std::stoul(pk["crc16"].get<std::string>(), nullptr, 16));
  armored.push_back(static_cast<std::uint8_t>(crc >> 8));
  armored.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  EXPECT_EQ(base64url_encode(armored), pk["armored"].get<std::string>());
}

TEST(TonSigner, RandomKeysGiveWellFormedDistinctAddresses) {
  for (int i = 0; i < 32; ++i) {
    Bytes key(32);
    ASSERT_TRUE(os_random(key));
    auto addr = kSigner.derive_address(key);
    ASSERT_TRUE(addr);
    check_address_shape(*addr);
    EXPECT_EQ(kSigner.derive_address(key).value(), *addr) << "deterministic";
    // One flipped bit gives an unrelated account id.
    key[static_cast<std::size_t>(i)] ^= 0x01;
    auto other = kSigner.derive_address(key);
    ASSERT_TRUE(other);
    EXPECT_NE(check_address_shape(*other), check_address_shape(*addr));
  }
}

TEST(TonSigner, Rfc8032VectorsThroughEverySigningOperation) {
  ASSERT_GE(sodium_init(), 0);
  const auto vectors = load("rfc8032-ed25519.json");
  for (const auto& v : vectors["vectors"]) {
    const Bytes key = unhex(v["secret_key"]), msg = unhex(v["message"]), pk = unhex(v["public_key"]);
    for (auto op : {&TonSigner::sign, &TonSigner::sign_message, &TonSigner::sign_transaction}) {
      auto sig = (kSigner.*op)(key, msg);
      ASSERT_TRUE(sig) << v["name"];
      EXPECT_EQ(hex_encode(sig->signature), v["signature"].get<std::string>()) << v["name"];
      EXPECT_FALSE(sig->recovery_id.has_value());
      EXPECT_EQ(crypto_sign_verify_detached(sig->signature.data(), msg.data(), msg.size(), pk.data()), 0);
    }
  }
}

TEST(TonSigner, KeyLengthRefusals) {
  for (std::size_t n : {0u, 31u, 33u}) {
    const Bytes key(n, 7);
    const std::string want = "invalid private key: expected 32 bytes, got " + std::to_string(n);
    EXPECT_EQ(kSigner.derive_address(key).error().display(), want);
    EXPECT_EQ(kSigner.sign(key, Bytes{1}).error().display(), want);
    EXPECT_EQ(kSigner.sign_message(key, Bytes{1}).error().display(), want);
    EXPECT_EQ(kSigner.sign_transaction(key, Bytes{1}).error().display(), want);
  }
}

TEST(TonSigner, KeepsInterfaceDefaults) {
  EXPECT_EQ(kSigner.chain_type(), ChainType::Ton);
  EXPECT_EQ(kSigner.curve(), Curve::Ed25519);
  EXPECT_EQ(kSigner.coin_type(), 607u);
  EXPECT_EQ(kSigner.default_derivation_path(0), "m/44'/607'/0'");
  EXPECT_EQ(kSigner.default_derivation_path(4294967295u), "m/44'/607'/4294967295'");

  for (const Bytes& tx : {Bytes{}, Bytes{0x00}, Bytes(300, 0xAB)}) {
    auto r = kSigner.extract_signable_bytes(tx);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->data(), tx.data());
    EXPECT_EQ(r->size(), tx.size());
  }
  auto enc = kSigner.encode_signed_transaction(Bytes{1, 2, 3}, SignOutput{Bytes(64, 1), std::nullopt});
  ASSERT_FALSE(enc);
  EXPECT_EQ(enc.error().display(), "invalid transaction: encode_signed_transaction not implemented for ton");
}
