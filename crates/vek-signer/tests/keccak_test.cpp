// Keccak-256 (padding 0x01) against vectors/keccak256.json: the Keccak team's KAT
// entries (incl. the 135/136/137-byte rate boundary), computed values with SHA3-256
// beside them for contrast, and the EIP-191 prefixed digests.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "vek/signer/hash.h"
#include "vek/signer/hex.h"

#include "test_vectors.h"

namespace {

using vek_test::load;
using vek_test::unhex;

using vek_signer::hex_encode;
using vek_signer::keccak256;

std::string keccak_hex(std::span<const std::uint8_t> data) { return hex_encode(keccak256(data)); }

std::string sha3_256_hex(std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, 32> out{};
  unsigned int len = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &len, EVP_sha3_256(), nullptr), 1);
  return hex_encode(out);
}

TEST(Keccak256, KnownAnswerTests) {
  const auto v = load("keccak256.json");
  ASSERT_FALSE(v["kat"].empty());
  for (const auto& e : v["kat"]) {
    const auto msg = unhex(e["msg"].get<std::string>());
    ASSERT_EQ(msg.size() * 8, e["len_bits"].get<std::size_t>());
    EXPECT_EQ(keccak_hex(msg), e["md"].get<std::string>()) << "len_bits " << e["len_bits"];
  }
}

TEST(Keccak256, RateBoundaryIsCovered) {
  // 135 bytes: both padding bits land in the last byte of one block; 136: a whole
  // padding block follows; 137: one byte spills into the second block.
  const auto v = load("keccak256.json");
  std::vector<std::size_t> lens;
  for (const auto& e : v["kat"]) lens.push_back(e["len_bits"].get<std::size_t>() / 8);
  for (std::size_t want : {135u, 136u, 137u}) {
    EXPECT_NE(std::find(lens.begin(), lens.end(), want), lens.end()) << want;
  }
}

TEST(Keccak256, ComputedAndDiffersFromSha3) {
  const auto v = load("keccak256.json");
  for (const auto& e : v["computed"]["vectors"]) {
    const auto msg = unhex(e["input_hex"].get<std::string>());
    const std::string k = keccak_hex(msg);
    EXPECT_EQ(k, e["keccak256"].get<std::string>()) << e["input_description"];
    EXPECT_EQ(sha3_256_hex(msg), e["sha3_256_for_contrast"].get<std::string>());
    EXPECT_NE(k, e["sha3_256_for_contrast"].get<std::string>());
  }
}

TEST(Keccak256, EmptyInput) {
  EXPECT_EQ(keccak_hex({}), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
  EXPECT_NE(keccak_hex({}), sha3_256_hex({}));
}

TEST(Keccak256, Eip191PrefixedDigests) {
  const auto v = load("keccak256.json");
  for (const auto& e : v["eip191"]["vectors"]) {
    const std::string m = e["message_utf8"].get<std::string>();
    const std::string prefixed = "\x19" "Ethereum Signed Message:\n" + std::to_string(m.size()) + m;
    const std::vector<std::uint8_t> bytes(prefixed.begin(), prefixed.end());
    EXPECT_EQ(hex_encode(bytes), e["prefixed_input_hex"].get<std::string>());
    EXPECT_EQ(keccak_hex(bytes), e["keccak256"].get<std::string>());
  }
}

TEST(Keccak256, EveryLengthUpToThreeBlocksIsDistinctAndStable) {
  // Lengths 0 .. 300 each give a distinct digest, stable across calls;
  // this catches padding written past the block or a block absorbed twice.
  std::vector<std::string> seen;
  std::vector<std::uint8_t> buf;
  for (std::size_t n = 0; n <= 300; ++n) {
    const std::string d = keccak_hex(buf);
    EXPECT_EQ(d, keccak_hex(buf));
    EXPECT_EQ(std::find(seen.begin(), seen.end(), d), seen.end()) << n;
    seen.push_back(d);
    buf.push_back(static_cast<std::uint8_t>(n * 7 + 1));
  }
}

}  // namespace
