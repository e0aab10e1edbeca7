// EIP-712 digests against the standard's own example, recovery of EVM signers, and
// the refusals of malformed typed data.
#include <gtest/gtest.h>

#include <pthread.h>

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "evm/signer.h"
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
  // The chainId the domain signs, in decimal whatever its spelling; none when unsigned.
  EXPECT_EQ(vek_signer::typed_data_digest(implied.dump())->domain_chain_id, "1");
  implied["domain"]["chainId"] = "0x89";
  EXPECT_EQ(vek_signer::typed_data_digest(implied.dump())->domain_chain_id, "137");
  implied["domain"].erase("chainId");
  EXPECT_EQ(vek_signer::typed_data_digest(implied.dump())->domain_chain_id, std::nullopt);
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
      {"malformed inner array", [](json& d) { d["types"]["Person"][1]["type"] = "address[x][]"; },
       "types.Person.wallet: malformed array type 'address[x][]'"},
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

// A chain of struct types T0 -> T1[] -> ... -> T{n-1} (the last without members), with
// an empty message.
std::string type_chain(std::size_t n) {
  std::string types = R"({"EIP712Domain":[])";
  for (std::size_t i = 0; i < n; ++i) {
    types += ",\"T" + std::to_string(i) + "\":[";
    if (i + 1 < n) types += R"({"name":"c","type":"T)" + std::to_string(i + 1) + R"([]"})";
    types += "]";
  }
  return R"({"types":)" + types + R"(},"primaryType":"T0","domain":{},"message":{"c":[]}})";
}

// Runs `f` on a thread with a 256 KiB stack (2 MiB under AddressSanitizer, whose frames
// are several times larger: the bounded recursion over a value's 64 levels needs more).
void on_small_stack(const std::function<void()>& f) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr std::size_t kStack = std::size_t{2} << 20;
#else
  constexpr std::size_t kStack = std::size_t{256} << 10;
#endif
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, kStack), 0);
  pthread_t thread;
  auto run = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&f)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

// Hostile documents meet a named limit, never the end of the stack: a chain of 100,000
// types (which once took one stack frame per type), more types or members than allowed,
// type encodings quadratic in the number of types, and, on a small stack, the longest chain allowed and values nested to the JSON limit.
TEST(Eip712, HostileDocumentsMeetLimitsNotTheStack) {
  const auto error = [](const std::string& doc) { return vek_signer::typed_data_hash(doc).error().display(); };
  EXPECT_EQ(error(type_chain(100000)), "invalid message: typed data: more than 1048576 bytes");
  EXPECT_EQ(error(type_chain(1024)), "invalid message: typed data: more than 1024 types");
  json wide = json::parse(type_chain(1));
  for (int i = 0; i <= 1024; ++i) wide["types"]["T0"].push_back({{"name", "m" + std::to_string(i)}, {"type", "bool"}});
  EXPECT_EQ(error(wide.dump()), "invalid message: typed data: types.T0: more than 1024 members");
  // H { m0: T0, m1: T1, ... } over a chain of 1000 types: the encodings of T0, T1, ...
  // list 1000, 999, ... signatures.
  json hub = json::parse(type_chain(1000));
  hub["primaryType"] = "H";
  hub["message"] = json::object();
  for (int i = 0; i < 1000; ++i) {
    hub["types"]["H"].push_back({{"name", "m" + std::to_string(i)}, {"type", "T" + std::to_string(i)}});
    hub["message"]["m" + std::to_string(i)] = i < 999 ? json{{"c", json::array()}} : json::object();
  }
  EXPECT_EQ(error(hub.dump()), "invalid message: typed data: the encodings of the types add up to more than 4194304 bytes");

  // Node { Node[] c }: each level of the value is an object and an array.
  const auto nested = [](int levels) {
    json value = {{"c", json::array()}};
    for (int i = 1; i < levels; ++i) value = {{"c", json::array({value})}};
    return json{{"types", {{"Node", {{{"name", "c"}, {"type", "Node[]"}}}}}},
                {"primaryType", "Node"},
                {"domain", json::object()},
                {"message", value}}
        .dump();
  };
  // The documents are written here: only their hashing runs on the small stack.
  const std::string longest = type_chain(1023), deepest = nested(63), too_deep = nested(64);
  on_small_stack([&] {
    EXPECT_TRUE(vek_signer::typed_data_hash(longest));  // with EIP712Domain, 1024 types
    EXPECT_TRUE(vek_signer::typed_data_hash(deepest));
    EXPECT_TRUE(error(too_deep).starts_with("invalid message: typed data: not valid JSON: nesting deeper than 128 levels"));
  });
}

// An error deep in a value quotes a shortened path: the full one would be as long as the
// document (it once was built, and kept, at every level).
TEST(Eip712, DeepErrorsQuoteAShortenedPath) {
  const std::string name(500, 'n');
  json value = {{name, 5}};  // not an array
  std::string path = "message";
  for (int i = 0; i < 60; ++i) {
    value = {{name, json::array({value})}};
    path += "." + name + "[0]";
  }
  path += "." + name;
  const json doc = {{"types", {{"Node", {{{"name", name}, {"type", "Node[]"}}}}}},
                    {"primaryType", "Node"},
                    {"domain", json::object()},
                    {"message", value}};
  EXPECT_EQ(vek_signer::typed_data_hash(doc.dump()).error().display(),
            "invalid message: typed data: " + path.substr(0, 40) + "..." + path.substr(path.size() - 40) +
                ": expected an array of type Node[], got an integer");
}

}  // namespace
