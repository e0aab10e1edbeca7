// Base58/Base58Check, bech32 (BIP-173), base64/base64url (RFC 4648) and CRC-16/XMODEM
// against the published vectors in tests/vectors, plus their refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "vek/signer/bech32.h"
#include "vek/signer/crc16.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"

#include "test_vectors.h"

using namespace vek_signer;
using nlohmann::json;

namespace {

using vek_test::load;
using vek_test::unhex;

std::string bytes_text(const std::string& hex) {
  const auto b = unhex(hex);
  return std::string(b.begin(), b.end());
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TEST(Base58, PublishedVectorsEncodeAndDecode) {
  const auto v = load("base58.json");
  for (const auto& e : v["base58"]) {
    const auto bytes = unhex(e["hex"]);
    EXPECT_EQ(base58_encode(bytes), e["base58"].get<std::string>()) << e["hex"];
    auto back = base58_decode(e["base58"].get<std::string>());
    ASSERT_TRUE(back) << e["base58"];
    EXPECT_EQ(*back, bytes);
  }
}

TEST(Base58, CheckVectorsAndChecksum) {
  const auto v = load("base58.json");
  for (const auto& e : v["base58check"]) {
    const auto payload = unhex(e["payload"]);
    const std::string text = e["base58check"];
    EXPECT_EQ(base58check_encode(payload), text);
    auto back = base58check_decode(text);
    ASSERT_TRUE(back) << text;
    EXPECT_EQ(*back, payload);
    // The raw decoding ends in the listed checksum.
    auto raw = base58_decode(text);
    ASSERT_TRUE(raw);
    EXPECT_EQ(hex_encode(std::span(*raw).last(4)), e["checksum"].get<std::string>());
  }
}

TEST(Base58, Refusals) {
  // 0, O, I and l are not in the alphabet; nor is anything outside ASCII.
  for (const std::string bad : {"0", "1O", "11I1", "abl", "2g\xc3\xa9", " 2g"}) {
    auto r = base58_decode(bad);
    ASSERT_FALSE(r) << bad;
    EXPECT_EQ(r.error().code, ErrorCode::Base58InvalidCharacter);
  }
  EXPECT_EQ(base58_decode("11I1").error().display(), "invalid base58 character at position 2");

  // One changed character breaks the checksum; too few bytes cannot hold one.
  auto bad_sum = base58check_decode("TNPeeaaFB7K9cmo4uQpcU32zGK8G1NYqeM");
  ASSERT_FALSE(bad_sum);
  EXPECT_EQ(bad_sum.error().display(), "base58check checksum mismatch");
  auto short_text = base58check_decode(base58_encode(std::vector<std::uint8_t>{1, 2, 3}));
  ASSERT_FALSE(short_text);
  EXPECT_EQ(short_text.error().code, ErrorCode::Base58TooShort);
  // Exactly four bytes is an empty payload with its checksum.
  auto empty_payload = base58check_decode(base58check_encode({}));
  ASSERT_TRUE(empty_payload);
  EXPECT_TRUE(empty_payload->empty());
}

TEST(Base64, Rfc4648Vectors) {
  const auto v = load("rfc4648-base64.json");
  for (const char* table : {"test_vectors", "illustrations", "extra"}) {
    for (const auto& e : v[table]) {
      const auto bytes = unhex(e["input_hex"]);
      const std::string std64 = e["base64"], url64 = e["base64url_unpadded"];
      EXPECT_EQ(base64_encode(bytes), std64) << e["input_hex"];
      EXPECT_EQ(base64url_encode(bytes), url64) << e["input_hex"];
      auto a = base64_decode(std64);
      auto b = base64url_decode(url64);
      ASSERT_TRUE(a && b) << e["input_hex"];
      EXPECT_EQ(*a, bytes);
      EXPECT_EQ(*b, bytes);
    }
  }
}

TEST(Base64, Refusals) {
  struct Case {
    bool url;
    std::string text;
    ErrorCode kind;
  };
  const Case cases[] = {
      {false, "Zg=", ErrorCode::Base64InvalidLength},       // padding missing
      {false, "Zg", ErrorCode::Base64InvalidLength},        // standard form needs padding
      {false, "Zm9v====", ErrorCode::Base64InvalidCharacter},
      {false, "Z===", ErrorCode::Base64InvalidCharacter},
      {false, "-_8=", ErrorCode::Base64InvalidCharacter},   // URL-safe digits in standard text
      {false, "Zh==", ErrorCode::Base64NonCanonical},       // "f" is Zg==; Zh sets a padding bit
      {true, "+/8", ErrorCode::Base64InvalidCharacter},
      {true, "Zg==", ErrorCode::Base64InvalidCharacter},    // URL-safe form is unpadded
      {true, "Zm9vY", ErrorCode::Base64InvalidLength},      // 5 characters cannot end a byte
      {true, "Zm9", ErrorCode::Base64NonCanonical},         // "fo" is Zm8
  };
  for (const auto& c : cases) {
    auto r = c.url ? base64url_decode(c.text) : base64_decode(c.text);
    ASSERT_FALSE(r) << c.text;
    EXPECT_EQ(r.error().code, c.kind) << c.text;
  }
  EXPECT_EQ(base64_decode("Zg=A").error().display(), "invalid base64 character at position 2");
}

TEST(Crc16, XmodemVectors) {
  const auto v = load("crc16-xmodem.json");
  for (const auto& e : v["vectors"]) {
    const auto crc = crc16_xmodem(unhex(e["input_hex"]));
    EXPECT_EQ(crc, std::stoul(e["crc"].get<std::string>(), nullptr, 16)) << e["input_description"];
  }
  const std::string check = "123456789";
  EXPECT_EQ(crc16_xmodem(std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())), 0x31C3);
}

TEST(Bech32, ValidStringsDecodeAndReencode) {
  const auto v = load("bip173.json");
  for (const auto& e : v["valid_bech32"]) {
    const std::string s = e["string"];
    auto d = bech32_decode(s);
    ASSERT_TRUE(d) << s << ": " << d.error().display();
    EXPECT_EQ(d->hrp, e["hrp"].get<std::string>());
    EXPECT_EQ(d->data.size(), e["data_5bit_length"].get<std::size_t>());
    auto again = bech32_encode(d->hrp, d->data, kBech32MaxLength);
    ASSERT_TRUE(again) << s;
    EXPECT_EQ(*again, lower(s));
  }
}

TEST(Bech32, InvalidStringsAreRefused) {
  const auto v = load("bip173.json");
  for (const auto& e : v["invalid_bech32"]) {
    EXPECT_FALSE(bech32_decode(bytes_text(e["bytes_hex"]))) << e["as_published"] << " (" << e["reason"] << ")";
  }
  // Bech32m (BIP-350) strings never carry a valid bech32 checksum.
  for (const auto& s : v["bip350_bech32m_strings"]["strings"]) {
    auto d = bech32_decode(s.get<std::string>());
    ASSERT_FALSE(d) << s;
    EXPECT_EQ(d.error().code, ErrorCode::Bech32InvalidChecksum) << s;
  }
}

TEST(Bech32, SegwitAddresses) {
  const auto v = load("bip173.json");
  for (const auto& e : v["valid_segwit"]) {
    const std::string addr = e["address"];
    auto d = segwit_decode(e["hrp"].get<std::string>(), addr);
    if (e["witness_version"].get<int>() != 0) {
      // Versions 1 to 16 need bech32m since BIP-350.
      ASSERT_FALSE(d) << addr;
      EXPECT_EQ(d.error().code, ErrorCode::Bech32InvalidWitnessVersion);
      continue;
    }
    ASSERT_TRUE(d) << addr << ": " << d.error().display();
    EXPECT_EQ(hex_encode(d->program), e["witness_program"].get<std::string>());
    auto again = segwit_v0_encode(e["hrp"].get<std::string>(), d->program);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, lower(addr));
  }
  for (const auto& e : v["invalid_segwit"]) {
    for (const char* hrp : {"bc", "tb"}) EXPECT_FALSE(segwit_decode(hrp, e["address"].get<std::string>())) << e["address"];
  }
  for (const auto& e : v["examples"]) {
    if (!e.contains("witness_program_hash160")) continue;
    auto a = segwit_v0_encode("bc", unhex(e["witness_program_hash160"]));
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, e["address"].get<std::string>());
  }
}

