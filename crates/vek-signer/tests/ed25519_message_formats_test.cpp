// The Ed25519 families' message formats: Solana off-chain messages (both header layouts)
// and TON Connect's ton_proof, sign-data and raw signatures, against published vectors
// and oracle-made ones, their limits, and malformed input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "solana/signer.h"
#include "ton/signer.h"
#include "vek/signer/crc16.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/ed25519_message_formats.h"

#include "test_vectors.h"

using namespace vek_signer;
using Bytes = std::vector<std::uint8_t>;
using vek_test::load;
using vek_test::unhex;

namespace {

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

Ed25519Key key_of(const std::string& hex) {
  Ed25519Key k{};
  const auto b = unhex(hex);
  EXPECT_EQ(b.size(), 32u);
  std::copy_n(b.begin(), std::min<std::size_t>(b.size(), 32), k.begin());
  return k;
}

template <typename T>
std::string error_of(const SignerResult<T>& result) {
  return result ? std::string("(no error)") : result.error().detail;
}

// RFC 8032 test 1: the key the oracle vectors were made with.
const Bytes kSecret = unhex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
const Ed25519Key kPublic = key_of("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
const std::string kSolAddress = base58_encode(kPublic);

// Signs `bytes` as they are (the raw Ed25519 primitive).
Bytes raw_sign(std::span<const std::uint8_t> bytes) { return SolanaSigner().sign(kSecret, bytes).value().signature; }

// The current layout written out by hand, any declared format.
Bytes current_layout(std::span<const std::uint8_t> msg, std::uint8_t format, std::span<const Ed25519Key> signers) {
  Bytes out(kSolanaSigningDomain.begin(), kSolanaSigningDomain.end());
  out.push_back(0);
  out.insert(out.end(), 32, 0);
  out.push_back(format);
  out.push_back(static_cast<std::uint8_t>(signers.size()));
  for (const auto& s : signers) out.insert(out.end(), s.begin(), s.end());
  out.push_back(static_cast<std::uint8_t>(msg.size() & 0xff));
  out.push_back(static_cast<std::uint8_t>(msg.size() >> 8));
  out.insert(out.end(), msg.begin(), msg.end());
  return out;
}

// The short layout written out by hand, any declared format.
Bytes legacy_layout(std::span<const std::uint8_t> msg, std::uint8_t format) {
  Bytes out(kSolanaSigningDomain.begin(), kSolanaSigningDomain.end());
  out.push_back(0);
  out.push_back(format);
  out.push_back(static_cast<std::uint8_t>(msg.size() & 0xff));
  out.push_back(static_cast<std::uint8_t>(msg.size() >> 8));
  out.insert(out.end(), msg.begin(), msg.end());
  return out;
}

}  // namespace

// ---------------------------------------------------------------- Solana

TEST(SolanaOffchain, EachLayoutSignsAndEveryAdmittingFormatVerifies) {
  const Ed25519Key one[] = {kPublic};
  const Bytes msg = text("plain ascii");
  EXPECT_EQ(solana_offchain_sign_legacy(kSecret, msg).value().signature, raw_sign(legacy_layout(msg, 0)));
  EXPECT_EQ(solana_offchain_sign(kSecret, msg).value().signature, raw_sign(current_layout(msg, 0, one)));
  // A wider format byte than the narrowest still admits the text, in either layout.
  for (const std::uint8_t format : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}}) {
    EXPECT_EQ(solana_offchain_verify(kSolAddress, msg, raw_sign(legacy_layout(msg, format))), true) << int(format);
    EXPECT_EQ(solana_offchain_verify(kSolAddress, msg, raw_sign(current_layout(msg, format, one))), true) << int(format);
  }
  // A format that does not admit it is no signature of the message.
  const Bytes utf8 = text("caf\xc3\xa9");
  EXPECT_EQ(solana_offchain_verify(kSolAddress, utf8, raw_sign(legacy_layout(utf8, 0))), false);
  EXPECT_EQ(solana_offchain_verify(kSolAddress, utf8, raw_sign(legacy_layout(utf8, 2))), true);
  EXPECT_EQ(solana_offchain_verify(kSolAddress, Bytes(1213, 'a'), raw_sign(legacy_layout(Bytes(1213, 'a'), 0))), false);
}

