// The Cosmos message formats' signing, checks and recovery (vek/signer/message_formats.h).
#include "vek/core/ascii.h"
#include "vek/signer/message_formats.h"

#include <algorithm>

#include "chains/secp_messages.h"
#include "vek/signer/bech32.h"
#include "vek/signer/encoding.h"

namespace vek_signer {
namespace {

using namespace secp_messages;

SignerResult<Hash20> cosmos_account(std::string_view address) {
  const auto bad = [&] { return invalid("invalid Cosmos address: '" + std::string(address) + "'"); };
  auto decoded = bech32_decode(address, kBech32ExtendedMaxLength);
  if (!decoded) return bad();
  auto bytes = convert_bits(decoded->data, 5, 8, false);
  if (!bytes || bytes->size() != kRipemd160Bytes) return bad();
  Hash20 out{};
  std::copy(bytes->begin(), bytes->end(), out.begin());
  return out;
}

SignerResult<std::string> cosmos_address(std::string_view hrp, const Hash20& account) {
  auto groups = convert_bits(account, 8, 5, true);
  if (!groups) return signer_error(SignerErrorKind::AddressDerivation, groups.error().display());
  auto address = bech32_encode(hrp, *groups, kBech32ExtendedMaxLength);
  if (!address) return signer_error(SignerErrorKind::AddressDerivation, address.error().display());
  return std::move(*address);
}

}  // namespace

std::string adr036_sign_doc(std::string_view signer, std::span<const std::uint8_t> message) {
  // Base64 and bech32 text need no JSON escaping.
  std::string data = base64_encode(message);
  std::string doc = R"({"account_number":"0","chain_id":"","fee":{"amount":[],"gas":"0"},"memo":"","msgs":[{"type":)"
                    R"("sign/MsgSignData","value":{"data":")";
  doc += data;
  doc += R"(","signer":")";
  doc += signer;
  doc += R"("}}],"sequence":"0"})";
  wipe_string(data);
  return doc;
}

SignerResult<MessageSignature> adr036_sign(std::span<const std::uint8_t> key, std::string_view signer,
                                           std::span<const std::uint8_t> message) {
  VEK_TRY(sk, secp::signing_key(key));
  std::string doc = adr036_sign_doc(signer, message);
  const auto hash = sha256(std::span(reinterpret_cast<const std::uint8_t*>(doc.data()), doc.size()));
  wipe_string(doc);
  VEK_TRY(out, secp::sign_hash(key, hash, "hash"));
  out->signature.resize(64);  // libsecp256k1 signs with a low s
  return MessageSignature{std::move(out->signature), std::nullopt,
                          Bytes((*sk)->public_compressed.begin(), (*sk)->public_compressed.end())};
}

SignerResult<bool> adr036_verify(std::string_view address, std::span<const std::uint8_t> message,
                                 std::span<const std::uint8_t> signature) {
  VEK_TRY(account, cosmos_account(address));
  if (signature.size() != 64) return invalid("expected a 64-byte signature (r || s), got " + count_text(signature.size()));
  const auto rs = signature.first<64>();
  if (secp::high_s(rs)) return false;
  // The document names the signer as written in lower case (bech32's canonical form).
  std::string signer(address);
  std::transform(signer.begin(), signer.end(), signer.begin(),
                 [](char c) { return vek_core::ascii_lower(c); });
  std::string doc = adr036_sign_doc(signer, message);
  const auto hash = sha256(std::span(reinterpret_cast<const std::uint8_t*>(doc.data()), doc.size()));
  wipe_string(doc);
  // Without the public key, each candidate key the signature recovers is tried.
  for (int recid = 0; recid < 4; ++recid) {
    const auto pub = secp::recover(hash, rs, recid);
    if (pub && compressed_key_hash(*pub) == *account) return true;
  }
  return false;
}

SignerResult<std::string> cosmos_raw_recover_address(std::span<const std::uint8_t> message,
                                                     std::span<const std::uint8_t> signature, std::string_view hrp) {
  VEK_TRY(pub, raw_signer_key(sha256(message), signature));
  return cosmos_address(hrp, compressed_key_hash(*pub));
}

SignerResult<bool> cosmos_raw_verify(std::string_view address, std::span<const std::uint8_t> message,
                                     std::span<const std::uint8_t> signature) {
  VEK_TRY(account, cosmos_account(address));
  return if_recovered(raw_signer_key(sha256(message), signature),
                      [&](const auto& pub) -> SignerResult<bool> { return compressed_key_hash(pub) == *account; });
}

}  // namespace vek_signer
