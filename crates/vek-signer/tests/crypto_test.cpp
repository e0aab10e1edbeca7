// Key encryption envelope: scrypt vectors, known-answer decryption, parameter refusals
// in their fixed order, tampering, and the JSON form.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "vek/signer/crypto.h"
#include "vek/signer/crypto_json.h"
#include "vek/signer/hex.h"

#include "test_vectors.h"

namespace {

using vek_test::load;
using vek_test::unhex;

using nlohmann::json;
using vek_signer::CryptoEnvelope;
using vek_signer::CryptoErrorKind;

std::vector<std::uint8_t> bytes_of(std::string_view s) { return {s.begin(), s.end()}; }

// The envelope of the computed AES-256-GCM vector with index `i`: its key is scrypt of
// "password" over salt 00..1f with the parameters encrypt writes.
struct Kat {
  CryptoEnvelope env;
  std::string plaintext_hex;
};
Kat kat(std::size_t i) {
  const json v = load("aes-256-gcm.json")["computed"]["vectors"][i];
  Kat k;
  k.env.cipher = "aes-256-gcm";
  k.env.kdf = "scrypt";
  k.env.cipherparams.iv = v["iv"];
  k.env.ciphertext = v["ciphertext"];
  k.env.auth_tag = v["tag"];
  k.env.kdfparams.salt = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
  k.plaintext_hex = v["plaintext"];
  return k;
}

std::string decrypt_error(const CryptoEnvelope& env, std::string_view pass = "password") {
  auto r = vek_signer::decrypt(env, pass);
  if (r) return "<decrypted>";
  return r.error().display();
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(Scrypt, Rfc7914VectorsThroughLibsodium) {
  ASSERT_GE(sodium_init(), 0);
  const json vectors = load("rfc7914-scrypt.json");
  for (const json& v : vectors["scrypt"]) {
    if (v.value("expensive", false)) continue;
    const std::string p = v["P"], s = v["S"];
    std::vector<std::uint8_t> dk(v["dkLen"].get<std::size_t>());
    static const std::uint8_t empty = 0;
    ASSERT_EQ(crypto_pwhash_scryptsalsa208sha256_ll(p.empty() ? &empty : reinterpret_cast<const std::uint8_t*>(p.data()),
                                                    p.size(),
                                                    s.empty() ? &empty : reinterpret_cast<const std::uint8_t*>(s.data()),
                                                    s.size(), v["N"].get<std::uint64_t>(), v["r"].get<std::uint32_t>(),
                                                    v["p"].get<std::uint32_t>(), dk.data(), dk.size()),
              0);
    EXPECT_EQ(vek_signer::hex_encode(dk), v["DK"].get<std::string>()) << "N=" << v["N"];
  }
}

TEST(Envelope, DecryptsKnownAnswers) {
  for (std::size_t i = 0; i < 2; ++i) {
    const Kat k = kat(i);
    auto plain = vek_signer::decrypt(k.env, "password");
    ASSERT_TRUE(plain) << plain.error().display();
    EXPECT_EQ(vek_signer::hex_encode(plain->span()), k.plaintext_hex) << i;
  }
}

// Envelopes as they sit in wallet files on users' disks (see the fixture's description):
// read through the JSON form, each must give back its plaintext byte for byte.
TEST(Envelope, DecryptsEnvelopesWrittenEarlier) {
  const json doc = load("envelopes-written-earlier.json");
  ASSERT_EQ(doc["envelopes"].size(), 5u);
  for (const json& c : doc["envelopes"]) {
    const std::string what = c["what"];
    auto env = vek_signer::envelope_from_json(c["crypto"]);
    ASSERT_TRUE(env) << what << ": " << env.error();
    const std::vector<std::uint8_t> pass = unhex(c["passphrase_hex"].get<std::string>());
    auto plain = vek_signer::decrypt(*env, std::string_view(reinterpret_cast<const char*>(pass.data()), pass.size()));
    ASSERT_TRUE(plain) << what << ": " << plain.error().display();
    EXPECT_EQ(vek_signer::hex_encode(plain->span()), c["plaintext_hex"].get<std::string>()) << what;
  }
}

// Each row alters the known-answer envelope of the 12-word phrase.
TEST(Envelope, AlteredKnownAnswer) {
  struct Row {
    const char* what;
    void (*alter)(CryptoEnvelope&);
    const char* pass;
    bool decrypts;
  };
  const Row rows[] = {
      {"upper-case hex everywhere",
       [](CryptoEnvelope& e) {
         e.kdfparams.salt = upper(e.kdfparams.salt);
         e.cipherparams.iv = upper(e.cipherparams.iv);
         e.ciphertext = upper(e.ciphertext);
         e.auth_tag = upper(e.auth_tag);
       },
       "password", true},
      {"cipher and kdf names are not examined",
       [](CryptoEnvelope& e) {
         e.cipher = "chacha20-poly1305";
         e.kdf = "pbkdf2";
       },
       "password", true},
      {"wrong passphrase", [](CryptoEnvelope&) {}, "Password", false},
      {"one ciphertext digit flipped", [](CryptoEnvelope& e) { e.ciphertext[7] = e.ciphertext[7] == '0' ? '1' : '0'; },
       "password", false},
      {"one tag digit flipped", [](CryptoEnvelope& e) { e.auth_tag[31] = e.auth_tag[31] == '0' ? '1' : '0'; },
       "password", false},
  };
  const Kat base = kat(1);
  for (const Row& row : rows) {
    CryptoEnvelope env = base.env;
    row.alter(env);
    auto plain = vek_signer::decrypt(env, row.pass);
    if (row.decrypts) {
      ASSERT_TRUE(plain) << row.what << ": " << plain.error().display();
      EXPECT_EQ(vek_signer::hex_encode(plain->span()), base.plaintext_hex) << row.what;
    } else {
      ASSERT_FALSE(plain) << row.what;
      EXPECT_EQ(plain.error().code, CryptoErrorKind::DecryptionFailed) << row.what;
      EXPECT_EQ(plain.error().display(), "decryption failed: aead::Error") << row.what;
    }
  }
}

TEST(Envelope, RoundTripsEmptyAndLongPlaintexts) {
  std::string long_text;
  for (int i = 0; long_text.size() < 5000; ++i) long_text += "line " + std::to_string(i) + " \xc3\xa9\n";
  for (const std::string& text : {std::string(), long_text}) {
    const auto plain = bytes_of(text);
    auto env = vek_signer::encrypt(plain, "pass phrase");
    ASSERT_TRUE(env) << env.error().display();
    EXPECT_EQ(env->ciphertext.size(), 2 * text.size());
    EXPECT_EQ(env->auth_tag.size(), 32u);
    auto back = vek_signer::decrypt(*env, "pass phrase");
    ASSERT_TRUE(back) << back.error().display();
    EXPECT_EQ(std::vector<std::uint8_t>(back->span().begin(), back->span().end()), plain);
  }
}

TEST(Envelope, FreshSaltAndNonceEveryTime) {
  const auto phrase = bytes_of(
      "legal winner thank year wave sausage worth useful legal winner thank yellow");
  auto a = vek_signer::encrypt(phrase, "");
  auto b = vek_signer::encrypt(phrase, "");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->cipher, "aes-256-gcm");
  EXPECT_EQ(a->kdf, "scrypt");
  EXPECT_EQ(a->kdfparams.dklen, 32u);
  EXPECT_EQ(a->kdfparams.n, 262144u);
  EXPECT_EQ(a->kdfparams.r, 8u);
  EXPECT_EQ(a->kdfparams.p, 1u);
  EXPECT_EQ(a->kdfparams.salt.size(), 64u);
  EXPECT_EQ(a->cipherparams.iv.size(), 24u);
  EXPECT_NE(a->kdfparams.salt, b->kdfparams.salt);
  EXPECT_NE(a->cipherparams.iv, b->cipherparams.iv);
  EXPECT_NE(a->ciphertext, b->ciphertext);
  EXPECT_NE(a->auth_tag, b->auth_tag);
  for (const std::string* s : {&a->kdfparams.salt, &a->cipherparams.iv, &a->ciphertext, &a->auth_tag}) {
    EXPECT_EQ(*s, vek_signer::hex_encode(unhex(*s))) << "not lower-case hex: " << *s;
  }
  auto back = vek_signer::decrypt(*b, "");
  ASSERT_TRUE(back);
  EXPECT_EQ(std::vector<std::uint8_t>(back->span().begin(), back->span().end()), phrase);
}

// Refusals that come before any key derivation, so each row returns at once. An empty
// ciphertext with an empty tag is too short to authenticate: an envelope that passes
// every parameter check fails with aead::Error without running scrypt.
TEST(Envelope, ParameterChecksInOrder) {
  struct Row {
    const char* what;
    void (*alter)(CryptoEnvelope&);
    const char* expected;
  };
  const Row rows[] = {
      {"odd salt", [](CryptoEnvelope& e) { e.kdfparams.salt = "abc"; }, "invalid parameters: Odd number of digits"},
      {"bad iv", [](CryptoEnvelope& e) { e.cipherparams.iv = "zz0102030405060708090a0b"; },
       "invalid parameters: Invalid character 'z' at position 0"},
      {"bad ciphertext", [](CryptoEnvelope& e) { e.ciphertext = "00g0"; },
       "invalid parameters: Invalid character 'g' at position 2"},
      {"bad tag", [](CryptoEnvelope& e) { e.auth_tag = "0"; }, "invalid parameters: Odd number of digits"},
      {"salt before iv", [](CryptoEnvelope& e) { e.kdfparams.salt = "x0"; e.cipherparams.iv = "1"; },
       "invalid parameters: Invalid character 'x' at position 0"},
      {"hex before numbers", [](CryptoEnvelope& e) { e.auth_tag = "q"; e.kdfparams.n = 0; e.kdfparams.dklen = 1; },
       "invalid parameters: Odd number of digits"},
      {"n zero", [](CryptoEnvelope& e) { e.kdfparams.n = 0; }, "invalid parameters: scrypt N must be a power of 2, got 0"},
      {"n not a power of two", [](CryptoEnvelope& e) { e.kdfparams.n = 262143; },
       "invalid parameters: scrypt N must be a power of 2, got 262143"},
      {"n below minimum", [](CryptoEnvelope& e) { e.kdfparams.n = 131072; },
       "invalid parameters: scrypt N=131072 is below minimum 262144 \u2014 possible downgrade attack"},
      {"r below minimum", [](CryptoEnvelope& e) { e.kdfparams.r = 7; },
       "invalid parameters: scrypt r=7 is below minimum 8 \u2014 possible downgrade attack"},
      {"p zero", [](CryptoEnvelope& e) { e.kdfparams.p = 0; },
       "invalid parameters: scrypt p=0 is below minimum 1 \u2014 possible downgrade attack"},
      {"n before r", [](CryptoEnvelope& e) { e.kdfparams.n = 1024; e.kdfparams.r = 1; },
       "invalid parameters: scrypt N=1024 is below minimum 262144 \u2014 possible downgrade attack"},
      {"r before dklen", [](CryptoEnvelope& e) { e.kdfparams.r = 1; e.kdfparams.dklen = 16; },
       "invalid parameters: scrypt r=1 is below minimum 8 \u2014 possible downgrade attack"},
      {"dklen 16", [](CryptoEnvelope& e) { e.kdfparams.dklen = 16; }, "invalid parameters: dklen=16 is below minimum 32"},
      {"dklen 64", [](CryptoEnvelope& e) { e.kdfparams.dklen = 64; },
       "invalid parameters: dklen=64 is unsupported, expected exactly 32"},
      {"r*p reaches 2^30", [](CryptoEnvelope& e) { e.kdfparams.r = 8; e.kdfparams.p = 1u << 27; e.cipherparams.iv = ""; },
       "invalid parameters: invalid scrypt parameters"},
      {"short iv", [](CryptoEnvelope& e) { e.cipherparams.iv = "0001020304050607080910"; },
       "invalid parameters: iv must be 12 bytes, got 11"},
      {"empty iv before the cost bound", [](CryptoEnvelope& e) { e.cipherparams.iv = ""; e.kdfparams.n = 1u << 31; },
       "invalid parameters: iv must be 12 bytes, got 0"},
      {"long iv", [](CryptoEnvelope& e) { e.cipherparams.iv = std::string(26, 'a'); },
       "invalid parameters: iv must be 12 bytes, got 13"},
      // 128*8*2^31 + 128*8*1 + 256*8 + 64
      {"absurd n", [](CryptoEnvelope& e) { e.kdfparams.n = 1u << 31; },
       "invalid parameters: scrypt parameters need 2199023258688 bytes of memory, above the limit of 2147483648"},
      // r just below the RFC 7914 bound r*p < 2^30: 128*r*2^18 + 128*r + 256*r + 64
      {"absurd r", [](CryptoEnvelope& e) { e.kdfparams.r = (1u << 29) - 1; },
       "invalid parameters: scrypt parameters need 18014604634357440 bytes of memory, above the limit of 2147483648"},
      // A count beyond 64 bits is still written exactly.
      {"absurd r and n", [](CryptoEnvelope& e) { e.kdfparams.r = 1u << 29; e.kdfparams.n = 1u << 31; },
       "invalid parameters: scrypt parameters need 147573952795834843200 bytes of memory, above the limit of "
       "2147483648"},
      // 2^30 + 128*8*17 + 2048 + 64 fits; 128*8*2^20*17 does not.
      {"too much work", [](CryptoEnvelope& e) { e.kdfparams.n = 1u << 20; e.kdfparams.p = 17; },
       "invalid parameters: scrypt parameters need 18253611008 bytes of work, above the limit of 17179869184"},
      {"n = 2^20, r = 8, p = 16 is within both bounds",
       [](CryptoEnvelope& e) { e.kdfparams.n = 1u << 20; e.kdfparams.p = 16; }, "decryption failed: aead::Error"},
      {"n = 2^19 is accepted", [](CryptoEnvelope& e) { e.kdfparams.n = 1u << 19; }, "decryption failed: aead::Error"},
      {"salt of any length", [](CryptoEnvelope& e) { e.kdfparams.salt = ""; }, "decryption failed: aead::Error"},
  };
  CryptoEnvelope base;
  base.kdfparams.salt = "00";
  base.cipherparams.iv = "000102030405060708090a0b";
  for (const Row& row : rows) {
    CryptoEnvelope env = base;
    row.alter(env);
    EXPECT_EQ(decrypt_error(env), row.expected) << row.what;
  }
}

TEST(Envelope, ErrorDisplay) {
  using vek_signer::CryptoError;
  EXPECT_EQ((CryptoError{CryptoErrorKind::EncryptionFailed, "x"}).display(), "encryption failed: x");
  EXPECT_EQ((CryptoError{CryptoErrorKind::DecryptionFailed, "aead::Error"}).display(), "decryption failed: aead::Error");
  EXPECT_EQ((CryptoError{CryptoErrorKind::InvalidParams, ""}).display(), "invalid parameters: ");
}

CryptoEnvelope sample_envelope() {
  CryptoEnvelope e;
  e.cipher = "aes-256-gcm";
  e.cipherparams.iv = "000102030405060708090a0b";
  e.ciphertext = "56f4";
  e.auth_tag = "19cb2868150540a0dc52bd96d438f308";
  e.kdf = "scrypt";
  e.kdfparams.salt = "0011";
  return e;
}

TEST(EnvelopeJson, MembersInKeyOrder) {
  EXPECT_EQ(vek_signer::envelope_to_json(sample_envelope()).dump(),
            R"({"auth_tag":"19cb2868150540a0dc52bd96d438f308","cipher":"aes-256-gcm",)"
            R"("cipherparams":{"iv":"000102030405060708090a0b"},"ciphertext":"56f4","kdf":"scrypt",)"
            R"("kdfparams":{"dklen":32,"n":262144,"p":1,"r":8,"salt":"0011"}})");
}

TEST(EnvelopeJson, ReadsAnyOrderAndIgnoresUnknownMembers) {
  const json v = json::parse(
      R"({"kdfparams":{"salt":"0011","r":9,"p":2,"n":524288,"dklen":32,"extra":[1]},"version":3,)"
      R"("kdf":"scrypt","ciphertext":"56f4","cipherparams":{"iv":"00","mode":"x"},"cipher":"c","auth_tag":"aa"})");
  auto e = vek_signer::envelope_from_json(v);
  ASSERT_TRUE(e) << e.error();
  EXPECT_EQ(e->cipher, "c");
  EXPECT_EQ(e->cipherparams.iv, "00");
  EXPECT_EQ(e->ciphertext, "56f4");
  EXPECT_EQ(e->auth_tag, "aa");
  EXPECT_EQ(e->kdf, "scrypt");
  EXPECT_EQ(e->kdfparams.dklen, 32u);
  EXPECT_EQ(e->kdfparams.n, 524288u);
  EXPECT_EQ(e->kdfparams.r, 9u);
  EXPECT_EQ(e->kdfparams.p, 2u);
  EXPECT_EQ(e->kdfparams.salt, "0011");
  auto again = vek_signer::envelope_from_json(vek_signer::envelope_to_json(*e));
  ASSERT_TRUE(again);
  EXPECT_EQ(vek_signer::envelope_to_json(*again), vek_signer::envelope_to_json(*e));
}

TEST(EnvelopeJson, ConversionErrorsNameTheMember) {
  const json good = vek_signer::envelope_to_json(sample_envelope());
  struct Row {
    const char* pointer;  // member to alter
    json value;           // new value; discarded means "remove"
    const char* expected;
  };
  const json removed(json::value_t::discarded);
  const Row rows[] = {
      {"/cipher", removed, "missing field `cipher`"},
      {"/cipherparams", removed, "missing field `cipherparams`"},
      {"/cipherparams/iv", removed, "missing field `cipherparams.iv`"},
      {"/ciphertext", removed, "missing field `ciphertext`"},
      {"/auth_tag", removed, "missing field `auth_tag`"},
      {"/kdf", removed, "missing field `kdf`"},
      {"/kdfparams", removed, "missing field `kdfparams`"},
      {"/kdfparams/dklen", removed, "missing field `kdfparams.dklen`"},
      {"/kdfparams/n", removed, "missing field `kdfparams.n`"},
      {"/kdfparams/r", removed, "missing field `kdfparams.r`"},
      {"/kdfparams/p", removed, "missing field `kdfparams.p`"},
      {"/kdfparams/salt", removed, "missing field `kdfparams.salt`"},
      {"/cipher", 5, "invalid type for `cipher`: expected a string, found an integer"},
      {"/ciphertext", nullptr, "invalid type for `ciphertext`: expected a string, found null"},
      {"/cipherparams", "00", "invalid type for `cipherparams`: expected an object, found a string"},
      {"/cipherparams/iv", json::array(), "invalid type for `cipherparams.iv`: expected a string, found an array"},
      {"/kdfparams", json::array(), "invalid type for `kdfparams`: expected an object, found an array"},
      {"/kdfparams/n", "262144",
       "invalid type for `kdfparams.n`: expected an unsigned 32-bit integer, found a string"},
      {"/kdfparams/r", 8.0,
       "invalid type for `kdfparams.r`: expected an unsigned 32-bit integer, found a floating-point number"},
      {"/kdfparams/p", true, "invalid type for `kdfparams.p`: expected an unsigned 32-bit integer, found a boolean"},
      {"/kdfparams/dklen", 4294967296ull,
       "invalid value for `kdfparams.dklen`: 4294967296 is outside the unsigned 32-bit range"},
      {"/kdfparams/n", -1, "invalid value for `kdfparams.n`: -1 is outside the unsigned 32-bit range"},
      {"/kdfparams/salt", json::object(), "invalid type for `kdfparams.salt`: expected a string, found an object"},
  };
  for (const Row& row : rows) {
    json v = good;
    const json::json_pointer ptr(row.pointer);
    if (row.value.is_discarded()) {
      v[ptr.parent_pointer()].erase(ptr.back());
    } else {
      v[ptr] = row.value;
    }
    auto e = vek_signer::envelope_from_json(v);
    ASSERT_FALSE(e) << row.pointer;
    EXPECT_EQ(e.error(), row.expected) << row.pointer;
  }
  EXPECT_EQ(vek_signer::envelope_from_json(json::array()).error(),
            "invalid type for `crypto`: expected an object, found an array");

  json max = good;
  max["kdfparams"]["p"] = 4294967295u;
  auto e = vek_signer::envelope_from_json(max);
  ASSERT_TRUE(e) << e.error();
  EXPECT_EQ(e->kdfparams.p, 4294967295u);
}

}  // namespace
