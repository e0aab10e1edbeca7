// EIP-712 digests against the standard's own example, recovery of EVM signers, and
// the refusals of malformed typed data.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "vek/signer/chains/evm.h"
#include "vek/signer/eip712.h"
#include "vek/signer/hex.h"
#include "vek/signer/verify.h"

#include "test_vectors.h"

namespace {

using nlohmann::json;
using vek_test::load;
using vek_test::unhex;

TEST(Eip712, TheStandardsExampleDigestSignatureAndSigner) {
  const json v = load("eip712.json")["mail"];
  const auto digest = vek_signer::typed_data_hash(v["typed_data"].dump());
  ASSERT_TRUE(digest) << digest.error().display();
  EXPECT_EQ(vek_signer::hex_encode(*digest), v["digest"].get<std::string>());

  const auto key = unhex(v["key"].get<std::string>());
  auto sig = vek_signer::EvmSigner().sign(key, *digest);
  ASSERT_TRUE(sig);
  sig->signature[64] = static_cast<std::uint8_t>(sig->signature[64] + 27);
  EXPECT_EQ(vek_signer::hex_encode(sig->signature), v["signature"].get<std::string>());
  for (const int offset : {0, 27}) {  // v as 0/1 and as 27/28
    auto s = sig->signature;
    s[64] = static_cast<std::uint8_t>(s[64] - 27 + offset);
    EXPECT_EQ(vek_signer::evm_recover_address(*digest, s).value(), v["address"].get<std::string>());
  }
  // The domain's type implied from its members gives the same digest.
  json implied = v["typed_data"];
  implied["types"].erase("EIP712Domain");
  EXPECT_EQ(vek_signer::hex_encode(vek_signer::typed_data_hash(implied.dump()).value()), v["digest"].get<std::string>());
}

TEST(Eip712, RecoveryRefusesMalformedSignatures) {
  const std::vector<std::uint8_t> hash(32, 7);
  std::vector<std::uint8_t> sig(65, 1);
  const auto error = [&](std::span<const std::uint8_t> h, std::span<const std::uint8_t> s) {
    return vek_signer::evm_recover_address(h, s).error().display();
  };
  EXPECT_EQ(error(std::span(hash).first(31), sig), "invalid message: expected 32-byte hash, got 31 bytes");
  EXPECT_EQ(error(hash, std::span(sig).first(64)),
            "invalid message: expected a 65-byte signature (r || s || v), got 64 bytes");
  sig[64] = 2;
  EXPECT_EQ(error(hash, sig), "invalid message: signature v must be 0, 1, 27 or 28, got 2");
  sig.assign(65, 0);  // r = s = 0
  EXPECT_EQ(error(hash, sig), "invalid message: the signature recovers no public key");
}

// Each malformed document is refused with a message naming what is wrong and where.
TEST(Eip712, MalformedTypedDataIsRefusedByName) {
  const json mail = load("eip712.json")["mail"]["typed_data"];
  struct Case {
    std::string what;
    std::function<void(json&)> edit;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"no types", [](json& d) { d.erase("types"); }, "types: missing"},
      {"unknown primary type", [](json& d) { d["primaryType"] = "Letter"; },
       "primaryType: 'Letter' is not one of the types"},
      {"unknown member type", [](json& d) { d["types"]["Person"][1]["type"] = "adress"; },
       "types.Person.wallet: unknown type 'adress'"},
      {"uint of no size", [](json& d) { d["types"]["Person"][1]["type"] = "uint7"; },
       "types.Person.wallet: unknown type 'uint7'"},
      {"missing member", [](json& d) { d["message"]["to"].erase("wallet"); },
       "message.to.wallet: missing (Person has a member wallet of type address)"},
      {"address of a number", [](json& d) { d["message"]["to"]["wallet"] = 5; },
       "message.to.wallet: expected an address (0x and 40 hex digits), got an integer"},
      {"bad checksum", [](json& d) { d["message"]["to"]["wallet"] = "0xBBbBBBBbbBBBbbbBbbBbbbbBBbBbbbbBbBbbBBbB"; },
       "message.to.wallet: the address '0xBBbBBBBbbBBBbbbBbbBbbbbBBbBbbbbBbBbbBBbB' has mixed case but not its EIP-55 "
       "checksum"},
      {"chain id too large", [](json& d) { d["domain"]["chainId"] = "0x1" + std::string(64, '0'); },
       "domain.chainId: integer does not fit in 256 bits"},
      {"negative uint", [](json& d) { d["domain"]["chainId"] = "-1"; }, "domain.chainId: integer out of range for uint256"},
      {"float", [](json& d) { d["domain"]["chainId"] = 1.5; },
       "domain.chainId: expected an integer, got a number with a fraction, an exponent or more than 64 bits (write "
       "large integers as strings)"},
      {"not JSON", [](json& d) { d = "{"; }, ""},
  };
  for (const Case& c : cases) {
    json d = mail;
    c.edit(d);
    const std::string text = c.what == "not JSON" ? std::string("{") : d.dump();
    const auto r = vek_signer::typed_data_hash(text);
    ASSERT_FALSE(r) << c.what;
    if (c.error.empty()) {
      EXPECT_TRUE(r.error().display().starts_with("invalid message: typed data: not valid JSON: ")) << r.error().display();
    } else {
      EXPECT_EQ(r.error().display(), "invalid message: typed data: " + c.error) << c.what;
    }
  }
}

// intN and uintN bounds, bytesN lengths and fixed array lengths.
TEST(Eip712, IntegerBoundsBytesAndArrays) {
  const auto with = [](const std::string& type, const json& value) {
    json d = {{"types", {{"EIP712Domain", json::array()}, {"T", {{{"name", "v"}, {"type", type}}}}}},
              {"primaryType", "T"},
              {"domain", json::object()},
              {"message", {{"v", value}}}};
    return vek_signer::typed_data_hash(d.dump());
  };
  EXPECT_TRUE(with("int8", -128));
  EXPECT_TRUE(with("int8", "127"));
  EXPECT_FALSE(with("int8", 128));
  EXPECT_FALSE(with("int8", -129));
  EXPECT_TRUE(with("int256", "-0x8" + std::string(63, '0')));
  EXPECT_FALSE(with("int256", "0x8" + std::string(63, '0')));
  EXPECT_TRUE(with("uint8", "0xff"));
  EXPECT_FALSE(with("uint8", "256"));
  EXPECT_EQ(with("bytes2", "0x010203").error().display(),
            "invalid message: typed data: message.v: expected at most 2 bytes for bytes2, got 3");
  EXPECT_EQ(with("uint8[2]", json::array({1})).error().display(),
            "invalid message: typed data: message.v: expected 2 elements, got 1");
  // One value in two spellings gives one digest; another type, another digest.
  EXPECT_EQ(with("int8", -1).value(), with("int8", "-0x1").value());
  EXPECT_NE(with("int8", -1).value(), with("int16", -1).value());
}

}  // namespace
