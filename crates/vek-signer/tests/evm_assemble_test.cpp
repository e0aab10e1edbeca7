// The EVM family's assemble slot (transaction fields as JSON to the unsigned typed
// transaction) against eth-account's serialisation of the same fields (the signed
// transaction eth-account 0.14 gives, its y-parity, r and s removed), and the EIP-191
// signable-message digest.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "evm/family.h"
#include "evm/signer.h"
#include "vek/signer/chains.h"
#include "vek/signer/hex.h"

namespace {

using vek_signer::evm_family;

vek_core::Chain chain(const char* name) { return *vek_signer::parse_chain(name); }

std::string assembled_hex(const std::string& json, const char* on = "ethereum") {
  auto out = evm_family().assemble(json, chain(on));
  if (!out) return "error: " + out.error().detail;
  return vek_signer::hex_encode(out->unsigned_tx);
}

TEST(EvmAssemble, MatchesEthAccountsSerialisation) {
  // Integers as JSON numbers and as hex text of either length; chainId left to the chain.
  EXPECT_EQ(assembled_hex(R"({"type": 2, "gas": 100000, "maxFeePerGas": 2000000000,
      "maxPriorityFeePerGas": "0x77359400", "data": "0x616263646566", "nonce": 34,
      "to": "0x09616C3d61b3331fc4109a9E41a8BDB7d9776609", "value": "0x5af3107a4000",
      "accessList": [{"address": "0x0000000000000000000000000000000000000001",
        "storageKeys": ["0x0100000000000000000000000000000000000000000000000000000000000000"]}]})"),
            "02f86d012284773594008477359400830186a09409616c3d61b3331fc4109a9e41a8bdb7d9776609865af3107a40008661"
            "6263646566f838f7940000000000000000000000000000000000000001e1a00100000000000000000000000000000000000000"
            "000000000000000000000000");
  // Type 1 inferred from gasPrice and an access list; no recipient: a contract creation.
  EXPECT_EQ(assembled_hex(R"({"gas": 53000, "gasPrice": "0x7", "nonce": 0, "value": 0, "input": "0x00",
      "accessList": [], "chainId": 1, "to": null})"),
            "01ca01800782cf08808000c0");
}

TEST(EvmAssemble, RefusesWhatIsNotAFullTypedTransaction) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"gas": 1, "nonce": 0, "gasPrice": 1})",
       "legacy transactions (gasPrice without an access list) are not signed yet; give maxFeePerGas and "
       "maxPriorityFeePerGas"},
      {R"({"gas": 1, "nonce": 0})", "the fees are missing: give maxFeePerGas and maxPriorityFeePerGas"},
      {R"({"gas": 1, "nonce": 0, "type": 2, "gasPrice": 1})", "a type 2 transaction has no gasPrice"},
      {R"({"gas": 1, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1})", "nonce is missing"},
      {R"({"gas": 1, "nonce": -1, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1})",
       "nonce must be a non-negative integer or 0x-hex text, got an integer"},
      {R"({"gas": 1, "nonce": 1.5, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1})",
       "nonce must be a non-negative integer or 0x-hex text, got a floating-point number"},
      {R"({"gas": "0x", "nonce": 0, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1})", "gas has no digits"},
      {R"({"gas": 1, "nonce": 0, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1, "data": "6162"})",
       "data must be 0x-hex text, got '6162'"},
      {R"({"gas": 1, "nonce": 0, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1, "data": "0x", "input": "0x"})",
       "give data or input, not both"},
      {R"({"gas": 1, "nonce": 0, "maxFeePerGas": 1, "maxPriorityFeePerGas": 1, "accessList": [{"x": 1}]})",
       "accessList[0] has an unknown member 'x'"},
      {R"([1])", "expected an object, got an array"},
  };
  for (const auto& [json, text] : cases) {
    EXPECT_EQ(assembled_hex(json), std::string("error: transaction fields: ") + text) << json;
  }
}

TEST(EvmAssemble, SignableMessageDigests) {
  using vek_signer::EvmSigner;
  const std::string m = "hi";
  const std::vector<std::uint8_t> body(m.begin(), m.end());
  const std::string header = "thereum Signed Message:\n2";
  const auto personal = EvmSigner::signable_message_hash(
      'E', {reinterpret_cast<const std::uint8_t*>(header.data()), header.size()}, body);
  ASSERT_TRUE(personal.has_value());
  EXPECT_EQ(*personal, EvmSigner::personal_message_hash(body));
  const std::vector<std::uint8_t> hash(32, 1), short_hash(31, 1);
  EXPECT_TRUE(EvmSigner::signable_message_hash(0x01, hash, hash).has_value());
  EXPECT_EQ(EvmSigner::signable_message_hash(0x01, hash, short_hash).error().detail,
            "EIP-191 version 0x01: the header and the body must be 32-byte hashes");
  EXPECT_EQ(EvmSigner::signable_message_hash('E', hash, body).error().detail,
            "EIP-191 version 0x45: the header must be \"thereum Signed Message:\\n\" and the body's length");
  EXPECT_EQ(EvmSigner::signable_message_hash(0x02, hash, hash).error().detail,
            "EIP-191 version 0x02 is not signed (versions 0x00, 0x01 and 0x45 are)");
}

}  // namespace
