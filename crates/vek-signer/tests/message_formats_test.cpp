// The message formats of Tron, Bitcoin and Cosmos: BIP-322's published vectors, every
// format signing and checking its own signatures (and refusing others'), and the
// malformed inputs each check refuses.
#include "vek/signer/message_formats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitcoin/signer.h"
#include "cosmos/signer.h"
#include "tron/signer.h"
#include "vek/signer/encoding.h"
#include "vek/signer/verify.h"

#include "test_vectors.h"

using namespace vek_signer;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes text_bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes b64(const std::string& s) { return base64_decode(s).value(); }

const Bytes kKey = vek_test::unhex("0c28fca386c7a227600b2fe50b7cae11ec86d3bf1fbe471be89827e19d72aa1d");
const Bytes kOtherKey = vek_test::unhex("1111111111111111111111111111111111111111111111111111111111111111");

TEST(Bip322, PublishedVectorsHashSignAndVerify) {
  const auto v = vek_test::load("bip322.json");
  const Bytes key = vek_test::unhex(v["key"]);
  const std::string address = v["address"];
  ASSERT_EQ(BitcoinSigner("bc").derive_address(key).value(), address);
  for (const auto& m : v["messages"]) {
    const Bytes message = text_bytes(m["message"].get<std::string>());
    EXPECT_EQ(hex_encode(bip322_message_hash(message)), m["message_hash"]);
    const std::string ours = base64_encode(bip322_sign(key, message).value().signature);
    // libsecp256k1's plain RFC 6979 nonce gives the published signature made without grinding.
    EXPECT_EQ(ours, m["signatures"][1]) << m["message"];
    for (const auto& theirs : m["signatures"]) {
      EXPECT_TRUE(bip322_verify(address, message, b64(theirs)).value());
      EXPECT_FALSE(bip322_verify(address, text_bytes("other"), b64(theirs)).value());
      EXPECT_FALSE(bip322_verify("bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4", message, b64(theirs)).value());
    }
  }
}

