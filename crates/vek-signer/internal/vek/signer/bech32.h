// Bech32 per BIP-173 (checksum constant 1), its 8-to-5-bit regrouping, and
// witness-version-0 SegWit addresses.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/signer/error.h"

namespace vek_signer {

// BIP-173's length limit for SegWit addresses, and the extended limit used for
// other bech32 strings (account addresses of the Cosmos family).
inline constexpr std::size_t kBech32MaxLength = 90;
inline constexpr std::size_t kBech32ExtendedMaxLength = 1023;

// Errors are vek_core::Error with a Bech32* code; {value} is the position, length or
// version the code's text names, {limit} the length limit (Bech32TooLong) or the group
// width (Bech32InvalidDataValue).
using Bech32Error = Error;
template <typename T>
using Bech32Result = std::expected<T, Bech32Error>;

// hrp (1 to 83 characters in 33..126, not mixed case; written in lower case), "1",
// the 5-bit values of `data` as characters, and the 6-character checksum.
// Errors: Bech32InvalidHrp; Bech32InvalidDataValue (a value above 31); Bech32TooLong (result
// longer than `max_length`).
[[nodiscard]] Bech32Result<std::string> bech32_encode(std::string_view hrp, std::span<const std::uint8_t> data,
                                                      std::size_t max_length);

struct Bech32Decoded {
  std::string hrp;                 // lower case
  std::vector<std::uint8_t> data;  // 5-bit values, checksum removed
};

// Strict BIP-173 decoding. Errors: Bech32TooLong, Bech32InvalidCharacter, Bech32MixedCase,
// Bech32MissingSeparator, Bech32InvalidHrp (empty or longer than 83), Bech32ChecksumTooShort,
// Bech32InvalidChecksum.
[[nodiscard]] Bech32Result<Bech32Decoded> bech32_decode(std::string_view text,
                                                        std::size_t max_length = kBech32MaxLength);

// Regroups `in` (values of `from_bits`) into values of `to_bits`, big-endian bit order.
// With `pad`, a final partial group is zero-padded; without it, left-over bits must be
// fewer than `from_bits` and all zero (else Bech32InvalidPadding). Bech32InvalidDataValue when an
// input value does not fit in `from_bits`.
[[nodiscard]] Bech32Result<std::vector<std::uint8_t>> convert_bits(std::span<const std::uint8_t> in, unsigned from_bits,
                                                                   unsigned to_bits, bool pad);

// A witness-version-0 SegWit address (BIP-173): hrp, "1", "q", the program in 5-bit
// groups, checksum; at most 90 characters. The program must be 20 or 32 bytes.
// Errors: Bech32InvalidHrp, Bech32InvalidProgramLength, Bech32TooLong.
[[nodiscard]] Bech32Result<std::string> segwit_v0_encode(std::string_view hrp, std::span<const std::uint8_t> program);

struct SegwitProgram {
  std::uint8_t version = 0;
  std::vector<std::uint8_t> program;
};

// Decodes a SegWit address whose hrp must equal `hrp`. Versions 1 to 16 need the
// bech32m checksum of BIP-350, so only version 0 is accepted here.
// Errors: those of bech32_decode, Bech32HrpMismatch, Bech32InvalidWitnessVersion, Bech32InvalidPadding,
// Bech32InvalidProgramLength.
[[nodiscard]] Bech32Result<SegwitProgram> segwit_decode(std::string_view hrp, std::string_view address);

}  // namespace vek_signer
