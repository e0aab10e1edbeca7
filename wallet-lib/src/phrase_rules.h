// The rules a new phrase is held to wherever one is made.
#pragma once

#include <cstdint>

#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/mnemonic.h"

namespace vek_lib {

// The only two phrase lengths a new wallet or phrase may have.
// Error: InvalidInput "words must be 12 or 24".
[[nodiscard]] VekResult<vek_signer::WordCount> word_count(std::uint32_t words);

}  // namespace vek_lib
