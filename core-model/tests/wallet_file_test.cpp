// Wallet file: the exact text written, what reading accepts and refuses, the creation
// time format, and the JSON form of chain families.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "vek/core/chain_json.h"
#include "vek/core/wallet_file.h"

namespace {

using nlohmann::json;
using vek_core::EncryptedWallet;
using vek_core::KeyType;
using vek_core::WalletAccount;

const json kCrypto = json::parse(R"({"kdfparams":{"salt":"00ff","r":8,"p":1,"n":262144,"dklen":32},
  "kdf":"scrypt","ciphertext":"abcd","cipherparams":{"iv":"000102030405060708090a0b"},
  "cipher":"aes-256-gcm","auth_tag":"0123456789abcdef0123456789abcdef"})");

EncryptedWallet sample() {
  EncryptedWallet w = EncryptedWallet::make_new(
      "9b2f6a1e-3c4d-4e5f-8a9b-0c1d2e3f4a5b", "main",
      {{"evm-0", "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "eip155:1", "m/44'/60'/0'/0/0"},
       {"solana-0", "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk", "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
        "m/44'/501'/0'/0'"}},
      kCrypto, KeyType::Mnemonic);
  w.created_at = "2025-01-31T09:15:02.123456+00:00";
  return w;
}

const char* const kSampleText = R"({
  "vek_version": 2,
  "id": "9b2f6a1e-3c4d-4e5f-8a9b-0c1d2e3f4a5b",
  "name": "main",
  "created_at": "2025-01-31T09:15:02.123456+00:00",
  "accounts": [
    {
      "account_id": "evm-0",
      "address": "0x9858EfFD232B4033E47d90003D41EC34EcaEda94",
      "chain_id": "eip155:1",
      "derivation_path": "m/44'/60'/0'/0/0"
    },
    {
      "account_id": "solana-0",
      "address": "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk",
      "chain_id": "solana:5eykt4UsFv8P8NJdTREpY1vzqKqZKvdp",
      "derivation_path": "m/44'/501'/0'/0'"
    }
  ],
  "crypto": {
    "auth_tag": "0123456789abcdef0123456789abcdef",
    "cipher": "aes-256-gcm",
    "cipherparams": {
      "iv": "000102030405060708090a0b"
    },
    "ciphertext": "abcd",
    "kdf": "scrypt",
    "kdfparams": {
      "dklen": 32,
      "n": 262144,
      "p": 1,
      "r": 8,
      "salt": "00ff"
    }
  },
  "key_type": "mnemonic"
})";

// The JSON library's own pretty printer, fed the members in file order.
std::string oracle_text(const EncryptedWallet& w) {
  nlohmann::ordered_json o;
  o["vek_version"] = w.vek_version;
  o["id"] = w.id;
  o["name"] = w.name;
  o["created_at"] = w.created_at;
  if (w.chain_type) o["chain_type"] = vek_core::chain_type_name(*w.chain_type);
  o["accounts"] = nlohmann::ordered_json::array();
  for (const WalletAccount& a : w.accounts) {
    nlohmann::ordered_json ao;
    ao["account_id"] = a.account_id;
    ao["address"] = a.address;
    ao["chain_id"] = a.chain_id;
    ao["derivation_path"] = a.derivation_path;
    o["accounts"].push_back(ao);
  }
  o["crypto"] = nlohmann::ordered_json::parse(w.crypto.dump());
  o["key_type"] = vek_core::key_type_name(w.key_type);
  if (!w.metadata.is_null()) o["metadata"] = nlohmann::ordered_json::parse(w.metadata.dump());
  return o.dump(2);
}

TEST(WalletFile, FreshRecordText) {
  const EncryptedWallet w = sample();
  EXPECT_EQ(w.vek_version, 2u);
  EXPECT_FALSE(w.chain_type.has_value());
  EXPECT_TRUE(w.metadata.is_null());
  auto text = vek_core::wallet_to_json_text(w);
  ASSERT_TRUE(text) << text.error();
  EXPECT_EQ(*text, kSampleText);
  EXPECT_EQ(*text, oracle_text(w));
  auto back = vek_core::wallet_from_json_text(*text);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(*back, w);
}