TEST(SolanaOffchain, PublishedBytesAndHashes) {
  const auto v = load("solana-offchain.json");
  for (const auto& e : v["published_bytes"]) {
    const Bytes msg = text(e["message_utf8"].get<std::string>());
    SignerResult<Bytes> bytes = e["legacy"].get<bool>() ? solana_offchain_bytes_legacy(msg) : [&] {
      std::vector<Ed25519Key> signers;
      for (const auto& s : e["signers"]) signers.push_back(key_of(s));
      return solana_offchain_bytes(msg, signers, key_of(e["application_domain"]));
    }();
    ASSERT_TRUE(bytes) << error_of(bytes);
    EXPECT_EQ(base58_encode(sha256(*bytes)), e["sha256_base58"].get<std::string>()) << e["source"];
    if (e.contains("bytes")) {
      EXPECT_EQ(hex_encode(*bytes), e["bytes"].get<std::string>());
    }
    const auto parsed = solana_offchain_parse(*bytes);
    ASSERT_TRUE(parsed) << error_of(parsed);
    EXPECT_EQ(parsed->legacy, e["legacy"].get<bool>());
    EXPECT_EQ(static_cast<int>(parsed->format), e["format"].get<int>());
    EXPECT_EQ(Bytes(parsed->message.begin(), parsed->message.end()), msg);
  }
}

TEST(SolanaOffchain, SignaturesOfOthersAndOurs) {
  const auto v = load("solana-offchain.json");
  for (const auto& e : v["published_signatures"]) {  // the short header, from the command-line tool
    const auto sig = base58_decode(e["signature_base58"].get<std::string>()).value();
    const Bytes msg = text(e["message_utf8"].get<std::string>());
    EXPECT_EQ(solana_offchain_verify(e["address"].get<std::string>(), msg, sig), true) << e["source"];
    EXPECT_EQ(solana_offchain_verify(e["address"].get<std::string>(), text("hey there!"), sig), false);
    const auto bytes = solana_offchain_bytes_legacy(msg).value();
    EXPECT_EQ(solana_offchain_verify_bytes(e["address"].get<std::string>(), bytes, sig), true);
  }
  for (const auto& e : v["oracle_signatures"]) {
    ASSERT_EQ(e["address"].get<std::string>(), kSolAddress);
    const Bytes msg = text(e["message_utf8"].get<std::string>());
    const Ed25519Key domain = key_of(e["application_domain"]);
    const Bytes expected = unhex(e["signature"]);
    const Ed25519Key signers[] = {kPublic};
    EXPECT_EQ(hex_encode(solana_offchain_bytes(msg, signers, domain).value()), e["bytes"].get<std::string>());
    const auto ours = solana_offchain_sign(kSecret, msg, domain);
    ASSERT_TRUE(ours) << error_of(ours);
    EXPECT_EQ(ours->signature, expected);  // Ed25519 is deterministic
    EXPECT_FALSE(ours->recovery_id.has_value());
    EXPECT_EQ(solana_offchain_verify(kSolAddress, msg, expected, domain), true);
    EXPECT_EQ(solana_offchain_verify(kSolAddress, msg, expected, Ed25519Key{0x01}), false);  // another domain
    EXPECT_EQ(solana_offchain_verify_bytes(kSolAddress, unhex(e["bytes"]), expected), true);
    // A signer the bytes do not list proves nothing, whatever the signature.
    EXPECT_EQ(solana_offchain_verify_bytes(base58_encode(Ed25519Key{0x07}), unhex(e["bytes"]), expected), false);
  }
}

