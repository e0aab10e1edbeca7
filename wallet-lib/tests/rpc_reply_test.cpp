// Reading a node's JSON-RPC reply: the `error` member is quoted back as compact JSON,
// byte for byte as the JSON library writes it, however deeply a hostile node nests it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "vek/lib/broadcast.h"

namespace {

using vek_lib::VekLibErrorKind;

TEST(RpcReply, ErrorMemberIsQuotedAsCompactJson) {
  const char* const errors[] = {
      R"(null)",
      R"(-32000)",
      R"(1.5e300)",
      R"("nonce too low")",
      R"({"code":-32000,"message":"nonce too low"})",
      R"({ "z" : [1, -2, 3.25, true, false, null, {}, []], "a" : {"\u00e9\n\"\\" : "\ud83d\ude00\u0001"} })",
      R"([[[{"k":[{"k":[]}]}]],[],{}])",
      R"(18446744073709551615)",
  };
  for (const char* error : errors) {
    const std::string reply = std::string(R"({"jsonrpc":"2.0","id":1,"error":)") + error + "}";
    const auto got = vek_lib::extract_json_field(reply, "result");
    ASSERT_FALSE(got.has_value()) << error;
    EXPECT_EQ(got.error().code, VekLibErrorKind::BroadcastFailed) << error;
    EXPECT_EQ(got.error().detail, "RPC error: " + nlohmann::json::parse(error).dump()) << error;
  }
}

TEST(RpcReply, DeeplyNestedErrorMemberDoesNotExhaustTheStack) {
  // About 2 MB of reply; the recursive writer needed far more than 8 MiB of stack for it.
  constexpr std::size_t kDepth = 1'000'000;
  const std::string nested = std::string(kDepth, '[') + std::string(kDepth, ']');
  const auto got = vek_lib::extract_json_field(R"({"error":)" + nested + "}", "result");
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().code, VekLibErrorKind::BroadcastFailed);
  EXPECT_TRUE(got.error().detail == "RPC error: " + nested);
}

}  // namespace
