// Solana off-chain messages: building, parsing and checking the signed bytes.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "chains/ed25519.h"
#include "vek/core/utf8.h"
#include "vek/signer/encoding.h"
#include "vek/signer/ed25519_message_formats.h"

namespace vek_signer {
namespace {

constexpr std::size_t kVersionEnd = kSolanaSigningDomain.size() + 1;  // domain and version byte
// Application domain, format, signer count and message length: the current header
// without its signers.
constexpr std::size_t kCurrentFixed = 32 + 1 + 1 + 2;
constexpr std::size_t kLegacyFixed = 1 + 2;  // format and message length
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kMaxSigners = 255;

SignerError invalid(std::string what) { return SignerError{SignerErrorKind::InvalidMessage, std::move(what)}; }

bool printable_ascii(std::span<const std::uint8_t> text) {
  return std::all_of(text.begin(), text.end(), [](std::uint8_t c) { return c >= 0x20 && c <= 0x7e; });
}

std::optional<std::string> utf8_problem(std::span<const std::uint8_t> text) {
  return vek_core::utf8_error(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

enum class Misfit : std::uint8_t { NotUtf8, TooLong };

// The narrowest format admitting `text` when `counted` bytes are measured against the
// 1232- and 65535-byte limits.
std::expected<SolanaOffchainFormat, Misfit> narrowest(std::span<const std::uint8_t> text, std::size_t counted) {
  if (counted > kSolanaOffchainMax) return std::unexpected(Misfit::TooLong);
  const bool small = counted <= kSolanaOffchainLedgerMax;
  if (small && printable_ascii(text)) return SolanaOffchainFormat::RestrictedAscii;
  if (utf8_problem(text)) return std::unexpected(Misfit::NotUtf8);
  return small ? SolanaOffchainFormat::LimitedUtf8 : SolanaOffchainFormat::ExtendedUtf8;
}

// The format signing writes for `text` in a header of `header` bytes (signing domain and
// version included), or the error that explains why none fits.
SignerResult<SolanaOffchainFormat> format_for(std::span<const std::uint8_t> text, std::size_t header) {
  if (text.empty()) return std::unexpected(invalid("off-chain message is empty"));
  auto format = narrowest(text, header + text.size());
  if (format) return *format;
  if (format.error() == Misfit::TooLong) {
    return std::unexpected(invalid("off-chain message of " + std::to_string(text.size()) +
                                   " bytes is too long: at most " + std::to_string(kSolanaOffchainMax - header) +
                                   " bytes"));
  }
  return std::unexpected(invalid("off-chain message is not valid UTF-8: " + utf8_problem(text).value_or("")));
}

std::size_t current_header(std::size_t signers) { return kVersionEnd + kCurrentFixed + kKeyBytes * signers; }
constexpr std::size_t kLegacyHeader = kVersionEnd + kLegacyFixed;

void put_prefix(std::vector<std::uint8_t>& out) {
  out.insert(out.end(), kSolanaSigningDomain.begin(), kSolanaSigningDomain.end());
  out.push_back(0);  // header version
}

void put_text(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> text) {
  out.push_back(static_cast<std::uint8_t>(text.size() & 0xff));
  out.push_back(static_cast<std::uint8_t>(text.size() >> 8));
  out.insert(out.end(), text.begin(), text.end());
}

std::vector<std::uint8_t> current_bytes(std::span<const std::uint8_t> text, std::span<const Ed25519Key> signers,
                                        const Ed25519Key& application_domain, SolanaOffchainFormat format) {
  std::vector<std::uint8_t> out;
  out.reserve(current_header(signers.size()) + text.size());
  put_prefix(out);
  out.insert(out.end(), application_domain.begin(), application_domain.end());
  out.push_back(static_cast<std::uint8_t>(format));
  out.push_back(static_cast<std::uint8_t>(signers.size()));
  for (const auto& signer : signers) out.insert(out.end(), signer.begin(), signer.end());
  put_text(out, text);
  return out;
}

std::vector<std::uint8_t> legacy_bytes(std::span<const std::uint8_t> text, SolanaOffchainFormat format) {
  std::vector<std::uint8_t> out;
  out.reserve(kLegacyHeader + text.size());
  put_prefix(out);
  out.push_back(static_cast<std::uint8_t>(format));
  put_text(out, text);
  return out;
}

constexpr Ed25519Key kZeroKey{};

// Parsing: a failure is the text after "off-chain message: ".
using Parsed = std::expected<SolanaOffchainMessage, std::string>;

// The message-length field at `at`, the text after it, and the declared format against
// the one `counted` bytes imply.
std::expected<std::span<const std::uint8_t>, std::string> read_text(std::span<const std::uint8_t> rest, std::size_t at,
                                                                    SolanaOffchainFormat declared,
                                                                    std::size_t counted_besides_text) {
  const std::size_t length = rest[at] | (std::size_t{rest[at + 1]} << 8);
  const auto text = rest.subspan(at + 2);
  if (length == 0) return std::unexpected("empty message");
  if (text.size() != length) {
    return std::unexpected("length field says " + std::to_string(length) + " bytes but " +
                           std::to_string(text.size()) + " follow");
  }
  const auto implied = narrowest(text, counted_besides_text + length);
  // The formats nest (ASCII within limited UTF-8 within extended UTF-8): a declared
  // format wider than needed still admits the text.
  if (!implied || static_cast<std::uint8_t>(declared) < static_cast<std::uint8_t>(*implied)) {
    return std::unexpected("text does not fit format " + std::to_string(static_cast<int>(declared)));
  }
  return text;
}

Parsed parse_current(std::span<const std::uint8_t> rest) {
  if (rest.size() < kCurrentFixed - 2) return std::unexpected("truncated header");
  SolanaOffchainMessage out;
  std::copy_n(rest.begin(), kKeyBytes, out.application_domain.begin());
  if (rest[32] > 2) return std::unexpected("unknown format " + std::to_string(rest[32]));
  out.format = static_cast<SolanaOffchainFormat>(rest[32]);
  const std::size_t count = rest[33];
  if (count == 0) return std::unexpected("no signers");
  const std::size_t length_at = 34 + kKeyBytes * count;
  if (rest.size() < length_at + 2) return std::unexpected("truncated header");
  out.signers.resize(count);
  for (std::size_t i = 0; i < count; ++i) std::copy_n(rest.begin() + 34 + static_cast<std::ptrdiff_t>(kKeyBytes * i), kKeyBytes, out.signers[i].begin());
  if (count > 1 && std::find(out.signers.begin(), out.signers.end(), kZeroKey) != out.signers.end()) {
    return std::unexpected("signers include the zero key");
  }
  // The limits are measured from the application domain on, as the current SDK does.
  VEK_TRY(text, read_text(rest, length_at, out.format, length_at + 2));
  out.message = *text;
  return out;
}

Parsed parse_legacy(std::span<const std::uint8_t> rest) {
  if (rest.size() < kLegacyFixed) return std::unexpected("truncated header");
  SolanaOffchainMessage out;
  out.legacy = true;
  if (rest[0] > 2) return std::unexpected("unknown format " + std::to_string(rest[0]));
  out.format = static_cast<SolanaOffchainFormat>(rest[0]);
  VEK_TRY(text, read_text(rest, 1, out.format, kLegacyHeader));
  out.message = *text;
  return out;
}

SignerResult<ed25519::PublicKey> solana_key(std::string_view address) {
  const auto key = base58_decode(address);
  if (!key || key->size() != ed25519::kPublicKeyBytes) {
    return std::unexpected(invalid("invalid Solana address: '" + std::string(address) + "'"));
  }
  ed25519::PublicKey out{};
  std::copy_n(key->begin(), out.size(), out.begin());
  return out;
}

SignerResult<std::span<const std::uint8_t, ed25519::kSignatureBytes>> signature_of(std::span<const std::uint8_t> signature) {
  if (signature.size() != ed25519::kSignatureBytes) {
    return std::unexpected(invalid("expected a 64-byte signature, got " + std::to_string(signature.size()) + " bytes"));
  }
  return signature.first<ed25519::kSignatureBytes>();
}

}  // namespace

SignerResult<std::vector<std::uint8_t>> solana_offchain_bytes(std::span<const std::uint8_t> message,
                                                              std::span<const Ed25519Key> signers,
                                                              const Ed25519Key& application_domain) {
  if (message.empty()) return std::unexpected(invalid("off-chain message is empty"));
  if (signers.empty() || signers.size() > kMaxSigners) {
    return std::unexpected(invalid("off-chain message needs 1 to 255 signers, got " + std::to_string(signers.size())));
  }
  if (signers.size() > 1 && std::find(signers.begin(), signers.end(), kZeroKey) != signers.end()) {
    return std::unexpected(invalid("off-chain message signers include the zero key"));
  }
  // Signing counts the whole bytes against the limits: stricter than the SDK's reading
  // by 17 bytes, so every verifier admits what is written here.
  const auto format = format_for(message, current_header(signers.size()));
  if (!format) return std::unexpected(format.error());
  return current_bytes(message, signers, application_domain, *format);
}

SignerResult<std::vector<std::uint8_t>> solana_offchain_bytes_legacy(std::span<const std::uint8_t> message) {
  const auto format = format_for(message, kLegacyHeader);
  if (!format) return std::unexpected(format.error());
  return legacy_bytes(message, *format);
}

SignerResult<SolanaOffchainMessage> solana_offchain_parse(std::span<const std::uint8_t> bytes) {
  const auto fail = [](const std::string& what) { return std::unexpected(invalid("off-chain message: " + what)); };
  if (bytes.size() < kSolanaSigningDomain.size() ||
      !std::equal(kSolanaSigningDomain.begin(), kSolanaSigningDomain.end(), bytes.begin(),
                  [](char want, std::uint8_t got) { return static_cast<std::uint8_t>(want) == got; })) {
    return fail("no signing domain");
  }
  if (bytes.size() < kVersionEnd) return fail("truncated header");
  if (bytes[kVersionEnd - 1] != 0) return fail("unsupported header version " + std::to_string(bytes[kVersionEnd - 1]));
  const auto rest = bytes.subspan(kVersionEnd);
  auto current = parse_current(rest);
  if (current) return std::move(*current);
  auto legacy = parse_legacy(rest);
  if (legacy) return std::move(*legacy);
  // Neither layout reads the bytes: explain by the short one when its length field
  // accounts for exactly the bytes present, else by the current one.
  const bool looks_legacy = rest.size() >= kLegacyFixed && rest.size() - kLegacyFixed == (rest[1] | (std::size_t{rest[2]} << 8));
  return fail(looks_legacy ? legacy.error() : current.error());
}

namespace {

// The Ed25519 signature over the off-chain bytes `layout` writes for the key's public key.
template <typename Layout>
SignerResult<SignOutput> sign_layout(std::span<const std::uint8_t> key, Layout layout) {
  const auto public_key = ed25519::public_key(key);
  if (!public_key) {
    return std::unexpected(SignerError{public_key.error().code == SignerErrorKind::InvalidPrivateKey
                                           ? SignerErrorKind::InvalidPrivateKey
                                           : SignerErrorKind::SigningFailed,
                                       public_key.error().detail});
  }
  const Ed25519Key signer = *public_key;
  const auto bytes = layout(signer);
  if (!bytes) return std::unexpected(bytes.error());
  return ed25519::sign(key, *bytes);
}

// Whether format `f` admits `text` when `counted` bytes are measured against the limits:
// the formats nest, so any format at least as wide as the narrowest does.
bool admits(SolanaOffchainFormat f, std::span<const std::uint8_t> text, std::size_t counted) {
  const auto narrowest_format = narrowest(text, counted);
  return narrowest_format && static_cast<std::uint8_t>(f) >= static_cast<std::uint8_t>(*narrowest_format);
}

constexpr std::array kFormats{SolanaOffchainFormat::RestrictedAscii, SolanaOffchainFormat::LimitedUtf8,
                              SolanaOffchainFormat::ExtendedUtf8};

}  // namespace

SignerResult<SignOutput> solana_offchain_sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message,
                                              const Ed25519Key& application_domain) {
  return sign_layout(key, [&](const Ed25519Key& signer) {
    return solana_offchain_bytes(message, std::span(&signer, 1), application_domain);
  });
}

SignerResult<SignOutput> solana_offchain_sign_legacy(std::span<const std::uint8_t> key,
                                                     std::span<const std::uint8_t> message) {
  return sign_layout(key, [&](const Ed25519Key&) { return solana_offchain_bytes_legacy(message); });
}

SignerResult<bool> solana_offchain_verify(std::string_view address, std::span<const std::uint8_t> message,
                                          std::span<const std::uint8_t> signature,
                                          const Ed25519Key& application_domain) {
  const auto key = solana_key(address);
  if (!key) return std::unexpected(key.error());
  const auto sig = signature_of(signature);
  if (!sig) return std::unexpected(sig.error());
  const Ed25519Key signer = *key;
  const auto check = [&](const std::vector<std::uint8_t>& bytes) { return ed25519::verify(*key, bytes, *sig); };

  // Every format byte that admits the message, in the current layout (the limits counted
  // from the application domain on, the SDK's reading, which admits all that signing
  // writes) and then in the short one.
  bool admitted = false;
  if (!message.empty()) {
    for (const auto f : kFormats) {
      if (!admits(f, message, current_header(1) - kVersionEnd + message.size())) continue;
      admitted = true;
      auto ok = check(current_bytes(message, std::span(&signer, 1), application_domain, f));
      if (!ok || *ok) return ok;
    }
    for (const auto f : kFormats) {
      if (!admits(f, message, kLegacyHeader + message.size())) continue;
      admitted = true;
      auto ok = check(legacy_bytes(message, f));
      if (!ok || *ok) return ok;
    }
  }
  if (admitted) return false;
  // No layout admits the message: the short layout's error stands (it admits the longest).
  const auto legacy = format_for(message, kLegacyHeader);
  if (!legacy) return std::unexpected(legacy.error());
  return false;
}

SignerResult<bool> solana_offchain_verify_bytes(std::string_view address, std::span<const std::uint8_t> bytes,
                                                std::span<const std::uint8_t> signature) {
  const auto key = solana_key(address);
  if (!key) return std::unexpected(key.error());
  const auto sig = signature_of(signature);
  if (!sig) return std::unexpected(sig.error());
  const auto parsed = solana_offchain_parse(bytes);
  if (!parsed) return std::unexpected(parsed.error());
  if (!parsed->legacy && std::find(parsed->signers.begin(), parsed->signers.end(), *key) == parsed->signers.end()) {
    return false;
  }
  return ed25519::verify(*key, bytes, *sig);
}

}  // namespace vek_signer
