#include "evm/signer.h"

#include <string>
#include <string_view>
#include <vector>

#include "chains/secp256k1.h"
#include "vek/signer/hex.h"
#include "vek/signer/rlp.h"

namespace vek_signer {
namespace {

// sign()'s hash is a prehash in this signer's error texts.
constexpr std::string_view kHashWord = "prehash";
// EIP-191 version 0x45 ("E"): 0x19 then this text, then the decimal length.
constexpr std::string_view kMessagePrefix = "\x19" "Ethereum Signed Message:\n";
// The EIP-191 versions signed: intended validator, structured data (EIP-712), personal.
constexpr std::uint8_t kValidatorVersion = 0x00;
constexpr std::uint8_t kStructuredVersion = 0x01;
constexpr std::uint8_t kPersonalVersion = 0x45;

}  // namespace

std::string EvmSigner::checksum_address(std::span<const std::uint8_t, kAddressBytes> address) {
  std::string lower = hex_encode(address);
  const auto hash = keccak256({reinterpret_cast<const std::uint8_t*>(lower.data()), lower.size()});
  std::string out = "0x";
  out.reserve(2 + lower.size());
  for (std::size_t i = 0; i < lower.size(); ++i) {
    // EIP-55: upper-case a letter when nibble i of Keccak-256(lower-case hex) is 8 or more.
    const std::uint8_t nibble = (i % 2 == 0) ? (hash[i / 2] >> 4) : (hash[i / 2] & 0x0f);
    char c = lower[i];
    if (c >= 'a' && c <= 'f' && nibble >= 8) c = static_cast<char>(c - 'a' + 'A');
    out.push_back(c);
  }
  return out;
}

std::array<std::uint8_t, kKeccak256Bytes> EvmSigner::personal_message_hash(std::span<const std::uint8_t> message) {
  return secp::prefixed_message_hash(std::string(kMessagePrefix) + std::to_string(message.size()), message,
                                     keccak256);
}

SignerResult<std::array<std::uint8_t, kKeccak256Bytes>> EvmSigner::signable_message_hash(
    std::uint8_t version, std::span<const std::uint8_t> header, std::span<const std::uint8_t> body) {
  const auto refuse = [version](std::string_view what) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "EIP-191 version 0x";
    text.push_back(kDigits[version >> 4]);
    text.push_back(kDigits[version & 0x0f]);
    text.append(what);
    return signer_error(SignerErrorKind::InvalidInput, std::move(text));
  };
  if (version == kPersonalVersion) {
    const std::string expected = std::string(kMessagePrefix.substr(2)) + std::to_string(body.size());
    if (std::string_view(reinterpret_cast<const char*>(header.data()), header.size()) != expected) {
      return refuse(": the header must be \"thereum Signed Message:\\n\" and the body's length");
    }
    return personal_message_hash(body);
  }
  if (version == kValidatorVersion && header.size() != kAddressBytes) {
    return refuse(": the header must be the 20-byte validator address");
  }
  if (version == kStructuredVersion && (header.size() != kKeccak256Bytes || body.size() != kKeccak256Bytes)) {
    return refuse(": the header and the body must be 32-byte hashes");
  }
  if (version != kValidatorVersion && version != kStructuredVersion) {
    return refuse(" is not signed (versions 0x00, 0x01 and 0x45 are)");
  }
  std::vector<std::uint8_t> data{0x19, version};
  data.insert(data.end(), header.begin(), header.end());
  data.insert(data.end(), body.begin(), body.end());
  return keccak256(data);
}

SignerResult<std::string> EvmSigner::derive_address(std::span<const std::uint8_t> key) const {
  VEK_TRY(sk, secp::signing_key(key));
  return checksum_address(secp::keccak_account(**sk));
}

SignerResult<SignOutput> EvmSigner::sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> hash) const {
  return secp::sign_hash(key, hash, kHashWord);
}

SignerResult<SignOutput> EvmSigner::sign_message(std::span<const std::uint8_t> key,
                                                 std::span<const std::uint8_t> message) const {
  const auto hash = personal_message_hash(message);
  auto out = sign(key, hash);
  if (!out) return out;
  out->signature.back() = static_cast<std::uint8_t>(out->signature.back() + kMessageVOffset);
  out->recovery_id = static_cast<std::uint8_t>(*out->recovery_id + kMessageVOffset);
  return out;
}

SignerResult<SignOutput> EvmSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> signable) const {
  const auto hash = keccak256(signable);
  return sign(key, hash);
}

SignerResult<std::vector<std::uint8_t>> EvmSigner::encode_signed_transaction(std::span<const std::uint8_t> tx,
                                                                             const SignOutput& output) const {
  const auto& sig = output.signature;
  if (sig.size() != kSignatureBytes) {
    return signer_error(SignerErrorKind::InvalidTransaction, "expected 65-byte signature (r || s || v)");
  }
  const std::span<const std::uint8_t, rlp::kSignatureScalarBytes> r(sig.data(), rlp::kSignatureScalarBytes);
  const std::span<const std::uint8_t, rlp::kSignatureScalarBytes> s(sig.data() + 32, rlp::kSignatureScalarBytes);
  auto encoded = rlp::encode_signed_typed_tx(tx, sig[64], r, s);
  if (!encoded) return signer_error(SignerErrorKind::InvalidTransaction, std::string(encoded.error()));
  return std::move(*encoded);
}

}  // namespace vek_signer
