// What the signer tests share: the vector files in tests/vectors and hex text as bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vek/signer/hex.h"

namespace vek_test {

// The whole text of tests/vectors/{name}; a missing file fails the calling test.
inline std::string read_vector_file(std::string_view name) {
  const std::string path = std::string(VEK_TEST_DATA_DIR) + "/" + std::string(name);
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// tests/vectors/{name} parsed as JSON.
inline nlohmann::json load(std::string_view name) { return nlohmann::json::parse(read_vector_file(name)); }

// Bytes of hex text written by a vector file or a test; bad hex fails the calling test.
inline std::vector<std::uint8_t> unhex(const std::string& hex) {
  auto bytes = vek_signer::hex_decode(hex);
  EXPECT_TRUE(bytes.has_value()) << hex;
  return bytes.value_or(std::vector<std::uint8_t>{});
}

}  // namespace vek_test
