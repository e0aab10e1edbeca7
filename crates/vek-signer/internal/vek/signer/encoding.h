// Text encodings of byte strings used by addresses and transactions: Base58 with the
// Bitcoin alphabet and Base58Check (payload plus a 4-byte double-SHA-256 checksum), and
// Base64 per RFC 4648, the standard alphabet with "=" padding (section 4) and the
// URL-safe alphabet without padding (section 5, padding dropped as section 3.2 allows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vek_signer {

// A decoding failure: which one (the kind's comment gives its text), and where.
template <typename Kind>
struct EncodingError {
  Kind kind;
  std::size_t position = 0;  // a character index, unless the kind says otherwise
  [[nodiscard]] std::string display() const;
};

// ---------------------------------------------------------------- Base58

// "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"
inline constexpr std::string_view kBase58Alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
inline constexpr std::size_t kBase58CheckBytes = 4;

enum class Base58ErrorKind : std::uint8_t {
  InvalidCharacter = 0,  // "invalid base58 character at position {position}"
  TooShort = 1,          // "base58check text decodes to {position} bytes, fewer than the 4 checksum bytes"
  BadChecksum = 2,       // "base58check checksum mismatch"
};
using Base58Error = EncodingError<Base58ErrorKind>;
template <>
std::string Base58Error::display() const;

// Big-endian base conversion; each leading zero byte becomes a leading '1'.
// Empty input gives the empty text. Cannot fail.
[[nodiscard]] std::string base58_encode(std::span<const std::uint8_t> bytes);

// Inverse of base58_encode. Error: InvalidCharacter (any byte outside the alphabet).
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base58Error> base58_decode(std::string_view text);

// base58_encode(payload || first 4 bytes of SHA-256(SHA-256(payload))). Cannot fail.
[[nodiscard]] std::string base58check_encode(std::span<const std::uint8_t> payload);

// Decodes and verifies the checksum; returns the payload without it.
// Errors: InvalidCharacter, TooShort (fewer than 4 decoded bytes), BadChecksum.
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base58Error> base58check_decode(std::string_view text);

// ---------------------------------------------------------------- Base64

enum class Base64ErrorKind : std::uint8_t {
  InvalidCharacter = 0,  // "invalid base64 character at position {position}"
  InvalidLength = 1,     // "invalid base64 length {position}" (the text's length)
  NonCanonical = 2,      // "non-zero trailing bits in base64 text"
};
using Base64Error = EncodingError<Base64ErrorKind>;
template <>
std::string Base64Error::display() const;

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
