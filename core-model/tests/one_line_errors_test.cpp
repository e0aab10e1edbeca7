// Errors that quote text from a wallet file or configuration file (a key, a variant
// name) stay one line whatever control characters that text holds: they are shown as
// JSON escapes, so a warning that quotes the error cannot be split or forged.
#include <gtest/gtest.h>

#include <string>

#include "vek/core/config.h"
#include "vek/core/wallet_file.h"

namespace {

struct Case {
  const char* what;
  std::string text;
  std::string error;
};

// A wallet document whose members after `accounts` are `tail`.
std::string wallet_with(const std::string& tail) {
  return R"({"vek_version":2,"id":"i","name":"n","created_at":"c","accounts":[],"crypto":{},)" + tail + "}";
}

TEST(OneLineErrors, WalletFileQuotesInputEscaped) {
  const Case cases[] = {
      {"chain type with a newline", wallet_with(R"("key_type":"mnemonic","chain_type":"to\nn")"),
       "unknown variant `to\\nn`, expected one of `evm`, `solana`, `cosmos`, `bitcoin`, `tron`, `ton` at line 1 "
       "column 116"},
      {"key type with a carriage return and a tab", wallet_with(R"("key_type":"a\r\tb")"),
       "unknown variant `a\\r\\tb`, expected `mnemonic` or `private_key` at line 1 column 92"},
      {"repeated unknown key with control bytes", wallet_with(R"("key_type":"mnemonic","x\u0001\u007f":1,"x\u0001\u007f":2)"),
       "duplicate field `x\\u0001\\u007f` at line 1 column 121"},
      {"repeated key inside metadata", wallet_with(R"("key_type":"mnemonic","metadata":{"\n":1,"\n":2})"),
       "duplicate field `\\n` at line 1 column 122"},
  };
  for (const Case& c : cases) {
    const auto w = vek_core::wallet_from_json_text(c.text);
    ASSERT_FALSE(w.has_value()) << c.what;
    EXPECT_EQ(w.error(), c.error) << c.what;
  }
}

TEST(OneLineErrors, ConfigurationQuotesInputEscaped) {
  const Case cases[] = {
      {"endpoint key with a newline", R"({"vault_path":"v","rpc":{"eip155:1\n":7}})",
       "invalid type for `rpc.eip155:1\\n`: expected a string, found an integer"},
      {"repeated endpoint key", R"({"vault_path":"v","rpc":{"\b":"a","\b":"b"}})",
       "duplicate field `\\b` at line 1 column 35"},
      {"text outside the control range is kept", R"({"vault_path":"v","rpc":{"\u00e9 \"":1}})",
       "invalid type for `rpc.\xc3\xa9 \"`: expected a string, found an integer"},
  };
  for (const Case& c : cases) {
    const auto config = vek_core::Config::parse(c.text);
    ASSERT_FALSE(config.has_value()) << c.what;
    EXPECT_EQ(config.error(), c.error) << c.what;
  }
}

}  // namespace