TEST(WalletFile, NoAccountsAndEmptyCrypto) {
  EncryptedWallet w = EncryptedWallet::make_new("id", "n", {}, json::object(), KeyType::PrivateKey);
  w.created_at = "2025-01-31T09:15:02+00:00";
  EXPECT_EQ(vek_core::wallet_to_json_text(w).value(),
            "{\n  \"vek_version\": 2,\n  \"id\": \"id\",\n  \"name\": \"n\",\n  \"created_at\": "
            "\"2025-01-31T09:15:02+00:00\",\n  \"accounts\": [],\n  \"crypto\": {},\n  \"key_type\": "
            "\"private_key\"\n}");
}

TEST(WalletFile, ChainTypeAndMetadataWrittenWhenPresent) {
  EncryptedWallet w = sample();
  w.chain_type = vek_core::ChainType::Tron;
  w.metadata = json::parse(R"({"z":[1,-2,3.5,true,null,{},[]],"a":{"nested":"\u00e9"},"big":18446744073709551615})");
  const std::string text = vek_core::wallet_to_json_text(w).value();
  EXPECT_EQ(text, oracle_text(w));
  EXPECT_NE(text.find("\"created_at\": \"2025-01-31T09:15:02.123456+00:00\",\n  \"chain_type\": \"tron\",\n"
                      "  \"accounts\""),
            std::string::npos);
  EXPECT_NE(text.find("\"key_type\": \"mnemonic\",\n  \"metadata\": {\n    \"a\": {"), std::string::npos);
  auto back = vek_core::wallet_from_json_text(text);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(*back, w);
}

TEST(WalletFile, Bip39PassphraseMarkWrittenOnlyWhenSetAndReadBack) {
  EncryptedWallet w = sample();
  EXPECT_EQ(vek_core::wallet_to_json_text(w).value().find("bip39_passphrase"), std::string::npos);
  w.bip39_passphrase = true;
  w.metadata = json::parse(R"({"a":1})");
  const std::string text = vek_core::wallet_to_json_text(w).value();
  EXPECT_NE(text.find("\"key_type\": \"mnemonic\",\n  \"bip39_passphrase\": true,\n  \"metadata\""), std::string::npos);
  auto back = vek_core::wallet_from_json_text(text);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(*back, w);
  std::string unmarked = text;
  unmarked.replace(unmarked.find("true"), 4, "false");
  auto off = vek_core::wallet_from_json_text(unmarked);
  ASSERT_TRUE(off) << off.error();
  EXPECT_FALSE(off->bip39_passphrase);
  std::string bad = text;
  bad.replace(bad.find("true"), 4, "1");
  auto refused = vek_core::wallet_from_json_text(bad);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().rfind("invalid type for `bip39_passphrase`: expected a boolean at line", 0), 0u)
      << refused.error();
}

TEST(WalletFile, GeneratedKeysWrittenOnlyWhenSetAndReadBack) {
  EncryptedWallet w = sample();
  EXPECT_EQ(vek_core::wallet_to_json_text(w).value().find("generated_keys"), std::string::npos);
  w.generated_keys = {"ed25519"};
  const std::string text = vek_core::wallet_to_json_text(w).value();
  EXPECT_NE(text.find("\"key_type\": \"mnemonic\",\n  \"generated_keys\": [\n    \"ed25519\"\n  ]"), std::string::npos)
      << text;
  auto back = vek_core::wallet_from_json_text(text);
  ASSERT_TRUE(back) << back.error();
  EXPECT_EQ(*back, w);
  std::string bad = text;
  bad.replace(bad.find("\"ed25519\""), 9, "1");
  auto refused = vek_core::wallet_from_json_text(bad);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().rfind("invalid type for `generated_keys`: expected an array of strings at line", 0), 0u)
      << refused.error();
}

TEST(WalletFile, StringEscaping) {
  EncryptedWallet w = sample();
  w.name = "q\" b\\ / \b\f\n\r\t \x01\x1f \x7f \xc3\xa9 \xf0\x9f\x98\x80";
  const std::string text = vek_core::wallet_to_json_text(w).value();
  EXPECT_NE(text.find(R"("name": "q\" b\\ / \b\f\n\r\t \u0001\u001f )" "\x7f \xc3\xa9 \xf0\x9f\x98\x80\""),
            std::string::npos)
      << text;
  EXPECT_EQ(text, oracle_text(w));
  EXPECT_EQ(vek_core::wallet_from_json_text(text).value().name, w.name);

  w.name = "bad \xff";
  EXPECT_EQ(vek_core::wallet_to_json_text(w).error(), "invalid UTF-8 in the text of `name`");
  w = sample();
  w.metadata = {{"k", "\xc3"}};
  EXPECT_EQ(vek_core::wallet_to_json_text(w).error(), "invalid UTF-8 in the text of `metadata`");
}

