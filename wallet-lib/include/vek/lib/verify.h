// Checking signatures without a wallet: who signed a message, and whether an address did.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/error.h"
#include "vek/lib/ops.h"

namespace vek_lib {

// Signature bytes from hex text; a "0x" prefix (either case) is dropped.
// Error: InvalidInput "invalid hex signature: {hex error}".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_signature_hex(std::string_view text);

// The address whose key made `signature` over `message` on `chain`, for the formats that
// allow recovery. Formats (absent: the family's standard):
//   EVM chains: "eip191" (personal message; the default) and "eip712" (`message` is the
//   JSON text of eth_signTypedData_v4).
// Errors, first failure wins: InvalidInput (unknown chain; "recovering the signer covers
// EVM chains only, not {family}"; "unknown format for an EVM chain: '{format}' (use
// eip191 or eip712)"); Signer InvalidMessage (vek/signer/eip712.h for typed data; the texts of
// vek/signer/verify.h for the signature).
[[nodiscard]] VekResult<std::string> recover_address(std::string_view chain, std::span<const std::uint8_t> message,
                                                     std::span<const std::uint8_t> signature, OptText format);

// Whether `address` made `signature` over `message` on `chain`. EVM formats as
// recover_address; Solana: "raw" (the default; the Ed25519 signature over the message
// bytes, what wallet adapters check). False when the signature is well formed but
// belongs to another key or to none.
// Errors, first failure wins: InvalidInput (unknown chain; "signature checks cover EVM
// and Solana chains only, not {family}"; "unknown format for a Solana chain: '{format}'
// (use raw)"; "invalid EVM address: '{address}'"); then for EVM those of
// recover_address except a signature that recovers no key (false); for Solana those of
// vek_signer::solana_verify.
[[nodiscard]] VekResult<bool> verify_message(std::string_view chain, std::string_view address,
                                             std::span<const std::uint8_t> message,
                                             std::span<const std::uint8_t> signature, OptText format);

}  // namespace vek_lib
