// HD key derivation: BIP-32 test vectors 1-4 (vectors/bip32.json), SLIP-10
// ed25519 vectors 1-2 (vectors/slip10-ed25519.json), the computed accounts of the test
// mnemonic (vectors/derived-accounts-computed.json), the failure table with its exact
// texts and order, and the refusal of component values of 2^31 and above.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "vek/signer/hd.h"
#include "vek/signer/hex.h"
#include "vek/signer/mnemonic.h"

#include "test_vectors.h"

namespace {

using vek_test::load;
using vek_test::unhex;

using vek_signer::Curve;
using vek_signer::HdDeriver;
using vek_signer::HdErrorKind;
using vek_signer::hex_encode;
using Bytes = std::vector<std::uint8_t>;

// A 64-byte seed for the failure tests (vector 2 of BIP-32).
Bytes test_seed() {
  return unhex(
      "fffcf9f6f3f0edeae7e4e1dedbd8d5d2cfccc9c6c3c0bdbab7b4b1aeaba8a5a29f9c999693908d8a8784817e7b7875726f6c696663605d5a"
      "5754514e4b484542");
}

std::string derive_hex(const Bytes& seed, std::string_view path, Curve curve) {
  auto r = HdDeriver::derive(seed, path, curve);
  if (!r) return "error: " + r.error().display();
  EXPECT_EQ(r->size(), vek_signer::kHdKeyBytes);
  return hex_encode(r->span());
}

std::string derive_error(std::string_view path, Curve curve) {
  auto r = HdDeriver::derive(test_seed(), path, curve);
  return r ? "ok" : r.error().display();
}

std::string validate_error(std::string_view path) {
  auto r = HdDeriver::validate_path(path);
  return r ? "ok" : r.error().display();
}

TEST(HdVectors, Bip32) {
  const auto v = load("bip32.json");
  std::size_t names = 0;
  for (const auto& vec : v["vectors"]) {
    ++names;
    const Bytes seed = unhex(vec["seed"].get<std::string>());
    for (const auto& step : vec["steps"]) {
      const std::string path = step["path"].get<std::string>();
      EXPECT_EQ(derive_hex(seed, path, Curve::Secp256k1), step["private_key"].get<std::string>())
          << vec["name"] << " " << path;
    }
  }
  EXPECT_GE(names, 3u);
}

TEST(HdVectors, Slip10Ed25519) {
  const auto v = load("slip10-ed25519.json");
  std::size_t names = 0;
  for (const auto& vec : v["vectors"]) {
    ++names;
    const Bytes seed = unhex(vec["seed"].get<std::string>());
    for (const auto& step : vec["steps"]) {
      const std::string path = step["path"].get<std::string>();
      EXPECT_EQ(derive_hex(seed, path, Curve::Ed25519), step["private_key"].get<std::string>())
          << vec["name"] << " " << path;
    }
  }
  EXPECT_EQ(names, 2u);
}

Curve curve_of(const std::string& family) {
  return (family == "solana" || family == "ton") ? Curve::Ed25519 : Curve::Secp256k1;
}

TEST(HdVectors, ComputedAccountsFromMnemonic) {
  const auto v = load("derived-accounts-computed.json");
  auto m = vek_signer::Mnemonic::from_phrase(v["mnemonic"].get<std::string>());
  ASSERT_TRUE(m.has_value());
  const auto seed = m->to_seed("");
  ASSERT_EQ(hex_encode(seed.span()), v["seed"].get<std::string>());
  for (const auto& acc : v["accounts"]) {
    const std::string path = acc["path"].get<std::string>();
    const Curve curve = curve_of(acc["family"].get<std::string>());
    auto from_phrase = HdDeriver::derive_from_mnemonic(*m, "", path, curve);
    ASSERT_TRUE(from_phrase.has_value()) << path;
    EXPECT_EQ(hex_encode(from_phrase->span()), acc["private_key"].get<std::string>()) << path;
    // derive_from_mnemonic is derive() over to_seed().
    EXPECT_EQ(derive_hex(Bytes(seed.span().begin(), seed.span().end()), path, curve), hex_encode(from_phrase->span()));
  }
}

TEST(HdDeriveFromMnemonic, PassphraseAndErrorsPassThrough) {
  auto m = vek_signer::Mnemonic::from_phrase(
      "legal winner thank year wave sausage worth useful legal winner thank yellow");
  ASSERT_TRUE(m.has_value());
  const auto seed = m->to_seed("TREZOR");
  const Bytes s(seed.span().begin(), seed.span().end());
  for (Curve c : {Curve::Secp256k1, Curve::Ed25519}) {
    auto r = HdDeriver::derive_from_mnemonic(*m, "TREZOR", "m/44'/0'", c);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(hex_encode(r->span()), derive_hex(s, "m/44'/0'", c));
  }
  auto bad = HdDeriver::derive_from_mnemonic(*m, "", "m/44'/501'/0'/0", Curve::Ed25519);
  ASSERT_FALSE(bad.has_value());
  EXPECT_EQ(bad.error().code, HdErrorKind::Ed25519NonHardened);
  EXPECT_EQ(bad.error().display(), "ed25519 requires hardened-only derivation");
}

TEST(HdValidatePath, MustStartWithM) {
  for (std::string p : {"", "44'/0'", "M/0", "m0", "/m/0", "mm/0", " m/0"}) {
    EXPECT_EQ(validate_error(p), "invalid derivation path: path must start with 'm/', got '" + p + "'");
    for (Curve c : {Curve::Secp256k1, Curve::Ed25519}) {
      EXPECT_EQ(derive_error(p, c), "invalid derivation path: path must start with 'm/', got '" + p + "'");
    }
  }
}

TEST(HdValidatePath, EmptyComponent) {
  for (std::string p : {"m/", "m//0", "m/0/", "m/'", "m/0'/''", "m/0//"}) {
    EXPECT_EQ(validate_error(p), "invalid derivation path: empty component in path '" + p + "'");
    for (Curve c : {Curve::Secp256k1, Curve::Ed25519}) {
      EXPECT_EQ(derive_error(p, c), "invalid derivation path: empty component in path '" + p + "'");
    }
  }
}

TEST(HdValidatePath, InvalidIndex) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"m/44h", "44h"},   {"m/-1", "-1"},     {"m/+", "+"},         {"m/4294967296", "4294967296"},
      {"m/1a", "1a"},     {"m/0'/x'", "x'"},  {"m/++1", "++1"},     {"m/1'a'", "1'a'"},
      {"m/ 1", " 1"},     {"m/1 ", "1 "},     {"m/44H", "44H"},     {"m/99999999999999999999'", "99999999999999999999'"},
      {"m/+'", "+'"},     {"m/0x1", "0x1"},   {"m/1/2/3/4/5/z", "z"},
  };
  for (const auto& [p, comp] : cases) {
    const std::string want = "invalid derivation path: invalid index '" + comp + "' in path '" + p + "'";
    EXPECT_EQ(validate_error(p), want);
    for (Curve c : {Curve::Secp256k1, Curve::Ed25519}) EXPECT_EQ(derive_error(p, c), want);
  }
}

