// The small RLP codec of the EVM family: byte strings, length headers, the
// re-encoding of an unsigned EIP-2718 typed transaction (types 0x01 and 0x02) with its
// signature appended, and the one strict reader of such transactions.
// encode_signed_typed_tx never decodes the fields, it carries them over byte for byte
// and reads only the outer header, leniently; read_item and read_typed_tx hold every
// item to the canonical encoding (Yellow Paper, appendix B), as a node does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
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

// ---------------------------------------------------------------- strict reading

// One RLP item as read_item reads it.
struct Item {
  bool list = false;
  std::span<const std::uint8_t> payload;  // a view into the input read from
  std::size_t end = 0;                    // offset just past the item in that input
};

// The item that starts at offset `at` of `in` (which must hold all of it), in its
// canonical encoding only: a single byte below 0x80 is its own encoding, a long-form
// header is used for 56 bytes or more only and its length has no leading zero byte.
// Errors (fixed static texts):
//   "truncated RLP item"       at is not below in.size()
//   "truncated RLP length"     a long-form header with too few length bytes
//   "truncated RLP payload"    the declared payload runs past the end of `in`
//   "non-canonical RLP length: leading zero bytes"
//   "non-canonical RLP length: a long form for a length below 56"
//   "non-canonical RLP string: a single byte below 0x80 is its own encoding"
[[nodiscard]] std::expected<Item, std::string_view> read_item(std::span<const std::uint8_t> in, std::size_t at);

// An unsigned typed transaction as read_typed_tx reads it.
struct TypedTx {
  std::uint8_t type = 0;
  std::vector<Item> fields;  // the items of its list, in order; views into the input
};

// Reads an unsigned typed transaction strictly: the type byte (0x01 or 0x02), then one
// RLP list and nothing after it; every item, nested ones included, canonical
// (read_item); the integer fields of the type's layout that are present (chain id,
// nonce, priority fee and maximum fee or gas price, gas limit, value) strings of at
// most 32 bytes without a leading zero byte. The number of fields is not checked.
// Nesting is walked with an explicit stack, whatever its depth.
// Errors, first failure wins:
//   "empty transaction"; "unsupported transaction type (expected 0x01 or 0x02)";
//   read_item's texts; "the fields are not an RLP list";
//   trailing_bytes_text(n) when n bytes follow the list;
//   "{field} is a list, not an integer"; "{field} is longer than 32 bytes";
//   "{field} has a leading zero byte", {field} being "the chain id", "the nonce",
//   "the priority fee", "the maximum fee", "the gas price", "the gas limit" or "the value".
[[nodiscard]] std::expected<TypedTx, std::string> read_typed_tx(std::span<const std::uint8_t> tx);

// "{n} bytes follow the transaction's RLP list" ("1 byte follows ..." for one): the
// refusal of every path that signs or assembles a typed transaction with bytes after it.
[[nodiscard]] std::string trailing_bytes_text(std::size_t n);

}  // namespace vek_signer::rlp
