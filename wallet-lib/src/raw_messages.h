// Raw message signatures that would be transaction signatures. `raw` signs the message
// without any prefix (Ed25519 over the bytes; ECDSA over their SHA-256 for Cosmos), so
// bytes that are a transaction, or a transaction's hash, give a signature that authorises
// it. A private-key wallet holds one secp256k1 key for EVM, Bitcoin, Cosmos and Tron and
// one Ed25519 key for Solana and TON, so the families sharing a curve are screened
// together.
#pragma once

#include <cstdint>
#include <span>

#include "vek/core/chain.h"
#include "vek/lib/error.h"

namespace vek_lib {

// Nothing, or InvalidInput naming why `message` may not be signed as `family`'s raw message:
//   Cosmos: a Cosmos sign document (protobuf SignDoc or SignDocDirectAux with body and
//     chain id; amino JSON with "chain_id" and "msgs"), a Tron transaction (protobuf
//     Transaction.raw with a contract), 32 bytes (their SHA-256 is a Bitcoin sighash when
//     they are the SHA-256 of its preimage);
//   Solana and TON: a Solana transaction message (legacy or version 0), 32 bytes (a TON
//     wallet signs the 32-byte hash of its transfer).
// Other families' raw formats put a prefix first and are never refused.
[[nodiscard]] VekResult<void> screen_raw_message(vek_core::ChainType family, std::span<const std::uint8_t> message);

// Whether `message` is a Solana transaction message (legacy or version 0) read to its end,
// as decode_transaction reads the message of a transaction.
[[nodiscard]] bool is_solana_message(std::span<const std::uint8_t> message);

}  // namespace vek_lib
