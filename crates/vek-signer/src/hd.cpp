#include "vek/signer/hd.h"

#include <cstring>
#include <optional>
#include <vector>

#include "chains/secp256k1.h"
#include "vek/signer/hash.h"

namespace vek_signer {
namespace {

constexpr std::string_view kBip32Key = "Bitcoin seed";   // BIP-32 master key generation
constexpr std::string_view kSlip10Key = "ed25519 seed";  // SLIP-10 ed25519 master key
// BIP-32: "a seed byte sequence S of a chosen length (between 128 and 512 bits)".
constexpr std::size_t kMinSeedBytes = 16;
constexpr std::size_t kMaxSeedBytes = 64;
constexpr std::size_t kChainCodeBytes = 32;
// 0x00 || key || index, or the compressed public key || index: 37 bytes either way.
constexpr std::size_t kChildDataBytes = 1 + kHdKeyBytes + 4;

std::unexpected<HdError> hd_error(HdErrorKind kind, std::string detail) {
  return std::unexpected(HdError{kind, std::move(detail)});
}

std::span<const std::uint8_t> ascii(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// An unsigned 32-bit decimal: optional single '+', one or more digits, leading zeros allowed.
std::optional<std::uint32_t> parse_u32(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(v);
}

struct Component {
  std::string_view text;    // as written, apostrophes included
  std::uint32_t value = 0;  // the number without its apostrophes
  std::size_t marks = 0;    // trailing apostrophes
};

// validate_path's rules; also hands back the components for derive().
std::expected<std::vector<Component>, HdError> parse_path(std::string_view path) {
  std::vector<Component> out;
  if (path == "m") return out;
  if (!path.starts_with("m/")) {
    return hd_error(HdErrorKind::InvalidPath, "path must start with 'm/', got '" + std::string(path) + "'");
  }
  std::string_view rest = path.substr(2);
  while (true) {
    const std::size_t slash = rest.find('/');
    const std::string_view text = rest.substr(0, slash);
    std::string_view number = text;
    while (!number.empty() && number.back() == '\'') number.remove_suffix(1);
    if (number.empty()) {
      return hd_error(HdErrorKind::InvalidPath, "empty component in path '" + std::string(path) + "'");
    }
    const auto value = parse_u32(number);
    if (!value) {
      return hd_error(HdErrorKind::InvalidPath,
                      "invalid index '" + std::string(text) + "' in path '" + std::string(path) + "'");
    }
    out.push_back(Component{text, *value, text.size() - number.size()});
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return out;
}

std::uint32_t hardened(std::uint32_t value) { return value | kHdHardenedOffset; }

void put_be32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// SLIP-10 ed25519: hardened-only, every HMAC output is a valid key.
SecretBytes derive_ed25519(std::span<const std::uint8_t> seed, const std::vector<Component>& path) {
  WipedArray<kSha512Bytes> i;  // k = I[0..32), c = I[32..64)
  hmac_sha512(ascii(kSlip10Key), seed, i.span());
  WipedArray<kChildDataBytes> data;
  WipedArray<kChainCodeBytes> c;
  for (const Component& comp : path) {
    data.bytes[0] = 0;
    std::memcpy(data.bytes + 1, i.bytes, kHdKeyBytes);
    put_be32(data.bytes + 1 + kHdKeyBytes, hardened(comp.value));
    std::memcpy(c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
    hmac_sha512(c.span(), data.span(), i.span());
  }
  return SecretBytes::from_slice(std::span<const std::uint8_t>(i.bytes, kHdKeyBytes));
}

// BIP-32 private derivation. A step BIP-32 declares invalid ends derivation (no retry
// with the next index: a path must name exactly one key).
std::expected<SecretBytes, HdError> derive_secp256k1(std::span<const std::uint8_t> seed,
                                                     const std::vector<Component>& path) {
  if (seed.size() < kMinSeedBytes || seed.size() > kMaxSeedBytes) {
    return hd_error(HdErrorKind::DerivationFailed,
                    "seed must be 16 to 64 bytes (BIP-32), got " + std::to_string(seed.size()));
  }
  const secp256k1_context* ctx = secp::context();
  if (ctx == nullptr) return hd_error(HdErrorKind::DerivationFailed, "cannot allocate the secp256k1 context");
  WipedArray<kSha512Bytes> i;
  hmac_sha512(ascii(kBip32Key), seed, i.span());
  WipedArray<kHdKeyBytes> k;
  WipedArray<kChainCodeBytes> c;
  std::memcpy(k.bytes, i.bytes, kHdKeyBytes);
  std::memcpy(c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
  if (secp256k1_ec_seckey_verify(ctx, k.data()) != 1) {
    return hd_error(HdErrorKind::DerivationFailed, "invalid master key (BIP-32: I_L is zero or not below n)");
  }
  WipedArray<kChildDataBytes> data;
  for (const Component& comp : path) {
    std::uint32_t index = comp.value;
    if (comp.marks == 1) {
      index = hardened(index);
      data.bytes[0] = 0;
      std::memcpy(data.bytes + 1, k.bytes, kHdKeyBytes);
    } else {
      secp256k1_pubkey pub;
      std::size_t len = secp::kCompressedBytes;
      if (secp256k1_ec_pubkey_create(ctx, &pub, k.data()) != 1 ||
          secp256k1_ec_pubkey_serialize(ctx, data.bytes, &len, &pub, SECP256K1_EC_COMPRESSED) != 1) {
        return hd_error(HdErrorKind::DerivationFailed, "public key of a valid key could not be computed");
      }
    }
    put_be32(data.bytes + 1 + kHdKeyBytes, index);
    hmac_sha512(c.span(), data.span(), i.span());
    std::memcpy(c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
    // k = I_L + k mod n; refused when I_L is not below n or the sum is zero.
    if (secp256k1_ec_seckey_tweak_add(ctx, k.data(), i.data()) != 1) {
      return hd_error(HdErrorKind::DerivationFailed,
                      "invalid child key at index " + std::to_string(index) + " (BIP-32: I_L not below n or key zero)");
    }
  }
  return SecretBytes::from_slice(k.span());
}

}  // namespace

std::string HdError::display() const {
  switch (kind) {
    case HdErrorKind::InvalidPath: return "invalid derivation path: " + detail;
    case HdErrorKind::DerivationFailed: return "derivation failed: " + detail;
    case HdErrorKind::Ed25519NonHardened: return "ed25519 requires hardened-only derivation";
  }
  return detail;
}

std::expected<void, HdError> HdDeriver::validate_path(std::string_view path) {
  if (auto parsed = parse_path(path); !parsed) return std::unexpected(std::move(parsed.error()));
  return {};
}

std::expected<SecretBytes, HdError> HdDeriver::derive(std::span<const std::uint8_t> seed, std::string_view path,
                                                      Curve curve) {
  auto parsed = parse_path(path);
  if (!parsed) return std::unexpected(std::move(parsed.error()));
  const std::vector<Component>& comps = *parsed;

  // Refused for both curves, before any curve rule: adding 2^31 to such a value would
  // wrap (2147483648' is index 0 unhardened), and an unmarked one would silently be
  // hardened, so the key would not be the one the text names.
  for (const Component& comp : comps) {
    if (comp.value >= kHdHardenedOffset) {
      return hd_error(HdErrorKind::InvalidPath, "index out of range in component '" + std::string(comp.text) +
                                                    "' of path '" + std::string(path) + "': must be below 2147483648");
    }
  }

  switch (curve) {
    case Curve::Ed25519:
      for (const Component& comp : comps) {
        if (comp.marks == 0) return hd_error(HdErrorKind::Ed25519NonHardened, "");
      }
      return derive_ed25519(seed, comps);
    case Curve::Secp256k1:
      // BIP-32 path syntax takes at most one hardened marker per component.
      for (const Component& comp : comps) {
        if (comp.marks > 1) {
          return hd_error(HdErrorKind::InvalidPath, "Malformatted index during derivation: " + std::string(path));
        }
      }
      return derive_secp256k1(seed, comps);
  }
  return hd_error(HdErrorKind::DerivationFailed, "unknown curve");
}

std::expected<SecretBytes, HdError> HdDeriver::derive_from_mnemonic(const Mnemonic& mnemonic,
                                                                    std::string_view passphrase,
                                                                    std::string_view path, Curve curve) {
  // The seed's SecretBytes wipes and unlocks it when this scope ends, on either result.
  const SecretBytes seed = mnemonic.to_seed(passphrase);
  return derive(seed.span(), path, curve);
}

}  // namespace vek_signer
