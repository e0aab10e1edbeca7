// Each family's message-format rows: named as its descriptor names them, standard first,
// and every lookup, including those of a family's error texts, goes by the family.
#include <gtest/gtest.h>

#include "../src/message_formats.h"
#include "vek/signer/family.h"

namespace {

TEST(MessageFormatRows, EveryFamilyHasItsDescriptorsFormatsInOrder) {
  for (const auto* f : vek_signer::families()) {
    SCOPED_TRACE(std::string(f->name));
    const auto rows = vek_lib::message_formats(f->type);
    ASSERT_EQ(rows.size(), f->message_formats.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].name, f->message_formats[i]);
      EXPECT_NE(rows[i].sign, nullptr);
    }
    EXPECT_EQ(vek_lib::find_message_format(f->type, std::nullopt).value(), &rows.front());
    EXPECT_EQ(vek_lib::find_message_format(f->type, std::string_view(rows.back().name)).value(), &rows.back());
    const auto unknown = vek_lib::find_message_format(f->type, "nope");
    ASSERT_FALSE(unknown);
    const std::string text = unknown.error().display();
    EXPECT_NE(text.find(std::string(f->article) + " " + std::string(f->title) + " chain: 'nope'"), std::string::npos)
        << text;
  }
  // The families listed in an error text come in the one family order.
  EXPECT_EQ(vek_lib::no_recovery(vek_core::ChainType::Solana, vek_lib::message_formats(vek_core::ChainType::Solana)[0])
                .display(),
            "invalid input: recovering the signer covers EVM, Cosmos, Bitcoin and Tron chains only, not solana");
}

}  // namespace
