// RLP encoder: byte strings and headers against vectors/rlp.json (Ethereum
// RLPTests), the list entries rebuilt from encode_length, and encode_signed_typed_tx
// with every refusal in the order the checks run; the strict reader's refusals of what
// is not canonical.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "vek/signer/hex.h"
#include "vek/signer/rlp.h"

#include "test_vectors.h"

namespace {

using vek_test::load;
using vek_test::unhex;

using vek_signer::hex_encode;
namespace rlp = vek_signer::rlp;
using Bytes = std::vector<std::uint8_t>;

// A JSON item of rlp.json: hex text is a byte string, an array is a list.
Bytes encode_item(const nlohmann::json& item) {
  if (item.is_string()) return rlp::encode_bytes(unhex(item.get<std::string>()));
  Bytes payload;
  for (const auto& e : item) {
    const Bytes enc = encode_item(e);
    payload.insert(payload.end(), enc.begin(), enc.end());
  }
  Bytes out = rlp::encode_length(payload.size(), rlp::kListOffset);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::array<std::uint8_t, 32> scalar(std::uint8_t last, std::uint8_t fill = 0) {
  std::array<std::uint8_t, 32> a{};
  a.fill(fill);
  a[31] = last;
  return a;
}

std::string signed_hex(const Bytes& tx, std::uint8_t v, const std::array<std::uint8_t, 32>& r,
                       const std::array<std::uint8_t, 32>& s) {
  auto out = rlp::encode_signed_typed_tx(tx, v, r, s);
  if (!out) return "error: " + std::string(out.error());
  return hex_encode(*out);
}

std::string error_of(const Bytes& tx) {
  const auto z = scalar(0);
  auto out = rlp::encode_signed_typed_tx(tx, 0, z, z);
  return out ? std::string("ok ") + hex_encode(*out) : std::string(out.error());
}

TEST(RlpVectors, ByteStrings) {
  const auto v = load("rlp.json");
  std::size_t count = 0;
  for (const auto& e : v["vectors"]) {
    if (!e["input"].is_string()) continue;
    ++count;
    EXPECT_EQ(hex_encode(rlp::encode_bytes(unhex(e["input"].get<std::string>()))), e["output"].get<std::string>())
        << e["name"];
  }
  EXPECT_EQ(count, 19u);
}

TEST(RlpVectors, ListsThroughEncodeLength) {
  const auto v = load("rlp.json");
  std::size_t count = 0;
  for (const auto& e : v["vectors"]) {
    if (!e["input"].is_array()) continue;
    ++count;
    EXPECT_EQ(hex_encode(encode_item(e["input"])), e["output"].get<std::string>()) << e["name"];
  }
  EXPECT_GT(count, 0u);
}

TEST(RlpEncodeBytes, EdgeCases) {
  EXPECT_EQ(hex_encode(rlp::encode_bytes({})), "80");
  EXPECT_EQ(hex_encode(rlp::encode_bytes(unhex("00"))), "00");
  EXPECT_EQ(hex_encode(rlp::encode_bytes(unhex("7f"))), "7f");
  EXPECT_EQ(hex_encode(rlp::encode_bytes(unhex("80"))), "8180");
  EXPECT_EQ(hex_encode(rlp::encode_bytes(unhex("ff"))), "81ff");
  const Bytes b55(55, 0xaa);
  EXPECT_EQ(hex_encode(rlp::encode_bytes(b55)), "b7" + hex_encode(b55));
  const Bytes b56(56, 0xaa);
  EXPECT_EQ(hex_encode(rlp::encode_bytes(b56)), "b838" + hex_encode(b56));
}

TEST(RlpEncodeLength, Headers) {
  EXPECT_EQ(hex_encode(rlp::encode_length(0, 0x80)), "80");
  EXPECT_EQ(hex_encode(rlp::encode_length(55, 0x80)), "b7");
  EXPECT_EQ(hex_encode(rlp::encode_length(56, 0x80)), "b838");
  EXPECT_EQ(hex_encode(rlp::encode_length(0, 0xc0)), "c0");
  EXPECT_EQ(hex_encode(rlp::encode_length(55, 0xc0)), "f7");
  EXPECT_EQ(hex_encode(rlp::encode_length(56, 0xc0)), "f838");
  EXPECT_EQ(hex_encode(rlp::encode_length(255, 0xc0)), "f8ff");
  EXPECT_EQ(hex_encode(rlp::encode_length(256, 0xc0)), "f90100");
  EXPECT_EQ(hex_encode(rlp::encode_length(1024, 0xc0)), "f90400");
  EXPECT_EQ(hex_encode(rlp::encode_length(0x10000, 0x80)), "ba010000");
  // The largest machine word: eight length bytes, first byte 0xbf / 0xff.
  EXPECT_EQ(hex_encode(rlp::encode_length(std::numeric_limits<std::size_t>::max(), 0x80)), "bfffffffffffffffff");
  EXPECT_EQ(hex_encode(rlp::encode_length(std::numeric_limits<std::size_t>::max(), 0xc0)), "ffffffffffffffffff");
}

TEST(RlpSignedTypedTx, SpecExamples) {
  EXPECT_EQ(signed_hex(unhex("02c0"), 1, scalar(0x01), scalar(0x80)), "02c4010181" "80");
  EXPECT_EQ(signed_hex(unhex("02c0"), 0, scalar(0), scalar(0)), "02c3808080");
  // A full-width r and s: a0 and the 32 bytes each.
  const auto r = scalar(0x11, 0xab);
  const auto s = scalar(0x22, 0x01);
  EXPECT_EQ(signed_hex(unhex("01c0"), 1, r, s),
            "01f843" "01" "a0" + hex_encode(r) + "a0" + hex_encode(s));
  // y_parity other than 0/1 is encoded as its single byte.
  EXPECT_EQ(signed_hex(unhex("02c0"), 0x80, scalar(0), scalar(0)), "02c4818080" "80");
  EXPECT_EQ(signed_hex(unhex("02c0"), 0x7f, scalar(0), scalar(0)), "02c37f8080");
}

TEST(RlpSignedTypedTx, TrailingBytesDropped) {
  EXPECT_EQ(signed_hex(unhex("01c105deadbeef"), 1, scalar(2), scalar(3)), "01c405010203");
}

TEST(RlpSignedTypedTx, FieldsCarriedOverUnchanged) {
  // A string header is accepted as well as a list header; its payload is copied as is.
  EXPECT_EQ(signed_hex(unhex("02820102"), 0, scalar(0), scalar(0)), "02c5" "0102" "808080");
  // A single byte below 0x80 is its own payload.
  EXPECT_EQ(signed_hex(unhex("0205"), 0, scalar(0), scalar(0)), "02c4" "05" "808080");
  // Long list header of the unsigned transaction.
  Bytes fields(60, 0x42);
  Bytes tx = {0x02, 0xf8, 60};
  tx.insert(tx.end(), fields.begin(), fields.end());
  EXPECT_EQ(signed_hex(tx, 0, scalar(0), scalar(0)), "02f83f" + hex_encode(fields) + "808080");
  // Long string header with two length bytes.
  Bytes tx2 = {0x02, 0xb9, 0x01, 0x00};
  tx2.insert(tx2.end(), 256, 0x07);
  EXPECT_EQ(signed_hex(tx2, 0, scalar(0), scalar(0)), "02f90103" + hex_encode(Bytes(256, 0x07)) + "808080");
}

TEST(RlpSignedTypedTx, LongResultHeader) {
  // 52 field bytes + 1 + 33 + 33 = 119: f8 77.
  Bytes tx = {0x02, 0xc0 + 52};
  tx.insert(tx.end(), 52, 0x01);
  auto out = signed_hex(tx, 1, scalar(1, 0xff), scalar(1, 0xff));
  EXPECT_EQ(out.substr(0, 6), "02f877");
  // 250 field bytes push the list past 255 bytes: 317 = f9 01 3d.
  Bytes tx2 = {0x02, 0xf8, 250};
  tx2.insert(tx2.end(), 250, 0x01);
  EXPECT_EQ(signed_hex(tx2, 1, scalar(1, 0xff), scalar(1, 0xff)).substr(0, 8), "02f9013d");
}

TEST(RlpSignedTypedTx, FailuresInOrder) {
  EXPECT_EQ(error_of({}), "empty transaction");
  EXPECT_EQ(error_of(unhex("00c0")), "unsupported transaction type (expected 0x01 or 0x02)");
  EXPECT_EQ(error_of(unhex("03c0")), "unsupported transaction type (expected 0x01 or 0x02)");
  EXPECT_EQ(error_of(unhex("f8")), "unsupported transaction type (expected 0x01 or 0x02)");
  EXPECT_EQ(error_of(unhex("c0")), "unsupported transaction type (expected 0x01 or 0x02)");  // legacy
  EXPECT_EQ(error_of(unhex("00")), "unsupported transaction type (expected 0x01 or 0x02)");  // type before length
  EXPECT_EQ(error_of(unhex("02")), "empty input");
  EXPECT_EQ(error_of(unhex("01")), "empty input");
  EXPECT_EQ(error_of(unhex("02f8")), "truncated length");
  EXPECT_EQ(error_of(unhex("02b8")), "truncated length");
  EXPECT_EQ(error_of(unhex("02f901")), "truncated length");
  // Eight length bytes announced, seven present; then eight present but no payload.
  EXPECT_EQ(error_of(unhex("02ff01020304050607")), "truncated length");
  EXPECT_EQ(error_of(unhex("02ff0000000000000001")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02c50102")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("0285")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02f838")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02b838" + std::string(55 * 2, '0'))), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02b838" + std::string(56 * 2, '0'))).substr(0, 3), "ok ");
}

