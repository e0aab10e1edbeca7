// The Bitcoin message formats' signing, checks and recovery (vek/signer/message_formats.h).
#include "vek/core/ascii.h"
#include "vek/signer/message_formats.h"

#include <algorithm>

#include "bitcoin/signer.h"
#include "chains/secp_messages.h"
#include "vek/signer/bech32.h"
#include "vek/signer/encoding.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {
namespace {

using namespace secp_messages;

// The P2SH-P2WPKH script hash: HASH160 of the witness program 0x00 0x14 {key hash}.
Hash20 nested_script_hash(const Hash20& key_hash) {
  std::array<std::uint8_t, 22> script{0x00, 0x14};
  std::copy(key_hash.begin(), key_hash.end(), script.begin() + 2);
  return hash160(script);
}

std::string base58_address(std::uint8_t version, const Hash20& hash) {
  std::array<std::uint8_t, 21> payload{version};
  std::copy(hash.begin(), hash.end(), payload.begin() + 1);
  return base58check_encode(payload);
}

SignerResult<std::string> p2wpkh_address(std::string_view hrp, const Hash20& hash) {
  auto address = segwit_v0_encode(hrp, hash);
  if (!address) return signer_error(SignerErrorKind::AddressDerivation, address.error().display());
  return std::move(*address);
}
struct BitcoinAddress {
  enum class Kind : std::uint8_t { P2pkh, P2sh, P2wpkh } kind;
  Hash20 hash;
};

// P2PKH and P2SH (mainnet and testnet versions) or a version-0 P2WPKH address of any prefix.
std::optional<BitcoinAddress> parse_bitcoin_address(std::string_view text) {
  if (auto payload = base58check_decode(text); payload && payload->size() == 21) {
    BitcoinAddress out{BitcoinAddress::Kind::P2pkh, {}};
    std::copy(payload->begin() + 1, payload->end(), out.hash.begin());
    switch ((*payload)[0]) {
      case 0x00: case 0x6f: return out;
      case 0x05: case 0xc4: out.kind = BitcoinAddress::Kind::P2sh; return out;
      default: return std::nullopt;
    }
  }
  const auto sep = text.rfind('1');
  if (sep == std::string_view::npos) return std::nullopt;
  std::string hrp(text.substr(0, sep));
  std::transform(hrp.begin(), hrp.end(), hrp.begin(), [](char c) { return vek_core::ascii_lower(c); });
  auto program = segwit_decode(hrp, text);
  if (!program || program->version != 0 || program->program.size() != 20) return std::nullopt;
  BitcoinAddress out{BitcoinAddress::Kind::P2wpkh, {}};
  std::copy(program->program.begin(), program->program.end(), out.hash.begin());
  return out;
}

// Whether `address` is one of the addresses of the key: P2PKH of the uncompressed key,
// or (compressed) P2PKH, P2SH-P2WPKH and P2WPKH of the compressed key.
bool address_of_key(const BitcoinAddress& address, std::span<const std::uint8_t, secp::kUncompressedBytes> pub,
                    bool compressed) {
  if (!compressed) return address.kind == BitcoinAddress::Kind::P2pkh && address.hash == hash160(pub);
  const Hash20 key_hash = compressed_key_hash(pub);
  return address.kind == BitcoinAddress::Kind::P2sh ? address.hash == nested_script_hash(key_hash)
                                                    : address.hash == key_hash;
}

SignerResult<BitcoinAddress> bitcoin_address(std::string_view text) {
  auto parsed = parse_bitcoin_address(text);
  if (!parsed) return invalid("invalid Bitcoin address: '" + std::string(text) + "'");
  return *parsed;
}
// BIP-322

void append_le32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The BIP-143 digest of the to_sign transaction for the P2WPKH key hash.
std::array<std::uint8_t, 32> to_sign_sighash(const Hash20& key_hash, const std::array<std::uint8_t, 32>& message_hash) {
  // to_spend: version 0, one input spending 000...000:0xffffffff with scriptSig
  // OP_0 PUSH32 {message hash} and sequence 0, one output of 0 to the address's
  // scriptPubKey, lock time 0. Its id is the outpoint to_sign spends.
  Bytes to_spend;
  append_le32(to_spend, 0);
  to_spend.push_back(1);
  append_zeros(to_spend, 32);
  append_le32(to_spend, 0xffffffffu);
  append(to_spend, {0x22, 0x00, 0x20});
  append(to_spend, message_hash);
  append_le32(to_spend, 0);
  to_spend.push_back(1);
  append_zeros(to_spend, 8);
  append(to_spend, {0x16, 0x00, 0x14});
  append(to_spend, key_hash);
  append_le32(to_spend, 0);
  const auto txid = sha256d(to_spend);

  // to_sign: version 0, that outpoint with sequence 0, one output of 0 to OP_RETURN,
  // lock time 0; signed as a P2WPKH input of amount 0 with SIGHASH_ALL.
  Bytes outpoint(txid.begin(), txid.end());
  append_le32(outpoint, 0);
  const std::array<std::uint8_t, 4> sequence{};
  const std::array<std::uint8_t, 10> outputs{0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x6a};
  Bytes preimage;
  preimage.reserve(182);  // BIP-143's preimage of one input and one output
  append_le32(preimage, 0);
  append(preimage, sha256d(outpoint));
  append(preimage, sha256d(sequence));
  append(preimage, outpoint);
  append(preimage, {0x19, 0x76, 0xa9, 0x14});
  append(preimage, key_hash);
  append(preimage, {0x88, 0xac});
  append_zeros(preimage, 8);
  append(preimage, sequence);
  append(preimage, sha256d(outputs));
  append_le32(preimage, 0);
  append_le32(preimage, 1);  // SIGHASH_ALL
  return sha256d(preimage);
}

constexpr std::uint8_t kSighashAll = 0x01;

}  // namespace

