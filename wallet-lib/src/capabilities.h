// Which families an operation covers, answered by the file that implements it (for queries.cpp).
#pragma once

#include <string_view>
#include <vector>

#include "vek/core/chain.h"

namespace vek_lib {

// The key formats export_key and import_wallet_key accept for `family` (key_interchange.cpp).
[[nodiscard]] std::vector<std::string_view> key_format_names(vek_core::ChainType family);

}  // namespace vek_lib
