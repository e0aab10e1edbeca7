// Bech32 per BIP-173 (checksum constant 1), its 8-to-5-bit regrouping, and
// witness-version-0 SegWit addresses.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vek_signer {

// BIP-173's length limit for SegWit addresses, and the extended limit used for
// other bech32 strings (account addresses of the Cosmos family).
inline constexpr std::size_t kBech32MaxLength = 90;
inline constexpr std::size_t kBech32ExtendedMaxLength = 1023;

enum class Bech32ErrorKind : std::uint8_t {
  InvalidHrp = 0,             // "invalid human-readable part"
  TooLong = 1,                // "bech32 string of {value} characters exceeds the limit of {limit}"
  InvalidDataValue = 2,       // "data value at position {value} does not fit in {limit} bits"
  InvalidCharacter = 3,       // "invalid bech32 character at position {value}"
  MixedCase = 4,              // "mixed-case bech32 string"
  MissingSeparator = 5,       // "missing separator '1'"
  ChecksumTooShort = 6,       // "checksum shorter than 6 characters"
  InvalidChecksum = 7,        // "invalid bech32 checksum"
  InvalidPadding = 8,         // "invalid padding in bit regrouping"
  HrpMismatch = 9,            // "unexpected human-readable part"
  InvalidWitnessVersion = 10, // "invalid witness version {value}"
  InvalidProgramLength = 11,  // "invalid witness program length {value}"
};

struct Bech32Error {
  Bech32ErrorKind kind;
  std::size_t value = 0;  // a position, length or version, as the kind says
  std::size_t limit = 0;  // TooLong: the limit; InvalidDataValue: the group width
  [[nodiscard]] std::string display() const;
};

template <typename T>
using Bech32Result = std::expected<T, Bech32Error>;

// hrp (1 to 83 characters in 33..126, not mixed case; written in lower case), "1",
// the 5-bit values of `data` as characters, and the 6-character checksum.
// Errors: InvalidHrp; InvalidDataValue (a value above 31); TooLong (result longer than `max_length`).
[[nodiscard]] Bech32Result<std::string> bech32_encode(std::string_view hrp, std::span<const std::uint8_t> data,
                                                      std::size_t max_length);

struct Bech32Decoded {
  std::string hrp;                 // lower case
  std::vector<std::uint8_t> data;  // 5-bit values, checksum removed
};

// Strict BIP-173 decoding. Errors: TooLong, InvalidCharacter, MixedCase, MissingSeparator,
// InvalidHrp (empty or longer than 83), ChecksumTooShort, InvalidChecksum.
[[nodiscard]] Bech32Result<Bech32Decoded> bech32_decode(std::string_view text,
                                                        std::size_t max_length = kBech32MaxLength);

// Regroups `in` (values of `from_bits`) into values of `to_bits`, big-endian bit order.
// With `pad`, a final partial group is zero-padded; without it, left-over bits must be
// fewer than `from_bits` and all zero (else InvalidPadding). InvalidDataValue when an
// input value does not fit in `from_bits`.
[[nodiscard]] Bech32Result<std::vector<std::uint8_t>> convert_bits(std::span<const std::uint8_t> in, unsigned from_bits,
                                                                   unsigned to_bits, bool pad);

// A witness-version-0 SegWit address (BIP-173): hrp, "1", "q", the program in 5-bit
// groups, checksum; at most 90 characters. The program must be 20 or 32 bytes.
// Errors: InvalidHrp, InvalidProgramLength, TooLong.
[[nodiscard]] Bech32Result<std::string> segwit_v0_encode(std::string_view hrp, std::span<const std::uint8_t> program);

struct SegwitProgram {
  std::uint8_t version = 0;
  std::vector<std::uint8_t> program;
};

// Decodes a SegWit address whose hrp must equal `hrp`. Versions 1 to 16 need the
// bech32m checksum of BIP-350, so only version 0 is accepted here.
// Errors: those of bech32_decode, HrpMismatch, InvalidWitnessVersion, InvalidPadding,
// InvalidProgramLength.
[[nodiscard]] Bech32Result<SegwitProgram> segwit_decode(std::string_view hrp, std::string_view address);

}  // namespace vek_signer