TEST(HdValidatePath, FirstFailureWins) {
  // The first bad component decides.
  EXPECT_EQ(validate_error("m/x//"), "invalid derivation path: invalid index 'x' in path 'm/x//'");
  EXPECT_EQ(validate_error("m//x"), "invalid derivation path: empty component in path 'm//x'");
}

TEST(HdValidatePath, ValidPaths) {
  for (std::string p : {"m", "m/0", "m/0'", "m/0'/+1'", "m/007", "m/44''/501'", "m/4294967295", "m/4294967295'",
                        "m/2147483648'", "m/2147483648", "m/00000000000000000001", "m/44'/60'/0'/0/0"}) {
    EXPECT_EQ(validate_error(p), "ok") << p;
  }
}

TEST(HdValidatePath, DefaultPathsOfEveryFamily) {
  for (std::uint32_t i : {0u, 1u, 2147483647u}) {
    const std::string n = std::to_string(i);
    for (std::string p : {"m/44'/60'/0'/0/" + n, "m/44'/195'/0'/0/" + n, "m/44'/118'/0'/0/" + n, "m/84'/0'/0'/0/" + n}) {
      EXPECT_EQ(validate_error(p), "ok");
      EXPECT_EQ(derive_error(p, Curve::Secp256k1), "ok") << p;
    }
    for (std::string p : {"m/44'/501'/" + n + "'/0'", "m/44'/607'/" + n + "'"}) {
      EXPECT_EQ(validate_error(p), "ok");
      EXPECT_EQ(derive_error(p, Curve::Ed25519), "ok") << p;
    }
  }
}

TEST(HdDerive, MasterKeys) {
  const Bytes seed = unhex("000102030405060708090a0b0c0d0e0f");
  EXPECT_EQ(derive_hex(seed, "m", Curve::Secp256k1), "e8f32e723decf4051aefac8e2c93c9c5b214313817cdb01a1494b917c8436b35");
  EXPECT_EQ(derive_hex(seed, "m", Curve::Ed25519), "2b4be7f19ee27bbf30c667b642d5f4aa69fd169872f8fc3059c08ebae2eb19e7");
}

