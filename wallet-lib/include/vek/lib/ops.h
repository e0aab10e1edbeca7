// The wallet operations behind the Python functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vek/lib/error.h"
#include "vek/lib/types.h"

namespace vek_lib {

// A new random BIP-39 phrase of 12 or 24 words.
// Errors: InvalidInput "words must be 12 or 24", Mnemonic.
[[nodiscard]] VekResult<std::string> generate_mnemonic(std::uint32_t words);

}  // namespace vek_lib