std::array<std::uint8_t, 32> bip322_message_hash(std::span<const std::uint8_t> message) {
  constexpr std::string_view kTag = "BIP0322-signed-message";
  const auto tag = sha256(std::span(reinterpret_cast<const std::uint8_t*>(kTag.data()), kTag.size()));
  Bytes joined;
  joined.reserve(64 + message.size());
  append(joined, tag);
  append(joined, tag);
  append(joined, message);
  const auto hash = sha256(joined);
  wipe_vector(joined);
  return hash;
}

std::array<std::uint8_t, 32> bip322_p2wpkh_sighash(std::span<const std::uint8_t, 20> key_hash,
                                                   std::span<const std::uint8_t> message) {
  Hash20 h{};
  std::copy(key_hash.begin(), key_hash.end(), h.begin());
  return to_sign_sighash(h, bip322_message_hash(message));
}

SignerResult<MessageSignature> bip322_sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message) {
  VEK_TRY(sk, secp::signing_key(key));
  const Hash20 key_hash = hash160((*sk)->public_compressed);
  VEK_TRY(out, secp::sign_hash(key, bip322_p2wpkh_sighash(key_hash, message), "hash"));
  const Bytes der = secp::der_encode(std::span<const std::uint8_t>(out->signature).first<64>());
  if (der.empty()) return signer_error(SignerErrorKind::SigningFailed, "signature error");
  MessageSignature result;
  auto& w = result.signature;
  w.reserve(3 + der.size() + 1 + secp::kCompressedBytes);
  w.push_back(2);
  w.push_back(static_cast<std::uint8_t>(der.size() + 1));
  append(w, der);
  w.push_back(kSighashAll);
  w.push_back(secp::kCompressedBytes);
  append(w, (*sk)->public_compressed);
  return result;
}

