#include "vek/signer/encoding.h"

#include <array>

namespace vek_signer {
namespace {

constexpr std::string_view kStandard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUrlSafe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encode(std::span<const std::uint8_t> bytes, std::string_view alphabet, bool pad) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) out.push_back(alphabet[(n >> shift) & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t n = std::uint32_t{bytes[i]} << 16;
    if (rest == 2) n |= std::uint32_t{bytes[i + 1]} << 8;
    out.push_back(alphabet[(n >> 18) & 63]);
    out.push_back(alphabet[(n >> 12) & 63]);
    if (rest == 2) out.push_back(alphabet[(n >> 6) & 63]);
    if (pad) out.append(3 - rest, '=');
  }
  return out;
}

constexpr std::array<std::int8_t, 256> reverse(std::string_view alphabet) {
  std::array<std::int8_t, 256> t{};
  t.fill(-1);
  for (std::size_t i = 0; i < alphabet.size(); ++i) t[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
  return t;
}
constexpr auto kStandardRev = reverse(kStandard);
constexpr auto kUrlSafeRev = reverse(kUrlSafe);

// Decodes unpadded text (length mod 4 never 1) with the given reverse table.
std::expected<std::vector<std::uint8_t>, Base64Error> decode_unpadded(std::string_view text,
                                                                      const std::array<std::int8_t, 256>& rev,
                                                                      std::size_t reported_length) {
  if (text.size() % 4 == 1) return fail_at(ErrorCode::Base64InvalidLength, reported_length);
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 3 / 4);
  std::uint32_t acc = 0;
  unsigned bits = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int v = rev[static_cast<unsigned char>(text[i])];
    if (v < 0) return fail_at(ErrorCode::Base64InvalidCharacter, i);
    acc = ((acc << 6) | static_cast<std::uint32_t>(v)) & 0xFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>(acc >> bits));
    }
  }
  // Left-over bits (2 or 4) must be zero, so each byte string has exactly one text.
  if ((acc & ((1U << bits) - 1)) != 0) return fail(ErrorCode::Base64NonCanonical);
  return out;
}

}  // namespace

std::string base64_encode(std::span<const std::uint8_t> bytes) { return encode(bytes, kStandard, true); }

std::string base64url_encode(std::span<const std::uint8_t> bytes) { return encode(bytes, kUrlSafe, false); }

std::expected<std::vector<std::uint8_t>, Base64Error> base64_decode(std::string_view text) {
  if (text.size() % 4 != 0) return fail_at(ErrorCode::Base64InvalidLength, text.size());
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  return decode_unpadded(text.substr(0, text.size() - padding), kStandardRev, text.size());
}

std::expected<std::vector<std::uint8_t>, Base64Error> base64url_decode(std::string_view text) {
  return decode_unpadded(text, kUrlSafeRev, text.size());
}

}  // namespace vek_signer
