// The small RLP encoder the EVM signer needs: byte strings, length headers, and the
// re-encoding of an unsigned EIP-2718 typed transaction (types 0x01 and 0x02) with its
// signature appended. Not a general RLP library: the transaction's fields are never
// decoded, only carried over byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

namespace vek_signer::rlp {

inline constexpr std::uint8_t kStringOffset = 0x80;
inline constexpr std::uint8_t kListOffset = 0xc0;
inline constexpr std::size_t kSignatureScalarBytes = 32;

// The RLP encoding of `bytes`: a single byte below 0x80 as itself, anything else
// (the empty string included, which gives 0x80) as encode_length(size, 0x80) || bytes.
// Cannot fail.
[[nodiscard]] std::vector<std::uint8_t> encode_bytes(std::span<const std::uint8_t> bytes);

// The RLP header for a payload of `length` bytes. `offset` is kStringOffset or
// kListOffset. Below 56: one byte offset + length. Otherwise offset + 55 + (number of
// big-endian length bytes, 1 to 8), then those bytes without leading zeros.
// Cannot fail.
[[nodiscard]] std::vector<std::uint8_t> encode_length(std::size_t length, std::uint8_t offset);

// The number of leading bytes of `tx` that encode_signed_typed_tx reads: the type byte
// and the one RLP item after it (header and payload). Anything past that count is what
// it ignores. Errors: those of encode_signed_typed_tx, in the same order.
[[nodiscard]] std::expected<std::size_t, std::string_view> typed_tx_length(std::span<const std::uint8_t> tx);

// Appends a signature to an unsigned typed transaction.
// In: tx        type byte (0x01 or 0x02) then one RLP item whose payload is the encoded
//               fields; bytes after that item are ignored.
//     y_parity  0 encodes as the empty string, any other value as its single byte.
//     r, s      32 bytes each, big-endian; leading zeros are stripped before encoding.
// Returns: T || list header || fields || y_parity || r || s.
// Errors (fixed static texts, checked in this order):
//   "empty transaction"                                        tx is empty
//   "unsupported transaction type (expected 0x01 or 0x02)"     first byte not 0x01/0x02
//   "empty input"                                              only the type byte
//   "truncated length"                                         long header with too few length bytes
//   "truncated RLP payload"                                    header + payload exceed the input
[[nodiscard]] std::expected<std::vector<std::uint8_t>, std::string_view> encode_signed_typed_tx(
    std::span<const std::uint8_t> tx, std::uint8_t y_parity, std::span<const std::uint8_t, kSignatureScalarBytes> r,
    std::span<const std::uint8_t, kSignatureScalarBytes> s);

}  // namespace vek_signer::rlp
