// The signer registry: the one way to obtain the signer of a chain family.
#pragma once

#include "vek/signer/traits.h"

namespace vek_signer {

// An owned signer for `chain_type`; never fails. Every call returns an independent
// object (the Cosmos and Bitcoin signers carry their own copy of the mainnet bech32
// prefix, "cosmos" and "bc"), so results need no locking and may be destroyed in any
// order.
[[nodiscard]] SignerPtr signer_for_chain(ChainType chain_type);

// The signer of one chain: its family's signer with the chain's network parameters (the
// bech32 prefix of Bitcoin and Cosmos chains, TON's test network). For the twelve chains
// of vek._native it is signer_for_chain(chain.chain_type). Never fails.
[[nodiscard]] SignerPtr signer_for_chain(const vek_core::Chain& chain);

}  // namespace vek_signer
