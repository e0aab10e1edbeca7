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

#include "vek/signer/error.h"

namespace vek_signer {

// Decoding failures are vek_core::Error with a Base58* or Base64* code; {value} is the
// character position (or, as the code's text says, a length).
using Base58Error = Error;
using Base64Error = Error;

// ---------------------------------------------------------------- Base58

// "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"
inline constexpr std::string_view kBase58Alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
inline constexpr std::size_t kBase58CheckBytes = 4;

// Big-endian base conversion; each leading zero byte becomes a leading '1'.
// Empty input gives the empty text. Cannot fail.
[[nodiscard]] std::string base58_encode(std::span<const std::uint8_t> bytes);

// Inverse of base58_encode. Error: Base58InvalidCharacter (any byte outside the alphabet).
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base58Error> base58_decode(std::string_view text);

// base58_encode(payload || first 4 bytes of SHA-256(SHA-256(payload))). Cannot fail.
[[nodiscard]] std::string base58check_encode(std::span<const std::uint8_t> payload);

// Decodes and verifies the checksum; returns the payload without it.
// Errors: Base58InvalidCharacter, Base58TooShort (fewer than 4 decoded bytes), Base58BadChecksum.
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base58Error> base58check_decode(std::string_view text);

// ---------------------------------------------------------------- Base64

// A-Z a-z 0-9 + /, padded with "=" to a multiple of 4 characters. Cannot fail.
[[nodiscard]] std::string base64_encode(std::span<const std::uint8_t> bytes);
// A-Z a-z 0-9 - _, no padding: ceil(8n / 6) characters. Cannot fail.
[[nodiscard]] std::string base64url_encode(std::span<const std::uint8_t> bytes);

// Strict inverses: the exact alphabet, the exact padding (required for base64_decode,
// refused by base64url_decode), and zero bits after the last byte.
// Errors: Base64InvalidCharacter, Base64InvalidLength (the text's length), Base64NonCanonical.
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base64Error> base64_decode(std::string_view text);
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Base64Error> base64url_decode(std::string_view text);

}  // namespace vek_signer
