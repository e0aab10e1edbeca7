// Derivation path texts from callers and wallet files. A path is validated, then
// derived on both curves from a fixed 64-byte seed. Whatever validate_path refuses,
// derive refuses with the same error; whatever derives must derive to the same key
// as the path rewritten in its plainest form (no '+', no leading zeros), because
// both name the same BIP-32 / SLIP-10 indices.
#include <algorithm>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "vek/signer/hd.h"

namespace {

using vek_signer::Curve;
using vek_signer::HdDeriver;
using vek_signer::HdErrorKind;

constexpr std::uint8_t kSeed[64] = {
    0x5e, 0xb0, 0x0b, 0xbd, 0xdc, 0xf0, 0x69, 0x08, 0x48, 0x89, 0xa8, 0xab, 0x91, 0x55, 0x56, 0x81,
    0x65, 0xf5, 0xc4, 0x53, 0xcc, 0xb8, 0x5e, 0x70, 0x81, 0x1a, 0xae, 0xd6, 0xf6, 0xda, 0x5f, 0xc1,
    0x9a, 0x5a, 0xc4, 0x0b, 0x38, 0x9c, 0xd3, 0x70, 0xd0, 0x86, 0x20, 0x6d, 0xec, 0x8a, 0xa6, 0xc4,
    0x3d, 0xae, 0xa6, 0x69, 0x0f, 0x20, 0xad, 0x3d, 0x8d, 0x48, 0xb2, 0xd2, 0xce, 0x9e, 0x38, 0xe4};

// The same path with every index written plainly, or nullopt if a component is not of
// the form ['+'] digits apostrophes (such paths are refused anyway).
std::optional<std::string> plainest(std::string_view path) {
  if (path == "m") return std::string("m");
  if (!path.starts_with("m/")) return std::nullopt;
  std::string out = "m";
  std::string_view rest = path.substr(2);
  while (true) {
    const std::size_t slash = rest.find('/');
    std::string_view comp = rest.substr(0, slash);
    std::size_t marks = 0;
    while (!comp.empty() && comp.back() == '\'') {
      comp.remove_suffix(1);
      ++marks;
    }
    if (comp.starts_with('+')) comp.remove_prefix(1);
    if (comp.empty() || comp.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    while (comp.size() > 1 && comp.front() == '0') comp.remove_prefix(1);
    out += '/';
    out += comp;
    out.append(marks, '\'');
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return out;
}

void check_curve(std::string_view path, Curve curve, const std::expected<void, vek_signer::HdError>& valid) {
  const auto key = HdDeriver::derive(kSeed, path, curve);
  if (!valid) {
    FUZZ_CHECK(!key && key.error().code == valid.error().code && key.error().detail == valid.error().detail);
    return;
  }
  if (!key) {
    FUZZ_CHECK(key.error().code != HdErrorKind::DerivationFailed || curve == Curve::Secp256k1);
    return;
  }
  FUZZ_CHECK(key->size() == vek_signer::kHdKeyBytes);
  const auto plain = plainest(path);
  FUZZ_CHECK(plain.has_value());
  if (*plain == path) return;
  const auto again = HdDeriver::derive(kSeed, *plain, curve);
  FUZZ_CHECK(again.has_value() && again->size() == key->size());
  FUZZ_CHECK(std::equal(key->span().begin(), key->span().end(), again->span().begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view path = vek_fuzz::as_text(data, size);
  const auto valid = HdDeriver::validate_path(path);
  if (!valid) FUZZ_CHECK(valid.error().code == HdErrorKind::InvalidPath);
  // Every path that validates has a plainest form; a path that has one is refused only
  // for an index above 4294967295.
  const bool has_plain = plainest(path).has_value();
  FUZZ_CHECK(!valid.has_value() || has_plain);
  if (!valid && has_plain) FUZZ_CHECK(valid.error().detail.starts_with("invalid index '"));
  check_curve(path, Curve::Secp256k1, valid);
  check_curve(path, Curve::Ed25519, valid);
  return 0;
}