TEST(HdDerive, PlusSignLeadingZerosAndDoubleApostrophe) {
  const Bytes seed = test_seed();
  for (Curve c : {Curve::Secp256k1, Curve::Ed25519}) {
    EXPECT_EQ(derive_hex(seed, "m/0'/+1'", c), derive_hex(seed, "m/0'/1'", c));
    EXPECT_EQ(derive_hex(seed, "m/+0'", c), derive_hex(seed, "m/0'", c));
    EXPECT_NE(derive_hex(seed, "m/0'/1'", c), derive_hex(seed, "m/0'/2'", c));
  }
  EXPECT_EQ(derive_hex(seed, "m/007", Curve::Secp256k1), derive_hex(seed, "m/7", Curve::Secp256k1));
  EXPECT_EQ(derive_hex(seed, "m/007'", Curve::Ed25519), derive_hex(seed, "m/7'", Curve::Ed25519));
  EXPECT_NE(derive_hex(seed, "m/7", Curve::Secp256k1), derive_hex(seed, "m/7'", Curve::Secp256k1));
  // Ed25519 strips every apostrophe: 44'' is 44 hardened.
  EXPECT_EQ(derive_hex(seed, "m/44''/501'", Curve::Ed25519), derive_hex(seed, "m/44'/501'", Curve::Ed25519));
  EXPECT_EQ(derive_error("m/44''/501'", Curve::Secp256k1),
            "invalid derivation path: Malformatted index during derivation: m/44''/501'");
  EXPECT_EQ(derive_error("m/0/1'''", Curve::Secp256k1),
            "invalid derivation path: Malformatted index during derivation: m/0/1'''");
}

TEST(HdDerive, Ed25519HardenedOnly) {
  for (std::string p : {"m/44'/501'/0'/0", "m/0", "m/0'/1", "m/1/0'"}) {
    auto r = HdDeriver::derive(test_seed(), p, Curve::Ed25519);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().code, HdErrorKind::Ed25519NonHardened);
    EXPECT_EQ(r.error().display(), "ed25519 requires hardened-only derivation");
  }
}

TEST(HdDerive, SyntaxErrorsBeforeCurveErrors) {
  EXPECT_EQ(derive_error("m/44/x", Curve::Ed25519), "invalid derivation path: invalid index 'x' in path 'm/44/x'");
  EXPECT_EQ(derive_error("m/44/", Curve::Ed25519), "invalid derivation path: empty component in path 'm/44/'");
  EXPECT_EQ(derive_error("m/44''/x", Curve::Secp256k1),
            "invalid derivation path: invalid index 'x' in path 'm/44''/x'");
}

std::string out_of_range(const std::string& comp, const std::string& path) {
  return "invalid derivation path: index out of range in component '" + comp + "' of path '" + path +
         "': must be below 2147483648";
}

TEST(HdDerive, ComponentsOf2To31AndAboveRefused) {
  for (Curve c : {Curve::Secp256k1, Curve::Ed25519}) {
    EXPECT_EQ(derive_error("m/2147483648'", c), out_of_range("2147483648'", "m/2147483648'"));
    EXPECT_EQ(derive_error("m/4294967295'", c), out_of_range("4294967295'", "m/4294967295'"));
    EXPECT_EQ(derive_error("m/44'/+2147483648'", c), out_of_range("+2147483648'", "m/44'/+2147483648'"));
    EXPECT_EQ(derive_error("m/0'/02147483648'", c), out_of_range("02147483648'", "m/0'/02147483648'"));
    EXPECT_EQ(derive_error("m/2147483647'", c), "ok");
  }
  // Unhardened on secp256k1 (would otherwise address a hardened index).
  EXPECT_EQ(derive_error("m/2147483648", Curve::Secp256k1), out_of_range("2147483648", "m/2147483648"));
  EXPECT_EQ(derive_error("m/0/4294967295", Curve::Secp256k1), out_of_range("4294967295", "m/0/4294967295"));
  EXPECT_EQ(derive_error("m/2147483647", Curve::Secp256k1), "ok");
  // Before the curve checks: before hardened-only and before "Malformatted index".
  EXPECT_EQ(derive_error("m/2147483648", Curve::Ed25519), out_of_range("2147483648", "m/2147483648"));
  EXPECT_EQ(derive_error("m/0/2147483648'", Curve::Ed25519), out_of_range("2147483648'", "m/0/2147483648'"));
  EXPECT_EQ(derive_error("m/44''/2147483648'", Curve::Secp256k1), out_of_range("2147483648'", "m/44''/2147483648'"));
  EXPECT_EQ(derive_error("m/2147483648''", Curve::Secp256k1), out_of_range("2147483648''", "m/2147483648''"));
  // The first offending component is named.
  EXPECT_EQ(derive_error("m/2147483649'/3000000000'", Curve::Ed25519),
            out_of_range("2147483649'", "m/2147483649'/3000000000'"));
  // validate_path itself still accepts them.
  EXPECT_EQ(validate_error("m/2147483648'"), "ok");
  EXPECT_EQ(validate_error("m/2147483648"), "ok");
}

