// How the application API signs a Solana transaction: into the slot of the signing key,
// the other signers' slots left as they are (partial signing).
#pragma once

#include <cstdint>
#include <span>

#include "vek/lib/broadcast.h"
#include "vek/lib/error.h"

namespace vek_lib {

// Signs `tx` with the Ed25519 `key` (the session's, read under its lock).
//   A whole transaction (signature slots, then a message that needs that many
//   signatures): the signature of its message goes into the slot of the key's public key
//   among the message's required signers; `signed_tx` is the transaction with the other
//   slots as given (all-zero slots stay zero).
//   A message without its slots: signed as given when the key is its only required
//   signer; `signed_tx` stays empty (there is no slot to fill).
// Errors (InvalidInput): "invalid solana transaction: {reason}" (read_solana_transaction's
// reasons, for bytes that are neither form); "{address} is not a signer of this
// transaction" (or "... of this message"); "this message needs {n} signatures: give the
// whole transaction (signature count, signature slots, message) to sign it in its slot";
// Signer for a key the curve refuses.
[[nodiscard]] VekResult<AssembledTransaction> sign_solana_transaction(std::span<const std::uint8_t> key,
                                                                      std::span<const std::uint8_t> tx);

}  // namespace vek_lib