TEST(WalletFile, CreatedAtFormat) {
  struct Row {
    std::int64_t secs;
    std::uint32_t nanos;
    const char* text;
  };
  const Row rows[] = {
      {0, 0, "1970-01-01T00:00:00+00:00"},
      {1738314902, 0, "2025-01-31T09:15:02+00:00"},
      {1738314902, 123000000, "2025-01-31T09:15:02.123+00:00"},
      {1738314902, 100000000, "2025-01-31T09:15:02.100+00:00"},
      {1738314902, 123456000, "2025-01-31T09:15:02.123456+00:00"},
      {1738314902, 1000, "2025-01-31T09:15:02.000001+00:00"},
      {1738314902, 123456789, "2025-01-31T09:15:02.123456789+00:00"},
      {1738314902, 1, "2025-01-31T09:15:02.000000001+00:00"},
      {951782400, 999999999, "2000-02-29T00:00:00.999999999+00:00"},
  };
  for (const Row& r : rows) EXPECT_EQ(vek_core::format_created_at(r.secs, r.nanos), r.text);

  const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.(\d{3}|\d{6}|\d{9}))?\+00:00)");
  const std::string before = vek_core::format_created_at(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count(),
      0);
  const EncryptedWallet w = EncryptedWallet::make_new("a", "b", {}, nullptr, KeyType::Mnemonic);
  EXPECT_TRUE(std::regex_match(w.created_at, shape)) << w.created_at;
  EXPECT_LE(before.substr(0, 19), w.created_at.substr(0, 19));
  const EncryptedWallet later = EncryptedWallet::make_new("a", "b", {}, nullptr, KeyType::Mnemonic);
  EXPECT_LE(w.created_at, later.created_at);
}

// A valid document with `{EXTRA}` spliced in after `name` and `{KEY_TYPE}` as the key type.
std::string doc(const std::string& extra = "", const std::string& key_type = R"("mnemonic")",
                const std::string& accounts = R"([{"account_id":"a","address":"b","chain_id":"c","derivation_path":""}])") {
  return R"({"vek_version":2,"id":"i","name":"n",)" + extra + R"("created_at":"t","accounts":)" + accounts +
         R"(,"crypto":{"x":1},"key_type":)" + key_type + "}";
}

TEST(WalletFile, ReadsVariants) {
  struct Row {
    const char* what;
    std::string text;
    void (*check)(const EncryptedWallet&);
  };
  const Row rows[] = {
      {"plain", doc(),
       [](const EncryptedWallet& w) {
         EXPECT_FALSE(w.chain_type);
         EXPECT_TRUE(w.metadata.is_null());
         EXPECT_EQ(w.key_type, KeyType::Mnemonic);
         ASSERT_EQ(w.accounts.size(), 1u);
         EXPECT_EQ(w.accounts[0], (WalletAccount{"a", "b", "c", ""}));
         EXPECT_EQ(w.crypto, json({{"x", 1}}));
       }},
      {"version 1", doc(R"("vek_version":1,)").replace(1, 16, ""),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.vek_version, 1u); }},
      {"version 3", doc().replace(15, 1, "3"), [](const EncryptedWallet& w) { EXPECT_EQ(w.vek_version, 3u); }},
      {"largest version", doc().replace(15, 1, "4294967295"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.vek_version, 4294967295u); }},
      {"private key", doc("", R"("private_key")"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.key_type, KeyType::PrivateKey); }},
      {"key type map form", doc("", R"({"private_key":null})"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.key_type, KeyType::PrivateKey); }},
      {"chain type", doc(R"("chain_type":"ton",)"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.chain_type, vek_core::ChainType::Ton); }},
      {"chain type map form", doc(R"("chain_type":{"cosmos":null},)"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.chain_type, vek_core::ChainType::Cosmos); }},
      {"chain type null", doc(R"("chain_type":null,)"), [](const EncryptedWallet& w) { EXPECT_FALSE(w.chain_type); }},
      {"metadata kept", doc(R"("metadata":{"b":[1,2],"a":"x"},)"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.metadata, json::parse(R"({"a":"x","b":[1,2]})")); }},
      {"unknown keys ignored", doc(R"("comment":{"deep":[{"a":1}]},"zz":null,)"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.name, "n"); }},
      {"unknown account keys ignored",
       doc("", R"("mnemonic")", R"([{"label":1,"account_id":"a","address":"b","chain_id":"c","derivation_path":"d"}])"),
       [](const EncryptedWallet& w) { EXPECT_EQ(w.accounts.at(0).derivation_path, "d"); }},
      {"no accounts", doc("", R"("mnemonic")", "[]"), [](const EncryptedWallet& w) { EXPECT_TRUE(w.accounts.empty()); }},
      {"any layout", " \n\t{ \"key_type\" : \"mnemonic\" ,\r\n \"crypto\":[],\"accounts\":[ ],\"created_at\":\"t\","
                     "\"name\":\"\\u006e\\ud83d\\ude00\",\"id\":\"i\",\"vek_version\":0 } \n",
       [](const EncryptedWallet& w) {
         EXPECT_EQ(w.name, "n\xf0\x9f\x98\x80");
         EXPECT_EQ(w.crypto, json::array());
         EXPECT_EQ(w.vek_version, 0u);
       }},
  };
  for (const Row& row : rows) {
    auto w = vek_core::wallet_from_json_text(row.text);
    ASSERT_TRUE(w) << row.what << ": " << w.error();
    SCOPED_TRACE(row.what);
    row.check(*w);
  }
}

