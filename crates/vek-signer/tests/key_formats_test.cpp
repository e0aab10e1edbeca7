// Key interchange formats: WIF and the keystore against published examples, the keystore
// round trip and its refusals, and the Solana keypair-file reader on hand-made edge cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vek/signer/hex.h"
#include "vek/signer/key_formats.h"
#include "vek/signer/keystore.h"

using namespace vek_signer;

namespace {

std::string hex(const SecretBytes& b) { return hex_encode(b.span()); }

TEST(Wif, BitcoinWikiExampleBothWays) {
  const auto key = *hex_decode("0c28fca386c7a227600b2fe50b7cae11ec86d3bf1fbe471be89827e19d72aa1d");
  EXPECT_EQ(wif_encode(key, false, false), "5HueCGU8rMjxEXxiPuD5BDku4MkFqeZyd4dZ1jvhTVqvbTLvyTJ");
  EXPECT_EQ(wif_encode(key, true, false), "KwdMAjGmerYanjeui5SHS7JkmpZvVipYvB2LJGU1ZxJwYvP98617");
  for (const char* text : {"5HueCGU8rMjxEXxiPuD5BDku4MkFqeZyd4dZ1jvhTVqvbTLvyTJ",
                           "KwdMAjGmerYanjeui5SHS7JkmpZvVipYvB2LJGU1ZxJwYvP98617"}) {
    auto decoded = wif_decode(text);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(hex(decoded->key), hex_encode(key));
    EXPECT_EQ(decoded->compressed, text[0] == 'K');
    EXPECT_FALSE(decoded->testnet);
  }
  auto testnet = wif_decode(wif_encode(key, true, true));
  ASSERT_TRUE(testnet);
  EXPECT_TRUE(testnet->testnet);
}

TEST(SolanaKeypair, TheFileReaderTakesJsonLayoutAndRefusesTheRest) {
  const auto secret = *hex_decode("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
  const std::string compact = *solana_keypair_encode(secret, true);
  ASSERT_EQ(compact.front(), '[');
  // The same numbers with white space between them.
  std::string spaced = " \n[ ";
  for (char c : compact.substr(1, compact.size() - 2)) spaced += c == ',' ? std::string(" ,\t") : std::string(1, c);
  spaced += " ]\r\n";
  for (const std::string& text : {compact, spaced, *solana_keypair_encode(secret, false)}) {
    auto got = solana_keypair_decode(text);
    ASSERT_TRUE(got) << got.error();
    EXPECT_EQ(hex(*got), hex_encode(secret));
  }
  const std::string body = compact.substr(1, compact.size() - 2);
  const std::string not_array = "not a JSON array of integers from 0 to 255";
  for (const std::string& bad : {"[" + body + ",]", "[" + body + ",256]", "[" + body + ",-1]", "[" + body + ",01]",
                                 "[" + body + ",1.0]", "[" + body + "]x", "[" + body, "[[" + body + "]]",
                                 "[" + body + ",1000]", "[," + body + "]"}) {
    auto got = solana_keypair_decode(bad);
    ASSERT_FALSE(got) << bad;
    EXPECT_EQ(got.error(), not_array) << bad;
  }
  EXPECT_EQ(solana_keypair_decode("[]").error(), "0 bytes, expected 64");
  EXPECT_EQ(solana_keypair_decode("[" + body + ",7]").error(), "65 bytes, expected 64");
}

// The PBKDF2 example of the keystore format's description (password "testpassword").
constexpr const char* kPbkdf2Example =
    R"({"crypto":{"cipher":"aes-128-ctr","cipherparams":{"iv":"6087dab2f9fdbbfaddc31a909735c1e6"},)"
    R"("ciphertext":"5318b4d5bcd28de64ee5559e671353e16f075ecae9f99c7a79a38af5f869aa46","kdf":"pbkdf2",)"
    R"("kdfparams":{"c":262144,"dklen":32,"prf":"hmac-sha256","salt":"ae3cd4e7013836a3df6bd7241b12db061dbe2c6785853cce422d148a624ce0bd"},)"
    R"("mac":"517ead924a9d0dc3124507e3393d175ce3ff7c1e96529c6c555ce9e51205e9b2"},)"
    R"("id":"3198bc9c-6672-5ab3-d995-4942343ae5b6","version":3})";

TEST(Keystore, PublishedPbkdf2ExampleAndAWrongPassword) {
  auto key = keystore_decrypt(kPbkdf2Example, "testpassword");
  ASSERT_TRUE(key) << key.error().display();
  EXPECT_EQ(hex(key->key), "7a28b5ba57c53603b0b07b56bba752f7784bf506fa95edc395f5cf6c7514fe9d");
  EXPECT_FALSE(key->address);
  auto wrong = keystore_decrypt(kPbkdf2Example, "testpassworD");
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error().code, CryptoErrorKind::DecryptionFailed);
  EXPECT_EQ(wrong.error().display(), "decryption failed: keystore MAC mismatch (wrong password or altered file)");
}

TEST(Keystore, LightStretchingOnlyWhenAllowedAndNeverNone) {
  const auto rounds = [](std::string_view c) {
    std::string doc = kPbkdf2Example;
    doc.replace(doc.find("262144"), 6, c);
    return doc;
  };
  const KeystoreLimits allowed{true, {}};
  EXPECT_EQ(keystore_decrypt(rounds("1"), "testpassword", {false, "do this"}).error().display(),
            "invalid parameters: pbkdf2 c=1 is below minimum 262144; do this");
  // Taken when allowed: the stretched key differs from the one the MAC was made with.
  EXPECT_EQ(keystore_decrypt(rounds("1"), "testpassword", allowed).error().code, CryptoErrorKind::DecryptionFailed);
  EXPECT_EQ(keystore_decrypt(rounds("0"), "testpassword", allowed).error().display(),
            "invalid parameters: pbkdf2 c must be at least 1");
}

TEST(Keystore, RoundTripAndAlteredCiphertext) {
  const auto secret = *hex_decode("4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318");
  auto doc = keystore_encrypt(secret, "pw", "2c7536e3605d9c16a7a3d7b1898e529396a65c23");
  ASSERT_TRUE(doc) << doc.error().display();
  auto back = keystore_decrypt(*doc, "pw");
  ASSERT_TRUE(back) << back.error().display();
  EXPECT_EQ(hex(back->key), hex_encode(secret));
  EXPECT_EQ(back->address, "2c7536e3605d9c16a7a3d7b1898e529396a65c23");
  // One flipped ciphertext digit fails the MAC; nothing is decrypted.
  std::string altered = *doc;
  const auto at = altered.find("\"ciphertext\":\"") + 14;
  altered[at] = altered[at] == '0' ? '1' : '0';
  EXPECT_EQ(keystore_decrypt(altered, "pw").error().code, CryptoErrorKind::DecryptionFailed);
  EXPECT_EQ(keystore_decrypt(R"({"Crypto":{},"version":3})", "pw").error().display(),
            "invalid parameters: not a keystore file: `cipher` must be a string");
  EXPECT_EQ(keystore_decrypt(R"({"version":3})", "pw").error().display(),
            "invalid parameters: not a keystore file: `crypto` must be an object");
}

}  // namespace
