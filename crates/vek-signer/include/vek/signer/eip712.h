// EIP-712 typed structured data: the digest an EVM account signs for
// eth_signTypedData_v4.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "vek/signer/hash.h"
#include "vek/signer/traits.h"

namespace vek_signer {

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
// Error: InvalidMessage "typed data: {what}", where {what} names the member path, e.g.
//   "typed data: message.to.wallet: expected an address (0x and 40 hex digits), got an integer".
[[nodiscard]] SignerResult<std::array<std::uint8_t, kKeccak256Bytes>> typed_data_hash(std::string_view json);

}  // namespace vek_signer