SignerResult<bool> bip322_verify(std::string_view address, std::span<const std::uint8_t> message,
                                 std::span<const std::uint8_t> witness) {
  const auto parsed = parse_bitcoin_address(address);
  if (!parsed || parsed->kind != BitcoinAddress::Kind::P2wpkh) {
    return invalid("BIP-322 signatures are checked for P2WPKH addresses only, not '" + std::string(address) + "'");
  }
  const auto malformed = [](std::string what) { return invalid("malformed BIP-322 witness: " + what); };
  // 0x02, {n} {signature || hash type}, 0x21 {compressed key}; every length below 0xfd.
  if (witness.empty() || witness[0] != 2) return malformed("expected 2 witness items");
  if (witness.size() < 2 || witness[1] < 2 || witness[1] >= 0xfd || witness.size() < 2u + witness[1] + 1u) {
    return malformed("truncated signature");
  }
  const auto sig = witness.subspan(2, witness[1]);
  const auto rest = witness.subspan(2u + witness[1]);
  if (rest[0] != secp::kCompressedBytes || rest.size() < 1 + secp::kCompressedBytes) {
    return malformed("expected a 33-byte compressed public key");
  }
  if (rest.size() != 1 + secp::kCompressedBytes) return malformed("trailing bytes");
  if (sig.back() != kSighashAll) return malformed("hash type must be SIGHASH_ALL (1), got " + std::to_string(sig.back()));
  const auto pub = rest.subspan(1);
  if (hash160(pub) != parsed->hash) return false;
  const auto ok = secp::verify_der(bip322_p2wpkh_sighash(parsed->hash, message), sig.first(sig.size() - 1), pub);
  if (!ok) return malformed("the signature or the public key does not parse");
  return *ok;
}

SignerResult<MessageSignature> bip137_sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message) {
  VEK_TRY(out, secp::sign_hash(key, BitcoinSigner::message_hash(message), "hash"));
  MessageSignature result;
  const auto header = static_cast<std::uint8_t>(39 + out->signature[64]);
  result.signature.push_back(header);
  append(result.signature, std::span<const std::uint8_t>(out->signature).first(64));
  result.recovery_id = header;
  return result;
}

namespace {

struct Bip137Key {
  std::array<std::uint8_t, secp::kUncompressedBytes> pub;
  int kind;  // (header - 27) / 4: 0 P2PKH uncompressed, 1 P2PKH, 2 P2SH-P2WPKH, 3 P2WPKH
};

SignerResult<Bip137Key> bip137_key(std::span<const std::uint8_t> message, std::span<const std::uint8_t> sig) {
  if (sig.size() != 65) return invalid("expected a 65-byte signature (header || r || s), got " + count_text(sig.size()));
  if (sig[0] < 27 || sig[0] > 42) return invalid("BIP-137 header must be 27 to 42, got " + std::to_string(sig[0]));
  const int h = sig[0] - 27;
  VEK_TRY(pub, recover_key(BitcoinSigner::message_hash(message), sig.subspan(1, 64), h % 4));
  return Bip137Key{*pub, h / 4};
}

}  // namespace

SignerResult<std::string> bip137_recover_address(std::span<const std::uint8_t> message,
                                                 std::span<const std::uint8_t> signature) {
  VEK_TRY(key, bip137_key(message, signature));
  if (key->kind == 0) return base58_address(0x00, hash160(key->pub));
  const Hash20 key_hash = compressed_key_hash(key->pub);
  if (key->kind == 1) return base58_address(0x00, key_hash);
  if (key->kind == 2) return base58_address(0x05, nested_script_hash(key_hash));
  return p2wpkh_address("bc", key_hash);
}

SignerResult<bool> bip137_verify(std::string_view address, std::span<const std::uint8_t> message,
                                 std::span<const std::uint8_t> signature) {
  VEK_TRY(parsed, bitcoin_address(address));
  auto key = bip137_key(message, signature);
  if (!key) {
    if (key.error().detail == kRecoversNoKey) return false;
    return std::unexpected(std::move(key.error()));
  }
  return address_of_key(*parsed, key->pub, key->kind != 0);
}

SignerResult<std::string> bitcoin_raw_recover_address(std::span<const std::uint8_t> message,
                                                      std::span<const std::uint8_t> signature, std::string_view hrp) {
  VEK_TRY(pub, raw_signer_key(BitcoinSigner::message_hash(message), signature));
  return p2wpkh_address(hrp, compressed_key_hash(*pub));
}

SignerResult<bool> bitcoin_raw_verify(std::string_view address, std::span<const std::uint8_t> message,
                                      std::span<const std::uint8_t> signature) {
  VEK_TRY(parsed, bitcoin_address(address));
  return if_recovered(raw_signer_key(BitcoinSigner::message_hash(message), signature),
                      [&](const auto& pub) -> SignerResult<bool> { return address_of_key(*parsed, pub, true); });
}

}  // namespace vek_signer
