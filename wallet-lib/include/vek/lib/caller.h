// Who calls an operation, for the operations whose accepted chains and refusals depend
// on it: a binding that knows a few chains names them here, and its refusals point its
// users to what they can use instead.
#pragma once

#include <span>
#include <string_view>

namespace vek_lib {

struct Caller {
  std::span<const std::string_view> chains;  // the chain names it accepts; empty: all
  std::string_view name;                     // how refusals name the caller
  std::string_view instead;                  // what refusals suggest instead
};

}  // namespace vek_lib
