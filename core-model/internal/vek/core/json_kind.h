// How our JSON readers name the kind of a value in their error texts.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace vek_core {

// "null", "a boolean", "an integer", "a floating-point number", "a string", "an array",
// "an object" (and "binary data" / "a discarded value", which parsing never yields).
[[nodiscard]] std::string_view json_value_kind(const nlohmann::json& v) noexcept;

}  // namespace vek_core