TEST(SolanaOffchain, FormatsAndLengthLimits) {
  const Ed25519Key one[] = {kPublic};
  const auto format_of = [&](const Bytes& msg) { return solana_offchain_parse(solana_offchain_bytes(msg, one).value())->format; };
  EXPECT_EQ(format_of(text("plain ~ ascii")), SolanaOffchainFormat::RestrictedAscii);
  EXPECT_EQ(format_of(text("line\nbreak")), SolanaOffchainFormat::LimitedUtf8);
  // 17 + 36 + 32 + 1147 = 1232: the last length of formats 0 and 1 with one signer.
  EXPECT_EQ(format_of(Bytes(1147, 'a')), SolanaOffchainFormat::RestrictedAscii);
  EXPECT_EQ(format_of(Bytes(1148, 'a')), SolanaOffchainFormat::ExtendedUtf8);
  EXPECT_EQ(format_of(Bytes(65450, 'a')), SolanaOffchainFormat::ExtendedUtf8);
  EXPECT_EQ(error_of(solana_offchain_bytes(Bytes(65451, 'a'), one)),
            "off-chain message of 65451 bytes is too long: at most 65450 bytes");
  EXPECT_EQ(error_of(solana_offchain_bytes({}, one)), "off-chain message is empty");
  EXPECT_EQ(error_of(solana_offchain_bytes(Bytes{0x61, 0xff}, one)),
            "off-chain message is not valid UTF-8: invalid utf-8 sequence of 1 bytes from index 1");
  EXPECT_EQ(error_of(solana_offchain_bytes(text("x"), {})), "off-chain message needs 1 to 255 signers, got 0");
  EXPECT_EQ(error_of(solana_offchain_bytes(text("x"), std::vector<Ed25519Key>(256, kPublic))),
            "off-chain message needs 1 to 255 signers, got 256");
  const Ed25519Key with_zero[] = {kPublic, Ed25519Key{}};
  EXPECT_EQ(error_of(solana_offchain_bytes(text("x"), with_zero)), "off-chain message signers include the zero key");
  const auto sign_error = solana_offchain_sign(Bytes(31, 1), text("x"));
  ASSERT_FALSE(sign_error);
  EXPECT_EQ(sign_error.error().code, SignerErrorKind::InvalidPrivateKey);

  // The current SDK counts the limits from the application domain on, so it writes
  // format 0 up to 1164 bytes with one signer; verification accepts both readings.
  const Bytes band(1160, 'b');
  const Bytes sdk_bytes = current_layout(band, 0, one);
  EXPECT_EQ(solana_offchain_verify(kSolAddress, band, raw_sign(sdk_bytes)), true);
  EXPECT_EQ(solana_offchain_verify(kSolAddress, band, raw_sign(solana_offchain_bytes(band, one).value())), true);
  EXPECT_EQ(solana_offchain_parse(sdk_bytes)->format, SolanaOffchainFormat::RestrictedAscii);
  // The short header admits messages up to 65515 bytes, beyond the current one.
  const Bytes longest(65515, 'c');
  EXPECT_EQ(solana_offchain_verify(kSolAddress, longest, raw_sign(solana_offchain_bytes_legacy(longest).value())), true);
  EXPECT_EQ(error_of(solana_offchain_verify(kSolAddress, Bytes(65516, 'c'), Bytes(64))),
            "off-chain message of 65516 bytes is too long: at most 65515 bytes");
  // A raw signature over the text alone is not an off-chain signature.
  EXPECT_EQ(solana_offchain_verify(kSolAddress, text("hello"), raw_sign(text("hello"))), false);
  EXPECT_EQ(error_of(solana_offchain_verify("0OIl", text("x"), Bytes(64))), "invalid Solana address: '0OIl'");
  EXPECT_EQ(error_of(solana_offchain_verify(kSolAddress, text("x"), Bytes(63))), "expected a 64-byte signature, got 63 bytes");
}

TEST(SolanaOffchain, MalformedBytes) {
  const Ed25519Key one[] = {kPublic};
  const Bytes good = solana_offchain_bytes(text("Hello"), one).value();  // 17 + 34 + 32 + 2 + 5 bytes
  const auto parse_error = [](Bytes b) { return error_of(solana_offchain_parse(b)); };
  const auto with = [&](std::size_t at, std::uint8_t value) { Bytes b = good; b[at] = value; return b; };
  EXPECT_EQ(parse_error({}), "off-chain message: no signing domain");
  EXPECT_EQ(parse_error(with(0, 0x00)), "off-chain message: no signing domain");
  EXPECT_EQ(parse_error(Bytes(good.begin(), good.begin() + 16)), "off-chain message: truncated header");
  EXPECT_EQ(parse_error(with(16, 1)), "off-chain message: unsupported header version 1");
  EXPECT_EQ(parse_error(with(49, 3)), "off-chain message: unknown format 3");
  EXPECT_EQ(parse_error(with(50, 0)), "off-chain message: no signers");
  EXPECT_EQ(parse_error(with(50, 2)), "off-chain message: truncated header");
  EXPECT_EQ(parse_error(Bytes(good.begin(), good.end() - 1)), "off-chain message: length field says 5 bytes but 4 follow");
  Bytes longer = good;
  longer.push_back('!');
  EXPECT_EQ(parse_error(longer), "off-chain message: length field says 5 bytes but 6 follow");
  EXPECT_EQ(parse_error(current_layout(text("caf\xc3\xa9"), 0, one)), "off-chain message: text does not fit format 0");
  EXPECT_EQ(parse_error(current_layout(Bytes(2000, 'a'), 1, one)), "off-chain message: text does not fit format 1");
  EXPECT_EQ(parse_error(current_layout(Bytes{0xc3}, 2, one)), "off-chain message: text does not fit format 2");
  const Ed25519Key with_zero[] = {kPublic, Ed25519Key{}};
  EXPECT_EQ(parse_error(current_layout(text("x"), 0, with_zero)), "off-chain message: signers include the zero key");
  // A wider declared format than needed is accepted.
  EXPECT_TRUE(solana_offchain_parse(current_layout(text("x"), 2, one)));
  // The short layout's errors, when its length field accounts for the bytes present.
  Bytes legacy = solana_offchain_bytes_legacy(text("Hi")).value();
  legacy[17] = 0x09;
  EXPECT_EQ(parse_error(legacy), "off-chain message: unknown format 9");
  EXPECT_EQ(error_of(solana_offchain_verify_bytes(kSolAddress, with(16, 1), Bytes(64))),
            "off-chain message: unsupported header version 1");
  // Any flipped byte of signed bytes fails the check or the parse, never verifies.
  const Bytes sig = raw_sign(good);
  for (std::size_t i = 0; i < good.size(); ++i) {
    const auto r = solana_offchain_verify_bytes(kSolAddress, with(i, good[i] ^ 0x01), sig);
    EXPECT_TRUE(!r || !*r) << "byte " << i;
  }
}

