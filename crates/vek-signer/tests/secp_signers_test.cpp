// Tron, Bitcoin and Cosmos signers: addresses of known and random keys, the digest
// each operation signs (checked by recovering the public key from the signature with
// libsecp256k1), message envelopes byte for byte, and the refusals.
#include <gtest/gtest.h>
#include <secp256k1.h>
#include <secp256k1_recovery.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "vek/signer/bech32.h"
#include "bitcoin/signer.h"
#include "cosmos/signer.h"
#include "tron/signer.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

#include "test_vectors.h"

using namespace vek_signer;
using Bytes = std::vector<std::uint8_t>;

namespace {

using vek_test::load;
using vek_test::unhex;

Bytes text_bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const TronSigner kTron;
const BitcoinSigner kBitcoin("bc");
const CosmosSigner kCosmos("cosmos");

const std::string kGroupOrder = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";
const std::string kHalfOrder = "7fffffffffffffffffffffffffffffff5d576e7357a4501ddfe92f46681b20a0";

struct CtxFree {
  void operator()(secp256k1_context* c) const { secp256k1_context_destroy(c); }
};
secp256k1_context* ctx() {
  static std::unique_ptr<secp256k1_context, CtxFree> c(secp256k1_context_create(SECP256K1_CONTEXT_NONE));
  return c.get();
}

// Public key of `key` straight from libsecp256k1 (65 or 33 bytes).
Bytes public_key(const Bytes& key, bool compressed) {
  secp256k1_pubkey pub;
  EXPECT_EQ(secp256k1_ec_pubkey_create(ctx(), &pub, key.data()), 1);
  Bytes out(compressed ? 33 : 65);
  std::size_t len = out.size();
  secp256k1_ec_pubkey_serialize(ctx(), out.data(), &len, &pub,
                                compressed ? SECP256K1_EC_COMPRESSED : SECP256K1_EC_UNCOMPRESSED);
  return out;
}

// The uncompressed key recovered from a 65-byte r || s || v signature over `digest`.
Bytes recover(const SignOutput& sig, const std::array<std::uint8_t, 32>& digest) {
  EXPECT_EQ(sig.signature.size(), 65u);
  EXPECT_TRUE(sig.recovery_id.has_value());
  if (sig.signature.size() != 65 || !sig.recovery_id) return {};
  EXPECT_EQ(sig.signature[64], *sig.recovery_id);
  EXPECT_LE(*sig.recovery_id, 1);
  // Low S: s <= n / 2.
  EXPECT_LE(hex_encode(std::span(sig.signature).subspan(32, 32)), kHalfOrder);
  secp256k1_ecdsa_recoverable_signature rs;
  if (secp256k1_ecdsa_recoverable_signature_parse_compact(ctx(), &rs, sig.signature.data(), sig.signature[64]) != 1)
    return {};
  secp256k1_pubkey pub;
  if (secp256k1_ecdsa_recover(ctx(), &pub, &rs, digest.data()) != 1) return {};
  Bytes out(65);
  std::size_t len = out.size();
  secp256k1_ec_pubkey_serialize(ctx(), out.data(), &len, &pub, SECP256K1_EC_UNCOMPRESSED);
  return out;
}

Bytes random_key() {
  Bytes key(32);
  EXPECT_TRUE(os_random(key));
  return key;
}

// The signed-message envelope built by hand: 0x18, the magic text, the compact-size
// prefix given explicitly, the message.
Bytes bitcoin_envelope(const Bytes& length_prefix, const Bytes& message) {
  return cat(cat(cat(Bytes{0x18}, text_bytes("Bitcoin Signed Message:\n")), length_prefix), message);
}

}  // namespace