TEST(RlpSignedTypedTx, HugeDeclaredLengthsDoNotOverflow) {
  // Eight length bytes all 0xff: h + p cannot be represented.
  EXPECT_EQ(error_of(unhex("02ffffffffffffffffff00")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02bfffffffffffffffff")), "truncated RLP payload");
  // p = 2^64 - 9: h + p = 2^64 exactly, which wraps to 0 in a naive sum.
  EXPECT_EQ(error_of(unhex("02fffffffffffffffff7")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02fffffffffffffffff7" "00")), "truncated RLP payload");
  EXPECT_EQ(error_of(unhex("02ff8000000000000000" "00")), "truncated RLP payload");
}

std::string read_error(const std::string& hex) {
  const Bytes in = unhex(hex);
  auto item = rlp::read_item(in, 0);
  return item ? "ok " + std::to_string(item->end) : std::string(item.error());
}

std::string typed_error(const std::string& hex) {
  auto tx = rlp::read_typed_tx(unhex(hex));
  return tx ? "ok " + std::to_string(tx->fields.size()) : tx.error();
}

TEST(RlpStrictReader, RefusesWhatIsNotCanonical) {
  const std::string b56(56 * 2, '1');
  EXPECT_EQ(read_error("8180"), "ok 2");
  EXPECT_EQ(read_error("b838" + b56), "ok 58");
  EXPECT_EQ(read_error("8105"), "non-canonical RLP string: a single byte below 0x80 is its own encoding");
  EXPECT_EQ(read_error("b80189"), "non-canonical RLP length: a long form for a length below 56");
  EXPECT_EQ(read_error("f800"), "non-canonical RLP length: leading zero bytes");
  EXPECT_EQ(read_error("b90038" + b56), "non-canonical RLP length: leading zero bytes");
  EXPECT_EQ(read_error("b9"), "truncated RLP length");
  EXPECT_EQ(read_error("c2" "01"), "truncated RLP payload");

  // Type 2: chain id 1, nonce 0, tip 1, max fee 2, gas 21000, to, value 0, data, access list.
  const std::string to = "94" + std::string(40, '1');
  const auto tx = [&](const std::string& chain_id, const std::string& nonce, const std::string& access) {
    const std::string fields = chain_id + nonce + "0102825208" + to + "8080" + access;
    return "02" + hex_encode(rlp::encode_length(fields.size() / 2, rlp::kListOffset)) + fields;
  };
  EXPECT_EQ(typed_error(tx("01", "80", "c0")), "ok 9");
  EXPECT_EQ(typed_error(tx("01", "80", "c0") + "00"), "1 byte follows the transaction's RLP list");
  EXPECT_EQ(typed_error(tx("01", "80", "c0") + "c0c0"), "2 bytes follow the transaction's RLP list");
  // 137 with a long-form header, then with leading zero bytes.
  EXPECT_EQ(typed_error(tx("b80189", "80", "c0")), "non-canonical RLP length: a long form for a length below 56");
  EXPECT_EQ(typed_error(tx("820089", "80", "c0")), "the chain id has a leading zero byte");
  EXPECT_EQ(typed_error(tx("01", "00", "c0")), "the nonce has a leading zero byte");
  EXPECT_EQ(typed_error(tx("c0", "80", "c0")), "the chain id is a list, not an integer");
  EXPECT_EQ(typed_error(tx("a1" + std::string(66, '1'), "80", "c0")), "the chain id is longer than 32 bytes");
  // Deep inside the access list.
  EXPECT_EQ(typed_error(tx("01", "80", "c4c3c28105")),
            "non-canonical RLP string: a single byte below 0x80 is its own encoding");
  EXPECT_EQ(typed_error("02820102"), "the fields are not an RLP list");
  EXPECT_EQ(typed_error("02"), "truncated RLP item");
  EXPECT_EQ(typed_error("03c0"), "unsupported transaction type (expected 0x01 or 0x02)");
  // Type 1 has the gas price third and the value sixth.
  EXPECT_EQ(typed_error("01cc" "01" "80" "01" "825208" "80" "8200ff" "80" "c0"), "the value has a leading zero byte");
}

TEST(RlpStrictReader, NestingDepthIsNotBoundByTheStack) {
  // 300,000 lists each holding the next: the walk keeps no frame per level.
  std::vector<Bytes> headers;
  std::size_t inner = 0;
  for (int i = 0; i < 300000; ++i) {
    headers.push_back(rlp::encode_length(inner, rlp::kListOffset));
    inner += headers.back().size();
  }
  Bytes tx = {0x02};
  for (auto it = headers.rbegin(); it != headers.rend(); ++it) tx.insert(tx.end(), it->begin(), it->end());
  auto read = rlp::read_typed_tx(tx);
  ASSERT_FALSE(read);  // the chain id is a list
  EXPECT_EQ(read.error(), "the chain id is a list, not an integer");
}

}  // namespace
