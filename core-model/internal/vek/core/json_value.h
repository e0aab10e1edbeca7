// A whole JSON document as a generic value, read by the project's one JSON reader: the
// nesting limit, duplicate keys and trailing text refused, errors with line and column.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vek_core::json_text {

// Integers beyond 64 bits are kept as floating-point numbers.
[[nodiscard]] std::expected<nlohmann::json, std::string> parse(std::string_view text);

}  // namespace vek_core::json_text