TEST(SecpSigners, AddressExamples) {
  // Account bytes to Tron addresses (0x41 prefix, base58check).
  const std::pair<std::string, std::string> tron[] = {
      {"751e76e8199196d454941c45d1b3a323f1433bd6", "TLeUZDGLWnyiJVFcp3m3M1782uBsGWa8uf"},
      {std::string(40, '0'), "T9yD14Nj9j7xAB4dbGeiX9h8unkKHxuWwb"},
      {std::string(40, 'f'), "TZJozAg1ruapycCicgz31GxvYJ1FraLjZa"},
  };
  for (const auto& [account, address] : tron) {
    EXPECT_EQ(base58check_encode(cat(Bytes{TronSigner::kAddressPrefix}, unhex(account))), address);
  }
  // Private key 1 has the generator as public key, whose HASH160 is 751e76e8...;
  // BIP-173 writes it bc1qw508d6...; as a Cosmos account it gets its own checksum.
  Bytes one(32, 0);
  one[31] = 1;
  EXPECT_EQ(kBitcoin.derive_address(one).value(), "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4");
  EXPECT_EQ(kCosmos.derive_address(one).value(), "cosmos1w508d6qejxtdg4y5r3zarvary0c5xw7k6ah60c");
}

TEST(SecpSigners, DerivedAccountAddresses) {
  const auto v = load("derived-accounts-computed.json");
  int seen = 0;
  for (const auto& a : v["accounts"]) {
    const ChainSigner* signer = a["family"] == "tron"      ? static_cast<const ChainSigner*>(&kTron)
                                : a["family"] == "bitcoin" ? static_cast<const ChainSigner*>(&kBitcoin)
                                : a["family"] == "cosmos"  ? static_cast<const ChainSigner*>(&kCosmos)
                                                           : nullptr;
    if (signer == nullptr) continue;
    ++seen;
    auto addr = signer->derive_address(unhex(a["private_key"]));
    ASSERT_TRUE(addr) << a["path"];
    EXPECT_EQ(*addr, a["address"].get<std::string>()) << a["path"];
  }
  EXPECT_EQ(seen, 6);
}

TEST(SecpSigners, RandomKeysGiveAddressesThatDecodeToTheKeyHash) {
  for (int i = 0; i < 24; ++i) {
    const Bytes key = random_key();
    const Bytes compressed = public_key(key, true);
    const Bytes uncompressed = public_key(key, false);
    const auto h160 = ripemd160(sha256(compressed));

    const std::string tron = kTron.derive_address(key).value();
    EXPECT_EQ(tron.size(), 34u);
    EXPECT_EQ(tron[0], 'T');
    const Bytes payload = base58check_decode(tron).value();
    ASSERT_EQ(payload.size(), 21u);
    EXPECT_EQ(payload[0], 0x41);
    const auto k = keccak256(std::span(uncompressed).subspan(1));
    EXPECT_TRUE(std::equal(payload.begin() + 1, payload.end(), k.end() - 20));

    const std::string btc = kBitcoin.derive_address(key).value();
    EXPECT_EQ(btc.size(), 42u);
    EXPECT_EQ(btc.substr(0, 4), "bc1q");
    const auto prog = segwit_decode("bc", btc).value();
    EXPECT_EQ(prog.version, 0);
    EXPECT_TRUE(std::equal(prog.program.begin(), prog.program.end(), h160.begin(), h160.end()));

    const std::string atom = kCosmos.derive_address(key).value();
    EXPECT_EQ(atom.size(), 45u);
    EXPECT_EQ(atom.substr(0, 7), "cosmos1");
    EXPECT_EQ(atom.find_first_not_of("qpzry9x8gf2tvdw0s3jn54khce6mua7l", 7), std::string::npos);
    const auto dec = bech32_decode(atom, kBech32ExtendedMaxLength).value();
    EXPECT_EQ(dec.hrp, "cosmos");
    const Bytes account = convert_bits(dec.data, 5, 8, false).value();
    EXPECT_TRUE(std::equal(account.begin(), account.end(), h160.begin(), h160.end()));
  }
}