// ---------------------------------------------------------------- TON

constexpr auto kMain = TonNetwork::Mainnet;

TEST(TonConnect, AddressForms) {
  const TonSigner ton;
  const std::string friendly = ton.derive_address(kSecret).value();  // "UQ..." (non-bounceable)
  const TonAccount ours = ton_wallet_account(kPublic, kMain);
  EXPECT_EQ(ton_parse_address(friendly), ours);
  EXPECT_EQ(ton_parse_address("0:" + hex_encode(ours.hash)), ours);
  EXPECT_EQ(ton_parse_address("0:" + hex_encode(ours.hash)).value().workchain, 0);
  // The same account bounceable and test-only, in both base64 alphabets.
  Bytes raw = base64url_decode(friendly).value();
  for (const std::uint8_t flags : {std::uint8_t{0x11}, std::uint8_t{0x91}, std::uint8_t{0xd1}}) {
    raw[0] = flags;
    const std::uint16_t crc = crc16_xmodem(std::span(raw).first(34));
    raw[34] = static_cast<std::uint8_t>(crc >> 8);
    raw[35] = static_cast<std::uint8_t>(crc & 0xff);
    EXPECT_EQ(ton_parse_address(base64url_encode(raw)), ours);
    EXPECT_EQ(ton_parse_address(base64_encode(raw)), ours);
  }
  const auto master = ton_parse_address("-1:" + std::string(64, 'F'));
  ASSERT_TRUE(master);
  EXPECT_EQ(master->workchain, -1);
  std::string bad_crc = friendly;
  bad_crc[47] = bad_crc[47] == 'A' ? 'B' : 'A';
  for (const std::string& bad : std::vector<std::string>{bad_crc, friendly.substr(1), std::string(":" + std::string(64, '0')),
                                "0:" + std::string(63, '0'), "x:" + std::string(64, '0'), "+0:" + std::string(64, '0'),
                                "4294967296:" + std::string(64, '0'), std::string("")}) {
    EXPECT_EQ(error_of(ton_parse_address(bad)), "invalid TON address: '" + bad + "'");
  }
}

TEST(TonConnect, PublishedProofs) {
  const auto v = load("ton-connect.json");
  for (const auto& e : v["ton_proof"]) {
    const std::string address = e["address"];
    const Bytes pk = unhex(e["public_key"]);
    const std::string domain = e["domain"];
    const std::uint64_t ts = e["timestamp"];
    const Bytes payload = text(e["payload_utf8"].get<std::string>());
    const Bytes sig = base64_decode(e["signature_base64"].get<std::string>()).value();
    EXPECT_EQ(ton_proof_verify(address, pk, domain, ts, payload, sig, TonKeyCheck::AsGiven, kMain), true) << e["source"];
    // Not this project's wallet contract: the key does not derive that address.
    EXPECT_EQ(ton_proof_verify(address, pk, domain, ts, payload, sig, TonKeyCheck::WalletContract, kMain), false);
    EXPECT_EQ(ton_proof_verify(address, pk, domain, ts + 1, payload, sig, TonKeyCheck::AsGiven, kMain), false);
    EXPECT_EQ(ton_proof_verify(address, pk, "winogarcia.github.com", ts, payload, sig, TonKeyCheck::AsGiven, kMain), false);
    EXPECT_EQ(ton_proof_verify("-1:" + address.substr(2), pk, domain, ts, payload, sig, TonKeyCheck::AsGiven, kMain), false);
  }
}

