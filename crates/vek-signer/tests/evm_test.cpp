// EVM signer and the shared secp256k1 steps: RFC 6979 vectors
// (vectors/secp256k1-rfc6979.json) through secp::sign_hash and EvmSigner::sign, low S,
// EIP-55 (vectors/eip55.json and the Part's examples), the key-length contract, EIP-191
// digests (vectors/keccak256.json), v conventions, a signed type-2 transaction that
// recovers to the signer's address, and the computed accounts of the test mnemonic
// (vectors/derived-accounts-computed.json).
#include <gtest/gtest.h>
#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "chains/secp256k1.h"
#include "evm/signer.h"
#include "vek/signer/hash.h"
#include "vek/signer/hd.h"
#include "vek/signer/hex.h"
#include "vek/signer/mnemonic.h"
#include "vek/signer/rlp.h"

#include "test_vectors.h"

namespace {

using vek_test::load;
using vek_test::unhex;

using vek_signer::EvmSigner;
using vek_signer::hex_encode;
using vek_signer::SignerErrorKind;
using Bytes = std::vector<std::uint8_t>;

// The group order n and n/2 (rounded down), big-endian.
const std::string kOrderHex = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";
const std::string kHalfOrderHex = "7fffffffffffffffffffffffffffffff5d576e7357a4501ddfe92f46681b20a0";

Bytes ascii(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes key_byte(std::uint8_t b) {
  Bytes k(32, 0);
  k[31] = b;
  return k;
}

// s (bytes 32..64) at most n/2; fixed-width big-endian hex compares like the numbers.
bool low_s(const Bytes& sig) { return hex_encode(std::span(sig).subspan(32, 32)) <= kHalfOrderHex; }

std::vector<nlohmann::json> rfc6979_vectors() {
  const auto v = load("secp256k1-rfc6979.json");
  std::vector<nlohmann::json> all;
  for (const auto& e : v["community"]) all.push_back(e);
  for (const auto& e : v["eip"]) all.push_back(e);
  for (const auto& e : v["computed"]["vectors"]) all.push_back(e);
  return all;
}

TEST(Secp256k1Shared, HalfOrderConstantIsNOver2) {
  // Guard the test constant: 2 * (n/2) + 1 == n.
  const Bytes half = unhex(kHalfOrderHex);
  Bytes twice(32, 0);
  unsigned carry = 1;
  for (std::size_t i = 32; i-- > 0;) {
    const unsigned v = 2u * half[i] + carry;
    twice[i] = static_cast<std::uint8_t>(v & 0xff);
    carry = v >> 8;
  }
  EXPECT_EQ(hex_encode(twice), kOrderHex);
}

TEST(Secp256k1Shared, Rfc6979Vectors) {
  const auto all = rfc6979_vectors();
  EXPECT_GE(all.size(), 25u);
  const EvmSigner evm;
  for (const auto& e : all) {
    const Bytes key = unhex(e["private_key"].get<std::string>());
    const Bytes hash = unhex(e["hash"].get<std::string>());
    const std::string want = e["r"].get<std::string>() + e["s"].get<std::string>();
    const int recid = e["recovery_id"].get<int>();
    auto out = vek_signer::secp::sign_hash(key, hash, "hash");
    ASSERT_TRUE(out.has_value()) << e.dump();
    ASSERT_EQ(out->signature.size(), 65u);
    EXPECT_EQ(hex_encode(std::span(out->signature).first(64)), want) << e["hash"];
    EXPECT_EQ(out->signature[64], recid);
    EXPECT_EQ(out->recovery_id, recid);
    EXPECT_TRUE(low_s(out->signature));
    // EvmSigner::sign is the same step.
    auto via_evm = evm.sign(key, hash);
    ASSERT_TRUE(via_evm.has_value());
    EXPECT_EQ(via_evm->signature, out->signature);
    EXPECT_EQ(via_evm->recovery_id, out->recovery_id);
  }
}

TEST(Secp256k1Shared, Eip155ExampleThroughSignTransaction) {
  const auto v = load("secp256k1-rfc6979.json");
  const auto& e = v["eip"][0];
  ASSERT_TRUE(e.contains("signing_data"));
  auto out = EvmSigner{}.sign_transaction(unhex(e["private_key"].get<std::string>()),
                                          unhex(e["signing_data"].get<std::string>()));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(hex_encode(out->signature),
            e["r"].get<std::string>() + e["s"].get<std::string>() + "00");
  // EIP-155 v = recovery id + 35 + 2 * chain id (1).
  EXPECT_EQ(*out->recovery_id + 35 + 2, e["v_published"].get<int>());
}

TEST(Secp256k1Shared, SNeverAboveHalfOrderAndDeterministic) {
  const EvmSigner evm;
  int seen[2] = {0, 0};
  for (int i = 1; i <= 64; ++i) {
    Bytes key = unhex(kOrderHex);
    key[31] = static_cast<std::uint8_t>(key[31] - i);  // n - i: high keys
    if (i % 2 == 0) key = key_byte(static_cast<std::uint8_t>(i));
    const auto hash = vek_signer::keccak256(ascii("message " + std::to_string(i)));
    auto a = evm.sign(key, hash);
    auto b = evm.sign(key, hash);
    ASSERT_TRUE(a.has_value() && b.has_value());
    EXPECT_EQ(a->signature, b->signature);
    EXPECT_TRUE(low_s(a->signature)) << i;
    ASSERT_LE(*a->recovery_id, 1);
    seen[*a->recovery_id]++;
    EXPECT_EQ(a->signature.back(), *a->recovery_id);
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
}

TEST(Secp256k1Shared, SigningKeyPublicForms) {
  auto sk = vek_signer::secp::signing_key(key_byte(1));
  ASSERT_TRUE(sk.has_value());
  EXPECT_EQ(hex_encode((*sk)->public_compressed),
            "0279be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798");
  EXPECT_EQ(hex_encode((*sk)->public_uncompressed),
            "0479be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"
            "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8");
  EXPECT_EQ(hex_encode((*sk)->secret.span()), hex_encode(key_byte(1)));
}

TEST(Secp256k1Shared, HashLengthCheckedFirst) {
  const Bytes good_key = key_byte(7);
  for (std::size_t n : {0u, 1u, 31u, 33u, 64u}) {
    auto r = vek_signer::secp::sign_hash(good_key, Bytes(n, 1), "hash");
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().code, SignerErrorKind::InvalidMessage);
    EXPECT_EQ(r.error().display(), "invalid message: expected 32-byte hash, got " + std::to_string(n) + " bytes");
  }
  // A bad hash with a bad key reports the hash.
  auto r = EvmSigner{}.sign(Bytes(5, 0), Bytes(31, 1));
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().display(), "invalid message: expected 32-byte prehash, got 31 bytes");
  auto r33 = EvmSigner{}.sign(good_key, Bytes(33, 1));
  ASSERT_FALSE(r33.has_value());
  EXPECT_EQ(r33.error().display(), "invalid message: expected 32-byte prehash, got 33 bytes");
}

// Key lengths 24..32 / 23 / 33 / 0, zero, n, n - 1, n + 1, all 0xff.
TEST(EvmKeys, LengthAndRangeContract) {
  const EvmSigner evm;
  const Bytes full = unhex("00000000000000001ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9");
  auto want = evm.derive_address(full);
  ASSERT_TRUE(want.has_value());
  for (std::size_t len = 24; len <= 32; ++len) {
    const Bytes shorter(full.end() - static_cast<std::ptrdiff_t>(len), full.end());
    auto got = evm.derive_address(shorter);
    ASSERT_TRUE(got.has_value()) << len;
    EXPECT_EQ(*got, *want) << len;
    auto s1 = evm.sign(shorter, Bytes(32, 9));
    auto s2 = evm.sign(full, Bytes(32, 9));
    ASSERT_TRUE(s1.has_value() && s2.has_value());
    EXPECT_EQ(s1->signature, s2->signature);
  }
  Bytes n_minus_1 = unhex(kOrderHex);
  n_minus_1[31] -= 1;
  EXPECT_TRUE(evm.derive_address(n_minus_1).has_value());
  Bytes n_plus_1 = unhex(kOrderHex);
  n_plus_1[31] += 1;
  const std::vector<Bytes> bad = {Bytes(23, 1), Bytes(33, 1), Bytes{}, Bytes(1, 1), Bytes(64, 1), Bytes(32, 0),
                                  Bytes(24, 0), unhex(kOrderHex), n_plus_1, Bytes(32, 0xff)};
  for (const Bytes& k : bad) {
    const std::string want_text = "invalid private key: signature error";
    auto a = evm.derive_address(k);
    ASSERT_FALSE(a.has_value()) << hex_encode(k);
    EXPECT_EQ(a.error().code, SignerErrorKind::InvalidPrivateKey);
    EXPECT_EQ(a.error().display(), want_text);
    EXPECT_EQ(evm.sign(k, Bytes(32, 1)).error().display(), want_text);
    EXPECT_EQ(evm.sign_message(k, ascii("hello")).error().display(), want_text);
    EXPECT_EQ(evm.sign_transaction(k, unhex("02c0")).error().display(), want_text);
    EXPECT_EQ(vek_signer::secp::signing_key(k).error().display(), want_text);
  }
}

TEST(EvmAddress, Eip55Vectors) {
  const auto v = load("eip55.json");
  std::size_t count = 0;
  for (const auto& e : v["vectors"]) {
    ++count;
    const Bytes addr = unhex(e["address_bytes"].get<std::string>());
    ASSERT_EQ(addr.size(), EvmSigner::kAddressBytes);
    EXPECT_EQ(EvmSigner::checksum_address(std::span<const std::uint8_t, 20>(addr.data(), 20)),
              e["checksummed"].get<std::string>());
  }
  EXPECT_EQ(count, 8u);
}

TEST(EvmAddress, PartExamples) {
  const Bytes a = unhex("5aaeb6053f3e94c9b9a09f33669435e7ef1beaed");
  const Bytes b = unhex("fb6916095ca1df60bb79ce92ce3ea74c37c5d359");
  EXPECT_EQ(EvmSigner::checksum_address(std::span<const std::uint8_t, 20>(a.data(), 20)),
            "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed");
  EXPECT_EQ(EvmSigner::checksum_address(std::span<const std::uint8_t, 20>(b.data(), 20)),
            "0xfB6916095ca1df60bB79Ce92cE3Ea74c37c5d359");
}

TEST(EvmAddress, KeyOneAndShape) {
  // The address of private key 1 (generator point) is well known.
  auto a = EvmSigner{}.derive_address(key_byte(1));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(*a, "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
  for (int i = 2; i < 40; ++i) {
    auto x = EvmSigner{}.derive_address(key_byte(static_cast<std::uint8_t>(i)));
    ASSERT_TRUE(x.has_value());
    ASSERT_EQ(x->size(), 42u);
    EXPECT_EQ(x->substr(0, 2), "0x");
    const Bytes raw = unhex(x->substr(2));
    EXPECT_EQ(EvmSigner::checksum_address(std::span<const std::uint8_t, 20>(raw.data(), 20)), *x);
  }
}

TEST(EvmAddress, DerivedAccountsFromPhrase) {
  const auto v = load("derived-accounts-computed.json");
  auto m = vek_signer::Mnemonic::from_phrase(v["mnemonic"].get<std::string>());
  ASSERT_TRUE(m.has_value());
  const EvmSigner evm;
  std::size_t count = 0;
  for (const auto& acc : v["accounts"]) {
    if (acc["family"] != "evm") continue;
    const std::string path = acc["path"].get<std::string>();
    const auto index = static_cast<std::uint32_t>(std::stoul(path.substr(path.rfind('/') + 1)));
    EXPECT_EQ(evm.default_derivation_path(index), path);
    auto key = vek_signer::HdDeriver::derive_from_mnemonic(*m, "", path, evm.curve());
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(hex_encode(key->span()), acc["private_key"].get<std::string>());
    auto sk = vek_signer::secp::signing_key(key->span());
    ASSERT_TRUE(sk.has_value());
    EXPECT_EQ(hex_encode((*sk)->public_uncompressed), acc["public_key_uncompressed"].get<std::string>());
    auto addr = evm.derive_address(key->span());
    ASSERT_TRUE(addr.has_value());
    EXPECT_EQ(*addr, acc["address"].get<std::string>());
    ++count;
  }
  EXPECT_EQ(count, 2u);
}

TEST(EvmAddress, SharedStepPublicKeysOfOtherFamilies) {
  // The compressed forms the Cosmos and Bitcoin signers use come from the same step.
  const auto v = load("derived-accounts-computed.json");
  for (const auto& acc : v["accounts"]) {
    if (!acc.contains("public_key_compressed")) continue;
    auto sk = vek_signer::secp::signing_key(unhex(acc["private_key"].get<std::string>()));
    ASSERT_TRUE(sk.has_value());
    EXPECT_EQ(hex_encode((*sk)->public_compressed), acc["public_key_compressed"].get<std::string>());
  }
}

TEST(EvmMessage, PrefixDigests) {
  const auto v = load("keccak256.json");
  for (const auto& e : v["eip191"]["vectors"]) {
    const Bytes m = ascii(e["message_utf8"].get<std::string>());
    EXPECT_EQ(hex_encode(EvmSigner::personal_message_hash(m)), e["keccak256"].get<std::string>());
  }
  // "hello": 0x19, 25 prefix characters, "5", 5 message bytes = 32 bytes hashed.
  Bytes hello = {0x19};
  const Bytes rest = ascii("Ethereum Signed Message:\n5hello");
  hello.insert(hello.end(), rest.begin(), rest.end());
  ASSERT_EQ(hello.size(), 32u);
  EXPECT_EQ(EvmSigner::personal_message_hash(ascii("hello")), vek_signer::keccak256(hello));
  // Empty message: 27 bytes, ending in the digit 0.
  Bytes empty = {0x19};
  const Bytes rest0 = ascii("Ethereum Signed Message:\n0");
  empty.insert(empty.end(), rest0.begin(), rest0.end());
  ASSERT_EQ(empty.size(), 27u);
  EXPECT_EQ(EvmSigner::personal_message_hash({}), vek_signer::keccak256(empty));
  // Multi-digit length, no leading zeros.
  Bytes big(1234, 'a');
  Bytes pre = {0x19};
  const Bytes rest3 = ascii("Ethereum Signed Message:\n1234");
  pre.insert(pre.end(), rest3.begin(), rest3.end());
  pre.insert(pre.end(), big.begin(), big.end());
  EXPECT_EQ(EvmSigner::personal_message_hash(big), vek_signer::keccak256(pre));
}

TEST(EvmMessage, VConventions) {
  const EvmSigner evm;
  int seen_msg[2] = {0, 0};
  int seen_tx[2] = {0, 0};
  for (int i = 1; i <= 40; ++i) {
    const Bytes key = key_byte(static_cast<std::uint8_t>(i));
    const Bytes msg = ascii("hello " + std::to_string(i));
    auto m = evm.sign_message(key, msg);
    ASSERT_TRUE(m.has_value());
    ASSERT_EQ(m->signature.size(), 65u);
    ASSERT_TRUE(m->recovery_id == 27 || m->recovery_id == 28);
    EXPECT_EQ(m->signature.back(), *m->recovery_id);
    seen_msg[*m->recovery_id - 27]++;
    // The message signature is sign() over the prefixed digest, v + 27.
    auto raw = evm.sign(key, EvmSigner::personal_message_hash(msg));
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(Bytes(raw->signature.begin(), raw->signature.begin() + 64),
              Bytes(m->signature.begin(), m->signature.begin() + 64));
    EXPECT_EQ(*raw->recovery_id + 27, *m->recovery_id);

    auto t = evm.sign_transaction(key, msg);
    ASSERT_TRUE(t.has_value());
    ASSERT_TRUE(t->recovery_id == 0 || t->recovery_id == 1);
    EXPECT_EQ(t->signature.back(), *t->recovery_id);
    seen_tx[*t->recovery_id]++;
    auto t2 = evm.sign(key, vek_signer::keccak256(msg));
    ASSERT_TRUE(t2.has_value());
    EXPECT_EQ(t2->signature, t->signature);
  }
  EXPECT_GT(seen_msg[0], 0);
  EXPECT_GT(seen_msg[1], 0);
  EXPECT_GT(seen_tx[0], 0);
  EXPECT_GT(seen_tx[1], 0);
  // Any bytes sign, even none or an unsupported type.
  EXPECT_TRUE(evm.sign_transaction(key_byte(3), {}).has_value());
  EXPECT_TRUE(evm.sign_transaction(key_byte(3), unhex("05c0")).has_value());
  EXPECT_TRUE(evm.sign_message(key_byte(3), {}).has_value());
}

// One RLP item at `pos` of `b`: returns {payload offset, payload length, total length}.
struct Item {
  std::size_t off, len, total;
};
Item read_item(const Bytes& b, std::size_t pos) {
  const std::uint8_t h = b.at(pos);
  if (h < 0x80) return {pos, 1, 1};
  if (h < 0xb8) return {pos + 1, static_cast<std::size_t>(h - 0x80), 1u + (h - 0x80)};
  if (h < 0xc0 || h >= 0xf8) {
    const std::size_t n = h < 0xc0 ? h - 0xb7 : h - 0xf7;
    std::size_t len = 0;
    for (std::size_t i = 0; i < n; ++i) len = (len << 8) | b.at(pos + 1 + i);
    return {pos + 1 + n, len, 1 + n + len};
  }
  return {pos + 1, static_cast<std::size_t>(h - 0xc0), 1u + (h - 0xc0)};
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(EvmTransaction, SignedType2RecoversToSignerAddress) {
  namespace rlp = vek_signer::rlp;
  const EvmSigner evm;
  const Bytes to = unhex("3535353535353535353535353535353535353535");
  for (std::uint8_t k = 1; k <= 8; ++k) {
    const Bytes key = unhex("4646464646464646464646464646464646464646464646464646464646464600");
    Bytes kk = key;
    kk[31] = k;
    // chainId 1, nonce k, tip 1 gwei, max fee 20 gwei, gas 21000, to, 1 ether, no data, no access list.
    const Bytes fields = cat({rlp::encode_bytes(unhex("01")), rlp::encode_bytes(Bytes{k}),
                              rlp::encode_bytes(unhex("3b9aca00")), rlp::encode_bytes(unhex("04a817c800")),
                              rlp::encode_bytes(unhex("5208")), rlp::encode_bytes(to),
                              rlp::encode_bytes(unhex("0de0b6b3a7640000")), rlp::encode_bytes({}),
                              rlp::encode_length(0, rlp::kListOffset)});
    const Bytes unsigned_tx = cat({Bytes{0x02}, rlp::encode_length(fields.size(), rlp::kListOffset), fields});

    auto signable = evm.extract_signable_bytes(unsigned_tx);
    ASSERT_TRUE(signable.has_value());
    EXPECT_EQ(signable->data(), unsigned_tx.data());
    EXPECT_EQ(signable->size(), unsigned_tx.size());
    auto sig = evm.sign_transaction(kk, *signable);
    ASSERT_TRUE(sig.has_value());
    auto signed_tx = evm.encode_signed_transaction(unsigned_tx, *sig);
    ASSERT_TRUE(signed_tx.has_value()) << signed_tx.error().display();

    // 02, then one list holding the original fields and y_parity, r, s.
    ASSERT_EQ(signed_tx->at(0), 0x02);
    const Item list = read_item(*signed_tx, 1);
    ASSERT_EQ(1 + list.total, signed_tx->size());
    ASSERT_GE(list.len, fields.size());
    EXPECT_EQ(Bytes(signed_tx->data() + list.off, signed_tx->data() + list.off + fields.size()), fields);
    std::size_t pos = list.off + fields.size();
    const Item v = read_item(*signed_tx, pos);
    pos += v.total;
    const Item r = read_item(*signed_tx, pos);
    pos += r.total;
    const Item s = read_item(*signed_tx, pos);
    pos += s.total;
    EXPECT_EQ(pos, signed_tx->size());
    const std::uint8_t y_parity = v.len == 0 ? 0 : signed_tx->at(v.off);
    ASSERT_LE(r.len, 32u);
    ASSERT_LE(s.len, 32u);
    Bytes compact(64, 0);
    std::copy_n(signed_tx->data() + r.off, r.len, compact.data() + (32 - r.len));
    std::copy_n(signed_tx->data() + s.off, s.len, compact.data() + 32 + (32 - s.len));
    EXPECT_EQ(y_parity, *sig->recovery_id);

    // Recover the public key from the encoded (y_parity, r, s) over Keccak-256 of the unsigned bytes.
    const secp256k1_context* ctx = secp256k1_context_static;
    secp256k1_ecdsa_recoverable_signature rs;
    ASSERT_EQ(secp256k1_ecdsa_recoverable_signature_parse_compact(ctx, &rs, compact.data(), y_parity), 1);
    const auto digest = vek_signer::keccak256(unsigned_tx);
    secp256k1_pubkey pub;
    ASSERT_EQ(secp256k1_ecdsa_recover(ctx, &pub, &rs, digest.data()), 1);
    std::uint8_t ser[65];
    std::size_t len = sizeof ser;
    ASSERT_EQ(secp256k1_ec_pubkey_serialize(ctx, ser, &len, &pub, SECP256K1_EC_UNCOMPRESSED), 1);
    const auto h = vek_signer::keccak256(std::span<const std::uint8_t>(ser + 1, 64));
    const std::string recovered =
        EvmSigner::checksum_address(std::span<const std::uint8_t, 20>(h.data() + 12, 20));
    auto addr = evm.derive_address(kk);
    ASSERT_TRUE(addr.has_value());
    EXPECT_EQ(recovered, *addr);
  }
}

// Expected values produced independently with eth-account 0.14.0 (Account.sign_transaction
// of the same type-2 fields, Account.sign_message of encode_defunct(text="hello")).
TEST(EvmTransaction, KnownType2AndMessageSignatures) {
  const EvmSigner evm;
  const Bytes key = unhex("4646464646464646464646464646464646464646464646464646464646464646");
  const Bytes tx = unhex(
      "02f00180843b9aca008504a817c800825208943535353535353535353535353535353535353535880de0b6b3a764000080c0");
  auto sig = evm.sign_transaction(key, tx);
  ASSERT_TRUE(sig.has_value());
  auto out = evm.encode_signed_transaction(tx, *sig);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(hex_encode(*out),
            "02f8730180843b9aca008504a817c800825208943535353535353535353535353535353535353535880de0b6b3a764000080c0"
            "01a0b3d7e5d4775918a0ec38e4f9da6263f69c2072c0e177ff9aa274575bfba17d04a062182875ae92e4de08aaf8ea1a43d3ea0d"
            "836745788801cdc79ccc473a76dfd9");
  auto addr = evm.derive_address(key);
  ASSERT_TRUE(addr.has_value());
  EXPECT_EQ(*addr, "0x9d8A62f656a8d1615C1294fd71e9CFb3E4855A4F");
  auto msg = evm.sign_message(key, ascii("hello"));
  ASSERT_TRUE(msg.has_value());
  EXPECT_EQ(hex_encode(msg->signature),
            "f63c93dc642a4839770b35abf9cb304ac2f1b5463d9a9abd87546feaa0af992e659cf087c433e45c45f6135cb819ab1922c6359d"
            "bb1b8c8d7a54141de2cd4beb1b");
  EXPECT_EQ(msg->recovery_id, 27);
}

TEST(EvmTransaction, EncodeOfEmptyFieldList) {
  const EvmSigner evm;
  auto sig = evm.sign_transaction(key_byte(5), unhex("02c0"));
  ASSERT_TRUE(sig.has_value());
  auto out = evm.encode_signed_transaction(unhex("02c0"), *sig);
  ASSERT_TRUE(out.has_value());
  namespace rlp = vek_signer::rlp;
  const std::span<const std::uint8_t> s(sig->signature);
  auto strip = [](std::span<const std::uint8_t> x) {
    while (!x.empty() && x[0] == 0) x = x.subspan(1);
    return Bytes(x.begin(), x.end());
  };
  const Bytes body = cat({sig->signature[64] == 0 ? Bytes{0x80} : Bytes{0x01}, rlp::encode_bytes(strip(s.first(32))),
                          rlp::encode_bytes(strip(s.subspan(32, 32)))});
  EXPECT_EQ(hex_encode(*out), "02" + hex_encode(rlp::encode_length(body.size(), 0xc0)) + hex_encode(body));
}

TEST(EvmTransaction, EncodeFailures) {
  const EvmSigner evm;
  auto sig = evm.sign_transaction(key_byte(5), unhex("02c0"));
  ASSERT_TRUE(sig.has_value());
  for (std::size_t n : {0u, 64u, 66u}) {
    vek_signer::SignOutput bad{Bytes(n, 1), 0};
    auto r = evm.encode_signed_transaction(unhex("02c0"), bad);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().code, SignerErrorKind::InvalidTransaction);
    EXPECT_EQ(r.error().display(), "invalid transaction: expected 65-byte signature (r || s || v)");
  }
  // The signature length is checked before the transaction.
  EXPECT_EQ(evm.encode_signed_transaction({}, vek_signer::SignOutput{Bytes(64, 1), 0}).error().display(),
            "invalid transaction: expected 65-byte signature (r || s || v)");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "empty transaction"},
      {"00c0", "unsupported transaction type (expected 0x01 or 0x02)"},
      {"03c0", "unsupported transaction type (expected 0x01 or 0x02)"},
      {"f86c", "unsupported transaction type (expected 0x01 or 0x02)"},
      {"02", "empty input"},
      {"02f8", "truncated length"},
      {"02c50102", "truncated RLP payload"},
  };
  for (const auto& [tx, msg] : cases) {
    auto r = evm.encode_signed_transaction(unhex(tx), *sig);
    ASSERT_FALSE(r.has_value()) << tx;
    EXPECT_EQ(r.error().code, SignerErrorKind::InvalidTransaction);
    EXPECT_EQ(r.error().display(), "invalid transaction: " + msg);
  }
}

TEST(EvmSigner, InterfaceValues) {
  const EvmSigner evm;
  const vek_signer::ChainSigner& base = evm;
  EXPECT_EQ(base.chain_type(), vek_signer::ChainType::Evm);
  EXPECT_EQ(base.curve(), vek_signer::Curve::Secp256k1);
  EXPECT_EQ(base.coin_type(), 60u);
  EXPECT_EQ(base.default_derivation_path(0), "m/44'/60'/0'/0/0");
  EXPECT_EQ(base.default_derivation_path(17), "m/44'/60'/0'/0/17");
  EXPECT_EQ(base.default_derivation_path(4294967295u), "m/44'/60'/0'/0/4294967295");
  auto empty = base.extract_signable_bytes({});
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  // The default path for index 2^32 - 1 validates, although derive() refuses the value.
  EXPECT_TRUE(vek_signer::HdDeriver::validate_path(base.default_derivation_path(4294967295u)).has_value());
  auto refused = vek_signer::HdDeriver::derive(Bytes(64, 1), base.default_derivation_path(4294967295u), base.curve());
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().display(),
            "invalid derivation path: index out of range in component '4294967295' of path "
            "'m/44'/60'/0'/0/4294967295': must be below 2147483648");
}

}  // namespace