TEST(Bech32, EncodeRefusalsAndLimits) {
  const std::vector<std::uint8_t> data(32, 7);
  struct Case {
    std::string hrp;
    std::size_t limit;
    std::string display;
  };
  const Case cases[] = {
      {"", kBech32MaxLength, "invalid human-readable part"},
      {"co smos", kBech32MaxLength, "invalid human-readable part"},
      {"Cosmos", kBech32MaxLength, "invalid human-readable part"},  // mixed case
      {"bc\x7f", kBech32MaxLength, "invalid human-readable part"},
      {std::string(84, 'a'), kBech32ExtendedMaxLength, "invalid human-readable part"},
      // 51 + 1 + 32 + 6 = 90 fits exactly; one more character does not.
      {std::string(52, 'a'), kBech32MaxLength, "bech32 string of 91 characters exceeds the limit of 90"},
  };
  for (const auto& c : cases) {
    auto r = bech32_encode(c.hrp, data, c.limit);
    ASSERT_FALSE(r) << c.hrp;
    EXPECT_EQ(r.error().display(), c.display);
  }
  auto fits = bech32_encode(std::string(51, 'a'), data, kBech32MaxLength);
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->size(), 90u);
  auto upper = bech32_encode("BC", data, kBech32MaxLength);
  ASSERT_TRUE(upper);
  EXPECT_EQ(upper->substr(0, 3), "bc1");

  const std::vector<std::uint8_t> wide = {1, 2, 32};
  auto r = bech32_encode("bc", wide, kBech32MaxLength);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), "data value at position 2 does not fit in 5 bits");

  // A SegWit address with an 83-character hrp would be 123 characters long.
  auto long_segwit = segwit_v0_encode(std::string(83, 'x'), std::vector<std::uint8_t>(20, 1));
  ASSERT_FALSE(long_segwit);
  EXPECT_EQ(long_segwit.error().code, ErrorCode::Bech32TooLong);
  EXPECT_EQ(segwit_v0_encode("bc", std::vector<std::uint8_t>(21, 1)).error().code,
            ErrorCode::Bech32InvalidProgramLength);
}

TEST(Bech32, ConvertBitsRoundTripAndPadding) {
  const std::vector<std::uint8_t> bytes = {0x75, 0x1e, 0x76, 0xe8, 0x19, 0x91, 0xd6, 0x45, 0x49, 0x54};
  auto five = convert_bits(bytes, 8, 5, true);
  ASSERT_TRUE(five);
  EXPECT_EQ(five->size(), 16u);
  auto eight = convert_bits(*five, 5, 8, false);
  ASSERT_TRUE(eight);
  EXPECT_EQ(*eight, bytes);

  // 3 five-bit groups hold 15 bits: one byte plus 7 left-over bits, too many to be padding.
  EXPECT_EQ(convert_bits(std::vector<std::uint8_t>{0, 0, 0}, 5, 8, false).error().code,
            ErrorCode::Bech32InvalidPadding);
  // Non-zero padding bits.
  EXPECT_EQ(convert_bits(std::vector<std::uint8_t>{0, 1}, 5, 8, false).error().code, ErrorCode::Bech32InvalidPadding);
  EXPECT_EQ(convert_bits(std::vector<std::uint8_t>{31, 32}, 5, 8, true).error().code,
            ErrorCode::Bech32InvalidDataValue);
}
