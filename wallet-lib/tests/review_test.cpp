// What a person reviews before signing: exact amounts beyond 64 bits, and Solana's
// instructions decoded, address table accounts and malformed transfers among them
// (test_review.py checks transactions solders builds and the EVM review).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../src/transactions/amounts.h"
#include "../src/transactions/solana_transaction.h"
#include "vek/lib/decode.h"
#include "vek/signer/encoding.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Amounts, ArithmeticIsExactBeyondSixtyFourBits) {
  // (2^256 - 1)^2 + (2^256 - 1) = 2^512 - 2^256: the most a transaction's fields can give.
  const std::string max256 = vek_lib::decimal_text(Bytes(32, 0xff));
  EXPECT_EQ(max256, "115792089237316195423570985008687907853269984665640564039457584007913129639935");
  const std::string square = vek_lib::decimal_product(max256, max256);
  EXPECT_EQ(vek_lib::decimal_sum(square, max256),
            "134078079299425970995740249982058461274793658205923933777235614437217640300734311847126369819"
            "71479856705023170278632780869088242247907112362425735876444160");  // 2^512 - 2^256
  EXPECT_EQ(vek_lib::decimal_product("0", max256), "0");
  EXPECT_EQ(vek_lib::decimal_sum("999", "1"), "1000");
  EXPECT_EQ(vek_lib::decimal_text(Bytes{0, 0, 1, 0}), "256");
  EXPECT_EQ(vek_lib::decimal_text(Bytes{}), "0");
  for (const auto& [base, decimals, text] : std::vector<std::tuple<std::string, unsigned, std::string>>{
           {"1500000000000000000", 18, "1.5"}, {"1", 9, "0.000000001"}, {"0", 18, "0"},
           {"100000000", 8, "1"},              {"12345", 0, "12345"},   {"1000001", 6, "1.000001"}}) {
    EXPECT_EQ(vek_lib::in_units(base, decimals), text) << base;
  }
}

// A legacy message: `keys` static account keys (key k filled with k + 1, but `program`
// at index keys - 1), a zero blockhash and the instructions given as (program index,
// account indices, data).
Bytes message(std::size_t keys, const Bytes& program,
              const std::vector<std::tuple<std::uint8_t, Bytes, Bytes>>& instructions) {
  Bytes m = {1, 0, 1, static_cast<std::uint8_t>(keys)};
  for (std::size_t k = 0; k + 1 < keys; ++k) m.insert(m.end(), 32, static_cast<std::uint8_t>(k + 1));
  m.insert(m.end(), program.begin(), program.end());
  m.insert(m.end(), 32, 0);
  m.push_back(static_cast<std::uint8_t>(instructions.size()));
  for (const auto& [p, accounts, data] : instructions) {
    m.push_back(p);
    m.push_back(static_cast<std::uint8_t>(accounts.size()));
    m.insert(m.end(), accounts.begin(), accounts.end());
    m.push_back(static_cast<std::uint8_t>(data.size()));
    m.insert(m.end(), data.begin(), data.end());
  }
  m.insert(m.begin(), 65, 0);  // one signature slot
  m[0] = 1;
  return m;
}

std::string key(std::uint8_t fill) { return vek_signer::base58_encode(Bytes(32, fill)); }

TEST(Review, SolanaTransfersAreDecodedAndOtherInstructionsNamed) {
  const Bytes token_2022 = *vek_signer::base58_decode("TokenzQdBNbLqP5VEhdkAS6EPFLC1PHnBqCXEpPxuEb");
  // TransferChecked: 1.25 of a 6-decimal token; accounts source 1, mint 2, destination 9
  // (past the static keys: an address table's), authority 0 (key k is filled with k + 1).
  const Bytes checked = {12, 0xd0, 0x12, 0x13, 0, 0, 0, 0, 0, 6};
  // Transfer (no mint named), a malformed Transfer, and an instruction of another kind.
  const Bytes plain = {3, 0x40, 0x42, 0x0f, 0, 0, 0, 0, 0};
  auto d = vek_lib::decode_transaction(
      "solana", message(4, token_2022, {{3, {1, 2, 9, 0}, checked}, {3, {1, 2, 0}, plain}, {3, {1, 2}, plain},
                                        {3, {}, {7}}, {1, {}, {1, 2}}}));
  ASSERT_TRUE(d) << d.error().display();
  ASSERT_EQ(d->instruction_details.size(), 5U);
  const vek_lib::DecodedInstruction& c = d->instruction_details[0];
  EXPECT_EQ((std::tuple{*c.program, *c.kind, *c.amount, *c.mint, *c.decimals, *c.authority}),
            (std::tuple{"token-2022", "transfer_checked", "1250000", key(3), 6U, key(1)}));
  EXPECT_EQ(c.text, "Token-2022 Program: transfer 1.25 of mint " + key(3) + " (6 decimals) from token account " +
                        key(2) + " to token account (account 9 from an address table), authority " + key(1));
  EXPECT_EQ(d->instruction_details[1].text, "Token-2022 Program: transfer 1000000 base units (the mint is not named) "
                                            "from token account " + key(2) + " to token account " + key(3) +
                                            ", authority " + key(1));
  EXPECT_FALSE(d->instruction_details[2].kind);
  EXPECT_EQ(d->instruction_details[2].text, "Token-2022 Program: 2 accounts, 9 bytes of data (not decoded)");
  EXPECT_EQ(d->instruction_details[3].text, "Token-2022 Program: 0 accounts, 1 byte of data (not decoded)");
  EXPECT_FALSE(d->instruction_details[4].program);
  EXPECT_EQ(d->instruction_details[4].text, "program " + key(2) + ": 0 accounts, 2 bytes of data (not decoded)");
  EXPECT_EQ(d->review[3], (std::pair<std::string, std::string>{"instruction 1", c.text}));

}

TEST(Review, MissingSignaturesAreTheRequiredSignersAllZeroSlots) {
  // Two signers (keys 1 and 2), the second slot filled.
  Bytes tx = message(3, Bytes(32, 0), {});
  tx[0] = 2;
  tx[65] = 2;                            // the header: two required signatures
  tx.insert(tx.begin() + 65, 64, 0x5a);  // the second slot
  auto read = vek_lib::read_solana_transaction(tx);
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(vek_lib::missing_solana_signers(tx, *read), std::vector<std::string>{key(1)});
  vek_lib::SolanaKey second{};
  second.fill(2);
  EXPECT_EQ(vek_lib::solana_signer_slot(read->message, second), 1U);
  second.fill(0);  // the program: an account, not a signer
  EXPECT_FALSE(vek_lib::solana_signer_slot(read->message, second));
}

}  // namespace
