// What DecodedTransaction shows beyond the transaction's fields: amounts in the chain's
// currency, the maximum cost, Solana's instructions decoded, and the review rows.
#pragma once

#include <nanobind/nanobind.h>

#include "vek/lib/decode.h"

namespace vek_api {

// The members bind_review_details adds, for DecodedTransaction's repr and ==.
inline constexpr const char* kDecodedDetailFields[] = {"currency",      "decimals",           "value_text", "max_cost",
                                                       "max_cost_text", "instruction_details", "review"};

// Adds SolanaInstruction to `m` and the members above to `decoded`.
void bind_review_details(nanobind::module_& m, nanobind::class_<vek_lib::DecodedTransaction>& decoded);

}  // namespace vek_api