// Each format signs, checks its own signature, refuses it for another message or key,
// and (where it can) recovers the signer's address.
TEST(MessageFormats, RoundTripEveryFormat) {
  const Bytes message = text_bytes("vek \xe2\x9c\x93");
  const Bytes other = text_bytes("vek");
  const auto tron = TronSigner().derive_address(kKey).value();
  const auto tron_other = TronSigner().derive_address(kOtherKey).value();
  const auto btc = BitcoinSigner("bc").derive_address(kKey).value();
  const auto btc_other = BitcoinSigner("bc").derive_address(kOtherKey).value();
  const auto atom = CosmosSigner("cosmos").derive_address(kKey).value();
  const auto osmo = CosmosSigner("osmo").derive_address(kKey).value();
  const auto atom_other = CosmosSigner("cosmos").derive_address(kOtherKey).value();

  for (bool wallet_v : {true, false}) {
    const auto sig = tron_sign_message(kKey, message, wallet_v).value();
    EXPECT_EQ(sig.signature[64], *sig.recovery_id);
    EXPECT_EQ(sig.signature[64] >= 27, wallet_v);
    Bytes raw = TronSigner().sign_message(kKey, message).value().signature;
    raw[64] = static_cast<std::uint8_t>(raw[64] + (wallet_v ? 27 : 0));
    EXPECT_EQ(sig.signature, raw);
    EXPECT_EQ(tron_recover_address(message, sig.signature).value(), tron);
    EXPECT_TRUE(tron_verify_message(tron, message, sig.signature).value());
    EXPECT_FALSE(tron_verify_message(tron, other, sig.signature).value());
    EXPECT_FALSE(tron_verify_message(tron_other, message, sig.signature).value());
  }

  const auto witness = bip322_sign(kKey, message).value().signature;
  EXPECT_TRUE(bip322_verify(btc, message, witness).value());
  EXPECT_FALSE(bip322_verify(btc, other, witness).value());
  EXPECT_FALSE(bip322_verify(btc_other, message, witness).value());

  const auto bip137 = bip137_sign(kKey, message).value();
  EXPECT_EQ(bip137.signature[0], *bip137.recovery_id);
  EXPECT_TRUE(bip137.signature[0] == 39 || bip137.signature[0] == 40);
  EXPECT_EQ(bip137_recover_address(message, bip137.signature).value(), btc);
  EXPECT_TRUE(bip137_verify(btc, message, bip137.signature).value());
  EXPECT_FALSE(bip137_verify(btc, other, bip137.signature).value());
  EXPECT_FALSE(bip137_verify(btc_other, message, bip137.signature).value());
  // The same key's P2PKH address is named by header 31/32 and still matched by 39/40.
  Bytes p2pkh_header = bip137.signature;
  p2pkh_header[0] = static_cast<std::uint8_t>(p2pkh_header[0] - 8);
  const auto legacy = bip137_recover_address(message, p2pkh_header).value();
  EXPECT_EQ(legacy[0], '1');
  EXPECT_TRUE(bip137_verify(legacy, message, bip137.signature).value());
  EXPECT_TRUE(bip137_verify(btc, message, p2pkh_header).value());

  const auto raw_btc = BitcoinSigner("bc").sign_message(kKey, message).value().signature;
  EXPECT_EQ(bitcoin_raw_recover_address(message, raw_btc, "bc").value(), btc);
  EXPECT_TRUE(bitcoin_raw_verify(btc, message, raw_btc).value());
  EXPECT_FALSE(bitcoin_raw_verify(btc, other, raw_btc).value());

  const auto adr = adr036_sign(kKey, atom, message).value();
  EXPECT_EQ(adr.signature.size(), 64u);
  EXPECT_EQ(adr.public_key.size(), 33u);
  EXPECT_TRUE(adr036_verify(atom, message, adr.signature).value());
  EXPECT_FALSE(adr036_verify(atom, other, adr.signature).value());
  EXPECT_FALSE(adr036_verify(atom_other, message, adr.signature).value());
  // The signer's address is part of what is signed: another prefix is another document.
  EXPECT_FALSE(adr036_verify(osmo, message, adr.signature).value());
  EXPECT_TRUE(adr036_verify(osmo, message, adr036_sign(kKey, osmo, message).value().signature).value());

  const auto raw_atom = CosmosSigner("cosmos").sign_message(kKey, message).value().signature;
  EXPECT_EQ(cosmos_raw_recover_address(message, raw_atom, "cosmos").value(), atom);
  EXPECT_TRUE(cosmos_raw_verify(atom, message, raw_atom).value());
  EXPECT_TRUE(cosmos_raw_verify(osmo, message, raw_atom).value());
  EXPECT_FALSE(cosmos_raw_verify(atom, other, raw_atom).value());
}

TEST(MessageFormats, Adr036DocumentIsSortedCompactJson) {
  EXPECT_EQ(adr036_sign_doc("cosmos1abc", text_bytes("hi")),
            R"({"account_number":"0","chain_id":"","fee":{"amount":[],"gas":"0"},"memo":"","msgs":[{"type":)"
            R"("sign/MsgSignData","value":{"data":"aGk=","signer":"cosmos1abc"}}],"sequence":"0"})");
}