TEST(HdDerive, Bip32SeedLength) {
  // BIP-32 seeds are 128 to 512 bits; SLIP-10 ed25519 takes any seed.
  EXPECT_EQ(derive_hex(Bytes(15, 1), "m", Curve::Secp256k1),
            "error: derivation failed: seed must be 16 to 64 bytes (BIP-32), got 15");
  EXPECT_EQ(derive_hex(Bytes(65, 1), "m/0", Curve::Secp256k1),
            "error: derivation failed: seed must be 16 to 64 bytes (BIP-32), got 65");
  EXPECT_NE(derive_hex(Bytes(16, 1), "m", Curve::Secp256k1).substr(0, 6), "error:");
  EXPECT_NE(derive_hex(Bytes(64, 1), "m", Curve::Secp256k1).substr(0, 6), "error:");
  EXPECT_NE(derive_hex(Bytes{}, "m/0'", Curve::Ed25519).substr(0, 6), "error:");
  // The path is checked before the seed.
  EXPECT_EQ(derive_hex(Bytes(15, 1), "m/x", Curve::Secp256k1),
            "error: invalid derivation path: invalid index 'x' in path 'm/x'");
}

TEST(HdError, DisplayTexts) {
  EXPECT_EQ((vek_signer::HdError{HdErrorKind::InvalidPath, "abc"}.display()), "invalid derivation path: abc");
  EXPECT_EQ((vek_signer::HdError{HdErrorKind::DerivationFailed, "abc"}.display()), "derivation failed: abc");
  EXPECT_EQ((vek_signer::HdError{HdErrorKind::Ed25519NonHardened, ""}.display()),
            "ed25519 requires hardened-only derivation");
}

TEST(HdDerive, ConcurrentCallsAgree) {
  const Bytes seed = test_seed();
  const std::string want = derive_hex(seed, "m/44'/60'/0'/0/0", Curve::Secp256k1);
  std::vector<std::thread> threads;
  std::vector<std::string> got(4);
  for (std::size_t t = 0; t < got.size(); ++t) {
    threads.emplace_back([&, t] { got[t] = derive_hex(seed, "m/44'/60'/0'/0/0", Curve::Secp256k1); });
  }
  for (auto& th : threads) th.join();
  for (const auto& g : got) EXPECT_EQ(g, want);
}

}  // namespace

// A key derived below a cached node is the key derived from the seed, errors included.
TEST(HdDeriveBelow, SameKeysAndErrorsAsFromTheSeed) {
  const Bytes seed = test_seed();
  struct Row {
    std::string_view node, path;
    Curve curve;
  };
  const Row rows[] = {
      {"m/44'/60'/0'/0", "m/44'/60'/0'/0/7", Curve::Secp256k1},
      {"m/44'/60'/0'/0", "m/44'/60'/0'/0/2147483647", Curve::Secp256k1},
      {"m/84'/0'/0'", "m/84'/0'/0'/1/3", Curve::Secp256k1},
      {"m/0", "m/0/1'/2", Curve::Secp256k1},
      {"m/44'/501'", "m/44'/501'/5'/0'", Curve::Ed25519},
      {"m/44'/60'/0'/0", "m/44'/60'/0'/0/2147483648", Curve::Secp256k1},
      {"m/44'/501'/5'", "m/44'/501'/5'/0", Curve::Ed25519},
      {"m/44'/60'/0'", "m/44'/60'/0'/0''", Curve::Secp256k1},
  };
  for (const Row& row : rows) {
    auto node = HdDeriver::derive_node(seed, row.node, row.curve);
    ASSERT_TRUE(node.has_value()) << row.node;
    auto below = HdDeriver::derive_below(node->span(), row.node, row.path, row.curve);
    const std::string got = below ? hex_encode(below->span()) : "error: " + below.error().display();
    EXPECT_EQ(got, derive_hex(seed, row.path, row.curve)) << row.path;
  }
  auto node = HdDeriver::derive_node(seed, "m/44'/60'/0'/0", Curve::Secp256k1);
  ASSERT_TRUE(node.has_value());
  auto other = HdDeriver::derive_below(node->span(), "m/44'/60'/0'/0", "m/44'/60'/1'/0/0", Curve::Secp256k1);
  ASSERT_FALSE(other.has_value());
  EXPECT_EQ(other.error().display(),
            "derivation failed: 'm/44'/60'/1'/0/0' is not below the node of 'm/44'/60'/0'/0'");
}
