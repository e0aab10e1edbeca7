// Wycheproof vectors (tests/vectors/wycheproof, unmodified) through our own checks: every
// valid case accepted, every invalid one refused, each "acceptable" one as decided here.
//
//   ecdsa_secp256k1_sha256_bitcoin_test.json  DER, low s, over SHA-256(msg): secp::verify_der,
//     the check under bip322_verify (whose digest is the BIP-322 sighash, not SHA-256(msg)).
//   ecdsa_secp256k1_sha256_p1363_test.json  r || s over SHA-256(msg): cosmos_raw_verify, which
//     hashes the message itself; the format carries a recovery id, so a case is accepted
//     when one of the recovery ids 0 to 3 appended to r || s verifies for the key's address.
//   ed25519_test.json  solana_verify (base58 address of the key) and ton_raw_verify (the
//     key and the address of its wallet contract); both must answer alike.
//   aes_gcm_test.json  the envelope's AES-256-GCM opening (gcm_open, what decrypt runs after
//     scrypt) for the envelope's parameters: 256-bit key, 96-bit nonce, 128-bit tag, no
//     associated data. A 256-bit case with another nonce size goes through decrypt, which
//     refuses it before any derivation; cases with associated data or a 128/192-bit key
//     cannot be expressed as an envelope and are counted as skipped.
//
// "Acceptable" cases (ed25519_test.json only) and the decision, asserted below:
//   tcId 152-159  SmallOrderPublicKey  refused: a key of small order verifies forged
//                 signatures (the identity key any signature with R = S·B); libsodium
//                 refuses such keys, as Solana's and TON's own verifiers do.
//   tcId 160-180  MixedOrderPublicKey  accepted: the key is a point of prime order plus a
//                 torsion point; only the holder of its scalar can sign, and RFC 8032's
//                 cofactorless equation holds. libsodium, like ed25519-dalek's
//                 verify_strict, refuses only keys of small order.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "envelope_aead.h"
#include "chains/secp256k1.h"
#include "vek/signer/bech32.h"
#include "vek/signer/crypto.h"
#include "vek/signer/ed25519_message_formats.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/message_formats.h"
#include "vek/signer/verify.h"

#include "test_vectors.h"

