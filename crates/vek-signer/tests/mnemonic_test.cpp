// BIP-39 phrases: the published English vectors, the word list, and every rejection text.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "vek/signer/bip39.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/mnemonic.h"

#include "test_vectors.h"

using vek_signer::Mnemonic;
using vek_signer::WordCount;

namespace {

using vek_test::read_vector_file;

std::string text_of(const vek_signer::SecretBytes& b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

std::string phrase_error(std::string_view text) {
  auto m = Mnemonic::from_phrase(text);
  EXPECT_FALSE(m.has_value()) << text;
  return m ? std::string() : m.error().display();
}

const std::string kZero = "abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon abandon about";

}  // namespace

TEST(Mnemonic, WordListMatchesTheStandardFile) {
  const std::string list = read_vector_file("bip39-english.txt");
  const auto digest = vek_signer::sha256({reinterpret_cast<const std::uint8_t*>(list.data()), list.size()});
  EXPECT_EQ(vek_signer::hex_encode(digest), "2f5eed53a4727b4bf8880d8f3f199efc90e58503646d9ff8eff3a2ed3b24dbda");
  std::istringstream lines(list);
  std::string word;
  std::size_t i = 0;
  while (std::getline(lines, word)) {
    ASSERT_EQ(vek_signer::bip39_word(i), word) << i;
    ++i;
  }
  EXPECT_EQ(i, 2048u);
}

TEST(Mnemonic, PublishedAndComputedVectors) {
  const auto doc = nlohmann::json::parse(read_vector_file("bip39.json"));
  int checked = 0;
  for (const char* section : {"published", "computed"}) {
    const auto& sec = doc.at(section);
    const std::string passphrase = sec.contains("passphrase") ? sec.at("passphrase").get<std::string>() : "";
    for (const auto& v : sec.at("vectors")) {
      const std::string phrase = v.at("mnemonic");
      const std::string pass = v.contains("passphrase") ? v.at("passphrase").get<std::string>() : passphrase;
      const auto entropy = vek_signer::hex_decode(v.at("entropy").get<std::string>());
      ASSERT_TRUE(entropy.has_value());
      auto from_entropy = Mnemonic::from_entropy(*entropy);
      ASSERT_TRUE(from_entropy.has_value());
      EXPECT_EQ(text_of(from_entropy->phrase()), phrase);
      auto parsed = Mnemonic::from_phrase(phrase);
      ASSERT_TRUE(parsed.has_value()) << parsed.error().display();
      EXPECT_EQ(text_of(parsed->phrase()), phrase);
      EXPECT_EQ(vek_signer::hex_encode(parsed->to_seed(pass).span()), v.at("seed").get<std::string>()) << phrase;
      ++checked;
    }
  }
  EXPECT_GE(checked, 24);
}

TEST(Mnemonic, SeedEqualsOpenSslPbkdf2ForLongPasswordsAndSalts) {
  // Keys over one SHA-512 block are hashed first; salts of any length go through the
  // general path. Compare against OpenSSL's own PBKDF2 for both.
  for (std::size_t plen : {0u, 1u, 127u, 128u, 129u, 300u}) {
    for (std::size_t slen : {0u, 8u, 119u, 200u}) {
      std::string password(plen, 'p'), salt(slen, 's');
      for (std::size_t i = 0; i < plen; ++i) password[i] = static_cast<char>('a' + i % 26);
      std::uint8_t ours[100], theirs[100];
      vek_signer::pbkdf2_hmac_sha512({reinterpret_cast<const std::uint8_t*>(password.data()), plen},
                                     {reinterpret_cast<const std::uint8_t*>(salt.data()), slen}, 7, ours);
      ASSERT_EQ(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(plen),
                                  reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(slen), 7,
                                  EVP_sha512(), 100, theirs),
                1);
      EXPECT_EQ(vek_signer::hex_encode(ours), vek_signer::hex_encode(theirs)) << plen << " " << slen;
    }
  }
}

TEST(Mnemonic, GenerateGivesValidDistinctPhrases) {
  for (auto [count, words] : {std::pair{WordCount::Twelve, 12u}, std::pair{WordCount::TwentyFour, 24u}}) {
    auto a = Mnemonic::generate(count);
    auto b = Mnemonic::generate(count);
    ASSERT_TRUE(a && b);
    const std::string ta = text_of(a->phrase());
    EXPECT_NE(ta, text_of(b->phrase()));
    EXPECT_EQ(static_cast<unsigned>(std::count(ta.begin(), ta.end(), ' ')) + 1, words);
    EXPECT_NE(ta.front(), ' ');
    EXPECT_NE(ta.back(), ' ');
    auto again = Mnemonic::from_phrase(ta);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(text_of(again->phrase()), ta);
  }
}

TEST(Mnemonic, RejectionTexts) {
  const std::string eleven = kZero.substr(0, kZero.rfind(' '));
  struct Case {
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {"", "invalid mnemonic phrase: the word `` is invalid"},
      {kZero + " ", "invalid mnemonic phrase: the word `` is invalid"},
      {" " + kZero, "invalid mnemonic phrase: the word `` is invalid"},
      {"abandon  " + kZero.substr(8), "invalid mnemonic phrase: the word `` is invalid"},
      {"ABANDON" + kZero.substr(7), "invalid mnemonic phrase: the word `ABANDON` is invalid"},
      {"abandon\tabandon", "invalid mnemonic phrase: the word `abandon\tabandon` is invalid"},
      {kZero + " abandon", "invalid mnemonic phrase: the mnemonic's entropy length `18` is invalid"},
      {"abandon", "invalid mnemonic phrase: the mnemonic's entropy length `2` is invalid"},
      {eleven, "invalid mnemonic phrase: the phrase `" + eleven + "` is invalid"},
      // Twelve known words whose last one is not the checksum word.
      {eleven + " abandon", "invalid mnemonic phrase: the phrase `" + eleven + " abandon` is invalid"},
      {"zoo zoo zoo zoo zoo zoo zoo zoo zoo zoo zoo zoo", "invalid mnemonic phrase: the phrase `zoo zoo zoo zoo zoo zoo zoo zoo zoo zoo zoo zoo` is invalid"},
  };
  for (const auto& c : cases) EXPECT_EQ(phrase_error(c.input), c.message) << c.input;
}

TEST(Mnemonic, OddLengthsRoundUpToValidByteCounts) {
  // 14, 17, 20 and 23 words pack into a valid byte count but never equal a canonical phrase.
  for (int n : {14, 17, 20, 23}) {
    std::string text;
    for (int i = 0; i < n; ++i) text += (i ? " abandon" : "abandon");
    EXPECT_EQ(phrase_error(text), "invalid mnemonic phrase: the phrase `" + text + "` is invalid") << n;
  }
  for (int n : {15, 18, 21}) {
    auto m = Mnemonic::from_entropy(std::vector<std::uint8_t>(static_cast<std::size_t>(n) * 4 / 3, 0x5a));
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->word_count(), static_cast<std::size_t>(n));
    EXPECT_TRUE(Mnemonic::from_phrase(text_of(m->phrase())).has_value());
  }
}

TEST(Mnemonic, ErrorDisplay) {
  EXPECT_EQ((vek_signer::MnemonicError{vek_signer::MnemonicErrorKind::GenerationFailed, "x"}).display(),
            "mnemonic generation failed: x");
}
