// The instructions of a Solana message as a person reviews them.
#pragma once

#include <vector>

#include "solana_transaction.h"
#include "vek/core/chain.h"
#include "vek/lib/decode.h"

namespace vek_lib {

// Each instruction of `message`, in order (DecodedInstruction, decode.h); amounts of the
// System Program in `chain`'s currency.
[[nodiscard]] std::vector<DecodedInstruction> decode_solana_instructions(const SolanaMessage& message,
                                                                          const vek_core::Chain& chain);

}  // namespace vek_lib
