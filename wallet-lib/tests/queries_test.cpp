// The family queries against the tables the operations dispatch through.
#include "vek/signer/chains.h"
#include "vek/lib/queries.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "../src/message_formats.h"
#include "vek/lib/signing.h"

namespace {

using vek_core::kAllChainTypes;
using vek_lib::VekLibErrorKind;

TEST(Queries, FamiliesFollowTheFamilyOrderAndTheFormatTable) {
  const auto& families = vek_lib::families();
  ASSERT_EQ(families.size(), kAllChainTypes.size());
  for (std::size_t i = 0; i < families.size(); ++i) {
    const auto& f = families[i];
    const auto type = kAllChainTypes[i];
    EXPECT_EQ(f.name, vek_core::chain_type_name(type));
    ASSERT_FALSE(f.chains.empty());
    EXPECT_EQ(f.chains.front(), f.default_chain);
    EXPECT_EQ(f.default_chain, vek_signer::default_chain_for_type(type).name);
    EXPECT_NE(f.default_path.find("{index}"), std::string::npos) << f.default_path;
    EXPECT_EQ(f.key_formats.front(), "hex");
    // The first format is the one every operation takes when none is named.
    const auto standard = vek_lib::find_message_format(type, std::nullopt);
    ASSERT_TRUE(standard.has_value());
    ASSERT_FALSE(f.message_formats.empty());
    EXPECT_EQ(f.message_formats.front(), (*standard)->name);
    for (const auto name : f.message_formats) EXPECT_TRUE(vek_lib::find_message_format(type, name)) << name;
  }
  EXPECT_EQ(&families, &vek_lib::families());  // built once
}

TEST(Queries, MessageFormatNamesResolveTheChain) {
  const auto evm = vek_lib::families().front().message_formats;
  EXPECT_EQ(vek_lib::message_format_names("Sepolia").value(), evm);
  EXPECT_EQ(vek_lib::message_format_names("eip155:5").value(), evm);
  const auto unknown = vek_lib::message_format_names("nope");
  ASSERT_FALSE(unknown.has_value());
  EXPECT_EQ(unknown.error().code, VekLibErrorKind::InvalidInput);
}

TEST(BroadcastSigned, AFamilyWithoutARequestIsRefusedBeforeAnyConnection) {
  const std::vector<std::uint8_t> tx = {1, 2, 3};
  for (const auto& f : vek_lib::families()) {
    const auto sent = vek_lib::broadcast(f.default_chain, tx, "http://127.0.0.1:1");
    ASSERT_FALSE(sent.has_value());
    // The sending families fail otherwise (Solana refuses the malformed bytes themselves).
    const bool refused = sent.error().code == VekLibErrorKind::InvalidInput &&
                         sent.error().detail.starts_with("no broadcast method for chain family");
    EXPECT_EQ(refused, !f.broadcast) << f.name << ": " << sent.error().detail;
  }
}

}  // namespace