TEST(TonConnect, PublishedStateInitsGiveAddressAndKey) {
  const auto v = load("ton-connect.json");
  for (const auto& e : v["ton_proof"]) {
    const auto state = ton_parse_state_init(base64_decode(e["state_init"].get<std::string>()).value());
    ASSERT_TRUE(state) << error_of(state) << e["source"];
    EXPECT_EQ(state->hash, ton_parse_address(e["address"].get<std::string>()).value().hash) << e["source"];
    EXPECT_EQ(hex_encode(state->public_key), e["public_key"].get<std::string>()) << e["source"];
  }
  // Three cells written out by hand: a StateInit whose code is one byte, no wallet's.
  const Bytes boc = unhex("b5ee9c72" "01" "01" "03" "01" "00" "0a" "00" "020134" "0102" "0002ab" "0000");
  EXPECT_EQ(error_of(ton_parse_state_init(boc)),
            "invalid state_init: the code is not a wallet of version v3r1, v3r2, v4r2, v5r1 or v5 beta (code hash " +
                hex_encode(sha256(unhex("0002ab"))) + ")");
  Bytes backwards = boc;
  backwards[14] = 0;  // the root's first reference names the root itself
  EXPECT_EQ(error_of(ton_parse_state_init(backwards)), "invalid state_init: a reference does not point to a later cell");
  EXPECT_EQ(error_of(ton_parse_state_init(Bytes(boc.begin(), boc.begin() + 8))), "invalid state_init: truncated bag of cells");
  EXPECT_EQ(error_of(ton_parse_state_init(Bytes(boc.begin(), boc.end() - 1))), "invalid state_init: cell data size does not match");
  Bytes published = base64_decode(v["ton_proof"][0]["state_init"].get<std::string>()).value();
  published.back() ^= 1;  // the stored CRC-32C
  EXPECT_EQ(error_of(ton_parse_state_init(published)), "invalid state_init: checksum mismatch");
  EXPECT_EQ(error_of(ton_parse_state_init(Bytes(16385, 0))), "invalid state_init: larger than 16384 bytes");
}

TEST(TonConnect, TestnetSignsForTheTestnetAccount) {
  const std::string testnet = TonSigner(true).derive_address(kSecret).value();
  const std::string mainnet = TonSigner(false).derive_address(kSecret).value();
  const Bytes payload = text("nonce");
  const auto proof = ton_proof_sign(kSecret, "app.example", 1, payload, TonNetwork::Testnet).value().signature;
  const auto digest = ton_proof_digest(ton_parse_address(testnet).value(), "app.example", 1, payload).value();
  EXPECT_EQ(proof, raw_sign(digest));
  EXPECT_EQ(ton_proof_verify(testnet, kPublic, "app.example", 1, payload, proof, TonKeyCheck::WalletContract,
                             TonNetwork::Testnet), true);
  EXPECT_EQ(ton_proof_verify(testnet, kPublic, "app.example", 1, payload, proof, TonKeyCheck::WalletContract,
                             TonNetwork::Mainnet), false);
  EXPECT_EQ(ton_proof_verify(mainnet, kPublic, "app.example", 1, payload, proof, TonKeyCheck::WalletContract,
                             TonNetwork::Mainnet), false);
}

