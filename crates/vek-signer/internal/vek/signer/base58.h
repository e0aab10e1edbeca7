// Base58 with the Bitcoin alphabet, and Base58Check (payload plus a 4-byte
// double-SHA-256 checksum).
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vek_signer {

// "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"
inline constexpr std::string_view kBase58Alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
inline constexpr std::size_t kBase58CheckBytes = 4;

enum class Base58ErrorKind : std::uint8_t {
  InvalidCharacter = 0,  // "invalid base58 character at position {position}"
  TooShort = 1,          // "base58check text decodes to {position} bytes, fewer than the 4 checksum bytes"
  BadChecksum = 2,       // "base58check checksum mismatch"
};

struct Base58Error {
  Base58ErrorKind kind;
  std::size_t position = 0;  // character index, or the decoded length for TooShort
  [[nodiscard]] std::string display() const;
};

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

}  // namespace vek_signer
