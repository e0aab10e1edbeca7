#include "message_formats.h"

#include <algorithm>
#include <array>

#include "raw_messages.h"
#include "vek/signer/encoding.h"
#include "vek/signer/family.h"
#include "vek/signer/hex.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_signer::MessageSignature;
using enum SignatureText;

namespace {

// The rows of every family, in the ChainType numbering.
const std::array<std::span<const MessageFormat>, vek_core::kAllChainTypes.size()>& table() {
  static const std::array<std::span<const MessageFormat>, vek_core::kAllChainTypes.size()> rows = {
#define VEK_FAMILY(folder, Name) folder##_message_formats(),
#include "vek/core/families.def"
#undef VEK_FAMILY
  };
  return rows;
}

const vek_signer::FamilyDescriptor& family_of(ChainType t) { return vek_signer::family(t); }

// "a", "a or b", "a, b or c".
std::string or_list(const std::vector<std::string_view>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += i + 1 == items.size() ? " or " : ", ";
    out += items[i];
  }
  return out;
}

std::string and_list(const std::vector<std::string_view>& items) {
  std::string out = or_list(items);
  const auto at = out.rfind(" or ");
  if (at != std::string::npos) out.replace(at, 4, " and ");
  return out;
}

template <typename Has>
std::vector<std::string_view> families_with(Has has) {
  std::vector<std::string_view> out;
  for (const auto* f : vek_signer::families()) {
    const auto rows = message_formats(f->type);
    if (std::any_of(rows.begin(), rows.end(), has)) out.push_back(f->title);
  }
  return out;
}

}  // namespace

namespace formats {

std::unexpected<VekLibError> invalid(std::string text) {
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

VekResult<MessageSignature> signer_message(const MessageSignRequest& r) {
  auto out = r.signer.sign_message(r.key, r.message);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  return MessageSignature{std::move(out->signature), out->recovery_id, {}};
}

VekResult<MessageSignature> screened_message(const MessageSignRequest& r) {
  if (auto ok = screen_raw_message(r.signer.chain_type(), r.message); !ok) return std::unexpected(std::move(ok.error()));
  return signer_message(r);
}

}  // namespace formats

std::span<const MessageFormat> message_formats(ChainType family) { return table()[static_cast<std::size_t>(family)]; }

VekResult<const MessageFormat*> find_message_format(ChainType family, OptText name) {
  const auto rows = message_formats(family);
  if (!name) return &rows.front();
  for (const auto& format : rows) {
    if (format.name == *name) return &format;
  }
  std::vector<std::string_view> names;
  for (const auto& format : rows) names.push_back(format.name);
  const auto& f = family_of(family);
  std::string text = "unknown format for ";
  text.append(f.article).append(" ").append(f.title).append(" chain: '").append(*name).append("' (use ");
  return formats::invalid(text.append(or_list(names)).append(")"));
}

VekResult<SignResult> sign_in_format(const MessageFormat& format, const MessageSignRequest& request) {
  VEK_TRY(out, format.sign(request));
  SignResult result;
  switch (format.text) {
    case Hex: result.signature = vek_signer::hex_encode(out->signature); break;
    case Base64: result.signature = vek_signer::base64_encode(out->signature); break;
    case Base58: result.signature = vek_signer::base58_encode(out->signature); break;
  }
  result.recovery_id = out->recovery_id;
  result.format = std::string(format.name);
  if (!format.public_key_type.empty()) {
    result.public_key_type = std::string(format.public_key_type);
    result.public_key = vek_signer::base64_encode(out->public_key);
  }
  return result;
}

namespace {

constexpr std::size_t kEd25519SignatureBytes = 64;

bool all_hex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

// Hex or base58, as reads_hex_or_base58 says (message_formats.h).
VekResult<std::vector<std::uint8_t>> hex_or_base58_signature(std::string_view text) {
  const bool prefixed = text.starts_with("0x") || text.starts_with("0X");
  const bool hex = text.size() % 2 == 0 && all_hex(text);
  if (!prefixed && !(hex && text.size() == 2 * kEd25519SignatureBytes)) {
    auto bytes = vek_signer::base58_decode(text);
    if (bytes && bytes->size() == kEd25519SignatureBytes) return std::move(*bytes);
    if (!hex) {
      return formats::invalid("invalid signature: neither hex nor base58 (" +
                              (bytes ? "base58 of " + std::to_string(bytes->size()) + " bytes, not 64"
                                     : bytes.error().display()) +
                              ")");
    }
  }
  if (prefixed) text.remove_prefix(2);
  auto bytes = vek_signer::hex_decode(text);
  if (!bytes) return formats::invalid("invalid hex signature: " + bytes.error());
  return std::move(*bytes);
}

}  // namespace

VekResult<std::vector<std::uint8_t>> decode_signature_text(const MessageFormat& format, std::string_view text) {
  if (format.reads_hex_or_base58) return hex_or_base58_signature(text);
  if (format.text == Base64) {
    auto bytes = vek_signer::base64_decode(text);
    if (!bytes) return formats::invalid("invalid base64 signature: " + bytes.error().display());
    return std::move(*bytes);
  }
  if (format.text == Base58) {
    auto bytes = vek_signer::base58_decode(text);
    if (!bytes) return formats::invalid("invalid base58 signature: " + bytes.error().display());
    return std::move(*bytes);
  }
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  auto bytes = vek_signer::hex_decode(text);
  if (!bytes) return formats::invalid("invalid hex signature: " + bytes.error());
  return std::move(*bytes);
}

VekLibError no_checks(ChainType family) {
  const auto names = families_with([](const MessageFormat& f) { return f.verify != nullptr; });
  return VekLibError::invalid_input("signature checks cover " + and_list(names) + " chains only, not " +
                                    std::string(vek_core::chain_type_name(family)));
}

VekLibError no_recovery(ChainType family, const MessageFormat& format) {
  std::vector<std::string_view> recoverable;
  for (const auto& each : message_formats(family)) {
    if (each.recover != nullptr) recoverable.push_back(each.name);
  }
  if (recoverable.empty()) {
    const auto names = families_with([](const MessageFormat& m) { return m.recover != nullptr; });
    return VekLibError::invalid_input("recovering the signer covers " + and_list(names) + " chains only, not " +
                                      std::string(vek_core::chain_type_name(family)));
  }
  return VekLibError::invalid_input("the signer of a " + std::string(format.name) +
                                    " signature cannot be recovered; verify it against an address (formats of " +
                                    std::string(family_of(family).title) + " that allow recovery: " + and_list(recoverable) + ")");
}

}  // namespace vek_lib
