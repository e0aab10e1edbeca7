// The signer registry: the one way to obtain the signer of a chain family.
#pragma once

#include "vek/signer/traits.h"

namespace vek_signer {

// An owned signer for `chain_type`; never fails. Every call returns an independent
// object (the Cosmos and Bitcoin signers carry their own copy of the mainnet bech32
// prefix, "cosmos" and "bc"), so results need no locking and may be destroyed in any
// order.
[[nodiscard]] SignerPtr signer_for_chain(ChainType chain_type);

}  // namespace vek_signer
