// The rules a phrase and a BIP-39 passphrase are held to wherever one is taken.
#pragma once

#include <cstdint>

#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/mnemonic.h"

namespace vek_lib {

// The only two phrase lengths a new wallet or phrase may have.
// Error: InvalidInput "words must be 12 or 24".
[[nodiscard]] VekResult<vek_signer::WordCount> word_count(std::uint32_t words);

// A BIP-39 passphrase enters the seed after Unicode NFKD normalisation, which is not
// done here; ASCII text is its own normal form, so only ASCII is taken.
// Error: InvalidInput "a BIP-39 passphrase must be ASCII text (other characters would
// need Unicode normalisation)".
[[nodiscard]] VekResult<void> check_bip39_text(OptText bip39_passphrase);

}  // namespace vek_lib