namespace {

using nlohmann::json;
using vek_test::unhex;
using Bytes = std::vector<std::uint8_t>;

struct Tally {
  int valid = 0, invalid = 0, acceptable = 0, skipped = 0;
  bool operator==(const Tally&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Tally& t) {
  return os << "{valid " << t.valid << ", invalid " << t.invalid << ", acceptable " << t.acceptable << ", skipped "
            << t.skipped << "}";
}

// Runs every case of wycheproof/{file}: `accepts(group, test)` answers whether our
// check accepts it, or nullopt for a case outside the profile (skipped). A valid case
// must be accepted, an invalid one refused, an acceptable one as `decided` says.
using Accepts = std::function<std::optional<bool>(const json& group, const json& test)>;
Tally run_file(const std::string& file, const Accepts& accepts, const std::map<int, bool>& decided = {}) {
  const json doc = vek_test::load("wycheproof/" + file);
  Tally tally;
  for (const json& group : doc["testGroups"]) {
    for (const json& test : group["tests"]) {
      const int id = test["tcId"].get<int>();
      const std::string result = test["result"].get<std::string>();
      const auto got = accepts(group, test);
      if (!got) {
        ++tally.skipped;
        continue;
      }
      bool want = result == "valid";
      if (result == "acceptable") {
        const auto it = decided.find(id);
        if (it == decided.end()) {
          ADD_FAILURE() << file << " tcId " << id << ": acceptable case without a decision (ours: " << *got << ")";
          continue;
        }
        want = it->second;
        ++tally.acceptable;
      } else {
        ++(want ? tally.valid : tally.invalid);
      }
      EXPECT_EQ(*got, want) << file << " tcId " << id << " (" << result << ", " << test["comment"] << ")";
    }
  }
  return tally;
}

Bytes field(const json& j, const char* name) { return unhex(j[name].get<std::string>()); }

TEST(Wycheproof, Secp256k1BitcoinProfileThroughTheDerCheck) {
  const auto tally = run_file("ecdsa_secp256k1_sha256_bitcoin_test.json", [](const json& group, const json& test) {
    const Bytes pub = unhex(group["publicKey"]["uncompressed"].get<std::string>());
    const auto hash = vek_signer::sha256(field(test, "msg"));
    return std::optional(vek_signer::secp::verify_der(hash, field(test, "sig"), pub).value_or(false));
  });
  EXPECT_EQ(tally, (Tally{162, 302, 0, 0}));
}

TEST(Wycheproof, Secp256k1RawThroughTheCosmosRawCheck) {
  const auto tally = run_file("ecdsa_secp256k1_sha256_p1363_test.json", [](const json& group, const json& test) {
    const Bytes pub = unhex(group["publicKey"]["uncompressed"].get<std::string>());
    const auto groups = vek_signer::convert_bits(
        vek_signer::hash160(vek_signer::secp::compress(std::span<const std::uint8_t, 65>(pub.data(), 65))), 8, 5, true);
    const std::string address = vek_signer::bech32_encode("cosmos", groups.value(), 90).value();
    Bytes sig = field(test, "sig");
    sig.push_back(0);
    for (std::uint8_t recid = 0; recid < 4; ++recid) {
      sig.back() = recid;
      if (vek_signer::cosmos_raw_verify(address, field(test, "msg"), sig).value_or(false)) return std::optional(true);
    }
    return std::optional(false);
  });
  EXPECT_EQ(tally, (Tally{167, 85, 0, 0}));
}

TEST(Wycheproof, Ed25519ThroughTheSolanaAndTonChecks) {
  std::map<int, bool> decided;
  for (int id = 152; id <= 180; ++id) decided[id] = id >= 160;
  const auto tally = run_file(
      "ed25519_test.json",
      [](const json& group, const json& test) -> std::optional<bool> {
        const Bytes pk = unhex(group["publicKey"]["pk"].get<std::string>());
        const Bytes msg = field(test, "msg"), sig = field(test, "sig");
        const bool solana = vek_signer::solana_verify(vek_signer::base58_encode(pk), msg, sig).value_or(false);
        vek_signer::Ed25519Key key{};
        std::copy_n(pk.begin(), std::min<std::size_t>(pk.size(), 32), key.begin());
        const std::string address = "0:" + vek_signer::hex_encode(vek_signer::ton_wallet_account(key, vek_signer::TonNetwork::Mainnet).hash);
        const bool ton =
            vek_signer::ton_raw_verify(address, pk, msg, sig, vek_signer::TonKeyCheck::WalletContract,
                                       vek_signer::TonNetwork::Mainnet)
                .value_or(false);
        EXPECT_EQ(solana, ton) << "tcId " << test["tcId"];
        return solana;
      },
      decided);
  EXPECT_EQ(tally, (Tally{117, 64, 29, 0}));
}

TEST(Wycheproof, AesGcmThroughTheEnvelopeDecryption) {
  int other_iv = 0;
  const auto tally = run_file("aes_gcm_test.json", [&](const json& group, const json& test) -> std::optional<bool> {
    if (group["keySize"] != 256 || !test["aad"].get<std::string>().empty()) return std::nullopt;
    const Bytes key = field(test, "key"), iv = field(test, "iv"), msg = field(test, "msg");
    if (group["ivSize"] != 96) {
      // The envelope's nonce is 12 bytes; decrypt refuses any other before deriving a key.
      vek_signer::CryptoEnvelope env;
      env.cipherparams.iv = test["iv"];
      env.ciphertext = test["ct"];
      env.auth_tag = test["tag"];
      env.kdfparams.salt = std::string(64, '0');
      const auto r = vek_signer::decrypt(env, "");
      EXPECT_EQ(r ? std::string("(decrypted)") : r.error().display(),
                "invalid parameters: iv must be 12 bytes, got " + std::to_string(iv.size()));
      ++other_iv;
      return std::nullopt;
    }
    Bytes sealed = field(test, "ct");
    const Bytes tag = field(test, "tag");
    sealed.insert(sealed.end(), tag.begin(), tag.end());
    const auto r = vek_signer::gcm_open(std::span<const std::uint8_t, 32>(key.data(), 32),
                                        std::span<const std::uint8_t, 12>(iv.data(), 12), sealed);
    if (!r) {
      EXPECT_EQ(r.error().display(), "decryption failed: aead::Error");
      return false;
    }
    EXPECT_EQ(Bytes(r->span().begin(), r->span().end()), msg) << "tcId " << test["tcId"];
    return true;
  });
  EXPECT_EQ(tally, (Tally{21, 27, 0, 316 - 48}));
  EXPECT_EQ(other_iv, 39);
}

}  // namespace
