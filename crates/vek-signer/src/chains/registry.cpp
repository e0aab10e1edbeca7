#include <cstdlib>

#include "vek/signer/chains.h"
#include "vek/signer/chains/bitcoin.h"
#include "vek/signer/chains/cosmos.h"
#include "vek/signer/chains/evm.h"
#include "vek/signer/chains/solana.h"
#include "vek/signer/chains/ton.h"
#include "vek/signer/chains/tron.h"

namespace vek_signer {

SignerPtr signer_for_chain(ChainType chain_type) {
  switch (chain_type) {
    case ChainType::Evm: return std::make_unique<EvmSigner>();
    case ChainType::Solana: return std::make_unique<SolanaSigner>();
    case ChainType::Cosmos: return std::make_unique<CosmosSigner>("cosmos");
    case ChainType::Bitcoin: return std::make_unique<BitcoinSigner>("bc");
    case ChainType::Tron: return std::make_unique<TronSigner>();
    case ChainType::Ton: return std::make_unique<TonSigner>();
  }
  std::abort();  // not one of the six families: a corrupted enum value
}

SignerPtr signer_for_chain(const vek_core::Chain& chain) {
  switch (chain.chain_type) {
    case ChainType::Cosmos: return std::make_unique<CosmosSigner>(std::string(chain.address_prefix));
    case ChainType::Bitcoin: return std::make_unique<BitcoinSigner>(std::string(chain.address_prefix));
    case ChainType::Ton: return std::make_unique<TonSigner>(chain.testnet);
    case ChainType::Evm:
    case ChainType::Solana:
    case ChainType::Tron: return signer_for_chain(chain.chain_type);
  }
  std::abort();  // not one of the six families: a corrupted enum value
}

}  // namespace vek_signer
