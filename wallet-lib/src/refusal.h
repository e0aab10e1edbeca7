// The InvalidInput refusal most checks end in, as an unexpected value.
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "vek/lib/error.h"

namespace vek_lib {

[[nodiscard]] inline std::unexpected<VekLibError> invalid(std::string text) {
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

}  // namespace vek_lib
