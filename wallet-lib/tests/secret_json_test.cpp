// The key-document reader: which member values it hands back, and which texts it refuses
// (with the position of the fault and nothing of the input).
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "../src/secret/secret_json.h"
#include "vek/core/config.h"

namespace {

using vek_lib::read_secret_strings;

constexpr std::array<std::string_view, 2> kNames = {"secp256k1", "ed25519"};

std::optional<std::string> text(const std::optional<vek_signer::SecretBytes>& b) {
  if (!b) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(b->data()), b->size());
}

struct Read {
  std::string_view doc;
  std::optional<std::string> secp;
  std::optional<std::string> ed;
};

TEST(SecretJson, MemberValues) {
  const Read cases[] = {
      {R"({"ed25519":"ab","secp256k1":"cd"})", "cd", "ab"},
      {" \t\r\n{ \"secp256k1\" : \"x\" , \"ed25519\" : \"\" } \n", "x", ""},
      // Escapes are resolved, in names as in values, surrogate pairs included.
      {R"({"secp\u0032\u00356k1":"a\"b\\c\/d\b\f\n\r\t","ed25519":"\u00e9\ud83d\ude00"})", "a\"b\\c/d\b\f\n\r\t",
       "\xc3\xa9\xf0\x9f\x98\x80"},
      {"{\"ed25519\":\"\xc3\xa9\"}", std::nullopt, "\xc3\xa9"},
      // Values of other kinds, nested or not, are skipped and count as absent.
      {R"({"secp256k1":5,"ed25519":{"secp256k1":"inner"},"x":[1,-2.5e+3,true,false,null,[],{}]})", std::nullopt,
       std::nullopt},
      // When a name occurs twice the last member counts.
      {R"({"secp256k1":"first","secp256k1":"second","ed25519":"e","ed25519":null})", "second", std::nullopt},
      // Documents that are not objects have no members.
      {R"(["secp256k1","ed25519"])", std::nullopt, std::nullopt},
      {R"("secp256k1")", std::nullopt, std::nullopt},
      {"-0", std::nullopt, std::nullopt},
      {"{}", std::nullopt, std::nullopt},
  };
  for (const Read& c : cases) {
    auto r = read_secret_strings(c.doc, kNames);
    ASSERT_TRUE(r.has_value()) << c.doc << ": " << r.error();
    ASSERT_EQ(r->size(), 2u);
    EXPECT_EQ(text((*r)[0]), c.secp) << c.doc;
    EXPECT_EQ(text((*r)[1]), c.ed) << c.doc;
  }
}

TEST(SecretJson, Refusals) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "unexpected end of input at line 1 column 1"},
      {"   ", "unexpected end of input at line 1 column 4"},
      {R"({"secp256k1":"ab")", "unexpected end of input at line 1 column 18"},
      {R"({"secp256k1":"ab)", "unexpected end of input in a string at line 1 column 17"},
      {R"({"secp256k1":"ab",})", "expected a string key at line 1 column 19"},
      {R"({"secp256k1" "ab"})", "expected `:` at line 1 column 14"},
      {R"({"a":1 "b":2})", "expected `,` or `}` at line 1 column 8"},
      {R"({secp256k1:"ab"})", "expected a string key or `}` at line 1 column 2"},
      {R"({"a":[1,]})", "expected a value at line 1 column 9"},
      {R"({"a":[1 2]})", "expected `,` or `]` at line 1 column 9"},
      {R"({"a":tru})", "expected a value at line 1 column 6"},
      {R"({"a":01})", "invalid number at line 1 column 7"},
      {R"({"a":1.})", "invalid number at line 1 column 8"},
      {R"({"a":-})", "invalid number at line 1 column 7"},
      {R"({"a":1e})", "invalid number at line 1 column 8"},
      {R"({"a":"\x"})", "invalid escape at line 1 column 8"},
      {R"({"a":"\u12g4"})", "invalid \\u escape at line 1 column 11"},
      {R"({"a":"\udc00"})", "lone surrogate in \\u escape at line 1 column 7"},
      {R"({"a":"\ud800x"})", "lone surrogate in \\u escape at line 1 column 7"},
      {R"({"a":"\ud800\u0041"})", "lone surrogate in \\u escape at line 1 column 7"},
      {"{\"a\":\"\t\"}", "control character in a string at line 1 column 7"},
      {"{\n\"secp256k1\":\"00\"}\n}", "trailing characters at line 3 column 1"},
      {"{} {}", "trailing characters at line 1 column 4"},
  };
  for (const auto& [doc, message] : cases) {
    auto r = read_secret_strings(doc, kNames);
    ASSERT_FALSE(r.has_value()) << doc;
    EXPECT_EQ(r.error(), message) << doc;
  }
}

// The key document and the configuration are read by the same reader: a syntax fault
// is reported in the same words at the same place.
TEST(SecretJson, SyntaxErrorsAsTheConfigurationReaderReportsThem) {
  using namespace std::string_view_literals;
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "unexpected end of input at line 1 column 1"},
      {"{\"a\":1} x", "trailing characters at line 1 column 9"},
      {"{\"a\":[1,2,]}", "expected a value at line 1 column 11"},
      {"{\"a\":\"\xff\"}", "invalid UTF-8 in a string at line 1 column 7"},
      {"{\n\"a\" 1}", "expected `:` at line 2 column 5"},
      // A NUL byte is not the end of the text.
      {"{\"a\":\0}"sv, "expected a value at line 1 column 6"},
      {"[1\0]"sv, "expected `,` or `]` at line 1 column 3"},
      {"{\"a\":1\0}"sv, "expected `,` or `}` at line 1 column 7"},
      {"{\0}"sv, "expected a string key or `}` at line 1 column 2"},
  };
  for (const auto& [doc, message] : cases) {
    auto secret = read_secret_strings(doc, kNames);
    auto config = vek_core::Config::parse(doc);
    ASSERT_FALSE(secret.has_value()) << doc;
    ASSERT_FALSE(config.has_value()) << doc;
    EXPECT_EQ(secret.error(), message) << doc;
    EXPECT_EQ(config.error(), message) << doc;
  }
}

TEST(SecretJson, NestingIsBounded) {
  const int limit = vek_lib::kSecretJsonMaxDepth;
  // The top-level object is level 1.
  auto nested = [](int levels) {
    return "{\"a\":" + std::string(static_cast<std::size_t>(levels - 1), '[') +
           std::string(static_cast<std::size_t>(levels - 1), ']') + "}";
  };
  EXPECT_TRUE(read_secret_strings(nested(limit), kNames).has_value());
  auto deep = read_secret_strings(nested(limit + 1), kNames);
  ASSERT_FALSE(deep.has_value());
  EXPECT_EQ(deep.error(), "nesting deeper than 128 levels at line 1 column " + std::to_string(5 + limit));
  // Far deeper input fails the same way instead of exhausting the stack.
  EXPECT_FALSE(read_secret_strings(std::string(1000000, '['), kNames).has_value());
}

}  // namespace