TEST(TonConnect, SignDataVectorsAndRoundTrips) {
  const auto v = load("ton-connect.json");
  for (const auto& e : v["sign_data"]) {
    const auto kind = e["kind"] == "text" ? TonSignDataKind::Text : TonSignDataKind::Binary;
    const auto other = kind == TonSignDataKind::Text ? TonSignDataKind::Binary : TonSignDataKind::Text;
    const std::string address = e["address"];
    const Bytes payload = unhex(e["payload"]);
    const Bytes sig = unhex(e["signature"]);
    const std::string domain = e["domain"];
    const std::uint64_t ts = e["timestamp"];
    const auto digest = ton_sign_data_digest(ton_parse_address(address).value(), domain, ts, kind, payload);
    ASSERT_TRUE(digest);
    EXPECT_EQ(hex_encode(*digest), e["digest"].get<std::string>());
    EXPECT_EQ(ton_sign_data_verify(address, kPublic, domain, ts, kind, payload, sig, TonKeyCheck::AsGiven, kMain), true);
    const auto as_other = ton_sign_data_verify(address, kPublic, domain, ts, other, payload, sig, TonKeyCheck::AsGiven, kMain);
    EXPECT_TRUE(!as_other || !*as_other);  // binary bytes that are not UTF-8 are no text at all
  }
  // Ours verify under this project's wallet address, in both address forms.
  const std::string friendly = TonSigner().derive_address(kSecret).value();
  const std::string raw = "0:" + hex_encode(ton_wallet_account(kPublic, kMain).hash);
  const Bytes payload = text("Confirm login");
  for (const auto kind : {TonSignDataKind::Text, TonSignDataKind::Binary}) {
    const auto sig = ton_sign_data_sign(kSecret, "app.example", 1700000000, kind, payload, kMain);
    ASSERT_TRUE(sig) << error_of(sig);
    for (const auto& address : {friendly, raw}) {
      EXPECT_EQ(ton_sign_data_verify(address, kPublic, "app.example", 1700000000, kind, payload, sig->signature,
                                     TonKeyCheck::WalletContract, kMain), true);
    }
    EXPECT_EQ(ton_sign_data_verify(raw, kPublic, "app.example", 1700000001, kind, payload, sig->signature,
                                   TonKeyCheck::WalletContract, kMain), false);
  }
  const auto proof = ton_proof_sign(kSecret, "app.example", 1700000000, payload, kMain);
  ASSERT_TRUE(proof);
  EXPECT_EQ(ton_proof_verify(friendly, kPublic, "app.example", 1700000000, payload, proof->signature,
                             TonKeyCheck::WalletContract, kMain), true);
  // A proof is no sign-data signature and neither is a raw one.
  EXPECT_EQ(ton_sign_data_verify(friendly, kPublic, "app.example", 1700000000, TonSignDataKind::Binary, payload,
                                 proof->signature, TonKeyCheck::WalletContract, kMain), false);
  const Bytes raw_sig = TonSigner().sign_message(kSecret, payload).value().signature;
  EXPECT_EQ(ton_raw_verify(friendly, kPublic, payload, raw_sig, TonKeyCheck::WalletContract, kMain), true);
  EXPECT_EQ(ton_raw_verify(friendly, kPublic, payload, proof->signature, TonKeyCheck::WalletContract, kMain), false);
  // Another key does not derive the address: false with the check, a signature question without it.
  const Ed25519Key stranger = key_of(std::string(64, '1'));
  EXPECT_EQ(ton_raw_verify(friendly, stranger, payload, raw_sig, TonKeyCheck::WalletContract, kMain), false);
}

TEST(TonConnect, BadInputs) {
  const std::string raw = "0:" + std::string(64, '0');
  const Bytes sig(64);
  EXPECT_EQ(error_of(ton_proof_verify(raw, Bytes(31), "a.b", 1, {}, sig, TonKeyCheck::AsGiven, kMain)),
            "expected a 32-byte public key, got 31 bytes");
  EXPECT_EQ(error_of(ton_proof_verify(raw, kPublic, "a.b", 1, {}, Bytes(65), TonKeyCheck::AsGiven, kMain)),
            "expected a 64-byte signature, got 65 bytes");
  EXPECT_EQ(error_of(ton_proof_verify("0:zz", kPublic, "a.b", 1, {}, sig, TonKeyCheck::AsGiven, kMain)),
            "invalid TON address: '0:zz'");
  EXPECT_EQ(error_of(ton_proof_verify(raw, kPublic, "", 1, {}, sig, TonKeyCheck::AsGiven, kMain)), "ton_proof domain is empty");
  EXPECT_EQ(error_of(ton_sign_data_sign(kSecret, "", 1, TonSignDataKind::Binary, {}, kMain)), "sign-data domain is empty");
  EXPECT_EQ(error_of(ton_sign_data_sign(kSecret, "a.b", 1, TonSignDataKind::Text, Bytes{0xe2, 0x82}, kMain)),
            "sign-data text is not valid UTF-8: incomplete utf-8 byte sequence from index 0");
  EXPECT_TRUE(ton_sign_data_sign(kSecret, "a.b", 1, TonSignDataKind::Binary, Bytes{0xe2, 0x82}, kMain));
  const auto short_key = ton_proof_sign(Bytes(33), "a.b", 1, {}, kMain);
  ASSERT_FALSE(short_key);
  EXPECT_EQ(short_key.error().code, SignerErrorKind::InvalidPrivateKey);
}
