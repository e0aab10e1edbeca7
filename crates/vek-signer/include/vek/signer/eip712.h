// EIP-712 typed structured data: the digest an EVM account signs for
// eth_signTypedData_v4.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vek/signer/hash.h"
#include "vek/signer/traits.h"

namespace vek_signer {

// Limits no real document comes near, so that a hostile one costs bounded time, memory
// and stack: the JSON text's length in bytes, the number of types in `types`, the
// members of one type, and the total length of the type encodings (encodeType) made for
// the document's structs (each made once; a struct's encoding lists every struct it
// reaches, so a chain of n types has encodings of n^2/2 signatures in all). Values may
// nest as deep as the JSON reader allows (128 levels).
inline constexpr std::size_t kMaxTypedDataBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxTypedDataTypes = 1024;
inline constexpr std::size_t kMaxTypedDataMembers = 1024;
inline constexpr std::size_t kMaxTypedDataTypeEncodings = std::size_t{4} << 20;

struct TypedDataDigest {
  std::array<std::uint8_t, kKeccak256Bytes> hash{};
  // The domain's chainId when the domain's type has that member: in decimal when the value
  // reads as an integer, else the value's JSON text.
  std::optional<std::string> domain_chain_id;
};

// Keccak-256(0x19 0x01 || hashStruct(EIP712Domain, domain) || hashStruct(primaryType,
// message)) of the JSON document {"types", "primaryType", "domain", "message"}; when
// primaryType is "EIP712Domain" the message hash is left out.
//
// Types: the atomic types bool, address, bytes1..bytes32, uint8..uint256 and
// int8..int256 (sizes in steps of 8), the dynamic types string and bytes, the structs
// of `types`, and arrays of any of them (T[] and T[k], nested). Without an
// "EIP712Domain" entry in `types`, the domain's type is made of the members the domain
// has, in the order name, version, chainId, verifyingContract, salt. Members of a value
// that its type does not list are not signed.
//
// Values: integers as JSON integers or as strings (decimal, optionally negative, or
// 0x-prefixed hex); addresses as 0x and 40 hex digits (mixed case must be the EIP-55
// checksum); bytes and bytesN as 0x-prefixed hex (bytesN at most N bytes, right-padded).
//
// Time and memory are linear in the document's length (each struct's type hash is made
// once), and the stack used is bounded whatever the document.
//
// Error: InvalidMessage "typed data: {what}", where {what} names the member path, e.g.
//   "typed data: message.to.wallet: expected an address (0x and 40 hex digits), got an integer".
// Text the document supplies (names, paths, strings) is quoted up to 96 bytes; a longer
// one as its first and last 40 bytes around "...". The limits:
//   "typed data: more than 1048576 bytes", "typed data: more than 1024 types",
//   "typed data: types.{type}: more than 1024 members",
//   "typed data: the encodings of the types add up to more than 4194304 bytes",
//   "typed data: not valid JSON: nesting deeper than 128 levels at line {l} column {c}".
[[nodiscard]] SignerResult<TypedDataDigest> typed_data_digest(std::string_view json);

// The hash of typed_data_digest.
[[nodiscard]] SignerResult<std::array<std::uint8_t, kKeccak256Bytes>> typed_data_hash(std::string_view json);

}  // namespace vek_signer
