#include "vek/signer/hd.h"

#include <algorithm>
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
    return fail(HdErrorKind::InvalidPath, "path must start with 'm/', got '" + std::string(path) + "'");
  }
  std::string_view rest = path.substr(2);
  while (true) {
    const std::size_t slash = rest.find('/');
    const std::string_view text = rest.substr(0, slash);
    std::string_view number = text;
    while (!number.empty() && number.back() == '\'') number.remove_suffix(1);
    if (number.empty()) {
      return fail(HdErrorKind::InvalidPath, "empty component in path '" + std::string(path) + "'");
    }
    const auto value = parse_u32(number);
    if (!value) {
      return fail(HdErrorKind::InvalidPath,
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

// A node of the derivation: its key and chain code; for secp256k1 also its compressed
// public key, which a non-hardened child needs.
struct Node {
  WipedArray<kHdKeyBytes> k;
  WipedArray<kChainCodeBytes> c;
  WipedArray<secp::kCompressedBytes> pub;
  bool has_pub = false;
};

// SLIP-10 ed25519: hardened-only, every HMAC output is a valid key.
void ed25519_master(std::span<const std::uint8_t> seed, Node& node) {
  WipedArray<kSha512Bytes> i;  // k = I[0..32), c = I[32..64)
  hmac_sha512(ascii(kSlip10Key), seed, i.span());
  std::memcpy(node.k.bytes, i.bytes, kHdKeyBytes);
  std::memcpy(node.c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
}

void ed25519_step(Node& node, const Component& comp) {
  WipedArray<kSha512Bytes> i;
  WipedArray<kChildDataBytes> data;
  data.bytes[0] = 0;
  std::memcpy(data.bytes + 1, node.k.bytes, kHdKeyBytes);
  put_be32(data.bytes + 1 + kHdKeyBytes, hardened(comp.value));
  hmac_sha512(node.c.span(), data.span(), i.span());
  std::memcpy(node.k.bytes, i.bytes, kHdKeyBytes);
  std::memcpy(node.c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
}

// BIP-32 master key generation.
std::expected<void, HdError> secp256k1_master(std::span<const std::uint8_t> seed, Node& node) {
  if (seed.size() < kMinSeedBytes || seed.size() > kMaxSeedBytes) {
    return fail(HdErrorKind::DerivationFailed,
                    "seed must be 16 to 64 bytes (BIP-32), got " + std::to_string(seed.size()));
  }
  const secp256k1_context* ctx = secp::context();
  if (ctx == nullptr) return fail(HdErrorKind::DerivationFailed, "cannot allocate the secp256k1 context");
  WipedArray<kSha512Bytes> i;
  hmac_sha512(ascii(kBip32Key), seed, i.span());
  std::memcpy(node.k.bytes, i.bytes, kHdKeyBytes);
  std::memcpy(node.c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
  if (secp256k1_ec_seckey_verify(ctx, node.k.data()) != 1) {
    return fail(HdErrorKind::DerivationFailed, "invalid master key (BIP-32: I_L is zero or not below n)");
  }
  return {};
}

// The compressed public key of the node's key, computed once.
std::expected<void, HdError> secp256k1_public(Node& node) {
  if (node.has_pub) return {};
  const secp256k1_context* ctx = secp::context();
  secp256k1_pubkey pub;
  std::size_t len = secp::kCompressedBytes;
  if (ctx == nullptr || secp256k1_ec_pubkey_create(ctx, &pub, node.k.data()) != 1 ||
      secp256k1_ec_pubkey_serialize(ctx, node.pub.data(), &len, &pub, SECP256K1_EC_COMPRESSED) != 1) {
    return fail(HdErrorKind::DerivationFailed, "public key of a valid key could not be computed");
  }
  node.has_pub = true;
  return {};
}

// BIP-32 private child derivation. A step BIP-32 declares invalid ends derivation (no
// retry with the next index: a path must name exactly one key).
std::expected<void, HdError> secp256k1_step(Node& node, const Component& comp) {
  const secp256k1_context* ctx = secp::context();
  if (ctx == nullptr) return fail(HdErrorKind::DerivationFailed, "cannot allocate the secp256k1 context");
  WipedArray<kChildDataBytes> data;
  std::uint32_t index = comp.value;
  if (comp.marks == 1) {
    index = hardened(index);
    data.bytes[0] = 0;
    std::memcpy(data.bytes + 1, node.k.bytes, kHdKeyBytes);
  } else {
    if (auto pub = secp256k1_public(node); !pub) return pub;
    std::memcpy(data.bytes, node.pub.bytes, secp::kCompressedBytes);
  }
  put_be32(data.bytes + 1 + kHdKeyBytes, index);
  WipedArray<kSha512Bytes> i;
  hmac_sha512(node.c.span(), data.span(), i.span());
  std::memcpy(node.c.bytes, i.bytes + kHdKeyBytes, kChainCodeBytes);
  node.has_pub = false;
  // k = I_L + k mod n; refused when I_L is not below n or the sum is zero.
  if (secp256k1_ec_seckey_tweak_add(ctx, node.k.data(), i.data()) != 1) {
    return fail(HdErrorKind::DerivationFailed,
                    "invalid child key at index " + std::to_string(index) + " (BIP-32: I_L not below n or key zero)");
  }
  return {};
}

// Every check derive() makes of a path for `curve`; the components when it passes.
std::expected<std::vector<Component>, HdError> parse_for_curve(std::string_view path, Curve curve) {
  VEK_TRY(parsed, parse_path(path));
  const std::vector<Component>& comps = *parsed;

  // Refused for both curves, before any curve rule: adding 2^31 to such a value would
  // wrap (2147483648' is index 0 unhardened), and an unmarked one would silently be
  // hardened, so the key would not be the one the text names.
  for (const Component& comp : comps) {
    if (comp.value >= kHdHardenedOffset) {
      return fail(HdErrorKind::InvalidPath, "index out of range in component '" + std::string(comp.text) +
                                                    "' of path '" + std::string(path) + "': must be below 2147483648");
    }
  }
  for (const Component& comp : comps) {
    // SLIP-10 ed25519 is hardened-only; BIP-32 path syntax takes at most one hardened
    // marker per component.
    if (curve == Curve::Ed25519 && comp.marks == 0) return fail(HdErrorKind::Ed25519NonHardened, "");
    if (curve == Curve::Secp256k1 && comp.marks > 1) {
      return fail(HdErrorKind::InvalidPath, "Malformatted index during derivation: " + std::string(path));
    }
  }
  return parsed;
}

// Walks `node` down `comps`.
std::expected<void, HdError> walk(Node& node, std::span<const Component> comps, Curve curve) {
  for (const Component& comp : comps) {
    if (curve == Curve::Ed25519) {
      ed25519_step(node, comp);
    } else if (auto step = secp256k1_step(node, comp); !step) {
      return step;
    }
  }
  return {};
}

// The node at `path` (checked for `curve`) from `seed`.
std::expected<void, HdError> node_at(std::span<const std::uint8_t> seed, std::string_view path, Curve curve,
                                     Node& node) {
  VEK_TRY(comps, parse_for_curve(path, curve));
  if (curve == Curve::Ed25519) {
    ed25519_master(seed, node);
  } else if (auto master = secp256k1_master(seed, node); !master) {
    return master;
  }
  return walk(node, *comps, curve);
}

}  // namespace

std::expected<void, HdError> HdDeriver::validate_path(std::string_view path) {
  VEK_TRY_VOID(parse_path(path));
  return {};
}

std::expected<SecretBytes, HdError> HdDeriver::derive(std::span<const std::uint8_t> seed, std::string_view path,
                                                      Curve curve) {
  Node node;
  VEK_TRY_VOID(node_at(seed, path, curve, node));
  return SecretBytes::from_slice(node.k.span());
}

std::expected<SecretBytes, HdError> HdDeriver::derive_node(std::span<const std::uint8_t> seed, std::string_view path,
                                                           Curve curve) {
  Node node;
  VEK_TRY_VOID(node_at(seed, path, curve, node));
  if (curve == Curve::Secp256k1) {
    VEK_TRY_VOID(secp256k1_public(node));
  }
  WipedArray<kHdNodeBytes> out;
  std::memcpy(out.bytes, node.k.bytes, kHdKeyBytes);
  std::memcpy(out.bytes + kHdKeyBytes, node.c.bytes, kChainCodeBytes);
  std::memcpy(out.bytes + 2 * kHdKeyBytes, node.pub.bytes, secp::kCompressedBytes);
  return SecretBytes::from_slice(out.span());
}

std::expected<SecretBytes, HdError> HdDeriver::derive_below(std::span<const std::uint8_t> node_bytes,
                                                            std::string_view node_path, std::string_view path,
                                                            Curve curve) {
  VEK_TRY(comps, parse_for_curve(path, curve));
  auto above = parse_path(node_path);
  const bool below = above && node_bytes.size() == kHdNodeBytes && above->size() <= comps->size() &&
                     std::equal(above->begin(), above->end(), comps->begin(), [](const Component& a, const Component& b) {
                       return a.value == b.value && a.marks == b.marks;
                     });
  if (!below) {
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about a chain of operator+.
    std::string detail = "'";
    detail.append(path).append("' is not below the node of '").append(node_path).append("'");
    return fail(HdErrorKind::DerivationFailed, std::move(detail));
  }
  Node node;
  std::memcpy(node.k.bytes, node_bytes.data(), kHdKeyBytes);
  std::memcpy(node.c.bytes, node_bytes.data() + kHdKeyBytes, kChainCodeBytes);
  if (curve == Curve::Secp256k1) {
    std::memcpy(node.pub.bytes, node_bytes.data() + 2 * kHdKeyBytes, secp::kCompressedBytes);
    node.has_pub = true;
  }
  if (auto walked = walk(node, std::span(*comps).subspan(above->size()), curve); !walked) {
    return std::unexpected(std::move(walked.error()));
  }
  return SecretBytes::from_slice(node.k.span());
}

std::expected<SecretBytes, HdError> HdDeriver::derive_from_mnemonic(const Mnemonic& mnemonic,
                                                                    std::string_view passphrase,
                                                                    std::string_view path, Curve curve) {
  // The seed's SecretBytes wipes and unlocks it when this scope ends, on either result.
  const SecretBytes seed = mnemonic.to_seed(passphrase);
  return derive(seed.span(), path, curve);
}

}  // namespace vek_signer
