// Chains and chain identifiers: parse_chain over every accepted name in
// several letter cases, every CAIP-2 id exactly, the unknown-chain message, and
// default_chain_for_type; the family facts each chain takes from its descriptor.
#include <gtest/gtest.h>

#include <cctype>
#include <expected>
#include <string>
#include <vector>

#include "vek/signer/chains.h"

namespace {

using vek_core::Chain;
using vek_core::ChainType;
using vek_signer::default_chain_for_type;
using vek_signer::parse_chain;

struct Row {
  std::string name;
  std::string chain_id;
  ChainType type;
};

const std::vector<Row> kTable = {
    {"ethereum", "eip155:1", ChainType::Evm},
    {"polygon", "eip155:137", ChainType::Evm},
    {"arbitrum", "eip155:42161", ChainType::Evm},
    {"optimism", "eip155:10", ChainType::Evm},
    {"base", "eip155:8453", ChainType::Evm},
    {"bsc", "eip155:56", ChainType::Evm},
    {"avalanche", "eip155:43114", ChainType::Evm},
    {"solana", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp", ChainType::Solana},
    {"bitcoin", "bip122:000000000019d6689c085ae165831e93", ChainType::Bitcoin},
    {"cosmos", "cosmos:cosmoshub-4", ChainType::Cosmos},
    {"tron", "tron:mainnet", ChainType::Tron},
    {"ton", "ton:mainnet", ChainType::Ton},
};

std::string unknown(const std::string& input) {
  return "unknown chain: '" + input + "'. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)";
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// First letter upper, rest lower; and alternating case.
std::string title(std::string s) {
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}
std::string alternating(std::string s) {
  for (std::size_t i = 0; i < s.size(); i += 2) s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  return s;
}

void expect_row(const std::expected<Chain, std::string>& got, const Row& want, const std::string& input) {
  ASSERT_TRUE(got.has_value()) << input << ": " << got.error();
  EXPECT_EQ(got->name, want.name) << input;
  EXPECT_EQ(got->chain_id, want.chain_id) << input;
  EXPECT_EQ(got->chain_type, want.type) << input;
}

TEST(ParseChain, MainnetsWithEndpointsFirstInOrder) {
  const auto known = vek_signer::all_chains().first(kTable.size());
  for (std::size_t i = 0; i < kTable.size(); ++i) {
    EXPECT_EQ(known[i].name, kTable[i].name);
    EXPECT_EQ(known[i].chain_id, kTable[i].chain_id);
    EXPECT_EQ(known[i].chain_type, kTable[i].type);
  }
}

TEST(ParseChain, EveryNameInSeveralLetterCases) {
  for (const Row& row : kTable) {
    for (const std::string& input : {row.name, upper(row.name), title(row.name), alternating(row.name)}) {
      expect_row(parse_chain(input), row, input);
    }
  }
}

TEST(ParseChain, EvmAliasGivesEthereum) {
  for (std::string input : {"evm", "EVM", "Evm", "eVm"}) expect_row(parse_chain(input), kTable[0], input);
}

TEST(ParseChain, EveryCaip2IdExactly) {
  for (const Row& row : kTable) expect_row(parse_chain(row.chain_id), row, row.chain_id);
  // Prefix of another id: eip155:10 is optimism, not ethereum.
  expect_row(parse_chain("eip155:10"), kTable[3], "eip155:10");
  expect_row(parse_chain("eip155:56"), kTable[5], "eip155:56");
  expect_row(parse_chain("eip155:43114"), kTable[6], "eip155:43114");
}

TEST(ParseChain, Caip2IsCaseSensitive) {
  for (const Row& row : kTable) {
    const std::string up = upper(row.chain_id);
    if (up == row.chain_id) continue;
    auto r = parse_chain(up);
    ASSERT_FALSE(r.has_value()) << up;
    EXPECT_EQ(r.error(), unknown(up));
  }
  // The Solana genesis hash in another letter case.
  auto r = parse_chain("solana:5EYKT4UsFv8P8NJdTREpY1vzqKqZKvdp");
  ASSERT_FALSE(r.has_value());
}

TEST(ParseChain, UnknownInputs) {
  for (std::string input : {"", " ethereum", "ethereum ", "EIP155:1", "cosmos:cosmoshub-3",
                            "eth", "btc", "sol", "matic", "mainnet", "evm ", "ethereum\n"}) {
    auto r = parse_chain(input);
    ASSERT_FALSE(r.has_value()) << "'" << input << "'";
    EXPECT_EQ(r.error(), unknown(input));
  }
  EXPECT_EQ(parse_chain("").error(),
            "unknown chain: ''. Use a chain name (ethereum, solana, bitcoin, ...) or CAIP-2 ID (eip155:1, ...)");
}

TEST(ParseChain, NonAsciiInputIsUnknownAndQuotedUnchanged) {
  const std::string input = "\xc3\x89thereum";  // "Éthereum"
  auto r = parse_chain(input);
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error(), unknown(input));
}

TEST(DefaultChainForType, EachFamily) {
  const std::vector<std::pair<ChainType, std::string>> want = {
      {ChainType::Evm, "ethereum"}, {ChainType::Solana, "solana"}, {ChainType::Cosmos, "cosmos"},
      {ChainType::Bitcoin, "bitcoin"}, {ChainType::Tron, "tron"}, {ChainType::Ton, "ton"},
  };
  for (const auto& [type, name] : want) {
    const Chain c = default_chain_for_type(type);
    EXPECT_EQ(c.name, name);
    EXPECT_EQ(c.chain_type, type);
    // The record is the table's own.
    auto parsed = parse_chain(name);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(c.chain_id, parsed->chain_id);
  }
  EXPECT_EQ(default_chain_for_type(ChainType::Evm).chain_id, "eip155:1");
}

TEST(ChainTypeName, DisplayNames) {
  EXPECT_EQ(vek_core::chain_type_name(ChainType::Evm), "evm");
  EXPECT_EQ(vek_core::chain_type_name(ChainType::Solana), "solana");
  EXPECT_EQ(vek_core::chain_type_name(ChainType::Cosmos), "cosmos");
  EXPECT_EQ(vek_core::chain_type_name(ChainType::Bitcoin), "bitcoin");
  EXPECT_EQ(vek_core::chain_type_name(ChainType::Tron), "tron");
  EXPECT_EQ(vek_core::chain_type_name(ChainType::Ton), "ton");
  for (const ChainType t : vek_core::kAllChainTypes) EXPECT_EQ(vek_core::chain_type_from_name(vek_core::chain_type_name(t)), t);
  EXPECT_FALSE(vek_core::chain_type_from_name("EVM"));
}

}  // namespace

// The test networks and further chains: their own prefix, coin type or network, the
// rest from their family.
TEST(ParseChainAll, TestNetworksAndFurtherChains) {
  for (const Chain& c : vek_signer::all_chains().subspan(12)) {
    const auto by_name = parse_chain(c.name);
    const auto by_id = parse_chain(c.chain_id);
    ASSERT_TRUE(by_name && by_id) << c.name;
    EXPECT_EQ(by_name->chain_id, c.chain_id);
    EXPECT_EQ(by_id->name, c.name);
  }
  const auto btc = parse_chain("Bitcoin-Testnet");
  ASSERT_TRUE(btc);
  EXPECT_EQ(btc->address_prefix, "tb");
  EXPECT_EQ(btc->default_path(4), "m/84'/1'/0'/0/4");
  EXPECT_TRUE(btc->testnet);
  EXPECT_EQ(parse_chain("secret")->default_path(2), "m/44'/529'/0'/0/2");
  EXPECT_EQ(parse_chain("kava")->coin_type, 459u);
  EXPECT_EQ(parse_chain("osmosis")->address_prefix, "osmo");
  EXPECT_EQ(parse_chain("osmosis")->coin_type, 118u);
  // A test network without its own prefix takes the family's.
  EXPECT_EQ(parse_chain("cosmos-testnet")->address_prefix, "cosmos");
  EXPECT_EQ(parse_chain("sepolia")->default_path(0), "m/44'/60'/0'/0/0");
  EXPECT_EQ(parse_chain("solana")->default_path(3), "m/44'/501'/3'/0'");
  EXPECT_EQ(parse_chain("ton-testnet")->default_path(3), "m/44'/607'/3'");
  EXPECT_EQ(parse_chain("tron")->default_path(3), "m/44'/195'/0'/0/3");
  EXPECT_TRUE(parse_chain("ton")->address_prefix.empty());
}

TEST(ParseChainAll, AnyEvmChainIdAndMalformedOnes) {
  const auto goerli = parse_chain("eip155:5");
  ASSERT_TRUE(goerli);
  EXPECT_EQ(goerli->name, "eip155:5");
  EXPECT_EQ(goerli->chain_id, "eip155:5");
  EXPECT_EQ(goerli->chain_type, ChainType::Evm);
  EXPECT_TRUE(goerli->default_rpc_url.empty());
  EXPECT_EQ(goerli->default_path(1), "m/44'/60'/0'/0/1");
  EXPECT_EQ(parse_chain("eip155:18446744073709551615")->chain_id, "eip155:18446744073709551615");
  // A named chain's id gives that chain.
  EXPECT_EQ(parse_chain("eip155:137")->name, "polygon");
  EXPECT_EQ(parse_chain("eip155:11155111")->name, "sepolia");
  for (const char* bad : {"eip155:", "eip155:0", "eip155:007", "eip155:01", "eip155:-1", "eip155:+5", "eip155:5 ",
                          "eip155:1e3", "eip155:18446744073709551616", "eip155:0x5"}) {
    const auto got = parse_chain(bad);
    ASSERT_FALSE(got) << bad;
    EXPECT_EQ(got.error(), "invalid EVM chain id: '" + std::string(bad) +
                               "' (use eip155:<n>, n a positive decimal number without leading zeros)");
  }
  EXPECT_EQ(parse_chain("EIP155:5").error().substr(0, 15), "unknown chain: ");
  EXPECT_EQ(parse_chain("ton:testnet")->name, "ton-testnet");
}
