// TON Connect's signed formats: ton_proof and sign-data (text and binary), and the
// address forms their verifiers are given.
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <string>

#include "chains/ed25519.h"
#include "vek/core/utf8.h"
#include "ton/signer.h"
#include "vek/signer/crc16.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/ed25519_message_formats.h"

namespace vek_signer {
namespace {

using Digest = std::array<std::uint8_t, kSha256Bytes>;

SignerError invalid(std::string what) { return SignerError{SignerErrorKind::InvalidMessage, std::move(what)}; }

void put_be(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put_le(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put(std::vector<std::uint8_t>& out, std::string_view s) { out.insert(out.end(), s.begin(), s.end()); }
void put(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); }

// A domain of the format `what`: not empty, its length fits the u32 field.
std::expected<void, SignerError> check_domain(std::string_view what, std::string_view domain) {
  if (domain.empty()) return std::unexpected(invalid(std::string(what) + " domain is empty"));
  if (domain.size() > std::numeric_limits<std::uint32_t>::max()) {
    return std::unexpected(invalid(std::string(what) + " domain of " + std::to_string(domain.size()) + " bytes is too long"));
  }
  return {};
}

// The user-friendly form: flags (bounceable 0x11 or not 0x51, plus 0x80 when test-only),
// workchain (i8), account id, CRC-16/XMODEM of the 34 bytes before it (big-endian).
std::optional<TonAccount> parse_friendly(std::string_view text) {
  if (text.size() != 48) return std::nullopt;
  auto raw = base64url_decode(text);
  if (!raw) raw = base64_decode(text);
  if (!raw || raw->size() != TonSigner::kAddressBytes) return std::nullopt;
  const auto& b = *raw;
  const std::uint8_t flags = b[0] & 0x7f;
  if (flags != 0x11 && flags != 0x51) return std::nullopt;
  const std::uint16_t crc = crc16_xmodem(std::span(b).first(34));
  if (b[34] != (crc >> 8) || b[35] != (crc & 0xff)) return std::nullopt;
  TonAccount out;
  out.workchain = static_cast<std::int8_t>(b[1]);
  std::copy(b.begin() + 2, b.begin() + 34, out.hash.begin());
  return out;
}

// The raw form: a decimal workchain (optionally negative), a colon, 64 hex digits.
std::optional<TonAccount> parse_raw(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::string_view wc = text.substr(0, colon);
  TonAccount out;
  const auto [end, ec] = std::from_chars(wc.data(), wc.data() + wc.size(), out.workchain);
  if (ec != std::errc() || end != wc.data() + wc.size() || wc[0] == '+') return std::nullopt;
  const std::string_view hex = text.substr(colon + 1);
  if (hex.size() != 64) return std::nullopt;
  const auto hash = hex_decode(hex);
  if (!hash || hash->size() != out.hash.size()) return std::nullopt;
  std::copy_n(hash->begin(), out.hash.size(), out.hash.begin());
  return out;
}

SignerResult<Digest> proof_digest(const TonAccount& account, std::string_view domain, std::uint64_t timestamp,
                                  std::span<const std::uint8_t> payload) {
  if (auto ok = check_domain("ton_proof", domain); !ok) return std::unexpected(ok.error());
  std::vector<std::uint8_t> message;
  message.reserve(18 + 4 + 32 + 4 + domain.size() + 8 + payload.size());
  put(message, "ton-proof-item-v2/");
  put_be(message, static_cast<std::uint32_t>(account.workchain), 4);
  put(message, account.hash);
  put_le(message, domain.size(), 4);
  put(message, domain);
  put_le(message, timestamp, 8);
  put(message, payload);
  const Digest inner = sha256(message);
  constexpr std::string_view kTag = "ton-connect";
  std::array<std::uint8_t, 2 + kTag.size() + kSha256Bytes> outer{0xff, 0xff};
  std::copy(kTag.begin(), kTag.end(), outer.begin() + 2);
  std::copy(inner.begin(), inner.end(), outer.begin() + 2 + kTag.size());
  return sha256(outer);
}

SignerResult<Digest> sign_data_digest(const TonAccount& account, std::string_view domain, std::uint64_t timestamp,
                                      TonSignDataKind kind, std::span<const std::uint8_t> payload) {
  if (auto ok = check_domain("sign-data", domain); !ok) return std::unexpected(ok.error());
  if (payload.size() > std::numeric_limits<std::uint32_t>::max()) {
    return std::unexpected(invalid("sign-data payload of " + std::to_string(payload.size()) + " bytes is too long"));
  }
  if (kind == TonSignDataKind::Text) {
    if (auto bad = vek_core::utf8_error(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()))) {
      return std::unexpected(invalid("sign-data text is not valid UTF-8: " + *bad));
    }
  }
  std::vector<std::uint8_t> message;
  message.reserve(2 + 22 + 4 + 32 + 4 + domain.size() + 8 + 3 + 4 + payload.size());
  message.push_back(0xff);
  message.push_back(0xff);
  put(message, "ton-connect/sign-data/");
  put_be(message, static_cast<std::uint32_t>(account.workchain), 4);
  put(message, account.hash);
  put_be(message, domain.size(), 4);
  put(message, domain);
  put_be(message, timestamp, 8);
  put(message, kind == TonSignDataKind::Text ? "txt" : "bin");
  put_be(message, payload.size(), 4);
  put(message, payload);
  return sha256(message);
}

// The account signing binds to: the wallet the key derives on `network`.
SignerResult<TonAccount> signing_account(std::span<const std::uint8_t> key, TonNetwork network) {
  const auto public_key = ed25519::public_key(key);
  if (!public_key) {
    const auto kind = public_key.error().code == SignerErrorKind::InvalidPrivateKey ? SignerErrorKind::InvalidPrivateKey
                                                                                    : SignerErrorKind::SigningFailed;
    return std::unexpected(SignerError{kind, public_key.error().detail});
  }
  return ton_wallet_account(*public_key, network);
}

// The checks every TON verifier shares, then Ed25519 over `signed_bytes(account)`.
template <typename SignedBytes>
SignerResult<bool> verify_for(std::string_view address, std::span<const std::uint8_t> public_key,
                              std::span<const std::uint8_t> signature, TonKeyCheck check, TonNetwork network,
                              SignedBytes signed_bytes) {
  const auto account = ton_parse_address(address);
  if (!account) return std::unexpected(account.error());
  if (public_key.size() != ed25519::kPublicKeyBytes) {
    return std::unexpected(invalid("expected a 32-byte public key, got " + std::to_string(public_key.size()) + " bytes"));
  }
  if (signature.size() != ed25519::kSignatureBytes) {
    return std::unexpected(invalid("expected a 64-byte signature, got " + std::to_string(signature.size()) + " bytes"));
  }
  Ed25519Key key{};
  std::copy_n(public_key.begin(), key.size(), key.begin());
  const auto bytes = signed_bytes(*account);
  if (!bytes) return std::unexpected(bytes.error());
  if (check == TonKeyCheck::WalletContract && ton_wallet_account(key, network) != *account) return false;
  return ed25519::verify(key, *bytes, signature.first<ed25519::kSignatureBytes>());
}

}  // namespace

SignerResult<TonAccount> ton_parse_address(std::string_view text) {
  if (auto account = parse_raw(text)) return *account;
  if (auto account = parse_friendly(text)) return *account;
  return std::unexpected(invalid("invalid TON address: '" + std::string(text) + "'"));
}

TonAccount ton_wallet_account(const Ed25519Key& public_key, TonNetwork network) {
  return TonAccount{0, TonSigner::wallet_account_id(
                           public_key, network == TonNetwork::Testnet ? TonSigner::kTestnetWalletId : TonSigner::kWalletId)};
}

SignerResult<std::array<std::uint8_t, 32>> ton_proof_digest(const TonAccount& account, std::string_view domain,
                                                            std::uint64_t timestamp,
                                                            std::span<const std::uint8_t> payload) {
  return proof_digest(account, domain, timestamp, payload);
}

SignerResult<std::array<std::uint8_t, 32>> ton_sign_data_digest(const TonAccount& account, std::string_view domain,
                                                                std::uint64_t timestamp, TonSignDataKind kind,
                                                                std::span<const std::uint8_t> payload) {
  return sign_data_digest(account, domain, timestamp, kind, payload);
}

SignerResult<SignOutput> ton_proof_sign(std::span<const std::uint8_t> key, std::string_view domain,
                                        std::uint64_t timestamp, std::span<const std::uint8_t> payload,
                                        TonNetwork network) {
  const auto account = signing_account(key, network);
  if (!account) return std::unexpected(account.error());
  const auto digest = proof_digest(*account, domain, timestamp, payload);
  if (!digest) return std::unexpected(digest.error());
  return ed25519::sign(key, *digest);
}

SignerResult<SignOutput> ton_sign_data_sign(std::span<const std::uint8_t> key, std::string_view domain,
                                            std::uint64_t timestamp, TonSignDataKind kind,
                                            std::span<const std::uint8_t> payload, TonNetwork network) {
  const auto account = signing_account(key, network);
  if (!account) return std::unexpected(account.error());
  const auto digest = sign_data_digest(*account, domain, timestamp, kind, payload);
  if (!digest) return std::unexpected(digest.error());
  return ed25519::sign(key, *digest);
}

SignerResult<bool> ton_proof_verify(std::string_view address, std::span<const std::uint8_t> public_key,
                                    std::string_view domain, std::uint64_t timestamp,
                                    std::span<const std::uint8_t> payload, std::span<const std::uint8_t> signature,
                                    TonKeyCheck check, TonNetwork network) {
  return verify_for(address, public_key, signature, check, network, [&](const TonAccount& account) {
    return proof_digest(account, domain, timestamp, payload);
  });
}

SignerResult<bool> ton_sign_data_verify(std::string_view address, std::span<const std::uint8_t> public_key,
                                        std::string_view domain, std::uint64_t timestamp, TonSignDataKind kind,
                                        std::span<const std::uint8_t> payload, std::span<const std::uint8_t> signature,
                                        TonKeyCheck check, TonNetwork network) {
  return verify_for(address, public_key, signature, check, network, [&](const TonAccount& account) {
    return sign_data_digest(account, domain, timestamp, kind, payload);
  });
}

SignerResult<bool> ton_raw_verify(std::string_view address, std::span<const std::uint8_t> public_key,
                                  std::span<const std::uint8_t> message, std::span<const std::uint8_t> signature,
                                  TonKeyCheck check, TonNetwork network) {
  return verify_for(address, public_key, signature, check, network,
                    [&](const TonAccount&) -> SignerResult<std::span<const std::uint8_t>> { return message; });
}

}  // namespace vek_signer
