// The EVM family's transaction assembly: an unsigned EIP-2718 typed transaction from the
// fields of an eth-account / web3 transaction dictionary, the descriptor's `assemble`.
#pragma once

#include <string_view>

#include "vek/core/chain.h"
#include "vek/signer/family.h"

namespace vek_signer {

// The unsigned typed transaction of `fields_json`, a JSON object with the keys of an
// eth-account transaction dictionary:
//   chainId                the chain's own when absent (a different one is refused by the
//                          session's check of the assembled bytes, as for any transaction)
//   nonce, gas             required
//   maxFeePerGas, maxPriorityFeePerGas
//                          type 2 (EIP-1559), required together
//   gasPrice, accessList   type 1 (EIP-2930) when gasPrice comes with an accessList or type 1
//   to                     "0x" and 40 hex digits (EIP-55 when mixed case); absent, null or
//                          "" creates a contract
//   value                  0 when absent
//   data or input          "0x" and hex digits; empty when absent
//   accessList             [{"address": ..., "storageKeys": ["0x" and 64 hex digits, ...]}]
//   type                   1 or 2; inferred from the fee fields when absent
//   from                   returned as given, for the signer to check
// Integers are JSON integers (not negative) or "0x"-hex text, at most 256 bits (nonce and
// gas 64); null is an absent field. The type byte then the RLP list of the type's fields:
//   0x02 [chainId, nonce, maxPriorityFeePerGas, maxFeePerGas, gas, to, value, data, accessList]
//   0x01 [chainId, nonce, gasPrice, gas, to, value, data, accessList]
// Errors: InvalidInput "transaction fields: {what}", e.g. "transaction fields: nonce is
// missing", "transaction fields: legacy transactions (gasPrice without an access list) are
// not signed yet; give maxFeePerGas and maxPriorityFeePerGas".
[[nodiscard]] SignerResult<AssembledFields> assemble_evm_transaction(std::string_view fields_json,
                                                                    const vek_core::Chain& chain);

}  // namespace vek_signer