TEST(WalletFile, RefusesBadDocuments) {
  struct Row {
    std::string text;
    const char* expected;
  };
  std::vector<Row> rows = {
      {doc("", R"("Mnemonic")"), "unknown variant `Mnemonic`, expected `mnemonic` or `private_key` at line 1 column 165"},
      {doc("", R"({"mnemonic":1})"), "invalid type for variant `mnemonic`: expected null, found an integer at line 1 column 165"},
      {doc("", "7"), "invalid type: an integer, expected `mnemonic` or `private_key` at line 1 column 165"},
      {doc(R"("chain_type":"EVM",)"),
       "unknown variant `EVM`, expected one of `evm`, `solana`, `cosmos`, `bitcoin`, `tron`, `ton` at line 1 column "
       "51"},
      {doc(R"("id":"again",)"), "duplicate field `id` at line 1 column 38"},
      {doc(R"("note":1,"note":2,)"), "duplicate field `note` at line 1 column 47"},
      {doc("", R"("mnemonic")", R"([{"account_id":"a","address":"b","address":"b","chain_id":"c","derivation_path":""}])"),
       "duplicate field `address` at line 1 column 99"},
      {doc(R"("metadata":{"a":{"k":1,"k":2}},)"), "duplicate field `k` at line 1 column 61"},
      {doc("", R"("mnemonic")", R"([{"account_id":"a","address":"b","chain_id":"c"}])"),
       "missing field `derivation_path` at line 1 column 113"},
      {doc("", R"("mnemonic")", R"({})"), "invalid type: an object, expected an array of wallet accounts at line 1 column 66"},
      {doc("", R"("mnemonic")", R"([1])"), "invalid type: an integer, expected a wallet account object at line 1 column 67"},
      {doc().replace(15, 1, "4294967296"), "invalid value for `vek_version`: 4294967296 is outside the unsigned 32-bit range at line 1 column 16"},
      {doc().replace(15, 1, "-1"), "invalid value for `vek_version`: -1 is outside the unsigned 32-bit range at line 1 column 16"},
      {doc().replace(15, 1, "2.0"), "invalid type for `vek_version`: expected an unsigned 32-bit integer, found a floating-point number at line 1 column 16"},
      {doc().replace(15, 1, "\"2\""), "invalid type for `vek_version`: expected an unsigned 32-bit integer, found a string at line 1 column 16"},
      {doc().replace(33, 3, "5"), "invalid type for `name`: expected a string, found an integer at line 1 column 34"},
      {doc() + " x", "trailing characters at line 1 column 177"},
      {doc() + "{}", "trailing characters at line 1 column 176"},
      {"[]", "invalid type: an array, expected a wallet object at line 1 column 1"},
      {"", "unexpected end of input at line 1 column 1"},
      {doc().substr(0, 100), "unexpected end of input in a string at line 1 column 101"},
      {doc().substr(0, 98), "unexpected end of input at line 1 column 99"},
      {"{\n  \"id\": \"a\nb\"}", "control character in a string at line 2 column 11"},
      {doc().replace(33, 3, "\"\xff\""), "invalid UTF-8 in a string at line 1 column 35"},
      {doc().replace(33, 3, R"("\ud800")"), "lone surrogate in \\u escape at line 1 column 35"},
      {doc().replace(33, 3, R"("\q")"), "invalid escape at line 1 column 36"},
      {doc(R"("metadata":[1,],)"), "expected a value at line 1 column 52"},
      {doc(R"("metadata":01,)"), "invalid number at line 1 column 50"},
      {doc(R"("metadata":1e999,)"), "number out of range at line 1 column 49"},
      {doc(R"("metadata":tru,)"), "expected a value at line 1 column 49"},
      {doc(R"("metadata":{"a" 1},)"), "expected `:` at line 1 column 54"},
      {doc(R"("metadata":{"a":1 "b":2},)"), "expected `,` or `}` at line 1 column 56"},
      {"{'id':1}", "expected a string key or `}` at line 1 column 2"},
      {doc(R"("metadata":)" + std::string(200, '[') + std::string(200, ']') + ","),
       "nesting deeper than 128 levels at line 1 column 176"},
  };
  const char* required[] = {"vek_version", "id", "name", "created_at", "accounts", "crypto", "key_type"};
  for (const char* key : required) {
    // Rename the key so that it is unknown (and ignored).
    std::string text = doc();
    text.replace(text.find(std::string("\"") + key + "\""), 1, "\"x");
    rows.push_back({text, nullptr});
  }
  for (const Row& row : rows) {
    auto w = vek_core::wallet_from_json_text(row.text);
    ASSERT_FALSE(w) << row.text;
    if (row.expected != nullptr) {
      EXPECT_EQ(w.error(), row.expected) << row.text;
    }
  }
  for (std::size_t i = 0; i < std::size(required); ++i) {
    const std::string& text = rows[rows.size() - std::size(required) + i].text;
    EXPECT_EQ(vek_core::wallet_from_json_text(text).error(),
              std::string("missing field `") + required[i] + "` at line 1 column " + std::to_string(text.size()))
        << text;
  }
}

