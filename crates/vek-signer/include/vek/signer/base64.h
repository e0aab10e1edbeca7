// Base64 per RFC 4648: the standard alphabet with "=" padding (section 4), and the
// URL-safe alphabet without padding (section 5, padding dropped as section 3.2 allows).
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vek_signer {

enum class Base64ErrorKind : std::uint8_t {
  InvalidCharacter = 0,  // "invalid base64 character at position {position}"
  InvalidLength = 1,     // "invalid base64 length {position}"
  NonCanonical = 2,      // "non-zero trailing bits in base64 text"
};

struct Base64Error {
  Base64ErrorKind kind;
  std::size_t position = 0;  // character index, or the text length for InvalidLength
  [[nodiscard]] std::string display() const;
};

// A-Z a-z 0-9 + /, padded with "=" to a multiple of 4 characters. Cannot fail.
[[nodiscard]] std::string base64_encode(std::span<const std::uint8_t> bytes);
// A-Z a-z 0-9 - _, no padding: ceil(8n / 6) characters. Cannot fail.
[[nodiscard]] std::string base64url_encode(std::span<const std::uint8_t> bytes);

// Strict inverses: the exact alphabet, the exact padding (required for base64_decode,
// refused by base64url_decode), and zero bits after the last byte.
// Errors: InvalidCharacter, InvalidLength, NonCanonical.
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base64Error> base64_decode(std::string_view text);
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base64Error> base64url_decode(std::string_view text);

}  // namespace vek_signer