TEST(SecpSigners, BitcoinMessageEnvelope) {
  const Bytes key = random_key();
  const Bytes pub = public_key(key, false);
  struct Case {
    std::size_t length;
    Bytes prefix;
  };
  const Case cases[] = {
      {0, {0x00}},   {5, {0x05}},   {252, {0xfc}}, {253, {0xfd, 0xfd, 0x00}}, {65535, {0xfd, 0xff, 0xff}},
      {65536, {0xfe, 0x00, 0x00, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    const Bytes message = c.length == 5 ? text_bytes("hello") : Bytes(c.length, 0x61);
    const Bytes envelope = bitcoin_envelope(c.prefix, message);
    if (c.length == 5) {
      EXPECT_EQ(envelope.size(), 31u);
    }
    const auto digest = sha256d(envelope);
    auto sig = kBitcoin.sign_message(key, message);
    ASSERT_TRUE(sig) << c.length;
    EXPECT_EQ(recover(*sig, digest), pub) << c.length;
    EXPECT_EQ(sig->signature, kBitcoin.sign(key, digest).value().signature) << c.length;
  }
}

TEST(SecpSigners, TronMessageEnvelope) {
  const Bytes key = random_key();
  const Bytes pub = public_key(key, false);
  const std::pair<Bytes, Bytes> cases[] = {
      {text_bytes("hello"), text_bytes("\x19TRON Signed Message:\n5hello")},
      {Bytes{}, text_bytes("\x19TRON Signed Message:\n0")},
      {Bytes(1000, 0x00), cat(text_bytes("\x19TRON Signed Message:\n1000"), Bytes(1000, 0x00))},
  };
  EXPECT_EQ(cases[0].second.size(), 28u);
  EXPECT_EQ(cases[1].second.size(), 23u);
  for (const auto& [message, envelope] : cases) {
    const auto digest = keccak256(envelope);
    auto sig = kTron.sign_message(key, message);
    ASSERT_TRUE(sig);
    EXPECT_EQ(recover(*sig, digest), pub);  // v is 0 or 1: no offset of 27
  }
}

TEST(SecpSigners, TransactionDigests) {
  const Bytes key = random_key();
  const Bytes pub = public_key(key, false);
  for (const Bytes& tx : {Bytes{}, Bytes{0x0a, 0x02, 0x08, 0x01}, Bytes(500, 0x33)}) {
    // Tron: one SHA-256 (the transaction id).
    auto tron = kTron.sign_transaction(key, tx).value();
    EXPECT_EQ(tron.signature, kTron.sign(key, sha256(tx)).value().signature);
    EXPECT_EQ(recover(tron, sha256(tx)), pub);
    // Bitcoin: double SHA-256, never the single one.
    auto btc = kBitcoin.sign_transaction(key, tx).value();
    EXPECT_EQ(btc.signature, kBitcoin.sign(key, sha256d(tx)).value().signature);
    EXPECT_NE(btc.signature, kBitcoin.sign(key, sha256(tx)).value().signature);
    EXPECT_EQ(recover(btc, sha256d(tx)), pub);
    // Cosmos: one SHA-256 of the sign document, identical to sign_message.
    auto atom = kCosmos.sign_transaction(key, tx).value();
    auto atom_msg = kCosmos.sign_message(key, tx).value();
    EXPECT_EQ(atom.signature, atom_msg.signature);
    EXPECT_EQ(atom.recovery_id, atom_msg.recovery_id);
    EXPECT_EQ(recover(atom, sha256(tx)), pub);
  }
  const auto empty_digest = unhex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(kCosmos.sign_message(key, Bytes{}).value().signature, kCosmos.sign(key, empty_digest).value().signature);
}

TEST(SecpSigners, SignIsDeterministicAndRecoverable) {
  for (int i = 0; i < 16; ++i) {
    const Bytes key = random_key();
    Bytes hash(32);
    ASSERT_TRUE(os_random(hash));
    std::array<std::uint8_t, 32> digest{};
    std::copy(hash.begin(), hash.end(), digest.begin());
    for (const ChainSigner* s : {static_cast<const ChainSigner*>(&kTron), static_cast<const ChainSigner*>(&kBitcoin),
                                 static_cast<const ChainSigner*>(&kCosmos)}) {
      auto a = s->sign(key, hash).value();
      EXPECT_EQ(a.signature, s->sign(key, hash).value().signature);
      EXPECT_EQ(recover(a, digest), public_key(key, false));
    }
  }
}

TEST(SecpSigners, HashLengthRefusalComesBeforeTheKey) {
  const Bytes good_key = random_key(), bad_key(32, 0);
  for (const ChainSigner* s : {static_cast<const ChainSigner*>(&kTron), static_cast<const ChainSigner*>(&kBitcoin),
                               static_cast<const ChainSigner*>(&kCosmos)}) {
    for (std::size_t n : {0u, 20u, 31u, 33u}) {
      const std::string want = "invalid message: expected 32-byte hash, got " + std::to_string(n) + " bytes";
      EXPECT_EQ(s->sign(good_key, Bytes(n, 1)).error().display(), want);
      EXPECT_EQ(s->sign(bad_key, Bytes(n, 1)).error().display(), want);
    }
  }
}

TEST(SecpSigners, BadKeysAreRefused) {
  Bytes above_order = unhex(kGroupOrder);
  above_order[31] += 1;
  const Bytes bad_keys[] = {Bytes{},          Bytes(23, 1),   Bytes(33, 1),  Bytes(32, 0), unhex(kGroupOrder),
                            above_order,      Bytes(32, 0xff), Bytes(24, 0)};
  const std::string want = "invalid private key: signature error";
  for (const ChainSigner* s : {static_cast<const ChainSigner*>(&kTron), static_cast<const ChainSigner*>(&kBitcoin),
                               static_cast<const ChainSigner*>(&kCosmos)}) {
    for (const Bytes& key : bad_keys) {
      EXPECT_EQ(s->derive_address(key).error().display(), want) << key.size();
      EXPECT_EQ(s->sign(key, Bytes(32, 1)).error().display(), want) << key.size();
      EXPECT_EQ(s->sign_message(key, Bytes{1}).error().display(), want) << key.size();
      EXPECT_EQ(s->sign_transaction(key, Bytes{1}).error().display(), want) << key.size();
    }
    // A 24-byte key reads as if left-padded with zeros.
    const Bytes short_key = Bytes(24, 0x5c);
    EXPECT_EQ(s->derive_address(short_key).value(), s->derive_address(cat(Bytes(8, 0), short_key)).value());
  }
}

TEST(SecpSigners, HrpRefusals) {
  const Bytes key = random_key();
  std::vector<std::pair<std::unique_ptr<ChainSigner>, std::string>> cases;
  cases.emplace_back(std::make_unique<CosmosSigner>(""), "address derivation failed: invalid human-readable part");
  cases.emplace_back(std::make_unique<CosmosSigner>("Cosmos"), "address derivation failed: invalid human-readable part");
  cases.emplace_back(std::make_unique<BitcoinSigner>("b c"), "address derivation failed: invalid human-readable part");
  // 52 + 40 characters is over BIP-173's 90.
  cases.emplace_back(std::make_unique<BitcoinSigner>(std::string(52, 'b')),
                     "address derivation failed: bech32 string of 92 characters exceeds the limit of 90");
  for (const auto& [signer, want] : cases) EXPECT_EQ(signer->derive_address(key).error().display(), want);
  // The Cosmos limit is 1023, so a long hrp that no SegWit address could carry still works.
  const std::string long_cosmos = CosmosSigner(std::string(60, 'c')).derive_address(key).value();
  EXPECT_EQ(long_cosmos.size(), 99u);
  EXPECT_EQ(BitcoinSigner("tb").derive_address(key).value().substr(0, 4), "tb1q");
}

TEST(SecpSigners, IdentityAndDefaults) {
  struct Case {
    const ChainSigner* signer;
    ChainType type;
    std::uint32_t coin;
    std::string path0, path_max, name;
  };
  const Case cases[] = {
      {&kTron, ChainType::Tron, 195, "m/44'/195'/0'/0/0", "m/44'/195'/0'/0/4294967295", "tron"},
      {&kBitcoin, ChainType::Bitcoin, 0, "m/84'/0'/0'/0/0", "m/84'/0'/0'/0/4294967295", "bitcoin"},
      {&kCosmos, ChainType::Cosmos, 118, "m/44'/118'/0'/0/0", "m/44'/118'/0'/0/4294967295", "cosmos"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.signer->chain_type(), c.type);
    EXPECT_EQ(c.signer->curve(), Curve::Secp256k1);
    EXPECT_EQ(c.signer->coin_type(), c.coin);
    EXPECT_EQ(c.signer->default_derivation_path(0), c.path0);
    EXPECT_EQ(c.signer->default_derivation_path(4294967295u), c.path_max);
    const Bytes tx = {1, 2, 3};
    auto view = c.signer->extract_signable_bytes(tx);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->data(), tx.data());
    EXPECT_EQ(view->size(), 3u);
    const SignOutput sig{Bytes(65, 0), 0};
    EXPECT_EQ(c.signer->encode_signed_transaction(tx, sig).error().display(),
              "invalid transaction: encode_signed_transaction not implemented for " + c.name);
  }
}
