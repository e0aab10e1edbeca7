// Strict hexadecimal: lower-case output, input of either case, even length.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vek_signer {

// Lower-case hex, two digits per byte, no prefix.
[[nodiscard]] std::string hex_encode(std::span<const std::uint8_t> bytes);

// Decodes `text` (digits of either case, no prefix). Checks the length first, then
// the characters. Errors (exact texts):
//   "Odd number of digits"
//   "Invalid character '{c}' at position {index}"  ({c} is the offending byte taken as a
//   code point and written in UTF-8; {index} its zero-based byte position in `text`)
[[nodiscard]] std::expected<std::vector<std::uint8_t>, std::string> hex_decode(std::string_view text);

// The same, decoding straight into a caller-owned buffer (for secrets): `out` is cleared and filled.
[[nodiscard]] std::expected<void, std::string> hex_decode_into(std::string_view text, std::vector<std::uint8_t>& out);

}  // namespace vek_signer
