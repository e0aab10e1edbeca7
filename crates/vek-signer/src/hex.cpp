#include "vek/signer/hex.h"

#include "vek/core/error.h"
#include "vek/core/support.h"

namespace vek_signer {
namespace {

using vek_core::kHexDigits;

int nibble(unsigned char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The offending byte, as the code point of the same value, in UTF-8.
std::string char_text(unsigned char c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(static_cast<char>(c));
  } else {
    s.push_back(static_cast<char>(0xC0 | (c >> 6)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return s;
}

}  // namespace

std::string hex_encode(std::span<const std::uint8_t> bytes) {
  std::string out(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[2 * i] = kHexDigits[bytes[i] >> 4];
    out[2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
  }
  return out;
}

std::expected<void, std::string> hex_decode_into(std::string_view text, std::vector<std::uint8_t>& out) {
  out.clear();
  if (text.size() % 2 != 0) return std::unexpected(std::string("Odd number of digits"));
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(text[i + 1]);
    const int hi = nibble(a);
    if (hi < 0) {
      out.clear();
      return std::unexpected("Invalid character '" + char_text(a) + "' at position " + std::to_string(i));
    }
    const int lo = nibble(b);
    if (lo < 0) {
      out.clear();
      return std::unexpected("Invalid character '" + char_text(b) + "' at position " + std::to_string(i + 1));
    }
    out.push_back(static_cast<std::uint8_t>((hi << 4) | lo));
  }
  return {};
}

std::expected<std::vector<std::uint8_t>, std::string> hex_decode(std::string_view text) {
  std::vector<std::uint8_t> out;
  VEK_TRY_VOID(hex_decode_into(text, out));
  return out;
}

}  // namespace vek_signer
