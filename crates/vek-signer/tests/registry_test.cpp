// signer_for_chain: each family's signer with its identity values, the known accounts
// of all six families through the registry, and independence of the returned objects.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "vek/signer/chains.h"
#include "vek/signer/family.h"
#include "bitcoin/signer.h"
#include "cosmos/signer.h"
#include "vek/signer/hex.h"

#include "test_vectors.h"

using namespace vek_signer;

TEST(Registry, EachFamilyHasItsSigner) {
  struct Case {
    ChainType type;
    Curve curve;
    std::uint32_t coin;
    std::string path0, path7;
    bool encodes;  // assembles signed transactions
  };
  const Case cases[] = {
      {ChainType::Evm, Curve::Secp256k1, 60, "m/44'/60'/0'/0/0", "m/44'/60'/0'/0/7", true},
      {ChainType::Solana, Curve::Ed25519, 501, "m/44'/501'/0'/0'", "m/44'/501'/7'/0'", true},
      {ChainType::Cosmos, Curve::Secp256k1, 118, "m/44'/118'/0'/0/0", "m/44'/118'/0'/0/7", false},
      {ChainType::Bitcoin, Curve::Secp256k1, 0, "m/84'/0'/0'/0/0", "m/84'/0'/0'/0/7", false},
      {ChainType::Tron, Curve::Secp256k1, 195, "m/44'/195'/0'/0/0", "m/44'/195'/0'/0/7", false},
      {ChainType::Ton, Curve::Ed25519, 607, "m/44'/607'/0'", "m/44'/607'/7'", false},
  };
  ASSERT_EQ(std::size(cases), vek_core::kAllChainTypes.size());
  for (const auto& c : cases) {
    const SignerPtr s = signer_for_chain(c.type);
    ASSERT_NE(s, nullptr);
    const std::string name(vek_core::chain_type_name(c.type));
    EXPECT_EQ(s->chain_type(), c.type) << name;
    EXPECT_EQ(s->curve(), c.curve) << name;
    EXPECT_EQ(s->coin_type(), c.coin) << name;
    EXPECT_EQ(s->default_derivation_path(0), c.path0) << name;
    EXPECT_EQ(s->default_derivation_path(7), c.path7) << name;
    // Families that keep the default refusal name themselves in it.
    const std::vector<std::uint8_t> tx(200, 1);
    auto enc = s->encode_signed_transaction(tx, SignOutput{std::vector<std::uint8_t>(64, 0), std::nullopt});
    if (!c.encodes) {
      ASSERT_FALSE(enc) << name;
      EXPECT_EQ(enc.error().display(), "invalid transaction: encode_signed_transaction not implemented for " + name);
    } else if (!enc) {
      EXPECT_EQ(enc.error().display().find("not implemented"), std::string::npos) << name;
    }
  }
}

TEST(Registry, KnownAccountsOfAllSixFamilies) {
  const auto v = vek_test::load("derived-accounts-computed.json");
  std::size_t seen = 0;
  for (const auto& a : v["accounts"]) {
    const auto type = vek_core::chain_type_from_name(a["family"].get<std::string>());
    ASSERT_TRUE(type) << a["family"];
    const SignerPtr s = signer_for_chain(*type);
    EXPECT_TRUE(a["path"].get<std::string>().starts_with(s->default_derivation_path(0).substr(0, 8))) << a["path"];
    auto addr = s->derive_address(hex_decode(a["private_key"].get<std::string>()).value());
    ASSERT_TRUE(addr) << a["family"] << ": " << addr.error().display();
    EXPECT_EQ(*addr, a["address"].get<std::string>()) << a["path"];
    ++seen;
  }
  EXPECT_EQ(seen, 12u);
}

TEST(Registry, PrefixedSignersAreIndependent) {
  SignerPtr first = signer_for_chain(ChainType::Cosmos);
  SignerPtr second = signer_for_chain(ChainType::Cosmos);
  ASSERT_NE(first.get(), second.get());
  EXPECT_EQ(dynamic_cast<const CosmosSigner&>(*first).hrp(), "cosmos");
  EXPECT_EQ(dynamic_cast<const CosmosSigner&>(*second).hrp(), "cosmos");
  first.reset();
  std::vector<std::uint8_t> key(32, 0);
  key[31] = 1;
  EXPECT_EQ(second->derive_address(key).value(), "cosmos1w508d6qejxtdg4y5r3zarvary0c5xw7k6ah60c");

  SignerPtr btc = signer_for_chain(ChainType::Bitcoin);
  EXPECT_EQ(dynamic_cast<const BitcoinSigner&>(*btc).hrp(), "bc");
  EXPECT_EQ(btc->derive_address(key).value(), "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4");
}

// A chain's signer: the family's signer for the chains on the family's own network
// parameters, the chain's for the others; every chain's table path is its family
// signer's path on the chain's coin type.
TEST(Registry, ChainSignersCarryTheirNetwork) {
  const std::vector<std::uint8_t> key(32, 7);
  for (const vek_core::Chain& c : vek_signer::all_chains()) {
    const SignerPtr by_chain = signer_for_chain(c);
    const SignerPtr by_family = signer_for_chain(c.chain_type);
    std::string family_path = by_family->default_derivation_path(5);
    const std::string coin = "/" + std::to_string(by_family->coin_type()) + "'/";
    family_path.replace(family_path.find(coin), coin.size(), "/" + std::to_string(c.coin_type) + "'/");
    EXPECT_EQ(c.default_path(5), family_path) << c.name;
    const auto a = by_chain->derive_address(key), b = by_family->derive_address(key);
    ASSERT_TRUE(a && b) << c.name;
    if (!c.testnet && c.address_prefix == family(c.chain_type).address_prefix) {
      EXPECT_EQ(*a, *b) << c.name;
    }
  }
  const auto addr = [&](std::string_view name) {
    return *signer_for_chain(*vek_signer::parse_chain(name))->derive_address(key);
  };
  EXPECT_TRUE(addr("bitcoin-testnet").starts_with("tb1q"));
  EXPECT_TRUE(addr("osmosis").starts_with("osmo1"));
  EXPECT_TRUE(addr("celestia").starts_with("celestia1"));
  EXPECT_EQ(addr("solana-devnet"), addr("solana"));
  EXPECT_EQ(addr("eip155:5"), addr("ethereum"));
  // TON's test network: the test-only flag and another wallet id, so another account id.
  const std::string ton = addr("ton"), ton_test = addr("ton-testnet");
  EXPECT_TRUE(ton.starts_with("UQ"));
  EXPECT_TRUE(ton_test.starts_with("0Q")) << ton_test;
  EXPECT_NE(ton.substr(2, 40), ton_test.substr(2, 40));
}
