// Every registered family's descriptor, walked as data: complete, in the one family
// order, and in agreement with the chain table and with the family's own signer.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "vek/signer/chains.h"
#include "vek/signer/family.h"

namespace {

using vek_signer::FamilyDescriptor;

const std::vector<std::uint8_t> kKey(32, 7);

TEST(Families, OneDescriptorPerFamilyInTheChainTypeNumbering) {
  const auto all = vek_signer::families();
  ASSERT_EQ(all.size(), vek_core::kAllChainTypes.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_NE(all[i], nullptr);
    EXPECT_EQ(all[i]->type, vek_core::kAllChainTypes[i]);
    EXPECT_EQ(all[i]->name, vek_core::chain_type_name(all[i]->type));
    EXPECT_EQ(&vek_signer::family(all[i]->type), all[i]);
  }
}

TEST(Families, DescriptorsAreComplete) {
  std::set<std::string_view> presets;
  for (const FamilyDescriptor* f : vek_signer::families()) {
    SCOPED_TRACE(std::string(f->name));
    EXPECT_FALSE(f->title.empty());
    EXPECT_TRUE(f->article == "a" || f->article == "an");
    EXPECT_NE(f->signer, nullptr);
    EXPECT_NE(f->is_address, nullptr);
    // Ed25519 families sign the message bytes; the others sign their envelope's digest.
    EXPECT_EQ(f->message_hash == nullptr, f->curve == vek_signer::Curve::Ed25519);
    ASSERT_FALSE(f->message_formats.empty());
    EXPECT_EQ(std::set(f->message_formats.begin(), f->message_formats.end()).size(), f->message_formats.size());
    EXPECT_TRUE(f->path_head.starts_with("m/"));
    EXPECT_NE(f->default_path_pattern().find("{index}"), std::string::npos);
    for (const auto& p : f->path_presets) {
      EXPECT_NE(p.name, "default");
      EXPECT_TRUE(presets.insert(p.name).second) << p.name;
      EXPECT_NE(p.head.empty(), p.fixed_path.empty()) << p.name;
    }
    // Nothing builds transactions from an intent yet; EVM assembles them from their
    // fields; sending needs decoding for review.
    EXPECT_EQ(f->build, nullptr);
    EXPECT_EQ(f->assemble != nullptr, f->type == vek_core::ChainType::Evm);
    EXPECT_TRUE(!f->broadcasts || f->decodes);
  }
}

// The default chain is the family's first in the table and carries the family's facts;
// the signer the descriptor makes answers the same.
TEST(Families, AgreeWithTheChainTableAndTheSigner) {
  for (const FamilyDescriptor* f : vek_signer::families()) {
    SCOPED_TRACE(std::string(f->name));
    const vek_core::Chain& main = vek_signer::default_chain_for_type(f->type);
    EXPECT_EQ(main.chain_type, f->type);
    EXPECT_FALSE(main.testnet);
    EXPECT_EQ(main.coin_type, f->coin_type);
    EXPECT_EQ(main.address_prefix, f->address_prefix);
    const vek_signer::SignerPtr s = f->signer(main);
    EXPECT_EQ(s->chain_type(), f->type);
    EXPECT_EQ(s->curve(), f->curve);
    EXPECT_EQ(s->coin_type(), f->coin_type);
    for (std::uint32_t i : {0u, 9u, 2147483647u}) {
      EXPECT_EQ(s->default_derivation_path(i), main.default_path(i));
      std::string pattern = f->default_path_pattern();
      pattern.replace(pattern.find("{index}"), 7, std::to_string(i));
      EXPECT_EQ(pattern, main.default_path(i));
    }
    if (f->message_hash != nullptr) {
      const std::vector<std::uint8_t> message = {'h', 'i'};
      const auto by_message = s->sign_message(kKey, message);
      const auto by_hash = s->sign(kKey, f->message_hash(message));
      ASSERT_TRUE(by_message && by_hash);
      // r || s agree; EVM writes v of a message signature with its offset of 27.
      EXPECT_TRUE(std::equal(by_hash->signature.begin(), by_hash->signature.begin() + 64,
                             by_message->signature.begin()));
    }
  }
}

// Every chain's derived address is an address of its chain, and a damaged one is not
// (except Solana's, whose addresses are bare public keys without a checksum).
TEST(Families, AddressCodecsAcceptTheirOwnAddressesOnly) {
  for (const vek_core::Chain& c : vek_signer::all_chains()) {
    SCOPED_TRACE(c.name);
    const FamilyDescriptor& f = vek_signer::family(c.chain_type);
    const auto address = f.signer(c)->derive_address(kKey);
    ASSERT_TRUE(address);
    EXPECT_TRUE(f.is_address(*address, c));
    EXPECT_FALSE(f.is_address("", c));
    if (c.chain_type != vek_core::ChainType::Solana) {
      std::string damaged = *address;
      damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == 'q' ? 'p' : 'q';
      EXPECT_FALSE(f.is_address(damaged, c)) << damaged;
      EXPECT_FALSE(f.is_address(address->substr(0, address->size() - 1), c));
    }
    for (const FamilyDescriptor* other : vek_signer::families()) {
      if (other->type == c.chain_type) continue;
      const auto theirs = other->signer(vek_signer::default_chain_for_type(other->type))->derive_address(kKey);
      EXPECT_FALSE(f.is_address(*theirs, c)) << other->name;
    }
  }
  // A bech32 chain refuses another chain's prefix; EVM checks a mixed-case checksum.
  const auto osmosis = vek_signer::parse_chain("osmosis").value();
  const auto cosmos = vek_signer::parse_chain("cosmos").value();
  const auto& cosmos_family = vek_signer::family(vek_core::ChainType::Cosmos);
  EXPECT_FALSE(cosmos_family.is_address(*cosmos_family.signer(osmosis)->derive_address(kKey), cosmos));
  const auto& evm = vek_signer::family(vek_core::ChainType::Evm);
  const auto eth = vek_signer::default_chain_for_type(vek_core::ChainType::Evm);
  EXPECT_TRUE(evm.is_address("0x5aaeb6053f3e94c9b9a09f33669435e7ef1beaed", eth));
  EXPECT_TRUE(evm.is_address("0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed", eth));
  EXPECT_FALSE(evm.is_address("0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAeD", eth));
}

}  // namespace
