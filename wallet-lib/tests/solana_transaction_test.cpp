// The one Solana wire-format reader: review, the hash of a signed transaction and a
// session's completion all go by it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../src/transactions/solana_transaction.h"
#include "vek/lib/broadcast.h"
#include "vek/signer/encoding.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A message that `signers` accounts sign: header, the account keys (key i filled with
// i + 1), a zero blockhash and one instruction with no accounts and two data bytes. From
// 128 signers on a legacy header byte would read as a version, so it is a version-0
// message then (no address table lookups).
Bytes message(std::uint8_t signers) {
  const bool versioned = signers >= 128;
  Bytes m = {signers, 0, 0};
  if (versioned) m.insert(m.begin(), 0x80);
  const std::size_t keys = signers;
  if (keys < 128) {
    m.push_back(static_cast<std::uint8_t>(keys));
  } else {
    m.push_back(static_cast<std::uint8_t>(0x80 | (keys & 0x7f)));
    m.push_back(static_cast<std::uint8_t>(keys >> 7));
  }
  for (std::size_t k = 0; k < keys; ++k) m.insert(m.end(), 32, static_cast<std::uint8_t>(k + 1));
  m.insert(m.end(), 32, 0);                 // recent blockhash
  m.insert(m.end(), {1, 0, 0, 2, 0xaa, 0xbb});  // one instruction
  if (versioned) m.push_back(0);                // no address table lookups
  return m;
}

// The compact-u16 count, `slots` slots (slot i filled with 0x10 + i), then `msg`.
Bytes transaction(std::size_t slots, const Bytes& msg) {
  Bytes tx;
  if (slots < 128) {
    tx.push_back(static_cast<std::uint8_t>(slots));
  } else {
    tx.push_back(static_cast<std::uint8_t>(0x80 | (slots & 0x7f)));
    tx.push_back(static_cast<std::uint8_t>(slots >> 7));
  }
  for (std::size_t i = 0; i < slots; ++i) tx.insert(tx.end(), 64, static_cast<std::uint8_t>(0x10 + i));
  tx.insert(tx.end(), msg.begin(), msg.end());
  return tx;
}

TEST(SolanaTransaction, WholeTransactionsAreReadWithTheirParts) {
  const Bytes msg = message(2);
  const Bytes tx = transaction(2, msg);
  auto read = vek_lib::read_solana_transaction(tx);
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->slots.count, 2U);
  EXPECT_EQ(read->slots.first_slot, 1U);
  EXPECT_EQ(read->slots.message_at, 1U + 128U);
  EXPECT_EQ(read->message.instructions, 1U);
  EXPECT_EQ(read->message.fee_payer, vek_signer::base58_encode(Bytes(32, 1)));
}

TEST(SolanaTransaction, EachWayOfBeingMalformedIsNamed) {
  const Bytes msg = message(1);
  EXPECT_EQ(vek_lib::read_solana_transaction(msg).error(),
            "this is a message without its signature slots; give the whole transaction (signature count, "
            "signature slots, message)");
  EXPECT_EQ(vek_lib::read_solana_transaction(Bytes{}).error(), "empty transaction");
  EXPECT_EQ(vek_lib::read_solana_transaction(transaction(0, Bytes{0xff})).error(), "it has no signature slots");
  EXPECT_EQ(vek_lib::read_solana_transaction(Bytes(64, 2)).error(), "too short for its signature slots");
  EXPECT_EQ(vek_lib::read_solana_transaction(transaction(2, msg)).error(),
            "the transaction has 2 signature slot(s) but its message needs 1");
  Bytes trailing = transaction(1, msg);
  trailing.push_back(0);
  EXPECT_EQ(vek_lib::read_solana_transaction(trailing).error(), "1 byte follows the message");
}

// A count of 128 or more takes two bytes: the slots (and the first signature, by which a
// node names the transaction) begin after both.
TEST(SolanaTransaction, TwoByteCountsPutTheFirstSlotAfterBothBytes) {
  const Bytes tx = transaction(128, message(128));
  auto read = vek_lib::read_solana_transaction(tx);
  ASSERT_TRUE(read) << read.error();
  EXPECT_EQ(read->slots.count, 128U);
  EXPECT_EQ(read->slots.first_slot, 2U);
  EXPECT_EQ(vek_lib::transaction_hash(vek_core::ChainType::Solana, tx), vek_signer::base58_encode(Bytes(64, 0x10)));
}

TEST(SolanaTransaction, HashNeedsEverySlotTheCountDeclares) {
  const Bytes one = transaction(1, message(1));
  EXPECT_EQ(vek_lib::transaction_hash(vek_core::ChainType::Solana, one), vek_signer::base58_encode(Bytes(64, 0x10)));
  Bytes short_of_slots = transaction(1, {});
  short_of_slots[0] = 2;  // declares two slots, holds one
  EXPECT_FALSE(vek_lib::transaction_hash(vek_core::ChainType::Solana, short_of_slots));
  EXPECT_FALSE(vek_lib::transaction_hash(vek_core::ChainType::Solana, transaction(0, message(1))));
  EXPECT_FALSE(vek_lib::transaction_hash(vek_core::ChainType::Bitcoin, one));
}

}  // namespace