TEST(MessageFormats, MalformedInputIsRefusedWithItsText) {
  const Bytes m = text_bytes("m");
  const auto btc = BitcoinSigner("bc").derive_address(kKey).value();
  const auto atom = CosmosSigner("cosmos").derive_address(kKey).value();
  const auto tron = TronSigner().derive_address(kKey).value();
  const Bytes witness = bip322_sign(kKey, m).value().signature;
  const auto error_of = [](const auto& r) { return r ? std::string("no error") : r.error().detail; };

  Bytes trailing = witness;
  trailing.push_back(0);
  Bytes anyone = witness;
  anyone[2u + anyone[1] - 1] = 0x81;
  Bytes three = witness;
  three[0] = 3;
  Bytes short_key = witness;
  short_key[2u + short_key[1]] = 32;
  EXPECT_EQ(error_of(bip322_verify(btc, m, trailing)), "malformed BIP-322 witness: trailing bytes");
  EXPECT_EQ(error_of(bip322_verify(btc, m, anyone)), "malformed BIP-322 witness: hash type must be SIGHASH_ALL (1), got 129");
  EXPECT_EQ(error_of(bip322_verify(btc, m, three)), "malformed BIP-322 witness: expected 2 witness items");
  EXPECT_EQ(error_of(bip322_verify(btc, m, short_key)), "malformed BIP-322 witness: expected a 33-byte compressed public key");
  EXPECT_EQ(error_of(bip322_verify(btc, m, Bytes{2, 0x50})), "malformed BIP-322 witness: truncated signature");
  EXPECT_EQ(error_of(bip322_verify(btc, m, Bytes{})), "malformed BIP-322 witness: expected 2 witness items");
  EXPECT_EQ(error_of(bip322_verify("1BgGZ9tcN4rm9KBzDn7KprQz87SZ26SAMH", m, witness)),
            "BIP-322 signatures are checked for P2WPKH addresses only, not '1BgGZ9tcN4rm9KBzDn7KprQz87SZ26SAMH'");

  Bytes sig137 = bip137_sign(kKey, m).value().signature;
  EXPECT_EQ(error_of(bip137_verify(btc, m, Bytes(64))), "expected a 65-byte signature (header || r || s), got 64 bytes");
  sig137[0] = 43;
  EXPECT_EQ(error_of(bip137_verify(btc, m, sig137)), "BIP-137 header must be 27 to 42, got 43");
  EXPECT_EQ(error_of(bip137_verify("bc1qnope", m, sig137)), "invalid Bitcoin address: 'bc1qnope'");
  Bytes zero(65, 0);
  zero[0] = 39;
  EXPECT_FALSE(bip137_verify(btc, m, zero).value());
  EXPECT_EQ(error_of(bip137_recover_address(m, zero)), std::string(kRecoversNoKey));
  EXPECT_EQ(error_of(bitcoin_raw_verify(btc, m, Bytes(66))),
            "expected a 65-byte signature (r || s || recovery id), got 66 bytes");
  Bytes recid4(65, 1);
  recid4[64] = 4;
  EXPECT_EQ(error_of(bitcoin_raw_verify(btc, m, recid4)), "recovery id must be 0 to 3, got 4");

  EXPECT_EQ(error_of(adr036_verify(atom, m, Bytes(65))), "expected a 64-byte signature (r || s), got 65 bytes");
  EXPECT_EQ(error_of(adr036_verify(btc, m, Bytes(64))), "invalid Cosmos address: '" + btc + "'");
  EXPECT_FALSE(adr036_verify(atom, m, Bytes(64)).value());
  // The same signature with s replaced by n - s is refused, as Cosmos refuses it.
  auto adr = adr036_sign(kKey, atom, m).value().signature;
  const Bytes order = vek_test::unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141");
  int borrow = 0;
  for (int i = 31; i >= 0; --i) {
    const int d = order[static_cast<std::size_t>(i)] - adr[32 + static_cast<std::size_t>(i)] - borrow;
    adr[32 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(d & 0xff);
    borrow = d < 0 ? 1 : 0;
  }
  EXPECT_FALSE(adr036_verify(atom, m, adr).value());

  EXPECT_EQ(error_of(tron_verify_message("TNope", m, Bytes(65))), "invalid Tron address: 'TNope'");
  Bytes v29(65, 1);
  v29[64] = 29;
  EXPECT_EQ(error_of(tron_verify_message(tron, m, v29)), "signature v must be 0, 1, 27 or 28, got 29");
  EXPECT_EQ(error_of(tron_recover_address(m, Bytes(10))), "expected a 65-byte signature (r || s || v), got 10 bytes");
  EXPECT_FALSE(tron_verify_message(tron, m, Bytes(65)).value());
}

}  // namespace
