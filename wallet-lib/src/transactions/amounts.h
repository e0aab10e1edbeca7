// Exact amounts for review: integers of any size as decimal digit texts, and their
// reading in a currency's units. No floating point anywhere: what a person is shown is
// the integer a node will take.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vek_lib {

// Big-endian bytes (any length; leading zeros allowed) as decimal text without leading
// zeros ("0" for none).
[[nodiscard]] std::string decimal_text(std::span<const std::uint8_t> be);

// The sum and the product of two decimal texts (digits only, no leading zeros but "0").
[[nodiscard]] std::string decimal_sum(std::string_view a, std::string_view b);
[[nodiscard]] std::string decimal_product(std::string_view a, std::string_view b);

// `base` units as a decimal number of the whole unit, `decimals` digits from the right:
// exact, trailing zeros of the fraction dropped ("1500000000000000000", 18 -> "1.5";
// "1", 9 -> "0.000000001"; "0" -> "0").
[[nodiscard]] std::string in_units(std::string_view base, unsigned decimals);

// in_units followed by a space and `currency` ("1.5 POL").
[[nodiscard]] std::string amount_text(std::string_view base, unsigned decimals, std::string_view currency);

}  // namespace vek_lib