TEST(WalletFile, UnknownKeyLostOnNextWrite) {
  auto w = vek_core::wallet_from_json_text(doc(R"("comment":"hello",)"));
  ASSERT_TRUE(w);
  const std::string text = vek_core::wallet_to_json_text(*w).value();
  EXPECT_EQ(text.find("comment"), std::string::npos);
  EXPECT_EQ(vek_core::wallet_from_json_text(text).value(), *w);
}

TEST(ChainTypeJson, Forms) {
  for (vek_core::ChainType t : vek_core::kAllChainTypes) {
    const json j = vek_core::chain_type_to_json(t);
    EXPECT_EQ(j, json(std::string(vek_core::chain_type_name(t))));
    EXPECT_EQ(vek_core::chain_type_from_json(j).value(), t);
    EXPECT_EQ(vek_core::chain_type_from_json(json{{std::string(vek_core::chain_type_name(t)), nullptr}}).value(), t);
  }
  EXPECT_EQ(vek_core::chain_type_to_json(vek_core::ChainType::Tron).dump(), "\"tron\"");
  const std::string names = "expected one of `evm`, `solana`, `cosmos`, `bitcoin`, `tron`, `ton`";
  struct Row {
    json value;
    std::string expected;
  };
  const Row rows[] = {
      {"Tron", "unknown variant `Tron`, " + names},
      {"EVM", "unknown variant `EVM`, " + names},
      {"", "unknown variant ``, " + names},
      {" evm", "unknown variant ` evm`, " + names},
      {json{{"Evm", nullptr}}, "unknown variant `Evm`, " + names},
      {json{{"evm", 1}}, "invalid type for variant `evm`: expected null, found an integer"},
      {json{{"evm", nullptr}, {"ton", nullptr}}, "invalid type: an object, " + names},
      {json::object(), "invalid type: an object, " + names},
      {3, "invalid type: an integer, " + names},
      {nullptr, "invalid type: null, " + names},
  };
  for (const Row& row : rows) EXPECT_EQ(vek_core::chain_type_from_json(row.value).error(), row.expected) << row.value;
}

TEST(KeyTypeJson, Forms) {
  EXPECT_EQ(vek_core::key_type_name(KeyType::Mnemonic), "mnemonic");
  EXPECT_EQ(vek_core::key_type_name(KeyType::PrivateKey), "private_key");
  EXPECT_EQ(vek_core::key_type_from_json("mnemonic").value(), KeyType::Mnemonic);
  EXPECT_EQ(vek_core::key_type_from_json(json{{"mnemonic", nullptr}}).value(), KeyType::Mnemonic);
  EXPECT_EQ(vek_core::key_type_from_json("PrivateKey").error(),
            "unknown variant `PrivateKey`, expected `mnemonic` or `private_key`");
}

}  // namespace
